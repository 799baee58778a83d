// The x87 80-bit extended format done in integer arithmetic, for machines whose long double is
// something else (ARM64, MSVC): every operation below gives, bit for bit, what the x87 unit
// gives for long double with 64-bit precision control, rounding to nearest even and every
// exception masked, as GCC compiles it on x86-64.
//
// A value is a sign, a 15-bit biased exponent and a 64-bit significand with an explicit integer
// bit. Zeros, denormals (exponent field 0, integer bit 0, scale 2^(1-16383-63)), infinities
// and NaNs behave as on the x87 unit: denormal results are rounded once, at their own
// precision; an invalid operation gives the "real indefinite" NaN (sign 1, exponent 0x7FFF,
// significand 0xC000000000000000); a NaN operand comes back quieted, and of two NaNs a quiet
// one beats a signalling one, then the larger significand wins, then the positive sign.
//
// Encodings the x87 unit itself rejects (pseudo-NaNs, pseudo-infinities, unnormals: integer bit
// 0 with a nonzero exponent field) can only come in through from_bits; arithmetic on them gives
// the indefinite NaN and comparisons find them unordered, as the hardware does. A
// pseudo-denormal (exponent field 0, integer bit 1) is read as the denormal scale says, as the
// hardware does, but not canonicalised by the bit-level operations (negation, fabs, copysign).
// No arithmetic on ordinary values ever makes any of these.
#pragma once

#include <bit>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <utility>

#if defined(_MSC_VER) && !defined(__clang__) && (defined(_M_X64) || defined(_M_ARM64))
#include <intrin.h>
#endif

namespace tavrin {

namespace soft_extended_detail {

// A 128-bit unsigned number as two words.
struct Wide {
    std::uint64_t hi;
    std::uint64_t lo;
};

// The full product by 32-bit halves, for compilers with no wider integer; always built, so
// that it can be checked against the fast one.
constexpr Wide multiply_portable(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
    const std::uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    // At most (2^32 - 1) * 3 + 2^32 - 1 < 2^64: no carry is lost.
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

inline Wide multiply(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Product;
    const Product p = static_cast<Product>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#elif defined(_MSC_VER) && !defined(__clang__) && (defined(_M_X64) || defined(_M_ARM64))
    return {__umulh(a, b), a * b};
#else
    return multiply_portable(a, b);
#endif
}

// Quotient of hi:lo by d, for d with its top bit set and hi < d, with the remainder: long
// division in two digits of 32 bits, each guessed from the divisor's top digit and corrected
// (at most twice) from its next one.
constexpr std::uint64_t divide(std::uint64_t hi, std::uint64_t lo, std::uint64_t d,
                               std::uint64_t& remainder) {
    const std::uint64_t d1 = d >> 32, d0 = d & 0xFFFFFFFFu;
    const std::uint64_t n1 = lo >> 32, n0 = lo & 0xFFFFFFFFu;
    std::uint64_t q1 = hi / d1;
    std::uint64_t r = hi - q1 * d1;
    while ((q1 >> 32) != 0 || q1 * d0 > ((r << 32) | n1)) {
        --q1;
        r += d1;
        if ((r >> 32) != 0) break;
    }
    // The partial remainder is below d; the words that wrap away are all zero in it.
    const std::uint64_t middle = ((hi << 32) | n1) - q1 * d;
    std::uint64_t q0 = middle / d1;
    r = middle - q0 * d1;
    while ((q0 >> 32) != 0 || q0 * d0 > ((r << 32) | n0)) {
        --q0;
        r += d1;
        if ((r >> 32) != 0) break;
    }
    remainder = ((middle << 32) | n0) - q0 * d;
    return (q1 << 32) | q0;
}

constexpr std::uint16_t kSign = 0x8000;
constexpr std::uint16_t kMaxExponent = 0x7FFF;
constexpr int kBias = 16383;
constexpr std::uint64_t kIntegerBit = 0x8000000000000000u;
constexpr std::uint64_t kQuietBit = 0x4000000000000000u;

}  // namespace soft_extended_detail

class SoftExtended {
public:
    // +0.
    constexpr SoftExtended() = default;

