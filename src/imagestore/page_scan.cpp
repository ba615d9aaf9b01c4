// Page scans: uniformity and solid detection, transparency classes, alpha
// validity and the duplicate tests.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <brenmark/il_types.h>

#include "imagestore/page.h"
#include "imagestore/page_cache.h"

using brenmark::imagestore::SmartImageCache;

namespace brenmark::imagestore {
namespace {

// Sample positions checked before a full scan: the corners first, then a
// spread over the page, so most non-uniform pages are rejected at once.
constexpr int kCornerSamples[] = {0, 127, 16256, 16383};
constexpr int kPageSamples[] = {127, 4031, 8095, 8159, 12223, 16256, 16383};

std::uint32_t Pixel(const PageData* p, int i) {
  if (p->size_shift == 0) return p->data[i];
  std::uint32_t v;
  std::memcpy(&v, p->data + 4 * i, 4);
  return v;
}

// Every element of `words` equals `v`; sixteen elements per step, so the
// loop vectorises and rejects within one group of the first difference.
template <typename Word>
bool AllEqual(const Word* words, int n, Word v) {
  for (int i = 0; i < n; i += 16) {
    Word diff = 0;
    for (int k = 0; k < 16; ++k) diff |= words[i + k] ^ v;
    if (diff != 0) return false;
  }
  return true;
}

// Every word of the run has the alpha byte of `Opaque` (255, else 0): the
// words are ANDed (opaque) or ORed (clear) sixteen at a time and the group
// checked at once, so the scan stops within one group of the first word
// that disagrees.
template <bool Opaque>
bool RunHasAlpha(const std::uint32_t* run, int n) {
  constexpr std::uint32_t kAlpha = 0xFF000000u;
  constexpr std::uint32_t kWant = Opaque ? kAlpha : 0u;
  int i = 0;
#if defined(__SSE2__)
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(kAlpha));
  const __m128i want = _mm_set1_epi32(static_cast<int>(kWant));
  auto load = [run](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + k)); };
  for (; i + 16 <= n; i += 16) {
    __m128i a = load(i), b = load(i + 4), c = load(i + 8), d = load(i + 12);
    const __m128i acc = Opaque ? _mm_and_si128(_mm_and_si128(a, b), _mm_and_si128(c, d))
                               : _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
    const __m128i eq = _mm_cmpeq_epi32(_mm_and_si128(acc, alpha), want);
    if (_mm_movemask_epi8(eq) != 0xFFFF) return false;
  }
#else
  for (; i + 16 <= n; i += 16) {
    std::uint32_t acc = Opaque ? ~0u : 0u;
    for (int k = 0; k < 16; ++k) {
      if constexpr (Opaque)
        acc &= run[i + k];
      else
        acc |= run[i + k];
    }
    if ((acc & kAlpha) != kWant) return false;
  }
#endif
  for (; i < n; ++i) {
    if ((run[i] & kAlpha) != kWant) return false;
  }
  return true;
}

// Every pixel of the page-local rectangle has alpha `Opaque` (255, else 0).
template <bool Opaque>
bool RectHasAlpha(const std::uint32_t* words, int x, int y, int w, int h) {
  // Whole rows lie end to end.
  if (x == 0 && w == kPageSize) return RunHasAlpha<Opaque>(words + y * kPageSize, h * kPageSize);
  for (int row = y; row < y + h; ++row) {
    if (!RunHasAlpha<Opaque>(words + row * kPageSize + x, w)) return false;
  }
  return true;
}

}  // namespace

bool PageIsUniform(const PageData* p, int x, int y, int w, int h) {
  if (p == nullptr || p->state != kPageValidInMem || w < 1 || h < 1) return false;
  const int first = y * kPageSize + x;
  const std::uint32_t v = Pixel(p, first);
  const bool whole = x == 0 && y == 0 && w == kPageSize && h == kPageSize;
  if (whole) {
    for (int i : kCornerSamples)
      if (Pixel(p, i) != v) return false;
    for (int i : kPageSamples)
      if (Pixel(p, i) != v) return false;
    if (p->size_shift == 0) {
      return AllEqual(p->data, kPagePixels, static_cast<std::uint8_t>(v));
    }
    return AllEqual(reinterpret_cast<const std::uint32_t*>(p->data), kPagePixels, v);
  }
  const int right = x + w - 1, top = y + h - 1;
  if (Pixel(p, y * kPageSize + right) != v || Pixel(p, top * kPageSize + x) != v ||
      Pixel(p, top * kPageSize + right) != v) {
    return false;
  }
  for (int row = y; row <= top; ++row) {
    for (int col = x; col <= right; ++col) {
      if (Pixel(p, row * kPageSize + col) != v) return false;
    }
  }
  return true;
}

