// Row copies for the tile paths of the smart image. Large transfers use
// non-temporal stores: the destination (the caller's buffer on a read,
// scattered page blocks on a write) will not be read again before it has
// left the cache anyway, and streaming it skips the read-for-ownership of
// every destination line. Measured on a 2048 x 2048 transfer this is what
// brings the page walk to memcpy speed; small transfers keep memcpy so
// their destination stays in cache for the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brenmark::imagestore {

// Transfers of at least this many bytes stream their stores.
inline constexpr std::size_t kStreamingBytes = std::size_t{4} << 20;

inline void CopyRow(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, bool stream) {
#if defined(__SSE2__)
  if (stream && (reinterpret_cast<std::uintptr_t>(dst) & 15) == 0) {
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 48));
      _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), a);
      _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 48), d);
    }
    if (i < n) std::memcpy(dst + i, src + i, n - i);
    return;
  }
#else
  (void)stream;
#endif
  std::memcpy(dst, src, n);
}

// Orders streamed stores before whatever follows.
inline void FinishStreaming(bool stream) {
#if defined(__SSE2__)
  if (stream) _mm_sfence();
#else
  (void)stream;
#endif
}

}  // namespace brenmark::imagestore
