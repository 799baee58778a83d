#include "network/soft_extended.hpp"

namespace tavrin {

namespace {

using namespace soft_extended_detail;

constexpr SoftExtended kIndefinite = SoftExtended::from_bits(0xFFFF, 0xC000000000000000u);

// A finite nonzero value with its significand's top bit set; denormals get exponents below 1.
struct Unpacked {
    std::uint16_t sign;
    int exponent;
    std::uint64_t sig;
};

Unpacked unpack(SoftExtended x) {
    const auto sign = static_cast<std::uint16_t>(x.sign_exponent() & kSign);
    if (x.biased_exponent() != 0) return {sign, x.biased_exponent(), x.significand()};
    const int shift = std::countl_zero(x.significand());
    return {sign, 1 - shift, x.significand() << shift};
}

bool is_zero(SoftExtended x) { return x.biased_exponent() == 0 && x.significand() == 0; }

SoftExtended quieted(SoftExtended x) {
    return SoftExtended::from_bits(x.sign_exponent(), x.significand() | kQuietBit);
}

SoftExtended signed_zero(std::uint16_t sign) { return SoftExtended::from_bits(sign, 0); }

SoftExtended signed_infinity(std::uint16_t sign) {
    return SoftExtended::from_bits(static_cast<std::uint16_t>(sign | kMaxExponent), kIntegerBit);
}

// One or both operands NaN, neither rejected: a quiet NaN beats a signalling one whatever the
// payloads, then the larger significand wins, then the positive sign.
SoftExtended chosen_nan(SoftExtended a, SoftExtended b) {
    if (!b.is_nan()) return quieted(a);
    if (!a.is_nan()) return quieted(b);
    const bool quiet_a = (a.significand() & kQuietBit) != 0;
    const bool quiet_b = (b.significand() & kQuietBit) != 0;
    if (quiet_a != quiet_b) return quiet_a ? a : b;
    if (a.significand() != b.significand()) {
        return quieted(a.significand() > b.significand() ? a : b);
    }
    return quieted(a.sign() ? b : a);
}

}  // namespace

SoftExtended SoftExtended::add_special(SoftExtended a, SoftExtended b, bool subtract) {
    if (a.rejected() || b.rejected()) return kIndefinite;
    if (a.is_nan() || b.is_nan()) return chosen_nan(a, b);
    const auto sign_a = static_cast<std::uint16_t>(a.sign_exponent_ & kSign);
    const auto sign_b = static_cast<std::uint16_t>((b.sign_exponent_ & kSign) ^ (subtract ? kSign : 0));
    if (a.is_infinite()) {
        return b.is_infinite() && sign_a != sign_b ? kIndefinite : a;
    }
    if (b.is_infinite()) return signed_infinity(sign_b);
    if (is_zero(a) && is_zero(b)) return signed_zero(sign_a & sign_b);
    // With a zero the other operand comes back as it is, a pseudo-denormal re-encoded.
    if (is_zero(a)) {
        const Unpacked u = unpack(b);
        return round_pack(sign_b, u.exponent, u.sig, 0);
    }
    const Unpacked u = unpack(a);
    if (is_zero(b)) return round_pack(sign_a, u.exponent, u.sig, 0);
    const Unpacked v = unpack(b);
    return add(sign_a, u.exponent, u.sig, sign_b, v.exponent, v.sig);
}

SoftExtended SoftExtended::multiply_special(SoftExtended a, SoftExtended b) {
    if (a.rejected() || b.rejected()) return kIndefinite;
    if (a.is_nan() || b.is_nan()) return chosen_nan(a, b);
    const auto sign = static_cast<std::uint16_t>((a.sign_exponent_ ^ b.sign_exponent_) & kSign);
    if (a.is_infinite() || b.is_infinite()) {
        return is_zero(a) || is_zero(b) ? kIndefinite : signed_infinity(sign);
    }
    if (is_zero(a) || is_zero(b)) return signed_zero(sign);
    const Unpacked u = unpack(a), v = unpack(b);
    return multiply(sign, u.exponent, u.sig, v.exponent, v.sig);
}

SoftExtended SoftExtended::divide_special(SoftExtended a, SoftExtended b) {
    if (a.rejected() || b.rejected()) return kIndefinite;
    if (a.is_nan() || b.is_nan()) return chosen_nan(a, b);
    const auto sign = static_cast<std::uint16_t>((a.sign_exponent_ ^ b.sign_exponent_) & kSign);
    if (a.is_infinite()) return b.is_infinite() ? kIndefinite : signed_infinity(sign);
    if (b.is_infinite()) return signed_zero(sign);
    // Division by zero is masked: an infinity, unless the dividend is zero too.
    if (is_zero(b)) return is_zero(a) ? kIndefinite : signed_infinity(sign);
    if (is_zero(a)) return signed_zero(sign);
    const Unpacked u = unpack(a), v = unpack(b);
    return divide(sign, u.exponent, u.sig, v.exponent, v.sig);
}

SoftExtended SoftExtended::sqrt_special(SoftExtended x) {
    if (x.rejected()) return kIndefinite;
    if (x.is_nan()) return quieted(x);
    // The root of -0 is -0.
    if (is_zero(x)) return x;
    if (x.sign()) return kIndefinite;
    if (x.is_infinite()) return x;
    const Unpacked u = unpack(x);
    return square_root(u.exponent, u.sig);
}

SoftExtended ldexp(SoftExtended x, int n) {
    if (x.rejected()) return kIndefinite;
    if (x.is_nan()) return quieted(x);
    if (!x.is_finite() || is_zero(x)) return x;
    const Unpacked u = unpack(x);
    // Past 2^17 either way the result is infinite or zero whatever x is.
    const int step = n > 70000 ? 70000 : n < -70000 ? -70000 : n;
    return SoftExtended::round_pack(u.sign, u.exponent + step, u.sig, 0);
}

SoftExtended frexp(SoftExtended x, int* exponent) {
    *exponent = 0;
    if (x.rejected()) return kIndefinite;
    if (x.is_nan()) return quieted(x);
    if (!x.is_finite() || is_zero(x)) return x;
    const Unpacked u = unpack(x);
    *exponent = u.exponent - (kBias - 1);
    return SoftExtended::from_bits(static_cast<std::uint16_t>(u.sign | (kBias - 1)), u.sig);
}

}  // namespace tavrin