void MakeSolidFromUniform(PageData* p) {
  const std::uint32_t fill = Pixel(p, 0);
  SmartImageCache::Instance()->ReleasePageMemory(p);
  p->state = kPageSolid;
  p->fill = fill;
}

}  // namespace brenmark::imagestore

using brenmark::imagestore::PageIsUniform;

namespace {

bool Clip(int& x, int& y, int& w, int& h) {
  SmartImgPage::ClipToPage(x, y, w, h);
  return w > 0 && h > 0;
}

bool Whole(int x, int y, int w, int h) {
  return x == 0 && y == 0 && w == kPageSize && h == kPageSize;
}

SmartImgTrans ClassOfAlpha(unsigned alpha) {
  return alpha == 0 ? kTransClear : (alpha == 255 ? kTransOpaque : kTransMixed);
}

void TileArgs(const ilTile* t, int& x, int& y, int& w, int& h) {
  if (t == nullptr) {
    x = y = 0;
    w = h = kPageSize;
  } else {
    x = t->x;
    y = t->y;
    w = t->nx;
    h = t->ny;
  }
}

}  // namespace

bool SmartImgPage::IsSolidFilled(const ilTile& tile) const {
  return IsSolidFilledIn(tile.x, tile.y, tile.nx, tile.ny);
}

bool SmartImgPage::IsSolidFilledIn(int x, int y, int w, int h) const {
  if (body_ == nullptr || body_->state == kPageSolid) return true;
  if (!Clip(x, y, w, h)) return false;
  return PageIsUniform(body_, x, y, w, h);
}

int SmartImgPage::CheckForSolid(const ilTile* tile) {
  int x, y, w, h;
  TileArgs(tile, x, y, w, h);
  return CheckForSolidIn(x, y, w, h);
}

int SmartImgPage::CheckForSolidIn(int x, int y, int w, int h) {
  PageData* p = body_;
  if (p == nullptr || p->state == kPageSolid) return 1;
  if (!Clip(x, y, w, h)) return 0;
  if (!Whole(x, y, w, h)) return PageIsUniform(p, x, y, w, h) ? 1 : 0;
  if (p->scanned == 0) {
    if (p->state == kPageValidInMem && p->priority < 255) {
      if (PageIsUniform(p, 0, 0, kPageSize, kPageSize)) {
        brenmark::imagestore::MakeSolidFromUniform(p);
      } else {
        TestTransparencyIn(0, 0, kPageSize, kPageSize);
      }
    }
    SmartImageCache::Instance()->RemoveFromScanList(p);
  }
  return p->state == kPageSolid ? 1 : 0;
}

int SmartImgPage::WalkPage(const ilTile* tile) {
  if (body_ == nullptr) return 1;
  brenmark::imagestore::ForgetPageSource(body_);
  return CheckForSolid(tile);
}

SmartImgTrans SmartImgPage::TestTransparency(const ilTile* tile) {
  int x, y, w, h;
  TileArgs(tile, x, y, w, h);
  return TestTransparencyIn(x, y, w, h);
}

SmartImgTrans SmartImgPage::TestTransparencyIn(int x, int y, int w, int h) {
  PageData* p = body_;
  if (p == nullptr) return kTransClear;
  if (!Clip(x, y, w, h)) return kTransMixed;
  SmartImgTrans result = kTransMixed;
  if (p->state == kPageSolid) {
    result = ClassOfAlpha(p->size_shift == 0 ? p->fill & 0xFF : p->fill >> 24);
  } else if (p->state == kPageValidInMem && p->size_shift != 0) {
    // Alpha is the top byte of each word.
    const auto* words = reinterpret_cast<const std::uint32_t*>(p->data);
    const unsigned a = words[y * kPageSize + x] >> 24;
    auto alpha = [words](int col, int row) { return words[row * kPageSize + col] >> 24; };
    const bool corners =
        alpha(x + w - 1, y) == a && alpha(x, y + h - 1) == a && alpha(x + w - 1, y + h - 1) == a;
    if (corners && a == 255 && brenmark::imagestore::RectHasAlpha<true>(words, x, y, w, h))
      result = kTransOpaque;
    if (corners && a == 0 && brenmark::imagestore::RectHasAlpha<false>(words, x, y, w, h))
      result = kTransClear;
  }
  if (Whole(x, y, w, h)) p->transparency = result;
  return result;
}

SmartImgTrans SmartImgPage::IsTransparent(const ilTile* tile, int force) {
  int x, y, w, h;
  TileArgs(tile, x, y, w, h);
  return IsTransparentIn(x, y, w, h, force);
}

