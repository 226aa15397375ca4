#include "picture/png_unfilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaline {
namespace {

using Byte = std::uint8_t;

// The Paeth prediction of one byte from its left, upper and upper-left
// neighbours; ties go to a, then b.
Byte PaethPredictor(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<Byte>(a);
  return static_cast<Byte>(pb <= pc ? b : c);
}

void UnfilterPaethPlain(const Byte* in, const Byte* above, Byte* out, std::size_t bytes, int step) {
  for (int i = 0; i < step; ++i) out[i] = static_cast<Byte>(in[i] + above[i]);
  for (std::size_t i = step; i < bytes; ++i)
    out[i] = static_cast<Byte>(in[i] + PaethPredictor(out[i - step], above[i], above[i - step]));
}

void UnfilterAveragePlain(const Byte* in, const Byte* above, Byte* out, std::size_t bytes,
                          int step) {
  for (int i = 0; i < step; ++i) out[i] = static_cast<Byte>(in[i] + (above[i] >> 1));
  for (std::size_t i = step; i < bytes; ++i)
    out[i] = static_cast<Byte>(in[i] + ((out[i - step] + above[i]) >> 1));
}

#if defined(__SSE2__)

__m128i Load4(const Byte* at) {
  std::int32_t word;
  std::memcpy(&word, at, 4);
  return _mm_cvtsi32_si128(word);
}

// The low kPixel bytes of `value` to `at`; a 3-byte pixel writes a fourth
// byte too, except at the end of the row.
template <int kPixel>
void StorePixel(Byte* at, __m128i value, bool last) {
  const std::int32_t word = _mm_cvtsi128_si32(value);
  std::memcpy(at, &word, kPixel == 4 || !last ? 4 : kPixel);
}

// Sub is a running sum along the row with a stride of one pixel: within a
// register of whole pixels, adding copies shifted by 1, 2, 4 ... pixels
// sums each pixel with all before it; the last pixel carries into the next
// register.
template <int kPixel>
void UnfilterSub(const Byte* in, Byte* out, std::size_t bytes) {
  constexpr int kStep = 16 / kPixel * kPixel;
  __m128i carry = _mm_setzero_si128();  // the previous pixel, in the low bytes
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += kStep) {
    __m128i x = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), carry);
    x = _mm_add_epi8(x, _mm_slli_si128(x, kPixel));
    if constexpr (2 * kPixel < kStep) x = _mm_add_epi8(x, _mm_slli_si128(x, 2 * kPixel));
    if constexpr (4 * kPixel < kStep) x = _mm_add_epi8(x, _mm_slli_si128(x, 4 * kPixel));
    if constexpr (8 * kPixel < kStep) x = _mm_add_epi8(x, _mm_slli_si128(x, 8 * kPixel));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x);
    carry = _mm_srli_si128(_mm_slli_si128(x, 16 - kStep), 16 - kPixel);
  }
  for (std::size_t j = i; j < bytes && j < kPixel; ++j) out[j] = in[j];
  for (std::size_t j = std::max<std::size_t>(i, kPixel); j < bytes; ++j)
    out[j] = static_cast<Byte>(in[j] + out[j - kPixel]);
}

void UnfilterUp(const Byte* in, const Byte* above, Byte* out, std::size_t bytes) {
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_add_epi8(x, b));
  }
  for (; i < bytes; ++i) out[i] = static_cast<Byte>(in[i] + above[i]);
}

// A pixel at a time; the byte after a 3-byte pixel is computed too, and
// overwritten by the next pixel.
template <int kPixel>
void UnfilterAverage(const Byte* in, const Byte* above, Byte* out, std::size_t bytes) {
  const __m128i ones = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < bytes; i += kPixel) {
    const __m128i b = Load4(above + i);
    // _mm_avg_epu8 rounds up; the odd sums take the one back.
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), ones));
    a = _mm_add_epi8(Load4(in + i), mean);
    StorePixel<kPixel>(out + i, a, i + kPixel == bytes);
  }
}

__m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

__m128i Select(__m128i mask, __m128i if_set, __m128i if_clear) {
  return _mm_or_si128(_mm_and_si128(mask, if_set), _mm_andnot_si128(mask, if_clear));
}

// Paeth a pixel at a time in 16-bit lanes, with the distances
//   pa = |b - c|, pb = |a - c|, pc = |(a - c) + (b - c)|.
// Each pixel waits for the one to its left: a row is one long chain.
struct PaethChain {
  __m128i a = _mm_setzero_si128();  // the pixel to the left, unfiltered
  __m128i c = _mm_setzero_si128();  // the one above that
};

// `b`: the pixel above, unfiltered, in 16-bit lanes.
template <int kPixel>
inline void PaethPixel(PaethChain& chain, const Byte* in, __m128i b, Byte* out, bool last) {
  const __m128i b_minus_c = _mm_sub_epi16(b, chain.c);
  const __m128i a_minus_c = _mm_sub_epi16(chain.a, chain.c);
  const __m128i pa = Abs16(b_minus_c);
  const __m128i pb = Abs16(a_minus_c);
  const __m128i pc = Abs16(_mm_add_epi16(b_minus_c, a_minus_c));
  const __m128i not_a = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
  const __m128i b_or_c = Select(_mm_cmpgt_epi16(pb, pc), chain.c, b);
  const __m128i predicted = Select(not_a, b_or_c, chain.a);
  const __m128i x = _mm_add_epi8(Load4(in), _mm_packus_epi16(predicted, predicted));
  StorePixel<kPixel>(out, x, last);
  chain.a = _mm_unpacklo_epi8(x, _mm_setzero_si128());
  chain.c = b;
}

