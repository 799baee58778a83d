// The long double sine and cosine exactly as the program computed them before they were made
// faster: the faster code must give the same bits for every angle, since the output bytes
// follow from them. Kept verbatim apart from the names.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "network/extended_math.hpp"
#include "network/x87_values.hpp"

#if defined(TAVRIN_TEST_X87_VALUES)

namespace tavrin::reference {
namespace detail {

// ---------------------------------------------------------------- exact building blocks
// The x87 unit has no fused multiply-add: exact products come from Veltkamp splitting.

// A value held as the unevaluated sum hi + lo.
struct Pair {
    long double hi;
    long double lo;
};

// hi + lo == a + b exactly, hi = a + b rounded.
inline Pair two_sum(long double a, long double b) {
    const long double s = a + b;
    const long double b_part = s - a;
    return {s, (a - (s - b_part)) + (b - b_part)};
}

// The same when |a| >= |b| (or a == 0).
inline Pair fast_two_sum(long double a, long double b) {
    const long double s = a + b;
    return {s, b - (s - a)};
}

// hi holds the upper 32 bits of the 64-bit significand of a, lo the rest (both exact).
inline Pair split(long double a) {
    constexpr long double splitter = 4294967297.0L;  // 2^32 + 1
    const long double t = splitter * a;
    const long double hi = t - (t - a);
    return {hi, a - hi};
}

// hi + lo == a * b exactly, hi = a * b rounded (barring underflow).
inline Pair two_product(long double a, long double b) {
    const long double p = a * b;
    const Pair x = split(a);
    const Pair y = split(b);
    return {p, (((x.hi * y.hi - p) + x.hi * y.lo) + x.lo * y.hi) + x.lo * y.lo};
}

// The 80-bit layout: 64-bit significand (explicit leading bit), then sign and biased exponent.
inline std::uint64_t significand_of(long double x) {
    std::uint64_t significand;
    std::memcpy(&significand, &x, sizeof significand);
    return significand;
}

inline int biased_exponent_of(long double x) {
    std::uint16_t sign_exponent;
    std::memcpy(&sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8,
                sizeof sign_exponent);
    return sign_exponent & 0x7fff;
}

inline long double with_significand(long double x, std::uint64_t significand) {
    std::memcpy(&x, &significand, sizeof significand);
    return x;
}

// Adding this rounds a long double below 2^62 in size to a whole number, which the low bits of
// the sum's significand then hold (two's complement): no conversion to an integer type, which
// on x87 means switching the rounding mode twice.
constexpr long double round_shift = 0x1.8p63L;

// 2^e exactly, for e in the normal long double range.
inline long double power_of_two(int e) {
    long double x = 1.0L;
    const auto sign_exponent = static_cast<std::uint16_t>(e + 16383);
    std::memcpy(reinterpret_cast<unsigned char*>(&x) + 8, &sign_exponent, sizeof sign_exponent);
    return x;
}

// ---------------------------------------------------------------- sine and cosine

constexpr long double quarter_pi = 0xc.90fdaa22168c235p-4L;
constexpr long double two_over_pi = 0xa.2f9836e4e44152ap-4L;
// pi/2 in three pieces for reduction by k < 2^20: k times either of the 44-bit pieces is exact.
constexpr long double half_pi_1 = 0xc.90fdaa221600000p-3L;
constexpr long double half_pi_2 = 0x8.c234c4c66200000p-47L;
constexpr long double half_pi_3 = 0x8.b80dc1cd129024ep-91L;
// pi/2 to 128 bits.
constexpr long double half_pi_hi = 0xc.90fdaa22168c235p-3L;
constexpr long double half_pi_lo = -0xe.ce675d1fc8f8cbbp-69L;

// The first 1280 bits of 2/pi after the binary point, enough to reduce any |a| < 2^1089.
constexpr int two_over_pi_words = 40;
constexpr std::uint32_t two_over_pi_bits[two_over_pi_words] = {
    0xa2f9836e, 0x4e441529, 0xfc2757d1, 0xf534ddc0, 0xdb629599, 0x3c439041, 0xfe5163ab, 0xdebbc561,
    0xb7246e3a, 0x424dd2e0, 0x06492eea, 0x09d1921c, 0xfe1deb1c, 0xb129a73e, 0xe88235f5, 0x2ebb4484,
    0xe99c7026, 0xb45f7e41, 0x3991d639, 0x835339f4, 0x9c845f8b, 0xbdf9283b, 0x1ff897ff, 0xde05980f,
    0xef2f118b, 0x5a0a6d1f, 0x6d367ecf, 0x27cb09b7, 0x4f463f66, 0x9e5fea2d, 0x7527bac7, 0xebe5f17b,
    0x3d0739f7, 0x8a5292ea, 0x6bfb5fb1, 0x1f8d5d08, 0x56033046, 0xfc7b6bab, 0xf0cfbc20, 0x9af4361d};

// sin(j/64) and cos(j/64), each to 128 bits, for j = 0 .. 51 (pi/4 < 51/64).
struct SinCosEntry {
    long double sin_hi, sin_lo;
    long double cos_hi, cos_lo;
};
constexpr SinCosEntry sin_cos_table[52] = {
    {0.0L, 0.0L,  // 0/64
     0x8.000000000000000p-3L, 0.0L},
    {0xf.ffd55577776a76bp-10L, -0xb.639a9f077611acfp-75L,  // 1/64
     0xf.ff8000aaaa4fa51p-4L, 0x8.a280e97bcd59c8ap-69L},
    {0xf.ff5557777437465p-9L, 0xf.e41376d47919579p-74L,  // 2/64
     0xf.fe000aaa93e9589p-4L, 0xa.edb49d92928df73p-69L},
    {0xb.fee008197dd454dp-8L, -0xd.efa374cbccee2a3p-74L,  // 3/64
     0xf.fb8035fefccf675p-4L, -0xe.d58192357af9f27p-70L},
    {0xf.fd557776a76d5a6p-8L, -0xb.6993425b4ad4d41p-74L,  // 4/64
     0xf.f800aaa4fa69a65p-4L, 0xe.1ee6509bc42b71fp-73L},
    {0x9.fd658968baad4dcp-7L, -0xc.8a94ca345b0e6dfp-73L,  // 5/64
     0xf.f381a094f7b771ap-4L, 0xb.cc83690697c0c57p-73L},
    {0xb.fb808192a8720d8p-7L, -0xf.4b9ffebf97bfe07p-74L,  // 6/64
     0xf.ee035fbf35cda63p-4L, 0x8.15a9afc6daca37fp-70L},
    {0xd.f8dbc2b41c8ebd2p-7L, 0xc.20ef52663e52b02p-73L,  // 7/64
     0xf.e78640074cd88f5p-4L, 0xf.5e1b461ab08d957p-71L},
    {0xf.f5577743771ae50p-7L, 0xd.350ce43f13f0b4bp-73L,  // 8/64
     0xf.e00aa93eade9b6dp-4L, 0xf.35094efb78c672bp-71L},
    {0x8.f869ebd7e757522p-6L, 0xd.5ecd12cb6945e90p-74L,  // 9/64
     0xf.d791131e25e97abp-4L, 0xa.98f662ec4ba5983p-69L},
    {0x9.f598962eb365a90p-6L, -0xa.665264d1bc1535ep-71L,  // 10/64
     0xf.ce1a053e621438bp-4L, 0xd.ac18edd188b7e15p-69L},
    {0xa.f227e7d09379521p-6L, 0xe.f3e701d928a4a96p-71L,  // 11/64
     0xf.c3a6170f767ac73p-4L, 0xb.ac7b3353a873c3bp-69L},
    {0xb.ee0817dd795a8adp-6L, 0xb.50e23c97c2b12c4p-71L,  // 12/64
     0xf.b835efcf670dd2dp-4L, -0xc.80c36dcb408af61p-71L},
    {0xc.e9296867618919cp-6L, 0x8.7b016226fa7d28ap-71L,  // 13/64
     0xf.abca467fb3cb8f2p-4L, -0xb.e583f89c5731487p-70L},
    {0xd.e37c276e30ccb38p-6L, 0xd.2b53d865582e452p-72L,  // 14/64
     0xf.9e63e1d9e8b6f6fp-4L, 0xb.8a5aeb96d7b6704p-70L},
    {0xe.dcf0afdad2e7d9ap-6L, 0xe.f9499c81f0d9651p-72L,  // 15/64
     0xf.90039843324f9b9p-4L, 0x8.082d833096d97dap-69L},
    {0xf.d5776a798abb5d4p-6L, 0x9.debdc7351e8b1afp-71L,  // 16/64
     0xf.80aa4fbef750ba8p-4L, -0xf.859868d40d60eb8p-69L},
    {0x8.66806779b21acc1p-5L, -0xc.28324f8ad1eeeb9p-70L,  // 17/64
     0xf.7058fde0788dfc8p-4L, 0xb.71fd10f13c9e84ap-73L},
    {0x8.e1beb2635c3b28cp-5L, 0xe.dfc1b9fe8ffc637p-73L,  // 18/64
     0xf.5f10a7bb77d3dfap-4L, 0xc.1da8b5784278328p-72L},
    {0x9.5c6ee21f5a4f915p-5L, 0xa.7133e5b00d466e7p-70L,  // 19/64
     0xf.4cd261d3e6c15bbp-4L, 0xd.a721d618c34ab00p-70L},
    {0x9.d6894bb4e9ec004p-5L, 0xf.554121e0e69c511p-73L,  // 20/64
     0xf.399f500c9e9fd38p-4L, -0xa.2cd51b384a8ef12p-69L},
    {0xa.50064d879e90304p-5L, 0xe.e9aec23ab20b082p-70L,  // 21/64
     0xf.2578a595224dd2ep-4L, 0xd.7f45d65f3398ceap-69L},
    {0xa.c8de4fd17acb97cp-5L, 0xe.97587fc195c8a44p-70L,  // 22/64
     0xf.105fa4d66b607a6p-4L, 0xf.a89c084e4a40887p-69L},
    {0xb.4109c51c6bfb44fp-5L, -0x9.202444aace28b31p-72L,  // 23/64
     0xe.fa559f5ec3aec3ap-4L, 0x9.d6066324f145a84p-69L},
    {0xb.b8812abb2109e91p-5L, 0xa.519d68926379761p-70L,  // 24/64
     0xe.e35bf5ccac89053p-4L, -0xc.9b889232cb16e07p-70L},
    {0xc.2f3d094134a4b15p-5L, -0xf.c592814c7f06b68p-70L,  // 25/64
     0xe.cb7417b8d4ee3ffp-4L, -0xf.21516fe3156dc38p-70L},
    {0xc.a535f4faa36252cp-5L, 0xc.7b065f02a102847p-70L,  // 26/64
     0xe.b29f839f201fd14p-4L, -0x8.d90d2fb0dd2b0e2p-69L},
    {0xd.1a648e628664f2ep-5L, 0xe.f1c4af313337712p-70L,  // 27/64
     0xe.98dfc6c6be031e6p-4L, 0xd.d3089cbdd18a75bp-72L},
    {0xd.8ec182990b0b4a4p-5L, -0x9.0b2e67d464eb54ep-70L,  // 28/64
     0xe.7e367d2956cfb17p-4L, -0x9.2abdc357cc65ff5p-69L},
    {0xe.02458bd8a05191ap-5L, -0xc.c540b02cbf333c8p-76L,  // 29/64
     0xe.62a551594b970a7p-4L, 0xe.162ba83a981c908p-69L},
    {0xe.74e971ea528f6d0p-5L, 0xd.d7b494759fd810cp-71L,  // 30/64
     0xe.462dfc670d421abp-4L, 0xf.468564048a3c51bp-70L},
    {0xe.e6a60a994e4d21bp-5L, -0xc.e47a38099865318p-70L,  // 31/64
     0xe.28d245c58baef72p-4L, 0x8.9788caaf000f10ep-70L},
    {0xf.57743a2582f7f44p-5L, -0x9.b43c9b027c8499ap-70L,  // 32/64
     0xe.0a94032dbea7ceep-4L, -0x8.444c4ba0a0a4cf5p-69L},
    {0xf.c74cf3b55e4b8cfp-5L, -0xd.5ea1a5feb97b4dfp-71L,  // 33/64
     0xd.eb7518814a7a932p-4L, -0x8.866ee7dec657c76p-69L},
    {0x8.1b149ce34caa5a5p-4L, -0xc.d78397b01594aacp-71L,  // 34/64
     0xd.cb7777ac4207051p-4L, 0xd.1e63c7d6f019d39p-69L},
    {0x8.52010f4f0800521p-4L, 0xd.e2f6375851d4f42p-70L,  // 35/64
     0xd.aa9d20860827064p-4L, -0x8.6b8fd85ea859b34p-74L},
    {0x8.8868625b4e1dbb2p-4L, 0xc.4cc404cc08949c8p-70L,  // 36/64
     0xd.88e820b1526311ep-4L, -0xa.a78410fcf9596b2p-70L},
    {0x8.be472f9776d809bp-4L, -0xd.477e8edbc29c299p-72L,  // 37/64
     0xd.665a937b4ef2b1fp-4L, 0xd.aa375adb3114883p-69L},
    {0x8.f39a191b2ba6123p-4L, -0xb.80b617c54b80058p-69L,  // 38/64
     0xd.42f6a1b9f0168cep-4L, -0xf.ce3d09c3726cfb2p-72L},
    {0x9.285dc9bc45dd9eap-4L, 0xf.40915ef33967106p-70L,  // 39/64
     0xd.1ebe81a95ee752ep-4L, 0x9.144d79a65add246p-69L},
    {0x9.5c8ef544210ec0cp-4L, -0xd.c76c85aabec2f5dp-69L,  // 40/64
     0xc.f9b476c897c25c6p-4L, -0x8.0315e45819ee2a1p-69L},
    {0x9.902a58a45e27bedp-4L, 0xd.0825684d6cebdaap-69L,  // 41/64
     0xc.d3dad1b5328a2e4p-4L, 0xb.3f327e9ea211034p-69L},
    {0x9.c32cba2b14156efp-4L, 0xa.4ad89f0af32394dp-73L,  // 42/64
     0xc.ad33f00658fe5e8p-4L, 0x8.12ef03ce99a839bp-70L},
    {0x9.f592e9b66a9cf90p-4L, 0xd.478f54782033309p-69L,  // 43/64
     0xc.85c23c26ed7b6f0p-4L, 0xa.77aa3623c94b411p-71L},
    {0xa.2759c0e79c35582p-4L, 0xa.4f8656abea80b83p-69L,  // 44/64
     0xc.5d882d2ee48030cp-4L, 0xf.80fa51d303c6901p-69L},
    {0xa.587e23555bb0808p-4L, 0xd.a05738cc59ba526p-69L,  // 45/64
     0xc.348846bbd363134p-4L, -0xe.003a802c45d8fccp-69L},
    {0xa.88fcfebd9a8dd48p-4L, -0xe.861c48830ede337p-71L,  // 46/64
     0xc.0ac518c8b6ae711p-4L, -0x8.b90b8228de69d4ap-69L},
    {0xa.b8d34b36acd9872p-4L, 0x8.769a1f632ebf1d7p-71L,  // 47/64
     0xb.e0413f84f2a771cp-4L, 0xc.2928d51197e9b44p-69L},
    {0xa.e7fe0b5fc786b2ep-4L, -0xd.323c52a1d7eb6efp-69L,  // 48/64
     0xb.b4ff632a908f73fp-4L, -0xf.ab9f18d1899b12cp-70L},
    {0xb.167a4c90d63c424p-4L, 0x9.9ea9276f98477a8p-69L,  // 49/64
     0xb.890237d3bb3c285p-4L, -0x9.3d6bf58dfd280bep-69L},
    {0xb.44452709a597529p-4L, 0xb.226eca8694b3a22p-73L,  // 50/64
     0xb.5c4c7d4f7dae916p-4L, -0xa.70f266169cb6ce6p-69L},
    {0xb.715bbe205ef06f2p-4L, -0xe.530aff5aa62ddb6p-69L,  // 51/64
     0xb.2ee0fef5c65cf9ap-4L, 0xf.92e3320e22d00ecp-72L},
};

// The Taylor coefficients of sin d - d and cos d - 1; |d| <= 1/128 leaves a truncation error
// below 2^-90 of the result.
constexpr long double sin_3 = -1.0L / 6, sin_5 = 1.0L / 120, sin_7 = -1.0L / 5040,
                      sin_9 = 1.0L / 362880;
constexpr long double cos_2 = -0.5L, cos_4 = 1.0L / 24, cos_6 = -1.0L / 720, cos_8 = 1.0L / 40320;

// a = k pi/2 + r, with r = hi + lo, |r| <= pi/4 (a hair more where k was rounded), k mod 4.
struct Reduced {
    Pair r;
    unsigned quadrant;
};

// pi/4 < x < 2^20 (Cody and Waite).
inline Reduced reduce_medium(long double x) {
    const long double shifted = x * two_over_pi + round_shift;
    const long double k = shifted - round_shift;  // the nearest whole number
    const long double t1 = x - k * half_pi_1;     // exact: k half_pi_1 is, and it is close to x
    const Pair t2 = two_sum(t1, -(k * half_pi_2));
    const Pair t3 = two_sum(t2.hi, -(k * half_pi_3));
    return {fast_two_sum(t3.hi, t3.lo + t2.lo), static_cast<unsigned>(significand_of(shifted) & 3)};
}

// 32 bits of 2/pi from bit p on (bit 0 is the first after the binary point); the bits
// before the point and past the table read as 0.
inline std::uint32_t two_over_pi_at(int p) {
    const auto word = [](int i) -> std::uint64_t {
        return i >= 0 && i < two_over_pi_words ? two_over_pi_bits[i] : 0;
    };
    const int i = p >= 0 ? p / 32 : -((31 - p) / 32);
    const int shift = p - 32 * i;
    const std::uint64_t both = (word(i) << 32) | word(i + 1);
    return static_cast<std::uint32_t>((both << shift) >> 32);
}

// 2^20 <= x, finite (Payne and Hanek): x = m 2^e is multiplied exactly by the 256 bits of 2/pi
// that matter (the earlier ones only add multiples of 4 quarter turns), giving the quarter
// turns mod 4 and 254 bits of the fraction.
inline Reduced reduce_large(long double x) {
    const std::uint64_t m = significand_of(x);
    const int e = biased_exponent_of(x) - 16383 - 63;
    std::uint32_t window[8];  // least significant first
    for (int w = 0; w < 8; ++w) window[7 - w] = two_over_pi_at(e - 2 + 32 * w);
    // x (2/pi) mod 4 == product / 2^254 mod 4.
    std::uint32_t product[10] = {};
    const std::uint64_t halves[2] = {m & 0xffffffffu, m >> 32};
    for (int h = 0; h < 2; ++h) {
        std::uint64_t carry = 0;
        for (int i = 0; i < 8; ++i) {
            const std::uint64_t t = halves[h] * window[i] + product[i + h] + carry;
            product[i + h] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        for (int i = 8 + h; i < 10; ++i) {
            const std::uint64_t t = product[i] + carry;
            product[i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    unsigned quadrant = product[7] >> 30;
    // The fraction as four 64-bit words, most significant first, 254 bits in all.
    std::uint64_t f[4];
    for (int w = 0; w < 4; ++w) {
        f[w] = (std::uint64_t{product[7 - 2 * w]} << 32) | product[6 - 2 * w];
    }
    f[0] &= (std::uint64_t{1} << 62) - 1;
    const bool round_up = (f[0] >> 61) != 0;  // fraction >= 1/2: the nearer k is above
    if (round_up) {
        // 2^254 - fraction, the size of the (negative) remainder.
        quadrant += 1;
        std::uint64_t carry = 1;
        for (int w = 3; w >= 0; --w) {
            f[w] = ~f[w] + carry;
            carry = carry != 0 && f[w] == 0 ? 1 : 0;
        }
        f[0] &= (std::uint64_t{1} << 62) - 1;
    }
    // Normalise so that the leading bit is bit 63 of f[0] (before: bit 61 weighed 2^-1).
    int lead = 0;
    while (lead < 4 && f[0] == 0) {
        f[0] = f[1], f[1] = f[2], f[2] = f[3], f[3] = 0;
        lead += 1;
    }
    if (lead == 4) return {{0.0L, 0.0L}, quadrant & 3};  // only past the table
    const int zeros = std::countl_zero(f[0]);
    if (zeros != 0) {
        f[0] = (f[0] << zeros) | (f[1] >> (64 - zeros));
        f[1] = (f[1] << zeros) | (f[2] >> (64 - zeros));
    }
    const int top = -64 * lead - zeros;  // the fraction is f[0] 2^(top - 62) + ...
    const long double fraction_hi = static_cast<long double>(f[0]) * power_of_two(top - 62);
    const long double fraction_lo = static_cast<long double>(f[1]) * power_of_two(top - 126);
    const Pair p = two_product(fraction_hi, half_pi_hi);
    const Pair r = fast_two_sum(p.hi, p.lo + (fraction_hi * half_pi_lo + fraction_lo * half_pi_hi));
    if (round_up) return {{-r.hi, -r.lo}, quadrant & 3};
    return {r, quadrant & 3};
}

// sin r and cos r for r = hi + lo, |r| <= pi/4 (+ a hair): with t = j/64 the nearest table
// point and d = r - t, |d| <= 1/128,
//   sin(t + d) = sin t + d cos t + (sin t (cos d - 1) + cos t (sin d - d)),
//   cos(t + d) = cos t - d sin t + (cos t (cos d - 1) - sin t (sin d - d)).
// The leading sum and product are exact; the corrections are below 2^-14 of the result, so
// their rounding costs about 2^-78 of it before the one final rounding.
inline test::LongSineCosine sincos_kernel(Pair r) {
    const bool negative = r.hi < 0;
    const long double r_hi = negative ? -r.hi : r.hi;
    const long double r_lo = negative ? -r.lo : r.lo;
    const long double shifted = r_hi * 64 + round_shift;
    const SinCosEntry& t = sin_cos_table[significand_of(shifted) & 63];
    const long double d_hi = r_hi - (shifted - round_shift) * (1.0L / 64);  // exact
    const long double d = d_hi + r_lo;
    const long double z = d * d;
    const long double sin_d_tail = d * z * (sin_3 + z * (sin_5 + z * (sin_7 + z * sin_9)));
    const long double cos_d_tail = z * (cos_2 + z * (cos_4 + z * (cos_6 + z * cos_8)));

    const Pair c_d = two_product(t.cos_hi, d_hi);
    const Pair s = two_sum(t.sin_hi, c_d.hi);
    const long double sine =
        s.hi + ((s.lo + c_d.lo) + (t.sin_lo + t.cos_lo * d_hi + t.cos_hi * r_lo) +
                (t.sin_hi * cos_d_tail + t.cos_hi * sin_d_tail));

    const Pair s_d = two_product(t.sin_hi, d_hi);
    const Pair c = two_sum(t.cos_hi, -s_d.hi);
    const long double cosine =
        c.hi + ((c.lo - s_d.lo) + (t.cos_lo - t.sin_lo * d_hi - t.sin_hi * r_lo) +
                (t.cos_hi * cos_d_tail - t.sin_hi * sin_d_tail));
    return {negative ? -sine : sine, cosine};
}

}  // namespace detail

inline test::LongSineCosine reference_sincos(long double a) {
    const long double x = a < 0 ? -a : a;
    if (!(x <= std::numeric_limits<long double>::max())) {
        const long double nan = a - a;  // inf - inf, or the NaN itself
        return {nan, nan};
    }
    if (x < 0x1p-32L) return {a, 1.0L};  // a and 1 are the rounded values
    detail::Reduced reduced{{x, 0.0L}, 0};
    if (x > detail::quarter_pi)
        reduced = x < 0x1p20L ? detail::reduce_medium(x) : detail::reduce_large(x);
    const test::LongSineCosine k = detail::sincos_kernel(reduced.r);
    // a = k pi/2 + r turns sin r, cos r by k quarter turns.
    const test::LongSineCosine turned[4] = {
        {k.sine, k.cosine}, {k.cosine, -k.sine}, {-k.sine, -k.cosine}, {-k.cosine, k.sine}};
    test::LongSineCosine result = turned[reduced.quadrant];
    if (a < 0) result.sine = -result.sine;
    return result;
}

}  // namespace tavrin::reference

#endif
