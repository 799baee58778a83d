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

bool is_zero(SoftExtended x) {
    return x.biased_exponent() == 0 && x.significand() == 0;
}

SoftExtended quieted(SoftExtended x) {
    return SoftExtended::from_bits(x.sign_exponent(), x.significand() | kQuietBit);
}

SoftExtended signed_zero(std::uint16_t sign) {
    return SoftExtended::from_bits(sign, 0);
}

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

SoftExtended SoftExtended::round_pack_unusual(std::uint16_t sign, int exponent, std::uint64_t sig,
                                              std::uint64_t rest) {
    // Rounding to nearest never brings a result back below the overflow threshold.
    if (exponent >= 1) return signed_infinity(sign);
    // Denormal: shift right to the fixed scale, keeping what falls out as sticky bits.
    const int shift = 1 - exponent;
    if (shift < 64) {
        rest = (sig << (64 - shift)) | (rest >> shift) | ((rest << (64 - shift)) != 0);
        sig >>= shift;
    } else if (shift == 64) {
        rest = sig | (rest != 0);
        sig = 0;
    } else {
        rest = (sig | rest) != 0;  // below half the smallest denormal
        sig = 0;
    }
    sig += (rest > kIntegerBit) | ((rest == kIntegerBit) & sig);
    // A carry into the integer bit makes it the smallest normal, exponent field 1.
    return from_bits(static_cast<std::uint16_t>(sign | (sig >> 63)), sig);
}

SoftExtended SoftExtended::from_unusual_double(std::uint64_t bits) {
    const auto sign = static_cast<std::uint16_t>((bits >> 48) & kSign);
    const std::uint64_t fraction = bits & 0x000FFFFFFFFFFFFFu;
    if ((bits & 0x7FF0000000000000u) != 0) {
        return from_bits(sign | kMaxExponent,
                         fraction == 0 ? kIntegerBit : kIntegerBit | kQuietBit | (fraction << 11));
    }
    if (fraction == 0) return from_bits(sign, 0);
    // A double denormal, fraction * 2^-1074, is a normal number here.
    const int shift = std::countl_zero(fraction);
    return from_bits(static_cast<std::uint16_t>(sign | (63 - shift - 1074 + kBias)),
                     fraction << shift);
}

double SoftExtended::to_unusual_double() const {
    const int field = biased_exponent();
    const std::uint64_t sign = static_cast<std::uint64_t>(sign_exponent_ >> 15) << 63;
    const std::uint64_t sig = significand_;
    if (rejected()) return std::bit_cast<double>(0xFFF8000000000000u);
    if (field == kMaxExponent) {
        const std::uint64_t payload =
            (sig << 1) == 0 ? 0 : 0x0008000000000000u | ((sig >> 11) & 0x000FFFFFFFFFFFFFu);
        return std::bit_cast<double>(sign | 0x7FF0000000000000u | payload);
    }
    // Zeros, and denormals, which lie far below half of double's smallest denormal.
    if (field == 0) return std::bit_cast<double>(sign);
    const int exponent = field - kBias + 1023;
    if (exponent >= 0x7FF) return std::bit_cast<double>(sign | 0x7FF0000000000000u);
    // A double denormal: the significand keeps 52 - (1 - exponent) bits or fewer.
    const int drop = 12 - exponent;
    if (drop > 64) return std::bit_cast<double>(sign);
    if (drop == 64) return std::bit_cast<double>(sign | (sig > kIntegerBit));
    const std::uint64_t kept = sig >> drop, dropped = sig & ((std::uint64_t{1} << drop) - 1);
    const std::uint64_t half = std::uint64_t{1} << (drop - 1);
    const std::uint64_t up = (dropped > half) | ((dropped == half) & kept);
    // A carry into bit 52 is double's smallest normal.
    return std::bit_cast<double>(sign | (kept + up));
}

SoftExtended SoftExtended::add_special(SoftExtended a, SoftExtended b, bool subtract) {
    if (a.rejected() || b.rejected()) return kIndefinite;
    if (a.is_nan() || b.is_nan()) return chosen_nan(a, b);
    const auto sign_a = static_cast<std::uint16_t>(a.sign_exponent_ & kSign);
    const auto sign_b =
        static_cast<std::uint16_t>((b.sign_exponent_ & kSign) ^ (subtract ? kSign : 0));
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