__m128i LoadWide(const Byte* at) { return _mm_unpacklo_epi8(Load4(at), _mm_setzero_si128()); }

template <int kPixel>
void UnfilterPaeth(const Byte* in, const Byte* above, Byte* out, std::size_t bytes) {
  PaethChain chain;
  for (std::size_t i = 0; i < bytes; i += kPixel)
    PaethPixel<kPixel>(chain, in + i, LoadWide(above + i), out + i, i + kPixel == bytes);
}

// Two rows, the lower a pixel behind the upper: two chains the processor
// works on side by side. The lower one takes the pixel above from the
// upper one's register, not from memory just written.
template <int kPixel>
void UnfilterPaethPair(const Byte* in, const Byte* in_next, const Byte* above, Byte* out,
                       Byte* out_next, std::size_t bytes) {
  PaethChain upper;
  PaethChain lower;
  PaethPixel<kPixel>(upper, in, LoadWide(above), out, kPixel == bytes);
  for (std::size_t i = kPixel; i < bytes; i += kPixel) {
    const __m128i upper_left = upper.a;
    PaethPixel<kPixel>(upper, in + i, LoadWide(above + i), out + i, i + kPixel == bytes);
    const std::size_t j = i - kPixel;
    PaethPixel<kPixel>(lower, in_next + j, upper_left, out_next + j, false);
  }
  const std::size_t j = bytes - kPixel;
  PaethPixel<kPixel>(lower, in_next + j, upper.a, out_next + j, true);
}

void UnfilterSubAny(const Byte* in, Byte* out, std::size_t bytes, int step) {
  switch (step) {
    case 1:
      return UnfilterSub<1>(in, out, bytes);
    case 2:
      return UnfilterSub<2>(in, out, bytes);
    case 3:
      return UnfilterSub<3>(in, out, bytes);
    default:
      return UnfilterSub<4>(in, out, bytes);
  }
}

void UnfilterAverageAny(const Byte* in, const Byte* above, Byte* out, std::size_t bytes, int step) {
  if (step == 3) return UnfilterAverage<3>(in, above, out, bytes);
  if (step == 4) return UnfilterAverage<4>(in, above, out, bytes);
  UnfilterAveragePlain(in, above, out, bytes, step);
}

void UnfilterPaethAny(const Byte* in, const Byte* above, Byte* out, std::size_t bytes, int step) {
  if (step == 3) return UnfilterPaeth<3>(in, above, out, bytes);
  if (step == 4) return UnfilterPaeth<4>(in, above, out, bytes);
  UnfilterPaethPlain(in, above, out, bytes, step);
}

void UnfilterPaethPairAny(const Byte* in, const Byte* in_next, const Byte* above, Byte* out,
                          Byte* out_next, std::size_t bytes, int step) {
  if (step == 3) return UnfilterPaethPair<3>(in, in_next, above, out, out_next, bytes);
  if (step == 4) return UnfilterPaethPair<4>(in, in_next, above, out, out_next, bytes);
  UnfilterPaethPlain(in, above, out, bytes, step);
  UnfilterPaethPlain(in_next, out, out_next, bytes, step);
}

#else

void UnfilterSubAny(const Byte* in, Byte* out, std::size_t bytes, int step) {
  for (int i = 0; i < step; ++i) out[i] = in[i];
  for (std::size_t i = step; i < bytes; ++i) out[i] = static_cast<Byte>(in[i] + out[i - step]);
}

void UnfilterUp(const Byte* in, const Byte* above, Byte* out, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<Byte>(in[i] + above[i]);
}

void UnfilterAverageAny(const Byte* in, const Byte* above, Byte* out, std::size_t bytes, int step) {
  UnfilterAveragePlain(in, above, out, bytes, step);
}

void UnfilterPaethAny(const Byte* in, const Byte* above, Byte* out, std::size_t bytes, int step) {
  UnfilterPaethPlain(in, above, out, bytes, step);
}

void UnfilterPaethPairAny(const Byte* in, const Byte* in_next, const Byte* above, Byte* out,
                          Byte* out_next, std::size_t bytes, int step) {
  UnfilterPaethPlain(in, above, out, bytes, step);
  UnfilterPaethPlain(in_next, out, out_next, bytes, step);
}

#endif

}  // namespace

void UnfilterPaethRows(const std::uint8_t* in, const std::uint8_t* in_next,
                       const std::uint8_t* above, std::uint8_t* out, std::uint8_t* out_next,
                       std::size_t bytes, int pixel_bytes) {
  UnfilterPaethPairAny(in, in_next, above, out, out_next, bytes, pixel_bytes);
}

bool UnfilterRow(std::uint8_t filter, const std::uint8_t* in, const std::uint8_t* above,
                 std::uint8_t* out, std::size_t bytes, int pixel_bytes) {
  switch (filter) {
    case 0:
      std::memmove(out, in, bytes);
      return true;
    case 1:
      UnfilterSubAny(in, out, bytes, pixel_bytes);
      return true;
    case 2:
      UnfilterUp(in, above, out, bytes);
      return true;
    case 3:
      UnfilterAverageAny(in, above, out, bytes, pixel_bytes);
      return true;
    case kPaethFilter:
      UnfilterPaethAny(in, above, out, bytes, pixel_bytes);
      return true;
    default:
      return false;
  }
}

}  // namespace tessaline