    // Exact: every double is a value of this format (a signalling NaN comes back quieted).
    SoftExtended(double x) {
        using namespace soft_extended_detail;
        const auto bits = std::bit_cast<std::uint64_t>(x);
        const auto field = static_cast<unsigned>(bits >> 52) & 0x7FF;
        if (field - 1 < 0x7FE) [[likely]] {
            sign_exponent_ =
                static_cast<std::uint16_t>(((bits >> 48) & kSign) | (field - 1023 + kBias));
            significand_ = kIntegerBit | (bits << 11);
        } else {
            *this = from_unusual_double(bits);
        }
    }

    // A long double would silently lose its low bits on the way through double.
    SoftExtended(long double) = delete;

    // Exact for every integer up to 64 bits.
    template <std::integral Integer>
    SoftExtended(Integer n) {
        if constexpr (std::signed_integral<Integer>) {
            const auto wide = static_cast<long long>(n);
            const std::uint64_t magnitude =
                wide < 0 ? 0 - static_cast<std::uint64_t>(wide) : static_cast<std::uint64_t>(wide);
            *this = from_magnitude(wide < 0, magnitude);
        } else {
            *this = from_magnitude(false, static_cast<std::uint64_t>(n));
        }
    }

    static constexpr SoftExtended from_bits(std::uint16_t sign_exponent,
                                            std::uint64_t significand) {
        SoftExtended x;
        x.sign_exponent_ = sign_exponent;
        x.significand_ = significand;
        return x;
    }

    constexpr std::uint16_t sign_exponent() const { return sign_exponent_; }
    constexpr std::uint64_t significand() const { return significand_; }
    constexpr bool sign() const { return (sign_exponent_ & soft_extended_detail::kSign) != 0; }
    constexpr int biased_exponent() const { return sign_exponent_ & 0x7FFF; }

    constexpr bool is_nan() const {
        return biased_exponent() == soft_extended_detail::kMaxExponent && (significand_ << 1) != 0;
    }
    constexpr bool is_infinite() const {
        return biased_exponent() == soft_extended_detail::kMaxExponent && (significand_ << 1) == 0;
    }
    constexpr bool is_finite() const {
        return biased_exponent() != soft_extended_detail::kMaxExponent;
    }

    // Rounded to nearest even straight from the 64-bit significand, as the x87 store to double
    // does: overflow gives infinity, underflow a double denormal or zero; a NaN keeps its sign
    // and the top 52 bits of its payload, quieted.
    explicit operator double() const {
        using namespace soft_extended_detail;
        const int exponent = biased_exponent() - kBias + 1023;
        // Normal in double, or rounding up to its overflow, from an ordinary value.
        if (static_cast<unsigned>(exponent - 1) < 0x7FEu && (significand_ & kIntegerBit) != 0)
            [[likely]] {
            const std::uint64_t kept = significand_ >> 11;
            const std::uint64_t up = ((significand_ & 0x7FF) + 0x3FF + (kept & 1)) >> 11;
            // The integer bit steps the exponent field up by one from exponent - 1, a carry out
            // of the significand by one more, to infinity at the top.
            return std::bit_cast<double>(
                (static_cast<std::uint64_t>(sign_exponent_ & kSign) << 48) |
                ((static_cast<std::uint64_t>(exponent - 1) << 52) + kept + up));
        }
        return to_unusual_double();
    }

    // Truncated toward zero. Out of range, NaN or infinite: the x87 "integer indefinite",
    // INT_MIN or LLONG_MIN, as GCC's conversions give.
    explicit operator long long() const {
        constexpr auto indefinite = static_cast<long long>(0x8000000000000000u);
        const int field = biased_exponent();
        if (rejected() || field == soft_extended_detail::kMaxExponent) return indefinite;
        if (field < soft_extended_detail::kBias) return 0;
        const int power = field - soft_extended_detail::kBias;
        // -2^63 itself is the indefinite pattern too.
        if (power >= 63) return indefinite;
        const std::uint64_t magnitude = significand_ >> (63 - power);
        return static_cast<long long>(sign() ? 0 - magnitude : magnitude);
    }
    explicit operator int() const {
        constexpr int indefinite = -2147483647 - 1;
        const int field = biased_exponent();
        if (rejected() || field == soft_extended_detail::kMaxExponent) return indefinite;
        if (field < soft_extended_detail::kBias) return 0;
        const int power = field - soft_extended_detail::kBias;
        if (power >= 31) return indefinite;
        const auto magnitude = static_cast<int>(significand_ >> (63 - power));
        return sign() ? -magnitude : magnitude;
    }
    // GCC's sequence on x86-64: values below 2^63 (and NaNs) go through the signed conversion,
    // so negative ones wrap modulo 2^64 (or give 2^63 below -2^63, and for NaN); [2^63, 2^64)
    // is exact; 2^64 and above, +infinity included, give 0 (2^63 subtracted, the indefinite
    // 2^63 from the conversion, 2^63 added back in the top bit).
    explicit operator unsigned long long() const {
        const int field = biased_exponent();
        if (!sign() && !rejected() && field >= soft_extended_detail::kBias + 63 && !is_nan()) {
            return field == soft_extended_detail::kBias + 63 ? significand_ : 0;
        }
        return static_cast<unsigned long long>(static_cast<long long>(*this));
    }

