// Built with -fno-tree-loop-distribute-patterns like the SSE reference loops,
// so the loops stay loops. 256-bit loops use AVX (float bitwise ops) only.
#include "bench/wide_reference_kernels.h"

#include <immintrin.h>

#include <cstring>

#define AVX __attribute__((target("avx")))
#define AVX512 __attribute__((target("avx512f")))

AVX uint64_t ReferenceReadAvx(const void* source, uint32_t byteCount) {
  const float* p = static_cast<const float*>(source);
  __m256 a = _mm256_setzero_ps(), b = a, c = a, d = a;
  for (uint32_t n = byteCount / 128; n != 0; --n, p += 32) {
    a = _mm256_or_ps(a, _mm256_load_ps(p));
    b = _mm256_or_ps(b, _mm256_load_ps(p + 8));
    c = _mm256_or_ps(c, _mm256_load_ps(p + 16));
    d = _mm256_or_ps(d, _mm256_load_ps(p + 24));
  }
  __m256 all = _mm256_or_ps(_mm256_or_ps(a, b), _mm256_or_ps(c, d));
  uint64_t folded[4];
  _mm256_storeu_ps(reinterpret_cast<float*>(folded), all);
  return folded[0] | folded[1] | folded[2] | folded[3];
}

AVX512 uint64_t ReferenceReadAvx512(const void* source, uint32_t byteCount) {
  const __m512i* p = static_cast<const __m512i*>(source);
  __m512i a = _mm512_setzero_si512(), b = a, c = a, d = a;
  for (uint32_t n = byteCount / 256; n != 0; --n, p += 4) {
    a = _mm512_or_si512(a, _mm512_load_si512(p));
    b = _mm512_or_si512(b, _mm512_load_si512(p + 1));
    c = _mm512_or_si512(c, _mm512_load_si512(p + 2));
    d = _mm512_or_si512(d, _mm512_load_si512(p + 3));
  }
  __m512i all = _mm512_or_si512(_mm512_or_si512(a, b), _mm512_or_si512(c, d));
  uint64_t folded[8];
  _mm512_storeu_si512(folded, all);
  return folded[0] | folded[1] | folded[2] | folded[3] | folded[4] | folded[5] | folded[6] | folded[7];
}

namespace {

template <bool kStream>
AVX void WriteAvx(void* destination, uint32_t byteCount) {
  __m256i* q = static_cast<__m256i*>(destination);
  // Bytes 0x41..0x60 and 0x61..0x80: each 64-byte line gets 64 different ones.
  const __m256i v[2] = {_mm256_set_epi64x(0x605F5E5D5C5B5A59, 0x5857565554535251, 0x504F4E4D4C4B4A49, 0x4847464544434241),
                        _mm256_set_epi64x(0x807F7E7D7C7B7A79, 0x7877767574737271, 0x706F6E6D6C6B6A69, 0x6867666564636261)};
  for (uint32_t n = byteCount / 128; n != 0; --n, q += 4) {
    for (int k = 0; k < 4; ++k) {
      if (kStream) _mm256_stream_si256(q + k, v[k & 1]); else _mm256_store_si256(q + k, v[k & 1]);
    }
  }
  if (kStream) _mm_sfence();
}

template <bool kStream>
AVX512 void WriteAvx512(void* destination, uint32_t byteCount) {
  __m512i* q = static_cast<__m512i*>(destination);
  // Bytes 0x41..0x80, 64 different ones in every line.
  const __m512i v = _mm512_set_epi64(0x807F7E7D7C7B7A79, 0x7877767574737271, 0x706F6E6D6C6B6A69, 0x6867666564636261,
                                     0x605F5E5D5C5B5A59, 0x5857565554535251, 0x504F4E4D4C4B4A49, 0x4847464544434241);
  for (uint32_t n = byteCount / 256; n != 0; --n, q += 4) {
    for (int k = 0; k < 4; ++k) {
      if (kStream) _mm512_stream_si512(q + k, v); else _mm512_store_si512(q + k, v);
    }
  }
  if (kStream) _mm_sfence();
}

template <bool kStream>
AVX void CopyAvx(const void* source, void* destination, uint32_t byteCount) {
  const __m256i* p = static_cast<const __m256i*>(source);
  __m256i* q = static_cast<__m256i*>(destination);
  for (uint32_t n = byteCount / 128; n != 0; --n, p += 4, q += 4) {
    for (int k = 0; k < 4; ++k) {
      __m256i v = _mm256_load_si256(p + k);
      if (kStream) _mm256_stream_si256(q + k, v); else _mm256_store_si256(q + k, v);
    }
  }
  if (kStream) _mm_sfence();
}

template <bool kStream>
AVX512 void CopyAvx512(const void* source, void* destination, uint32_t byteCount) {
  const __m512i* p = static_cast<const __m512i*>(source);
  __m512i* q = static_cast<__m512i*>(destination);
  for (uint32_t n = byteCount / 256; n != 0; --n, p += 4, q += 4) {
    for (int k = 0; k < 4; ++k) {
      __m512i v = _mm512_load_si512(p + k);
      if (kStream) _mm512_stream_si512(q + k, v); else _mm512_store_si512(q + k, v);
    }
  }
  if (kStream) _mm_sfence();
}

}  // namespace

void ReferenceWriteAvx(void* d, uint32_t n) { WriteAvx<false>(d, n); }
void ReferenceWriteAvxNonTemporal(void* d, uint32_t n) { WriteAvx<true>(d, n); }
void ReferenceWriteAvx512(void* d, uint32_t n) { WriteAvx512<false>(d, n); }
void ReferenceWriteAvx512NonTemporal(void* d, uint32_t n) { WriteAvx512<true>(d, n); }
void ReferenceCopyAvx(const void* s, void* d, uint32_t n) { CopyAvx<false>(s, d, n); }
void ReferenceCopyAvxNonTemporal(const void* s, void* d, uint32_t n) { CopyAvx<true>(s, d, n); }
void ReferenceCopyAvx512(const void* s, void* d, uint32_t n) { CopyAvx512<false>(s, d, n); }
void ReferenceCopyAvx512NonTemporal(const void* s, void* d, uint32_t n) { CopyAvx512<true>(s, d, n); }
void ReferenceMemcpy(const void* s, void* d, uint32_t n) { std::memcpy(d, s, n); }
// 0x5A as WriteRepStosb stores: some machines move zero lines to memory faster.
void ReferenceMemset(void* d, uint32_t n) { std::memset(d, 0x5A, n); }
