// Two channels side by side in one SSE2 register: lane 0 the left channel,
// lane 1 the right. Each operation is the same IEEE operation a scalar
// expression performs, lane by lane, so code written once over a lane type
// gives bit for bit the results of writing it out per channel, in half the
// instructions. Expressions keep their scalar order of evaluation (the
// compiler does not reassociate floating point), and comparisons that select
// keep the scalar `limit < u ? limit : u` form, NaN included.
#pragma once

#include <emmintrin.h>

#include <cstdint>

// The render loops are compiled three times, for baseline x86-64 and for the
// AVX2 and AVX-512 levels (three-operand instructions; AVX-512 also doubles
// the vector registers, so the filters' and the echoes' state stays out of
// memory), and the library picks the best the processor has when it loads.
// Floating-point contraction is off in every build, so all three perform the
// very same IEEE operations and give the same bits. Builds with sanitizers
// keep the one baseline version.
#if defined(MORVANE_RENDER_CLONES) && defined(__x86_64__)
#define MORVANE_RENDER_TARGETS [[gnu::target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")]]
#else
#define MORVANE_RENDER_TARGETS
#endif

struct DoublePair {
    __m128d v;
    static DoublePair of(double left, double right) { return {_mm_set_pd(right, left)}; }
    static DoublePair both(double x) { return {_mm_set1_pd(x)}; }
    double left() const { return _mm_cvtsd_f64(v); }
    double right() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
};
inline DoublePair operator+(DoublePair a, DoublePair b) {
    return {_mm_add_pd(a.v, b.v)};
}
inline DoublePair operator-(DoublePair a, DoublePair b) {
    return {_mm_sub_pd(a.v, b.v)};
}
inline DoublePair operator*(DoublePair a, DoublePair b) {
    return {_mm_mul_pd(a.v, b.v)};
}
// limit < u ? limit : u, and limit > u ? limit : u (MINPD and MAXPD return
// their second operand when either is NaN, as the scalar forms do).
inline DoublePair lowerOf(DoublePair limit, DoublePair u) {
    return {_mm_min_pd(limit.v, u.v)};
}
inline DoublePair higherOf(DoublePair limit, DoublePair u) {
    return {_mm_max_pd(limit.v, u.v)};
}

// Two floats in the low lanes of a register (the upper two are unused).
struct FloatPair {
    __m128 v;
    static FloatPair of(float left, float right) { return {_mm_setr_ps(left, right, 0.0f, 0.0f)}; }
    static FloatPair both(float x) { return {_mm_set1_ps(x)}; }
    static FloatPair load(const float* left, const float* right, uint32_t i) {
        return {_mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i))};
    }
    static FloatPair narrow(DoublePair d) { return {_mm_cvtpd_ps(d.v)}; }
    DoublePair widen() const { return {_mm_cvtps_pd(v)}; }
    // The lanes exchanged: (right, left).
    FloatPair swapped() const { return {_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 2, 0, 1))}; }
    float left() const { return _mm_cvtss_f32(v); }
    float right() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 2, 0, 1))); }
    void store(float* left, float* right, uint32_t i) const {
        _mm_store_ss(left + i, v);
        _mm_store_ss(right + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 2, 0, 1)));
    }
};
inline FloatPair operator+(FloatPair a, FloatPair b) {
    return {_mm_add_ps(a.v, b.v)};
}
inline FloatPair operator-(FloatPair a, FloatPair b) {
    return {_mm_sub_ps(a.v, b.v)};
}
inline FloatPair operator*(FloatPair a, FloatPair b) {
    return {_mm_mul_ps(a.v, b.v)};
}
inline FloatPair operator/(FloatPair a, FloatPair b) {
    return {_mm_div_ps(a.v, b.v)};
}
// Per lane: `mask` lanes take `yes`, the others `no`.
inline FloatPair select(__m128 mask, FloatPair yes, FloatPair no) {
    return {_mm_or_ps(_mm_and_ps(mask, yes.v), _mm_andnot_ps(mask, no.v))};
}
// Lanes whose exponent field is `exponent` (0 for zero or denormal,
// 0x7f800000 for infinity or NaN).
inline __m128 exponentIs(FloatPair x, uint32_t exponent) {
    const __m128i bits = _mm_and_si128(_mm_castps_si128(x.v), _mm_set1_epi32(0x7f800000));
    return _mm_castsi128_ps(_mm_cmpeq_epi32(bits, _mm_set1_epi32(static_cast<int>(exponent))));
}
// Bit 0 for the left lane, bit 1 for the right.
inline int lanesOf(__m128 mask) {
    return _mm_movemask_ps(mask) & 3;
}
