#pragma once
// Points of the twisted Edwards curve -x^2 + y^2 = 1 + d x^2 y^2 behind Ed25519, with the addition and
// doubling formulas of RFC 8032, section 5.1.4 (Hisil, Wong, Carter, Dawson, "Twisted Edwards Curves
// Revisited", a = -1). They are complete on this curve: no input needs a special case.

#include "patch/detail/curve25519_field.hpp"

#include <array>
#include <cstdint>
#include <type_traits>

namespace gu::patch::detail {

// (X : Y : Z : T) with x = X/Z, y = Y/Z, x y = T/Z.
template <class F> struct ExtendedPoint { F x, y, z, t; };

// (X : Y : Z) without T: enough for doubling, which is most of a scalar multiplication.
template <class F> struct ProjectivePoint { F x, y, z; };

// The four values e, f, g, h both formulas end in; X = e f, Y = g h, Z = f g, T = e h. Turning them into a
// projective point costs three multiplications, into an extended one four, so the caller picks.
template <class F> struct CompletedPoint { F e, f, g, h; };

// A point prepared as the second operand of additions: (Y + X, Y - X, 2Z, 2dT).
template <class F> struct CachedPoint { F y_plus_x, y_minus_x, z2, t2d; };

// The same with Z = 1, for fixed tables: one multiplication less per addition.
template <class F> struct AffineCachedPoint { F y_plus_x, y_minus_x, t2d; };

template <class F> struct CurveConstants {
    F d;
    F d2;
    F sqrt_minus_one;
};

// Computed from their definitions on first use rather than written out as limbs.
template <class F> const CurveConstants<F>& curve() {
    static const CurveConstants<F> constants = [] {
        CurveConstants<F> k;
        // d = -121665 / 121666 and sqrt(-1) = 2^((p - 1) / 4) = 2^((p - 5) / 8 * 2) * 2.
        k.d = -(F::from_uint(121665) * invert(F::from_uint(121666)));
        k.d2 = k.d + k.d;
        const F two = F::from_uint(2);
        k.sqrt_minus_one = square(pow_p58(two)) * two;
        return k;
    }();
    return constants;
}

template <class F> ExtendedPoint<F> to_extended(const CompletedPoint<F>& p) {
    return {p.e * p.f, p.g * p.h, p.f * p.g, p.e * p.h};
}

template <class F> ProjectivePoint<F> to_projective(const CompletedPoint<F>& p) {
    return {p.e * p.f, p.g * p.h, p.f * p.g};
}

template <class F> CachedPoint<F> to_cached(const ExtendedPoint<F>& p) {
    return {p.y + p.x, p.y - p.x, p.z + p.z, p.t * curve<F>().d2};
}

template <class F> CompletedPoint<F> double_point(const ProjectivePoint<F>& p) {
    const F a = square(p.x);
    const F b = square(p.y);
    const F c = square(p.z);
    const F h = a + b;
    const F g = a - b;
    return {h - square(p.x + p.y), c + c + g, g, h};
}

template <class F> CompletedPoint<F> double_point(const ExtendedPoint<F>& p) {
    return double_point(ProjectivePoint<F>{p.x, p.y, p.z});
}

// p + q, or p - q when kSubtract (-q swaps Y + X with Y - X and negates T).
template <bool kSubtract, class F, class Q> CompletedPoint<F> add_point(const ExtendedPoint<F>& p, const Q& q) {
    const F a = (p.y - p.x) * (kSubtract ? q.y_plus_x : q.y_minus_x);
    const F b = (p.y + p.x) * (kSubtract ? q.y_minus_x : q.y_plus_x);
    const F c = p.t * q.t2d;
    F d;
    if constexpr (std::is_same_v<Q, CachedPoint<F>>) {
        d = p.z * q.z2;
    } else {
        d = p.z + p.z;
    }
    const F e = b - a;
    const F h = b + a;
    return kSubtract ? CompletedPoint<F>{e, d + c, d - c, h} : CompletedPoint<F>{e, d - c, d + c, h};
}

// The 32-byte encoding: y with the low bit of x in the top bit.
template <class F> std::array<std::uint8_t, 32> encode_point(const F& x, const F& y, const F& z) {
    const F z_inverse = invert(z);
    std::array<std::uint8_t, 32> out;
    (y * z_inverse).to_bytes(out.data());
    if ((x * z_inverse).is_negative()) {
        out[31] |= 0x80;
    }
    return out;
}

// RFC 8032, section 5.1.3, except that y is not required to be below p (it is taken modulo p) and the
// encoding x = 0 with the sign bit set is accepted as x = 0. Fails only when no point has this y.
template <class F> bool decode_point(const std::uint8_t* bytes, ExtendedPoint<F>& out) {
    const CurveConstants<F>& k = curve<F>();
    const F one = F::from_uint(1);
    const F y = F::from_bytes(bytes);
    const F y2 = square(y);
    const F u = y2 - one;
    const F v = y2 * k.d + one;
    // x = (u / v)^((p + 3) / 8) = u v^3 (u v^7)^((p - 5) / 8); then v x^2 is u or -u when u / v is a square.
    const F v3 = square(v) * v;
    F x = u * v3 * pow_p58(u * square(v3) * v);
    const F vx2 = v * square(x);
    if (!(vx2 - u).is_zero()) {
        if (!(vx2 + u).is_zero()) {
            return false;
        }
        x = x * k.sqrt_minus_one;
    }
    if (x.is_negative() != ((bytes[31] >> 7) != 0)) {
        x = -x;
    }
    out = {x, y, one, x * y};
    return true;
}

} // namespace gu::patch::detail
