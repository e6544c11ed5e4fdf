// The written form read in 16-byte vectors. Four vectors hold the seven
// fields, a lane of eight bytes each, loaded as they stand (two loads a
// vector): each real from its second column, its point in place; n with the
// first column of x; and x from its third column with the first of y. The
// first column of every real must be a blank (a full-width real is left to
// read_written_words). Every byte is classed at once: a digit (or, where the
// point or a blank after the field must stand, that character: one addition
// and one signed comparison with constants of its own), a blank, a minus;
// one rule checks every lane: after a digit or a minus, and from a real's
// point (n's last digit) on, every byte is a digit; any other byte is a
// blank or a minus. The digits become numbers by multiplications in 16-bit
// and 32-bit elements: pairs, quadruples, then the eight columns, weighted
// to leave the point out. A minus negates a number as an integer (a zero
// with a minus reads as plus zero); each real is divided in double precision
// by its power of ten, then rounded to single precision: the values of
// read_written_words.
//
// On the largest run (bench/: 50,000 stars, callgrind) the record reader
// takes 136 instructions a record, 6.8 M, where the words take 359; the whole
// run takes 10.5 M.
#include "written_fields.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace starmark {

namespace {

// A lane's columns: 'd' a digit, blank or minus; '.' the point; ' ' the
// blank after the field.
using Lane = char[9];
constexpr Lane kN = "ddddddd ", kXFromThird = "dddd.dd ", kTwoDecimals = "ddddd.dd",
               kThreeDecimals = "dddd.ddd";
static_assert(kRecordFields[0].width == 7 && kRecordFieldCount == 7 &&
              kRecordFields[1].decimals == 2 && kRecordFields[2].decimals == 2 &&
              kRecordFields[3].decimals == 3 && kRecordFields[4].decimals == 3 &&
              kRecordFields[5].decimals == 3 && kRecordFields[6].decimals == 3);

// Which constant of a lane: per byte, the addition and the limit that make
// the byte's own character, and only it, exceed the limit, and the bytes
// that must be a digit (or that character); per 16-bit element, the factor
// of a pair (the blank after n weighs nothing) and the weights of the pairs.
enum Constant { kAdd, kLimit, kDue, kPairFactor, kPairWeight };

constexpr uint64_t lane_constant(const Lane& lane, Constant constant) {
  if (constant == kPairFactor) return 0x0A010A010A010A01 - (lane[7] == ' ' ? 0x0901ull << 48 : 0);
  const uint64_t second_pair = lane[5] == '.' || lane[7] == ' ' ? 10 : 100;
  if (constant == kPairWeight) return 100 | 1 << 16 | second_pair << 32 | uint64_t{1} << 48;
  int due = 0;
  while (lane[due] == 'd') ++due;
  due -= lane[due] == ' ';
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) {
    const int c = lane[i] == 'd' ? '9' : lane[i];
    const int byte = constant == kAdd     ? 127 - c
                     : constant == kLimit ? 126 - (c == '9') * 9
                                          : -(i >= due);
    word |= uint64_t{static_cast<uint8_t>(byte)} << 8 * i;
  }
  return word;
}

template <const Lane& kFirst, const Lane& kSecond, Constant kWhich>
__m128i constant() {
  static constexpr uint64_t kFirstWord = lane_constant(kFirst, kWhich);
  static constexpr uint64_t kSecondWord = lane_constant(kSecond, kWhich);
  return _mm_set_epi64x(static_cast<long long>(kSecondWord), static_cast<long long>(kFirstWord));
}

