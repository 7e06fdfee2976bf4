#include "patch/ed25519.hpp"

#include "patch/detail/ed25519_verify.hpp"
#include "patch/detail/sha512.hpp"

#include <algorithm>

namespace gu::patch {
namespace detail {
namespace {

// Digit widths of the double-scalar multiplication. B's odd multiples are computed once per process, so
// its window is wide (64 entries, about a ninth of the bits need an addition); the key's table is built
// on every call, where 8 entries balance its cost against the additions it saves.
constexpr int kBaseWindow = 8;
constexpr int kKeyWindow = 5;

template <class F> using BaseTable = std::array<AffineCachedPoint<F>, 1 << (kBaseWindow - 2)>;

template <class F> const BaseTable<F>& base_multiples() {
    static const BaseTable<F> table = [] {
        BaseTable<F> odd;
        const CachedPoint<F> twice = to_cached(to_extended(double_point(base_point<F>())));
        ExtendedPoint<F> p = base_point<F>();
        for (auto& entry : odd) {
            const F z_inverse = invert(p.z);
            const F x = p.x * z_inverse;
            const F y = p.y * z_inverse;
            entry = {y + x, y - x, x * y * curve<F>().d2};
            p = to_extended(add_point<false>(p, twice));
        }
        return odd;
    }();
    return table;
}

// Adds digit * (the point whose odd multiples are in table), or subtracts for a negative digit.
template <class F, class Table>
CompletedPoint<F> add_digit(const CompletedPoint<F>& sum, int digit, const Table& table) {
    const ExtendedPoint<F> p = to_extended(sum);
    return digit > 0 ? add_point<false>(p, table[digit / 2]) : add_point<true>(p, table[-digit / 2]);
}

} // namespace

template <class F> const ExtendedPoint<F>& base_point() {
    static const ExtendedPoint<F> base = [] {
        std::uint8_t y[32];
        (F::from_uint(4) * invert(F::from_uint(5))).to_bytes(y);
        ExtendedPoint<F> b;
        decode_point(y, b);
        return b;
    }();
    return base;
}

template <class F>
ProjectivePoint<F> double_scalar_multiply(const Scalar& s, const Scalar& k, const ExtendedPoint<F>& p) {
    const auto s_digits = signed_window_digits(s, kBaseWindow);
    const auto k_digits = signed_window_digits(k, kKeyWindow);
    const BaseTable<F>& b_table = base_multiples<F>();

    std::array<CachedPoint<F>, 1 << (kKeyWindow - 2)> p_table;
    const CachedPoint<F> p2 = to_cached(to_extended(double_point(p)));
    ExtendedPoint<F> multiple = p;
    for (std::size_t i = 0; i < p_table.size(); ++i) {
        p_table[i] = to_cached(multiple);
        if (i + 1 < p_table.size()) {
            multiple = to_extended(add_point<false>(multiple, p2));
        }
    }

    const F one = F::from_uint(1);
    ProjectivePoint<F> r{F::zero(), one, one};
    int top = 255;
    while (top >= 0 && s_digits[top] == 0 && k_digits[top] == 0) {
        --top;
    }
    for (int i = top; i >= 0; --i) {
        CompletedPoint<F> t = double_point(r);
        if (s_digits[i] != 0) {
            t = add_digit(t, s_digits[i], b_table);
        }
        if (k_digits[i] != 0) {
            t = add_digit(t, k_digits[i], p_table);
        }
        r = to_projective(t);
    }
    return r;
}

template <class F>
bool ed25519_verify_with(std::string_view signature, std::string_view message, std::string_view public_key) {
    if (signature.size() != 64 || public_key.size() != 32) {
        return false;
    }
    const auto* sig = reinterpret_cast<const std::uint8_t*>(signature.data());
    const auto* key = reinterpret_cast<const std::uint8_t*>(public_key.data());
    // S must be below 2^253; it is deliberately not compared with the group order.
    if ((sig[63] & 0xe0) != 0) {
        return false;
    }
    ExtendedPoint<F> a;
    if (!decode_point(key, a)) {
        return false;
    }
    const ExtendedPoint<F> minus_a{-a.x, a.y, a.z, -a.t};

    Sha512 hasher;
    hasher.update(sig, 32);
    hasher.update(key, 32);
    hasher.update(message);
    const Sha512Digest digest = hasher.finish();
    const Scalar k = reduce_mod_l(digest.data(), digest.size());
    Scalar s;
    std::copy(sig + 32, sig + 64, s.begin());

    // [S]B - [k]A must encode to R exactly.
    const ProjectivePoint<F> r = double_scalar_multiply(s, k, minus_a);
    const auto encoded = encode_point(r.x, r.y, r.z);
    return std::equal(encoded.begin(), encoded.end(), sig);
}

template bool ed25519_verify_with<Fe25>(std::string_view, std::string_view, std::string_view);
template const ExtendedPoint<Fe25>& base_point<Fe25>();
template ProjectivePoint<Fe25> double_scalar_multiply<Fe25>(const Scalar&, const Scalar&, const ExtendedPoint<Fe25>&);
#if defined(__SIZEOF_INT128__)
template bool ed25519_verify_with<Fe51>(std::string_view, std::string_view, std::string_view);
template const ExtendedPoint<Fe51>& base_point<Fe51>();
template ProjectivePoint<Fe51> double_scalar_multiply<Fe51>(const Scalar&, const Scalar&, const ExtendedPoint<Fe51>&);
#endif

} // namespace detail

bool ed25519_verify(std::string_view signature, std::string_view message, std::string_view public_key) {
    return detail::ed25519_verify_with<detail::FastestField>(signature, message, public_key);
}

} // namespace gu::patch