    friend constexpr SoftExtended operator-(SoftExtended x) {
        x.sign_exponent_ ^= soft_extended_detail::kSign;
        return x;
    }
    friend constexpr SoftExtended operator+(SoftExtended x) { return x; }

    friend SoftExtended operator+(SoftExtended a, SoftExtended b) {
        if (ordinary(a, b)) [[likely]] {
            return add(a.sign_exponent_ & soft_extended_detail::kSign, a.biased_exponent(),
                       a.significand_, b.sign_exponent_ & soft_extended_detail::kSign,
                       b.biased_exponent(), b.significand_);
        }
        return add_special(a, b, false);
    }
    friend SoftExtended operator-(SoftExtended a, SoftExtended b) {
        if (ordinary(a, b)) [[likely]] {
            return add(
                a.sign_exponent_ & soft_extended_detail::kSign, a.biased_exponent(), a.significand_,
                (b.sign_exponent_ & soft_extended_detail::kSign) ^ soft_extended_detail::kSign,
                b.biased_exponent(), b.significand_);
        }
        return add_special(a, b, true);
    }
    friend SoftExtended operator*(SoftExtended a, SoftExtended b) {
        if (ordinary(a, b)) [[likely]] {
            return multiply((a.sign_exponent_ ^ b.sign_exponent_) & soft_extended_detail::kSign,
                            a.biased_exponent(), a.significand_, b.biased_exponent(),
                            b.significand_);
        }
        return multiply_special(a, b);
    }
    friend SoftExtended operator/(SoftExtended a, SoftExtended b) {
        if (ordinary(a, b)) [[likely]] {
            return divide((a.sign_exponent_ ^ b.sign_exponent_) & soft_extended_detail::kSign,
                          a.biased_exponent(), a.significand_, b.biased_exponent(), b.significand_);
        }
        return divide_special(a, b);
    }
    friend SoftExtended sqrt(SoftExtended x) {
        if (ordinary(x) && !x.sign()) [[likely]] {
            return square_root(x.biased_exponent(), x.significand_);
        }
        return sqrt_special(x);
    }

    SoftExtended& operator+=(SoftExtended b) { return *this = *this + b; }
    SoftExtended& operator-=(SoftExtended b) { return *this = *this - b; }
    SoftExtended& operator*=(SoftExtended b) { return *this = *this * b; }
    SoftExtended& operator/=(SoftExtended b) { return *this = *this / b; }

    // IEEE comparisons: a NaN (or a rejected encoding) is unordered with everything, +0 == -0.
    friend bool operator==(SoftExtended a, SoftExtended b) { return compare(a, b) == kEqual; }
    friend bool operator<(SoftExtended a, SoftExtended b) { return compare(a, b) == kLess; }
    friend bool operator>(SoftExtended a, SoftExtended b) { return compare(b, a) == kLess; }
    friend bool operator<=(SoftExtended a, SoftExtended b) {
        const int c = compare(a, b);
        return c == kLess || c == kEqual;
    }
    friend bool operator>=(SoftExtended a, SoftExtended b) { return b <= a; }

    // Sign bit operations, as fchs and fabs: NaNs pass unquieted.
    friend constexpr SoftExtended fabs(SoftExtended x) {
        x.sign_exponent_ &= 0x7FFF;
        return x;
    }
    friend constexpr SoftExtended copysign(SoftExtended magnitude, SoftExtended sign) {
        magnitude.sign_exponent_ = (magnitude.sign_exponent_ & 0x7FFF) |
                                   (sign.sign_exponent_ & soft_extended_detail::kSign);
        return magnitude;
    }