// The four quadruples of digits of two lanes, with the lanes' minus bytes;
// false in `good` for any byte out of its lane's form.
template <const Lane& kFirst, const Lane& kSecond>
__m128i quadruples(const char* first, const char* second, __m128i* good, __m128i* minus) {
  const __m128i lane = _mm_castpd_si128(
      _mm_loadh_pd(_mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first))),
                   reinterpret_cast<const double*>(second)));
  const __m128i digit = _mm_cmpgt_epi8(_mm_add_epi8(lane, constant<kFirst, kSecond, kAdd>()),
                                       constant<kFirst, kSecond, kLimit>());
  *minus = _mm_cmpeq_epi8(lane, _mm_set1_epi8('-'));
  const __m128i blank_or_minus = _mm_cmpeq_epi8(lane, _mm_set1_epi8(' ')) | *minus;
  const __m128i digit_due = _mm_slli_epi64(digit | *minus, 8) | constant<kFirst, kSecond, kDue>();
  // Each vector's test joins the others at once, leaving few values live.
  *good &= digit | _mm_andnot_si128(digit_due, blank_or_minus);
  asm("" : "+x"(*good));
  // Digit values, a byte each (the others zero), then (first + 256 * second)
  // * (10 * 256 + 1) / 256 makes a pair: one multiplication, which the
  // compiler must not unfold into shifts and additions.
  __m128i factor = constant<kFirst, kSecond, kPairFactor>();
  asm("" : "+x"(factor));
  const __m128i pairs =
      _mm_srli_epi16(_mm_mullo_epi16(_mm_subs_epu8(lane, _mm_set1_epi8('0')), factor), 8);
  return _mm_madd_epi16(pairs, constant<kFirst, kSecond, kPairWeight>());
}

// The numbers of two vectors' quadruples, negated where their lane has a
// minus: plus - (number ^ plus), with plus all ones for the others.
__m128i numbers(__m128i first, __m128i second, __m128i first_minus, __m128i second_minus) {
  const __m128i magnitude =
      _mm_madd_epi16(_mm_packs_epi32(first, second), _mm_set1_epi32(1 << 16 | 1000));
  const __m128i plus =
      _mm_cmpeq_epi32(_mm_packs_epi16(first_minus, second_minus), _mm_setzero_si128());
  return _mm_sub_epi32(plus, magnitude ^ plus);
}

}  // namespace

bool read_written_vector(const char* columns, StarRecord* record) {
  // The first columns of amag, a, b and c; those of x and y are in lanes.
  for (size_t at = 25; at < kRecordWidth; at += 9) {
    if (columns[at] != ' ') return false;
  }
  __m128i good = _mm_set1_epi8(-1), minus[4];
  const __m128i n_x = quadruples<kN, kXFromThird>(columns, columns + 9, &good, &minus[0]);
  const __m128i x_y =
      quadruples<kTwoDecimals, kTwoDecimals>(columns + 8, columns + 17, &good, &minus[1]);
  const __m128i amag_a =
      quadruples<kThreeDecimals, kThreeDecimals>(columns + 26, columns + 35, &good, &minus[2]);
  const __m128i b_c =
      quadruples<kThreeDecimals, kThreeDecimals>(columns + 44, columns + 53, &good, &minus[3]);
  if (_mm_movemask_epi8(good) != 0xFFFF) return false;
  // n, (no number), x, y; then amag, a, b, c.
  const __m128i first = numbers(n_x, x_y, minus[0], minus[1]);
  const __m128i second = numbers(amag_a, b_c, minus[2], minus[3]);
  alignas(16) static constexpr double kHundreds[2] = {1e2, 1e2}, kThousands[2] = {1e3, 1e3};
  const auto real = [](__m128i two, const double* scale) {
    return _mm_cvtpd_ps(_mm_div_pd(_mm_cvtepi32_pd(two), _mm_load_pd(scale)));
  };
  const __m128 reals[] = {real(_mm_shuffle_epi32(first, 0xEE), kHundreds), real(second, kThousands),
                          real(_mm_shuffle_epi32(second, 0xEE), kThousands)};
  static_assert(offsetof(StarRecord, c) == offsetof(StarRecord, x) + 5 * sizeof(float));
  record->n = _mm_cvtsi128_si32(first);
  char* at = reinterpret_cast<char*>(record) + offsetof(StarRecord, x);
  _mm_storeu_ps(reinterpret_cast<float*>(at), _mm_movelh_ps(reals[0], reals[1]));
  _mm_storel_pi(reinterpret_cast<__m64*>(at + 4 * sizeof(float)), reals[2]);
  return true;
}

}  // namespace starmark
#endif
