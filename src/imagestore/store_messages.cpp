// The public guard over the store's message batches.
#include "brenmark/store_messages.h"

#include <memory>

#include "imagestore/store_hooks.h"

namespace {

// One batch per outermost group is enough: batches nest by depth alone.
int g_group_depth = 0;
std::unique_ptr<brenmark::imagestore::MessageBatch> g_batch;

}  // namespace

StoreMessageGroup::StoreMessageGroup() {
  if (g_group_depth++ == 0) g_batch = std::make_unique<brenmark::imagestore::MessageBatch>();
}

StoreMessageGroup::~StoreMessageGroup() {
  if (--g_group_depth == 0) g_batch.reset();
}