    // x * 2^n, rounded once as a multiplication would be (to a denormal, zero or infinity).
    // Zeros and infinities come back as they are, NaNs quieted.
    friend SoftExtended ldexp(SoftExtended x, int n);
    // A significand in [0.5, 1) with the sign of x, and the power of two that scales it back to
    // x. Zeros, infinities and NaNs (quieted) come back with 0 in *exponent.
    friend SoftExtended frexp(SoftExtended x, int* exponent);

private:
    enum : int { kLess, kEqual, kGreater, kUnordered };

    // Integer bit clear under a nonzero exponent field: unnormals, pseudo-infinities and
    // pseudo-NaNs, which the x87 unit refuses as operands.
    constexpr bool rejected() const {
        return biased_exponent() != 0 && (significand_ & soft_extended_detail::kIntegerBit) == 0;
    }

    // Exponent field 1..0x7FFE with the integer bit set: the fast paths' operands.
    static constexpr bool ordinary(SoftExtended x) {
        return static_cast<unsigned>(x.biased_exponent() - 1) < 0x7FFEu &&
               (x.significand_ & soft_extended_detail::kIntegerBit) != 0;
    }
    // Both, tested without a branch between them.
    static constexpr bool ordinary(SoftExtended a, SoftExtended b) {
        const auto in_range = [](SoftExtended x) {
            return static_cast<unsigned>(static_cast<unsigned>(x.biased_exponent() - 1) < 0x7FFEu);
        };
        return (in_range(a) & in_range(b) &
                static_cast<unsigned>((a.significand_ & b.significand_) >> 63)) != 0;
    }

    // The value sig.rest * 2^(exponent - 16383 - 63), sig having its top bit set, rounded to
    // nearest even into the format: rest holds the bits below sig's last one, or, where some
    // were lost on the way, the round bit on top and anything nonzero below it for the rest.
    // exponent may be far outside the format's range either way.
    static SoftExtended round_pack(std::uint16_t sign, int exponent, std::uint64_t sig,
                                   std::uint64_t rest) {
        using namespace soft_extended_detail;
        if (static_cast<unsigned>(exponent - 1) < 0x7FFEu) [[likely]] {
            const std::uint64_t up =
                (rest >> 63) & (static_cast<std::uint64_t>((rest << 1) != 0) | sig);
            const std::uint64_t rounded = sig + up;
            // A carry out of all ones leaves 0: the significand becomes the integer bit alone
            // under the next exponent, which from the top exponent is infinity's encoding.
            const std::uint64_t carry = rounded == 0;
            return from_bits(
                static_cast<std::uint16_t>(sign | (exponent + static_cast<int>(carry))),
                rounded | (carry << 63));
        }
        return round_pack_unusual(sign, exponent, sig, rest);
    }
    // Denormal, zero or infinite results.
    static SoftExtended round_pack_unusual(std::uint16_t sign, int exponent, std::uint64_t sig,
                                           std::uint64_t rest);

