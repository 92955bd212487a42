#pragma once
// Sixteen bytes classified at a time, for the lexer's hot loops: SSE2 on
// x86-64 (any compiler), NEON on 64-bit Arm, and no vector path elsewhere or
// with QUARNEL_NO_SIMD defined (the loops then end in their byte-wise tails).
// A mask holds kBitsPerByte bits per byte, lowest byte first.
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(QUARNEL_NO_SIMD)
#elif defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QUARNEL_SIMD_SSE2 1
#define QUARNEL_SIMD 1
#include <emmintrin.h>
#elif defined(__aarch64__) || defined(_M_ARM64)
#define QUARNEL_SIMD_NEON 1
#define QUARNEL_SIMD 1
#include <arm_neon.h>
#endif

#if defined(QUARNEL_SIMD)
namespace quarnel::simd {

#if defined(QUARNEL_SIMD_SSE2)

using Bytes = __m128i;
inline constexpr unsigned kBitsPerByte = 1;
inline constexpr std::uint64_t kAllBytes = 0xFFFF;

inline Bytes load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline Bytes eq(Bytes c, char x) { return _mm_cmpeq_epi8(c, _mm_set1_epi8(x)); }
inline Bytes either(Bytes a, Bytes b) { return _mm_or_si128(a, b); }
// lo <= c <= hi, for ASCII bounds: signed compares put bytes >= 0x80 below every range.
inline Bytes in_range(Bytes c, char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmplt_epi8(c, _mm_set1_epi8(static_cast<char>(hi + 1))));
}
inline std::uint64_t mask(Bytes m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }

// One bit per byte over the 64 bytes at p: in `a_mask` where they equal a, in `b_mask` where b.
inline void eq_masks64(const char* p, char a, char b, std::uint64_t& a_mask, std::uint64_t& b_mask) {
    a_mask = b_mask = 0;
    for (int k = 0; k < 4; ++k) {
        const Bytes c = load(p + 16 * k);
        a_mask |= mask(eq(c, a)) << (16 * k);
        b_mask |= mask(eq(c, b)) << (16 * k);
    }
}

#else

using Bytes = uint8x16_t;
// NEON has no byte mask: narrowing each byte to four bits is the cheap way to one.
inline constexpr unsigned kBitsPerByte = 4;
inline constexpr std::uint64_t kAllBytes = ~std::uint64_t{0};

inline Bytes load(const char* p) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)); }
inline Bytes eq(Bytes c, char x) { return vceqq_u8(c, vdupq_n_u8(static_cast<std::uint8_t>(x))); }
inline Bytes either(Bytes a, Bytes b) { return vorrq_u8(a, b); }
inline Bytes in_range(Bytes c, char lo, char hi) {
    return vcleq_u8(vsubq_u8(c, vdupq_n_u8(static_cast<std::uint8_t>(lo))), vdupq_n_u8(static_cast<std::uint8_t>(hi - lo)));
}
inline std::uint64_t mask(Bytes m) {
    return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(m), 4)), 0);
}

inline void eq_masks64(const char* p, char a, char b, std::uint64_t& a_mask, std::uint64_t& b_mask) {
    static const std::uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t w = vld1q_u8(weights);
    const Bytes c0 = load(p), c1 = load(p + 16), c2 = load(p + 32), c3 = load(p + 48);
    // Pairwise sums fold each group of eight weighted bytes into one byte of the mask.
    const auto fold = [&](char x) {
        const auto bits = [&](Bytes c) { return vandq_u8(eq(c, x), w); };
        uint8x16_t s = vpaddq_u8(vpaddq_u8(bits(c0), bits(c1)), vpaddq_u8(bits(c2), bits(c3)));
        s = vpaddq_u8(s, s);
        return vgetq_lane_u64(vreinterpretq_u64_u8(s), 0);
    };
    a_mask = fold(a);
    b_mask = fold(b);
}

#endif

// Position of the first byte a nonzero mask marks.
inline std::size_t first(std::uint64_t m) { return static_cast<std::size_t>(std::countr_zero(m)) / kBitsPerByte; }

}  // namespace quarnel::simd
#endif