SmartImgTrans SmartImgPage::IsTransparentIn(int x, int y, int w, int h, int force) {
  PageData* p = body_;
  if (p == nullptr) return kTransClear;
  // A solid page is classified from its fill, which costs nothing; a class
  // cached for the whole page holds for every part when it is clear or
  // opaque.
  if (p->state == kPageSolid) return TestTransparencyIn(x, y, w, h);
  if (p->transparency == kTransClear || p->transparency == kTransOpaque) {
    return static_cast<SmartImgTrans>(p->transparency);
  }
  if (force) return TestTransparencyIn(x, y, w, h);
  return kTransMixed;
}

namespace {

struct AlphaReport {
  int exceeding = 0;
  unsigned max_excess = 0;
  unsigned max_alpha = 0;
};

void ExamineAlpha(std::uint32_t v, AlphaReport& r) {
  const unsigned a = v >> 24;
  r.max_alpha = std::max(r.max_alpha, a);
  unsigned excess = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned c = (v >> shift) & 0xFF;
    if (c > a) excess = std::max(excess, c - a);
  }
  if (excess > 0) {
    ++r.exceeding;
    r.max_excess = std::max(r.max_excess, excess);
  }
}

// mode 1: opaque; mode 2: alpha raised to the largest colour where a colour
// exceeds it; mode 3: colour = colour / 255 * alpha / 255 * 255 (float,
// truncated).
std::uint32_t FixAlpha(std::uint32_t v, int mode) {
  unsigned a = v >> 24;
  unsigned c[3] = {v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF};
  if (mode == 1) {
    a = 255;
  } else if (mode == 2) {
    if (c[0] > a || c[1] > a || c[2] > a) a = std::max({a, c[0], c[1], c[2]});
  } else if (mode == 3) {
    for (unsigned& ch : c) {
      ch = static_cast<unsigned>(static_cast<float>(ch) / 255.0f * static_cast<float>(a) / 255.0f *
                                 255.0f);
    }
  }
  return (a << 24) | (c[2] << 16) | (c[1] << 8) | c[0];
}

}  // namespace

int SmartImgPage::CheckAlpha() {
  PageData* p = body_;
  if (p == nullptr || p->size_shift == 0) return 0;
  if (p->state != kPageSolid && p->state != kPageValidInMem && !Realize(0)) return 0;
  p = body_;
  AlphaReport r;
  if (p->state == kPageSolid) {
    ExamineAlpha(p->fill, r);
  } else {
    const std::uint32_t* words = reinterpret_cast<const std::uint32_t*>(p->data);
    for (int i = 0; i < kPagePixels; ++i) ExamineAlpha(words[i], r);
  }
  if (r.exceeding == 0) return 0;
  if (r.max_excess <= 2) return 1;
  return r.max_alpha != 0 ? 2 : 3;
}

void SmartImgPage::ForceAlphaValid(int mode) {
  PageData* p = body_;
  if (p == nullptr || p->size_shift == 0 || mode < 1 || mode > 3) return;
  if (p->state != kPageSolid && p->state != kPageValidInMem && !Realize(0)) return;
  if (body_->state == kPageSolid) {
    FillPage(FixAlpha(body_->fill, mode));
    return;
  }
  if (!Realize(1) || body_->state != kPageValidInMem) return;
  std::uint32_t* words = reinterpret_cast<std::uint32_t*>(body_->data);
  for (int i = 0; i < kPagePixels; ++i) words[i] = FixAlpha(words[i], mode);
}

bool SmartImgPage::SolidFillDuplicate() const {
  const PageData* p = body_;
  if (!IsValid() || p->source == nullptr) return false;
  const PageData* s = p->source;
  return s->signature == brenmark::imagestore::kSignatureValid && p->state == kPageSolid &&
         s->state == kPageSolid && p->pixel_size == s->pixel_size && p->fill == s->fill;
}

bool SmartImgPage::InMemDuplicate() const {
  const PageData* p = body_;
  if (!IsValid() || p->source == nullptr) return false;
  const PageData* s = p->source;
  if (s->signature != brenmark::imagestore::kSignatureValid || p->state != kPageValidInMem ||
      s->state != kPageValidInMem || p->pixel_size != s->pixel_size) {
    return false;
  }
  const int bytes = kPagePixels << p->size_shift;
  const int step = 1 << p->size_shift;
  for (int i : {0, 127, 4031, 8095, 8159, 12223, 16256, 16383}) {
    if (std::memcmp(p->data + i * step, s->data + i * step, static_cast<std::size_t>(step)) != 0)
      return false;
  }
  return std::memcmp(p->data, s->data, static_cast<std::size_t>(bytes)) == 0;
}

void SmartImgPage::MergeWithPotentialDuplicate() {
  if (body_ != nullptr) brenmark::imagestore::ForgetPageSource(body_);
}
