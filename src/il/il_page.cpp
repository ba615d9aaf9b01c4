// ilPage scratch pages for images without native page memory.
#include <brenmark/il_page.h>

#include <cstring>
#include <new>

ilPage* ilPage::makeScratch(int x, int y, int z, int c, std::size_t bytes, bool writeBack) {
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes]);
  if (!block) return nullptr;
  std::memset(block.get(), 0, bytes == 0 ? 1 : bytes);
  ilPage* page = new (std::nothrow) ilPage(x, y, z, c, block.get());
  if (page == nullptr) return nullptr;
  page->scratch_ = std::move(block);
  page->writeBack_ = writeBack;
  return page;
}
