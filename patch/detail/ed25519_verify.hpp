#pragma once
// The verification behind gu::patch::ed25519_verify for either field representation, so tests can run the
// 32-bit build's arithmetic (Fe25) natively beside the 64-bit one (Fe51).

#include "patch/detail/ed25519_scalar.hpp"
#include "patch/detail/edwards_point.hpp"

#include <string_view>

namespace gu::patch::detail {

template <class F>
bool ed25519_verify_with(std::string_view signature, std::string_view message, std::string_view public_key);

// The base point B: y = 4/5, x even.
template <class F> const ExtendedPoint<F>& base_point();

// [s]B + [k]P with signed sliding windows over both scalars at once; s and k must be below 2^253.
template <class F>
ProjectivePoint<F> double_scalar_multiply(const Scalar& s, const Scalar& k, const ExtendedPoint<F>& p);

extern template bool ed25519_verify_with<Fe25>(std::string_view, std::string_view, std::string_view);
extern template const ExtendedPoint<Fe25>& base_point<Fe25>();
extern template ProjectivePoint<Fe25> double_scalar_multiply<Fe25>(const Scalar&, const Scalar&,
                                                                   const ExtendedPoint<Fe25>&);
#if defined(__SIZEOF_INT128__)
extern template bool ed25519_verify_with<Fe51>(std::string_view, std::string_view, std::string_view);
extern template const ExtendedPoint<Fe51>& base_point<Fe51>();
extern template ProjectivePoint<Fe51> double_scalar_multiply<Fe51>(const Scalar&, const Scalar&,
                                                                   const ExtendedPoint<Fe51>&);
#endif

} // namespace gu::patch::detail
