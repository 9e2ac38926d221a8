// Built with -fno-tree-loop-distribute-patterns (see CMakeLists.txt), so the
// loops stay loops instead of becoming calls of memset or memcpy; the eight
// accesses of an iteration are unrolled.
#include "bench/reference_kernels.h"

#include <immintrin.h>

namespace {

constexpr uint32_t kBlock = 128;  // bytes per iteration: eight 16-byte vectors

inline uint64_t Fold(__m128i a, __m128i b, __m128i c, __m128i d) {
  __m128i all = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
  all = _mm_or_si128(all, _mm_unpackhi_epi64(all, all));
  uint64_t folded;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&folded), all);
  return folded;
}

template <bool kPrefetch>
uint64_t Read(const void* source, uint32_t byteCount) {
  const __m128i* p = static_cast<const __m128i*>(source);
  __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
  for (uint32_t n = byteCount / kBlock; n != 0; --n, p += 8) {
    if (kPrefetch) {
      _mm_prefetch(reinterpret_cast<const char*>(p) + 256, _MM_HINT_NTA);
      _mm_prefetch(reinterpret_cast<const char*>(p) + 320, _MM_HINT_NTA);
    }
    // Four independent chains, so the OR never limits the loads.
    a = _mm_or_si128(a, _mm_or_si128(_mm_load_si128(p + 0), _mm_load_si128(p + 1)));
    b = _mm_or_si128(b, _mm_or_si128(_mm_load_si128(p + 2), _mm_load_si128(p + 3)));
    c = _mm_or_si128(c, _mm_or_si128(_mm_load_si128(p + 4), _mm_load_si128(p + 5)));
    d = _mm_or_si128(d, _mm_or_si128(_mm_load_si128(p + 6), _mm_load_si128(p + 7)));
  }
  return Fold(a, b, c, d);
}

template <bool kStream>
void Write(void* destination, uint32_t byteCount) {
  __m128i* q = static_cast<__m128i*>(destination);
  const __m128i pattern = _mm_set_epi32(0x0F0E0D0C, 0x0B0A0908, 0x07060504, 0x03020100);
  for (uint32_t n = byteCount / kBlock; n != 0; --n, q += 8) {
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
      if (kStream)
        _mm_stream_si128(q + k, pattern);
      else
        _mm_store_si128(q + k, pattern);
    }
  }
  if (kStream) _mm_sfence();
}

template <bool kStream>
void Copy(const void* source, void* destination, uint32_t byteCount) {
  const __m128i* p = static_cast<const __m128i*>(source);
  __m128i* q = static_cast<__m128i*>(destination);
  for (uint32_t n = byteCount / kBlock; n != 0; --n, p += 8, q += 8) {
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
      __m128i v = _mm_load_si128(p + k);
      if (kStream)
        _mm_stream_si128(q + k, v);
      else
        _mm_store_si128(q + k, v);
    }
  }
  if (kStream) _mm_sfence();
}

}  // namespace

uint64_t ReferenceRead(const void* source, uint32_t byteCount) { return Read<false>(source, byteCount); }
uint64_t ReferenceReadPrefetch(const void* source, uint32_t byteCount) { return Read<true>(source, byteCount); }
void ReferenceWrite(void* destination, uint32_t byteCount) { Write<false>(destination, byteCount); }
void ReferenceWriteNonTemporal(void* destination, uint32_t byteCount) { Write<true>(destination, byteCount); }
void ReferenceCopy(const void* source, void* destination, uint32_t byteCount) {
  Copy<false>(source, destination, byteCount);
}
void ReferenceCopyNonTemporal(const void* source, void* destination, uint32_t byteCount) {
  Copy<true>(source, destination, byteCount);
}