    // Sum of two finite nonzero values given by sign, exponent and significand with its top
    // bit set (the exponents of denormals brought to that form may be below 1).
    static SoftExtended add(std::uint16_t sign_a, int exp_a, std::uint64_t sig_a,
                            std::uint16_t sign_b, int exp_b, std::uint64_t sig_b) {
        using namespace soft_extended_detail;
        if (exp_a < exp_b || (exp_a == exp_b && sig_a < sig_b)) {
            std::swap(sign_a, sign_b);
            std::swap(exp_a, exp_b);
            std::swap(sig_a, sig_b);
        }
        // b aligned under a, 128 bits wide; anything shifted out of that is jammed into the last
        // bit, far enough below the round bit to decide only stickiness.
        const unsigned distance = static_cast<unsigned>(exp_a - exp_b);
        std::uint64_t b_hi, b_lo;
        if (distance < 64) [[likely]] {
            b_hi = sig_b >> distance;
            b_lo = (sig_b << (63 - distance)) << 1;
        } else {
            b_hi = 0;
            if (distance < 128) {
                b_lo = (sig_b >> (distance - 64)) | (((sig_b << (127 - distance)) << 1) != 0);
            } else {
                // Below a quarter of a's last place: it only keeps the result off an exact value.
                b_lo = 1;
            }
        }
        if (sign_a == sign_b) {
            const std::uint64_t sum = sig_a + b_hi;
            if (sum >= sig_a) [[likely]]
                return round_pack(sign_a, exp_a, sum, b_lo);
            // Carried out: one place right, the lost bit kept sticky.
            return round_pack(sign_a, exp_a + 1, (sum >> 1) | kIntegerBit,
                              (sum << 63) | (b_lo >> 1) | (b_lo & 1));
        }
        std::uint64_t lo = 0 - b_lo;
        std::uint64_t hi = sig_a - b_hi - (b_lo != 0);
        if (hi == 0) [[unlikely]] {
            // Only close operands cancel a whole word, and then nothing was jammed.
            if (lo == 0) return SoftExtended();  // exact cancellation gives +0
            hi = lo;
            lo = 0;
            exp_a -= 64;
        }
        const int shift = std::countl_zero(hi);
        hi = (hi << shift) | ((lo >> 1) >> (63 - shift));
        lo <<= shift;
        return round_pack(sign_a, exp_a - shift, hi, lo);
    }

    static SoftExtended multiply(std::uint16_t sign, int exp_a, std::uint64_t sig_a, int exp_b,
                                 std::uint64_t sig_b) {
        using namespace soft_extended_detail;
        const Wide p = soft_extended_detail::multiply(sig_a, sig_b);
        // Two significands in [2^63, 2^64) give at least 2^126: at most one step of
        // normalisation.
        const bool top = (p.hi & kIntegerBit) != 0;
        const std::uint64_t hi = top ? p.hi : (p.hi << 1) | (p.lo >> 63);
        const std::uint64_t lo = top ? p.lo : p.lo << 1;
        return round_pack(sign, exp_a + exp_b - kBias + top, hi, lo);
    }

    static SoftExtended divide(std::uint16_t sign, int exp_a, std::uint64_t sig_a, int exp_b,
                               std::uint64_t sig_b) {
        using namespace soft_extended_detail;
        // A 64-bit quotient in [2^63, 2^64): the dividend takes 63 bits of headroom when its
        // significand is the larger, 64 when it is the smaller.
        const bool larger = sig_a >= sig_b;
        const std::uint64_t hi = larger ? sig_a >> 1 : sig_a;
        const std::uint64_t lo = larger ? sig_a << 63 : 0;
        std::uint64_t remainder = 0;
        const std::uint64_t q = soft_extended_detail::divide(hi, lo, sig_b, remainder);
        // remainder / sig_b is the fraction below q's last bit. It is never exactly a half: that
        // would make 2q + 1 >= 2^64 + 1, odd, divide the odd part of sig_a. So the round bit is
        // whether it passes a half, the sticky bit whether it is nonzero.
        const std::uint64_t rest =
            (static_cast<std::uint64_t>(remainder > sig_b - remainder) << 63) |
            static_cast<std::uint64_t>(remainder != 0);
        return round_pack(sign, exp_a - exp_b + kBias - !larger, q, rest);
    }

