// Test fixture: a reference host installed as the paint manager's
// application, and a clean stack table before and after every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "brenmark/brenmark.h"
#include "host/reference_host.h"

namespace brenmark::testing {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteAllStacks();
    Brenmark.SetCallbacks(host_.Install());
    host_.SetDefaultViewSize(64, 48);
  }
  void TearDown() override { DeleteAllStacks(); }

  static void DeleteAllStacks() {
    for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
      if (Brenmark.GetLayerStack(h)) Brenmark.DeleteLayerStack(h);
    }
    if (Brenmark.GetCurrentLayerStack() != -1) Brenmark.DeleteLayerStack(-2);
  }

  // A new stack made current; its handle.
  int NewStack() { return Brenmark.AddLayerStack(ViewerParms{}); }
  LayerStack* Stack(int h = -2) { return Brenmark.GetLayerStack(h); }

  // Layer identifiers are handed out by a process-wide counter, so tests
  // compare names against the counter's state rather than fixed numbers.
  static std::string Name(const char* kind, std::intptr_t id) {
    return std::string(kind) + "-" + std::to_string(static_cast<long>(id));
  }
  static std::intptr_t Id(void* handle) { return reinterpret_cast<std::intptr_t>(handle); }

  // Names of the list layers, bottom to top, joined by spaces.
  static std::string Names(LayerStack* s) {
    std::string out;
    for (int i = 1; i <= s->GetLayerCount(); ++i) {
      if (!out.empty()) out += ' ';
      out += s->GetLayerName(i);
    }
    return out;
  }

  static std::string StopCapture() {
    std::fflush(stderr);
    return ::testing::internal::GetCapturedStderr();
  }

  host::ReferenceHost host_;
};

}  // namespace brenmark::testing