    // Square root of a positive finite value (exponent possibly below 1, top bit set).
    static SoftExtended square_root(int exponent, std::uint64_t sig) {
        using namespace soft_extended_detail;
        // sig * 2^(unbiased - 63): an even power of two is taken out, leaving the radicand m
        // in [2^126, 2^128) whose integer root r is the result's significand.
        const int unbiased = exponent - kBias;
        const bool odd = (unbiased & 1) != 0;
        const std::uint64_t m_hi = odd ? sig : sig >> 1;
        const std::uint64_t m_lo = odd ? 0 : sig << 63;
        // An estimate good to about 2^12 from double's correctly rounded root, one Newton step
        // taken in double to within one, then the exact correction.
        const double estimate = std::sqrt(static_cast<double>(m_hi)) * 4294967296.0;
        std::uint64_t r = estimate >= 18446744073709551616.0 ? ~std::uint64_t{0}
                                                             : static_cast<std::uint64_t>(estimate);
        Wide square = soft_extended_detail::multiply(r, r);
        {
            const std::uint64_t diff_lo = m_lo - square.lo;
            const auto diff_hi = static_cast<std::int64_t>(m_hi - square.hi - (m_lo < square.lo));
            const double diff = static_cast<double>(diff_hi) * 18446744073709551616.0 +
                                static_cast<double>(diff_lo);
            r += static_cast<std::uint64_t>(
                static_cast<std::int64_t>(diff / (2.0 * static_cast<double>(r))));
            square = soft_extended_detail::multiply(r, r);
        }
        while (square.hi > m_hi || (square.hi == m_hi && square.lo > m_lo)) {
            --r;
            square = soft_extended_detail::multiply(r, r);
        }
        // remainder = m - r^2; (r + 1)^2 <= m while remainder > 2r.
        std::uint64_t rem_lo = m_lo - square.lo;
        std::uint64_t rem_hi = m_hi - square.hi - (m_lo < square.lo);
        while (rem_hi > (r >> 63) || (rem_hi == (r >> 63) && rem_lo > (r << 1))) {
            const std::uint64_t step_lo = (r << 1) | 1;
            rem_hi -= (r >> 63) + (rem_lo < step_lo);
            rem_lo -= step_lo;
            ++r;
        }
        // The root is never exactly halfway between integers: it is at least r + 1/2 when
        // the remainder exceeds r.
        const std::uint64_t rest = (static_cast<std::uint64_t>(rem_hi != 0 || rem_lo > r) << 63) |
                                   static_cast<std::uint64_t>(rem_hi != 0 || rem_lo != 0);
        return round_pack(0, (unbiased >> 1) + kBias, r, rest);
    }

    static SoftExtended from_magnitude(bool negative, std::uint64_t magnitude) {
        if (magnitude == 0) return SoftExtended();
        const int shift = std::countl_zero(magnitude);
        return from_bits(static_cast<std::uint16_t>((negative ? soft_extended_detail::kSign : 0) |
                                                    (soft_extended_detail::kBias + 63 - shift)),
                         magnitude << shift);
    }

    // Conversions of zeros, denormals, infinities and NaNs, and of values beyond double's
    // normal range.
    static SoftExtended from_unusual_double(std::uint64_t bits);
    double to_unusual_double() const;

    // Operands that are not both ordinary: zeros, denormals, infinities, NaNs, rejected
    // encodings.
    static SoftExtended add_special(SoftExtended a, SoftExtended b, bool subtract);
    static SoftExtended multiply_special(SoftExtended a, SoftExtended b);
    static SoftExtended divide_special(SoftExtended a, SoftExtended b);
    static SoftExtended sqrt_special(SoftExtended x);
    static int compare(SoftExtended a, SoftExtended b) {
        if (a.is_nan() || b.is_nan() || a.rejected() || b.rejected()) return kUnordered;
        const bool zero_a = a.biased_exponent() == 0 && a.significand_ == 0;
        const bool zero_b = b.biased_exponent() == 0 && b.significand_ == 0;
        if (zero_a && zero_b) return kEqual;
        if (a.sign() != b.sign()) return a.sign() ? kLess : kGreater;
        // Same sign: magnitudes order as exponent field then significand (a pseudo-denormal's
        // field counts as 1, as its scale does).
        const int field_a =
            a.biased_exponent() == 0 ? static_cast<int>(a.significand_ >> 63) : a.biased_exponent();
        const int field_b =
            b.biased_exponent() == 0 ? static_cast<int>(b.significand_ >> 63) : b.biased_exponent();
        int order = kEqual;
        if (field_a != field_b) {
            order = field_a < field_b ? kLess : kGreater;
        } else if (a.significand_ != b.significand_) {
            order = a.significand_ < b.significand_ ? kLess : kGreater;
        }
        return a.sign() ? kGreater - order : order;
    }

    std::uint64_t significand_ = 0;
    std::uint16_t sign_exponent_ = 0;
};

// Found by qualified names too, not only by argument-dependent lookup.
SoftExtended sqrt(SoftExtended x);
constexpr SoftExtended fabs(SoftExtended x);
constexpr SoftExtended copysign(SoftExtended magnitude, SoftExtended sign);
SoftExtended ldexp(SoftExtended x, int n);
SoftExtended frexp(SoftExtended x, int* exponent);

}  // namespace tavrin
