#include "network/extended_math.hpp"

#include <array>
#include <cfloat>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tavrin {

namespace {

// ---------------------------------------------------------------- exact building blocks
// The x87 unit has no fused multiply-add: exact products come from Veltkamp splitting.

// A value held as the unevaluated sum hi + lo.
struct Pair {
    Extended hi;
    Extended lo;
};

// hi + lo == a + b exactly, hi = a + b rounded.
Pair two_sum(Extended a, Extended b) {
    const Extended s = a + b;
    const Extended b_part = s - a;
    return {s, (a - (s - b_part)) + (b - b_part)};
}

// The same when |a| >= |b| (or a == 0).
Pair fast_two_sum(Extended a, Extended b) {
    const Extended s = a + b;
    return {s, b - (s - a)};
}

// two_sum in three operations: the rounded sum and its exact error do not depend on which
// operand comes first, so the larger is put first. Only a zero error may differ, in sign; the
// sine and cosine add every error to a leading part that is never zero, where that vanishes.
Pair ordered_two_sum(Extended a, Extended b) {
    return absolute(a) >= absolute(b) ? fast_two_sum(a, b) : fast_two_sum(b, a);
}

// hi holds the upper 32 bits of the 64-bit significand of a, lo the rest (both exact).
TAVRIN_EXTENDED_CONSTEXPR_FUNCTION Pair split(Extended a) {
    TAVRIN_EXTENDED_CONSTEXPR Extended splitter = Extended(4294967297.0);  // 2^32 + 1
    const Extended t = splitter * a;
    const Extended hi = t - (t - a);
    return {hi, a - hi};
}

// hi + lo == a * b exactly, hi = a * b rounded (barring underflow).
Pair two_product(Extended a, Extended b) {
    const Extended p = a * b;
    const Pair x = split(a);
    const Pair y = split(b);
    return {p, (((x.hi * y.hi - p) + x.hi * y.lo) + x.lo * y.hi) + x.lo * y.lo};
}

// Adding this rounds an extended value below 2^62 in size to a whole number, which the low bits of
// the sum's significand then hold (two's complement): no conversion to an integer type, which
// on x87 means switching the rounding mode twice.
constexpr Extended round_shift = TAVRIN_EXTENDED_CONSTANT(0x1.8p63);

// A whole number below 2^31 in size as an integer. Through a double, which converts without
// switching the x87 rounding mode and reaches the integer unit without an 80-bit store.
std::int64_t whole_number_of(Extended k) {
    return static_cast<std::int64_t>(static_cast<double>(k));
}

// 2^e exactly, for e in the normal extended range: 1 with another exponent.
Extended power_of_two(int e) {
    return with_sign_exponent(Extended(1.0), static_cast<std::uint16_t>(e + 16383));
}

// ---------------------------------------------------------------- sine and cosine

constexpr Extended largest_finite = TAVRIN_EXTENDED_CONSTANT(0xf.fffffffffffffffp+16380);

constexpr Extended quarter_pi = TAVRIN_EXTENDED_CONSTANT(0xc.90fdaa22168c235p-4);
constexpr Extended two_over_pi = TAVRIN_EXTENDED_CONSTANT(0xa.2f9836e4e44152ap-4);
// pi/2 in three pieces for reduction by k < 2^20: k times either of the 44-bit pieces is exact.
constexpr Extended half_pi_1 = TAVRIN_EXTENDED_CONSTANT(0xc.90fdaa221600000p-3);
constexpr Extended half_pi_2 = TAVRIN_EXTENDED_CONSTANT(0x8.c234c4c66200000p-47);
constexpr Extended half_pi_3 = TAVRIN_EXTENDED_CONSTANT(0x8.b80dc1cd129024ep-91);
// pi/2 to 128 bits.
constexpr Extended half_pi_hi = TAVRIN_EXTENDED_CONSTANT(0xc.90fdaa22168c235p-3);
constexpr Extended half_pi_lo = -TAVRIN_EXTENDED_CONSTANT(0xe.ce675d1fc8f8cbbp-69);

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
    Extended sin_hi, sin_lo;
    Extended cos_hi, cos_lo;
};
constexpr SinCosEntry sin_cos_table[52] = {
    {Extended{}, Extended{},  // 0/64
     TAVRIN_EXTENDED_CONSTANT(0x8.000000000000000p-3), Extended{}},
    {TAVRIN_EXTENDED_CONSTANT(0xf.ffd55577776a76bp-10), -TAVRIN_EXTENDED_CONSTANT(0xb.639a9f077611acfp-75),  // 1/64
     TAVRIN_EXTENDED_CONSTANT(0xf.ff8000aaaa4fa51p-4), TAVRIN_EXTENDED_CONSTANT(0x8.a280e97bcd59c8ap-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.ff5557777437465p-9), TAVRIN_EXTENDED_CONSTANT(0xf.e41376d47919579p-74),  // 2/64
     TAVRIN_EXTENDED_CONSTANT(0xf.fe000aaa93e9589p-4), TAVRIN_EXTENDED_CONSTANT(0xa.edb49d92928df73p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.fee008197dd454dp-8), -TAVRIN_EXTENDED_CONSTANT(0xd.efa374cbccee2a3p-74),  // 3/64
     TAVRIN_EXTENDED_CONSTANT(0xf.fb8035fefccf675p-4), -TAVRIN_EXTENDED_CONSTANT(0xe.d58192357af9f27p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.fd557776a76d5a6p-8), -TAVRIN_EXTENDED_CONSTANT(0xb.6993425b4ad4d41p-74),  // 4/64
     TAVRIN_EXTENDED_CONSTANT(0xf.f800aaa4fa69a65p-4), TAVRIN_EXTENDED_CONSTANT(0xe.1ee6509bc42b71fp-73)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.fd658968baad4dcp-7), -TAVRIN_EXTENDED_CONSTANT(0xc.8a94ca345b0e6dfp-73),  // 5/64
     TAVRIN_EXTENDED_CONSTANT(0xf.f381a094f7b771ap-4), TAVRIN_EXTENDED_CONSTANT(0xb.cc83690697c0c57p-73)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.fb808192a8720d8p-7), -TAVRIN_EXTENDED_CONSTANT(0xf.4b9ffebf97bfe07p-74),  // 6/64
     TAVRIN_EXTENDED_CONSTANT(0xf.ee035fbf35cda63p-4), TAVRIN_EXTENDED_CONSTANT(0x8.15a9afc6daca37fp-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xd.f8dbc2b41c8ebd2p-7), TAVRIN_EXTENDED_CONSTANT(0xc.20ef52663e52b02p-73),  // 7/64
     TAVRIN_EXTENDED_CONSTANT(0xf.e78640074cd88f5p-4), TAVRIN_EXTENDED_CONSTANT(0xf.5e1b461ab08d957p-71)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.f5577743771ae50p-7), TAVRIN_EXTENDED_CONSTANT(0xd.350ce43f13f0b4bp-73),  // 8/64
     TAVRIN_EXTENDED_CONSTANT(0xf.e00aa93eade9b6dp-4), TAVRIN_EXTENDED_CONSTANT(0xf.35094efb78c672bp-71)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.f869ebd7e757522p-6), TAVRIN_EXTENDED_CONSTANT(0xd.5ecd12cb6945e90p-74),  // 9/64
     TAVRIN_EXTENDED_CONSTANT(0xf.d791131e25e97abp-4), TAVRIN_EXTENDED_CONSTANT(0xa.98f662ec4ba5983p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.f598962eb365a90p-6), -TAVRIN_EXTENDED_CONSTANT(0xa.665264d1bc1535ep-71),  // 10/64
     TAVRIN_EXTENDED_CONSTANT(0xf.ce1a053e621438bp-4), TAVRIN_EXTENDED_CONSTANT(0xd.ac18edd188b7e15p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.f227e7d09379521p-6), TAVRIN_EXTENDED_CONSTANT(0xe.f3e701d928a4a96p-71),  // 11/64
     TAVRIN_EXTENDED_CONSTANT(0xf.c3a6170f767ac73p-4), TAVRIN_EXTENDED_CONSTANT(0xb.ac7b3353a873c3bp-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.ee0817dd795a8adp-6), TAVRIN_EXTENDED_CONSTANT(0xb.50e23c97c2b12c4p-71),  // 12/64
     TAVRIN_EXTENDED_CONSTANT(0xf.b835efcf670dd2dp-4), -TAVRIN_EXTENDED_CONSTANT(0xc.80c36dcb408af61p-71)},
    {TAVRIN_EXTENDED_CONSTANT(0xc.e9296867618919cp-6), TAVRIN_EXTENDED_CONSTANT(0x8.7b016226fa7d28ap-71),  // 13/64
     TAVRIN_EXTENDED_CONSTANT(0xf.abca467fb3cb8f2p-4), -TAVRIN_EXTENDED_CONSTANT(0xb.e583f89c5731487p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xd.e37c276e30ccb38p-6), TAVRIN_EXTENDED_CONSTANT(0xd.2b53d865582e452p-72),  // 14/64
     TAVRIN_EXTENDED_CONSTANT(0xf.9e63e1d9e8b6f6fp-4), TAVRIN_EXTENDED_CONSTANT(0xb.8a5aeb96d7b6704p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xe.dcf0afdad2e7d9ap-6), TAVRIN_EXTENDED_CONSTANT(0xe.f9499c81f0d9651p-72),  // 15/64
     TAVRIN_EXTENDED_CONSTANT(0xf.90039843324f9b9p-4), TAVRIN_EXTENDED_CONSTANT(0x8.082d833096d97dap-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.d5776a798abb5d4p-6), TAVRIN_EXTENDED_CONSTANT(0x9.debdc7351e8b1afp-71),  // 16/64
     TAVRIN_EXTENDED_CONSTANT(0xf.80aa4fbef750ba8p-4), -TAVRIN_EXTENDED_CONSTANT(0xf.859868d40d60eb8p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.66806779b21acc1p-5), -TAVRIN_EXTENDED_CONSTANT(0xc.28324f8ad1eeeb9p-70),  // 17/64
     TAVRIN_EXTENDED_CONSTANT(0xf.7058fde0788dfc8p-4), TAVRIN_EXTENDED_CONSTANT(0xb.71fd10f13c9e84ap-73)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.e1beb2635c3b28cp-5), TAVRIN_EXTENDED_CONSTANT(0xe.dfc1b9fe8ffc637p-73),  // 18/64
     TAVRIN_EXTENDED_CONSTANT(0xf.5f10a7bb77d3dfap-4), TAVRIN_EXTENDED_CONSTANT(0xc.1da8b5784278328p-72)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.5c6ee21f5a4f915p-5), TAVRIN_EXTENDED_CONSTANT(0xa.7133e5b00d466e7p-70),  // 19/64
     TAVRIN_EXTENDED_CONSTANT(0xf.4cd261d3e6c15bbp-4), TAVRIN_EXTENDED_CONSTANT(0xd.a721d618c34ab00p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.d6894bb4e9ec004p-5), TAVRIN_EXTENDED_CONSTANT(0xf.554121e0e69c511p-73),  // 20/64
     TAVRIN_EXTENDED_CONSTANT(0xf.399f500c9e9fd38p-4), -TAVRIN_EXTENDED_CONSTANT(0xa.2cd51b384a8ef12p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.50064d879e90304p-5), TAVRIN_EXTENDED_CONSTANT(0xe.e9aec23ab20b082p-70),  // 21/64
     TAVRIN_EXTENDED_CONSTANT(0xf.2578a595224dd2ep-4), TAVRIN_EXTENDED_CONSTANT(0xd.7f45d65f3398ceap-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.c8de4fd17acb97cp-5), TAVRIN_EXTENDED_CONSTANT(0xe.97587fc195c8a44p-70),  // 22/64
     TAVRIN_EXTENDED_CONSTANT(0xf.105fa4d66b607a6p-4), TAVRIN_EXTENDED_CONSTANT(0xf.a89c084e4a40887p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.4109c51c6bfb44fp-5), -TAVRIN_EXTENDED_CONSTANT(0x9.202444aace28b31p-72),  // 23/64
     TAVRIN_EXTENDED_CONSTANT(0xe.fa559f5ec3aec3ap-4), TAVRIN_EXTENDED_CONSTANT(0x9.d6066324f145a84p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.b8812abb2109e91p-5), TAVRIN_EXTENDED_CONSTANT(0xa.519d68926379761p-70),  // 24/64
     TAVRIN_EXTENDED_CONSTANT(0xe.e35bf5ccac89053p-4), -TAVRIN_EXTENDED_CONSTANT(0xc.9b889232cb16e07p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xc.2f3d094134a4b15p-5), -TAVRIN_EXTENDED_CONSTANT(0xf.c592814c7f06b68p-70),  // 25/64
     TAVRIN_EXTENDED_CONSTANT(0xe.cb7417b8d4ee3ffp-4), -TAVRIN_EXTENDED_CONSTANT(0xf.21516fe3156dc38p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xc.a535f4faa36252cp-5), TAVRIN_EXTENDED_CONSTANT(0xc.7b065f02a102847p-70),  // 26/64
     TAVRIN_EXTENDED_CONSTANT(0xe.b29f839f201fd14p-4), -TAVRIN_EXTENDED_CONSTANT(0x8.d90d2fb0dd2b0e2p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xd.1a648e628664f2ep-5), TAVRIN_EXTENDED_CONSTANT(0xe.f1c4af313337712p-70),  // 27/64
     TAVRIN_EXTENDED_CONSTANT(0xe.98dfc6c6be031e6p-4), TAVRIN_EXTENDED_CONSTANT(0xd.d3089cbdd18a75bp-72)},
    {TAVRIN_EXTENDED_CONSTANT(0xd.8ec182990b0b4a4p-5), -TAVRIN_EXTENDED_CONSTANT(0x9.0b2e67d464eb54ep-70),  // 28/64
     TAVRIN_EXTENDED_CONSTANT(0xe.7e367d2956cfb17p-4), -TAVRIN_EXTENDED_CONSTANT(0x9.2abdc357cc65ff5p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xe.02458bd8a05191ap-5), -TAVRIN_EXTENDED_CONSTANT(0xc.c540b02cbf333c8p-76),  // 29/64
     TAVRIN_EXTENDED_CONSTANT(0xe.62a551594b970a7p-4), TAVRIN_EXTENDED_CONSTANT(0xe.162ba83a981c908p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xe.74e971ea528f6d0p-5), TAVRIN_EXTENDED_CONSTANT(0xd.d7b494759fd810cp-71),  // 30/64
     TAVRIN_EXTENDED_CONSTANT(0xe.462dfc670d421abp-4), TAVRIN_EXTENDED_CONSTANT(0xf.468564048a3c51bp-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xe.e6a60a994e4d21bp-5), -TAVRIN_EXTENDED_CONSTANT(0xc.e47a38099865318p-70),  // 31/64
     TAVRIN_EXTENDED_CONSTANT(0xe.28d245c58baef72p-4), TAVRIN_EXTENDED_CONSTANT(0x8.9788caaf000f10ep-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.57743a2582f7f44p-5), -TAVRIN_EXTENDED_CONSTANT(0x9.b43c9b027c8499ap-70),  // 32/64
     TAVRIN_EXTENDED_CONSTANT(0xe.0a94032dbea7ceep-4), -TAVRIN_EXTENDED_CONSTANT(0x8.444c4ba0a0a4cf5p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xf.c74cf3b55e4b8cfp-5), -TAVRIN_EXTENDED_CONSTANT(0xd.5ea1a5feb97b4dfp-71),  // 33/64
     TAVRIN_EXTENDED_CONSTANT(0xd.eb7518814a7a932p-4), -TAVRIN_EXTENDED_CONSTANT(0x8.866ee7dec657c76p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.1b149ce34caa5a5p-4), -TAVRIN_EXTENDED_CONSTANT(0xc.d78397b01594aacp-71),  // 34/64
     TAVRIN_EXTENDED_CONSTANT(0xd.cb7777ac4207051p-4), TAVRIN_EXTENDED_CONSTANT(0xd.1e63c7d6f019d39p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.52010f4f0800521p-4), TAVRIN_EXTENDED_CONSTANT(0xd.e2f6375851d4f42p-70),  // 35/64
     TAVRIN_EXTENDED_CONSTANT(0xd.aa9d20860827064p-4), -TAVRIN_EXTENDED_CONSTANT(0x8.6b8fd85ea859b34p-74)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.8868625b4e1dbb2p-4), TAVRIN_EXTENDED_CONSTANT(0xc.4cc404cc08949c8p-70),  // 36/64
     TAVRIN_EXTENDED_CONSTANT(0xd.88e820b1526311ep-4), -TAVRIN_EXTENDED_CONSTANT(0xa.a78410fcf9596b2p-70)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.be472f9776d809bp-4), -TAVRIN_EXTENDED_CONSTANT(0xd.477e8edbc29c299p-72),  // 37/64
     TAVRIN_EXTENDED_CONSTANT(0xd.665a937b4ef2b1fp-4), TAVRIN_EXTENDED_CONSTANT(0xd.aa375adb3114883p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x8.f39a191b2ba6123p-4), -TAVRIN_EXTENDED_CONSTANT(0xb.80b617c54b80058p-69),  // 38/64
     TAVRIN_EXTENDED_CONSTANT(0xd.42f6a1b9f0168cep-4), -TAVRIN_EXTENDED_CONSTANT(0xf.ce3d09c3726cfb2p-72)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.285dc9bc45dd9eap-4), TAVRIN_EXTENDED_CONSTANT(0xf.40915ef33967106p-70),  // 39/64
     TAVRIN_EXTENDED_CONSTANT(0xd.1ebe81a95ee752ep-4), TAVRIN_EXTENDED_CONSTANT(0x9.144d79a65add246p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.5c8ef544210ec0cp-4), -TAVRIN_EXTENDED_CONSTANT(0xd.c76c85aabec2f5dp-69),  // 40/64
     TAVRIN_EXTENDED_CONSTANT(0xc.f9b476c897c25c6p-4), -TAVRIN_EXTENDED_CONSTANT(0x8.0315e45819ee2a1p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.902a58a45e27bedp-4), TAVRIN_EXTENDED_CONSTANT(0xd.0825684d6cebdaap-69),  // 41/64
     TAVRIN_EXTENDED_CONSTANT(0xc.d3dad1b5328a2e4p-4), TAVRIN_EXTENDED_CONSTANT(0xb.3f327e9ea211034p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.c32cba2b14156efp-4), TAVRIN_EXTENDED_CONSTANT(0xa.4ad89f0af32394dp-73),  // 42/64
     TAVRIN_EXTENDED_CONSTANT(0xc.ad33f00658fe5e8p-4), TAVRIN_EXTENDED_CONSTANT(0x8.12ef03ce99a839bp-70)},
    {TAVRIN_EXTENDED_CONSTANT(0x9.f592e9b66a9cf90p-4), TAVRIN_EXTENDED_CONSTANT(0xd.478f54782033309p-69),  // 43/64
     TAVRIN_EXTENDED_CONSTANT(0xc.85c23c26ed7b6f0p-4), TAVRIN_EXTENDED_CONSTANT(0xa.77aa3623c94b411p-71)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.2759c0e79c35582p-4), TAVRIN_EXTENDED_CONSTANT(0xa.4f8656abea80b83p-69),  // 44/64
     TAVRIN_EXTENDED_CONSTANT(0xc.5d882d2ee48030cp-4), TAVRIN_EXTENDED_CONSTANT(0xf.80fa51d303c6901p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.587e23555bb0808p-4), TAVRIN_EXTENDED_CONSTANT(0xd.a05738cc59ba526p-69),  // 45/64
     TAVRIN_EXTENDED_CONSTANT(0xc.348846bbd363134p-4), -TAVRIN_EXTENDED_CONSTANT(0xe.003a802c45d8fccp-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.88fcfebd9a8dd48p-4), -TAVRIN_EXTENDED_CONSTANT(0xe.861c48830ede337p-71),  // 46/64
     TAVRIN_EXTENDED_CONSTANT(0xc.0ac518c8b6ae711p-4), -TAVRIN_EXTENDED_CONSTANT(0x8.b90b8228de69d4ap-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.b8d34b36acd9872p-4), TAVRIN_EXTENDED_CONSTANT(0x8.769a1f632ebf1d7p-71),  // 47/64
     TAVRIN_EXTENDED_CONSTANT(0xb.e0413f84f2a771cp-4), TAVRIN_EXTENDED_CONSTANT(0xc.2928d51197e9b44p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xa.e7fe0b5fc786b2ep-4), -TAVRIN_EXTENDED_CONSTANT(0xd.323c52a1d7eb6efp-69),  // 48/64
     TAVRIN_EXTENDED_CONSTANT(0xb.b4ff632a908f73fp-4), -TAVRIN_EXTENDED_CONSTANT(0xf.ab9f18d1899b12cp-70)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.167a4c90d63c424p-4), TAVRIN_EXTENDED_CONSTANT(0x9.9ea9276f98477a8p-69),  // 49/64
     TAVRIN_EXTENDED_CONSTANT(0xb.890237d3bb3c285p-4), -TAVRIN_EXTENDED_CONSTANT(0x9.3d6bf58dfd280bep-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.44452709a597529p-4), TAVRIN_EXTENDED_CONSTANT(0xb.226eca8694b3a22p-73),  // 50/64
     TAVRIN_EXTENDED_CONSTANT(0xb.5c4c7d4f7dae916p-4), -TAVRIN_EXTENDED_CONSTANT(0xa.70f266169cb6ce6p-69)},
    {TAVRIN_EXTENDED_CONSTANT(0xb.715bbe205ef06f2p-4), -TAVRIN_EXTENDED_CONSTANT(0xe.530aff5aa62ddb6p-69),  // 51/64
     TAVRIN_EXTENDED_CONSTANT(0xb.2ee0fef5c65cf9ap-4), TAVRIN_EXTENDED_CONSTANT(0xf.92e3320e22d00ecp-72)},
};

// The Taylor coefficients of sin d - d and cos d - 1; |d| <= 1/128 leaves a truncation error
// below 2^-90 of the result.
TAVRIN_EXTENDED_CONSTEXPR Extended sin_3 = -Extended(1.0) / 6, sin_5 = Extended(1.0) / 120,
                                   sin_7 = -Extended(1.0) / 5040, sin_9 = Extended(1.0) / 362880;
TAVRIN_EXTENDED_CONSTEXPR Extended cos_2 = -Extended(0.5), cos_4 = Extended(1.0) / 24,
                                   cos_6 = -Extended(1.0) / 720, cos_8 = Extended(1.0) / 40320;
// Table steps, exact. Named once: with the software type a quotient written in place would be
// a division at every call.
TAVRIN_EXTENDED_CONSTEXPR Extended sixty_fourth = Extended(1.0) / 64;
TAVRIN_EXTENDED_CONSTEXPR Extended thirty_second = Extended(1.0) / 32;

// a = k pi/2 + r, with r = hi + lo, |r| <= pi/4 (a hair more where k was rounded), k mod 4.
struct Reduced {
    Pair r;
    unsigned quadrant;
};

// pi/4 < x < 2^20 (Cody and Waite).
Reduced reduce_medium(Extended x) {
    const Extended shifted = x * two_over_pi + round_shift;
    const Extended k = shifted - round_shift;  // the nearest whole number
    const Extended t1 = x - k * half_pi_1;     // exact: k half_pi_1 is, and it is close to x
    const Pair t2 = ordered_two_sum(t1, -(k * half_pi_2));
    const Pair t3 = ordered_two_sum(t2.hi, -(k * half_pi_3));
    return {fast_two_sum(t3.hi, t3.lo + t2.lo), static_cast<unsigned>(whole_number_of(k) & 3)};
}

// 32 bits of 2/pi from bit p on (bit 0 is the first after the binary point); the bits
// before the point and past the table read as 0.
std::uint32_t two_over_pi_at(int p) {
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
// turns mod 4 and 254 bits of the fraction. Kept out of line: it is rare, and inlined its
// integer work would give the common path a larger frame.
[[gnu::noinline]] Reduced reduce_large(Extended x) {
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
    if (lead == 4) return {{Extended{}, Extended{}}, quadrant & 3};  // only past the table
    const int zeros = std::countl_zero(f[0]);
    if (zeros != 0) {
        f[0] = (f[0] << zeros) | (f[1] >> (64 - zeros));
        f[1] = (f[1] << zeros) | (f[2] >> (64 - zeros));
    }
    const int top = -64 * lead - zeros;  // the fraction is f[0] 2^(top - 62) + ...
    const Extended fraction_hi = static_cast<Extended>(f[0]) * power_of_two(top - 62);
    const Extended fraction_lo = static_cast<Extended>(f[1]) * power_of_two(top - 126);
    const Pair p = two_product(fraction_hi, half_pi_hi);
    const Pair r = fast_two_sum(p.hi, p.lo + (fraction_hi * half_pi_lo + fraction_lo * half_pi_hi));
    if (round_up) return {{-r.hi, -r.lo}, quadrant & 3};
    return {r, quadrant & 3};
}

// The table's entries as doubles, which load far faster than extended values: the Veltkamp halves
// of the leading sine and cosine (32 bits each), and each trailing part as a double and the
// few bits the double misses. Every entry is the exact sum of its doubles.
struct SplitEntry {
    double sin_upper, sin_lower;
    double cos_upper, cos_lower;
    double sin_lo_head, sin_lo_tail;
    double cos_lo_head, cos_lo_tail;
};

TAVRIN_EXTENDED_CONSTEXPR_FUNCTION SplitEntry split_entry(const SinCosEntry& t) {
    const Pair s = split(t.sin_hi);
    const Pair c = split(t.cos_hi);
    const double sin_lo_head = static_cast<double>(t.sin_lo);
    const double cos_lo_head = static_cast<double>(t.cos_lo);
    return {static_cast<double>(s.hi),
            static_cast<double>(s.lo),
            static_cast<double>(c.hi),
            static_cast<double>(c.lo),
            sin_lo_head,
            static_cast<double>(t.sin_lo - sin_lo_head),
            cos_lo_head,
            static_cast<double>(t.cos_lo - cos_lo_head)};
}

TAVRIN_EXTENDED_CONSTEXPR_FUNCTION auto make_split_table() {
    std::array<SplitEntry, 52> table{};
    for (std::size_t j = 0; j < table.size(); ++j) table[j] = split_entry(sin_cos_table[j]);
    return table;
}
TAVRIN_EXTENDED_CONSTEXPR std::array<SplitEntry, 52> split_table = make_split_table();

#if !defined(TAVRIN_SOFT_EXTENDED)
// Checked where the compiler computes the table; the software type's build computes it at start.
constexpr bool split_table_is_exact() {
    for (std::size_t j = 0; j < split_table.size(); ++j) {
        const SinCosEntry& t = sin_cos_table[j];
        const SplitEntry& e = split_table[j];
        if (static_cast<Extended>(e.sin_upper) + e.sin_lower != t.sin_hi ||
            static_cast<Extended>(e.cos_upper) + e.cos_lower != t.cos_hi ||
            static_cast<Extended>(e.sin_lo_head) + e.sin_lo_tail != t.sin_lo ||
            static_cast<Extended>(e.cos_lo_head) + e.cos_lo_tail != t.cos_lo) {
            return false;
        }
    }
    return true;
}
static_assert(split_table_is_exact());
#endif

// A double widened where it is used, and head + tail (exact) from two doubles loaded where the
// sum is used. Left alone, GCC keeps such values on the x87 stack and spills them in the 80-bit
// format, whose stores and loads cost several times the loads of the doubles.
[[gnu::always_inline]] inline Extended loaded(const double& x) {
    return *static_cast<const volatile double*>(&x);
}

[[gnu::always_inline]] inline Extended exact_sum(const double& head, const double& tail) {
    return loaded(head) + loaded(tail);
}

// An extended constant as a double and the bits the double misses.
struct DoublePair {
    double head, tail;
};

TAVRIN_EXTENDED_CONSTEXPR_FUNCTION DoublePair double_pair(Extended x) {
    const double head = static_cast<double>(x);
    return {head, static_cast<double>(x - head)};
}

[[gnu::always_inline]] inline Extended exact_sum(const DoublePair& x) {
    return exact_sum(x.head, x.tail);
}

// The Taylor coefficients above, loaded the same way.
TAVRIN_EXTENDED_CONSTEXPR DoublePair sin_3_pair = double_pair(sin_3),
                                     sin_5_pair = double_pair(sin_5),
                                     sin_7_pair = double_pair(sin_7),
                                     sin_9_pair = double_pair(sin_9),
                                     cos_4_pair = double_pair(cos_4),
                                     cos_6_pair = double_pair(cos_6),
                                     cos_8_pair = double_pair(cos_8);
#if !defined(TAVRIN_SOFT_EXTENDED)
static_assert(static_cast<Extended>(sin_3_pair.head) + sin_3_pair.tail == sin_3 &&
              static_cast<Extended>(sin_5_pair.head) + sin_5_pair.tail == sin_5 &&
              static_cast<Extended>(sin_7_pair.head) + sin_7_pair.tail == sin_7 &&
              static_cast<Extended>(sin_9_pair.head) + sin_9_pair.tail == sin_9 &&
              static_cast<Extended>(cos_4_pair.head) + cos_4_pair.tail == cos_4 &&
              static_cast<Extended>(cos_6_pair.head) + cos_6_pair.tail == cos_6 &&
              static_cast<Extended>(cos_8_pair.head) + cos_8_pair.tail == cos_8);
#endif

// sin r and cos r for r = hi + lo, |r| <= pi/4 (+ a hair): with t = j/64 the nearest table
// point and d = r - t, |d| <= 1/128,
//   sin(t + d) = sin t + d cos t + (sin t (cos d - 1) + cos t (sin d - d)),
//   cos(t + d) = cos t - d sin t + (cos t (cos d - 1) - sin t (sin d - d)).
// The leading sum and product are exact; the corrections are below 2^-14 of the result, so
// their rounding costs about 2^-78 of it before the one final rounding. Inlined into each
// path so that the remainder reaches it in registers.
[[gnu::always_inline]] inline SineCosine sincos_kernel(Pair r) {
    const bool negative = r.hi < 0;
    const Extended r_hi = negative ? -r.hi : r.hi;
    const Extended r_lo = negative ? -r.lo : r.lo;
    const Extended shifted = r_hi * 64 + round_shift;
    const Extended j_value = shifted - round_shift;
    const auto j = static_cast<std::size_t>(whole_number_of(j_value));
    const SplitEntry& t = split_table[j];
    const auto sin_hi = [&t] { return exact_sum(t.sin_upper, t.sin_lower); };
    const auto cos_hi = [&t] { return exact_sum(t.cos_upper, t.cos_lower); };
    const auto sin_lo = [&t] { return exact_sum(t.sin_lo_head, t.sin_lo_tail); };
    const auto cos_lo = [&t] { return exact_sum(t.cos_lo_head, t.cos_lo_tail); };
    const Extended d_exact = r_hi - j_value * sixty_fourth;  // exact
    const Extended d = d_exact + r_lo;
    const Extended z = d * d;
    const Extended sin_d_tail =
        d * z *
        (exact_sum(sin_3_pair) +
         z * (exact_sum(sin_5_pair) + z * (exact_sum(sin_7_pair) + z * exact_sum(sin_9_pair))));
    const Extended cos_d_tail =
        z * (cos_2 +
             z * (exact_sum(cos_4_pair) + z * (exact_sum(cos_6_pair) + z * exact_sum(cos_8_pair))));
    // The Veltkamp halves of d_exact have 32 bits each: held as doubles, with d_exact their
    // exact sum, they need no 80-bit spill.
    const Pair d_split = split(d_exact);
    const double d_upper = static_cast<double>(d_split.hi);
    const double d_lower = static_cast<double>(d_split.lo);
    const auto d_hi = [&] { return exact_sum(d_upper, d_lower); };

    const Extended c_d_hi = cos_hi() * d_hi();
    const Extended c_d_lo =
        (((t.cos_upper * loaded(d_upper) - c_d_hi) + t.cos_upper * loaded(d_lower)) +
         t.cos_lower * loaded(d_upper)) +
        t.cos_lower * loaded(d_lower);
    // sin t > 1/65 > 1/128 >= |c_d_hi| unless t = 0, which fast_two_sum also allows.
    const Pair s = fast_two_sum(sin_hi(), c_d_hi);
    const Extended sine =
        s.hi + ((s.lo + c_d_lo) + (sin_lo() + cos_lo() * d_hi() + cos_hi() * r_lo) +
                (sin_hi() * cos_d_tail + cos_hi() * sin_d_tail));

    const Extended s_d_hi = sin_hi() * d_hi();
    const Extended s_d_lo =
        (((t.sin_upper * loaded(d_upper) - s_d_hi) + t.sin_upper * loaded(d_lower)) +
         t.sin_lower * loaded(d_upper)) +
        t.sin_lower * loaded(d_lower);
    const Pair c = fast_two_sum(cos_hi(), -s_d_hi);  // cos t > 0.7 > |s_d_hi|
    const Extended cosine =
        c.hi + ((c.lo - s_d_lo) + (cos_lo() - sin_lo() * d_hi() - sin_hi() * r_lo) +
                (cos_hi() * cos_d_tail - sin_hi() * sin_d_tail));
    return {negative ? -sine : sine, cosine};
}

// ---------------------------------------------------------------- powers of ten

constexpr Extended log2_10_hi = TAVRIN_EXTENDED_CONSTANT(0xd.49a784bcd1b8afep-2);
constexpr Extended log2_10_lo = TAVRIN_EXTENDED_CONSTANT(0x9.257edfe9b5fb69ap-67);
constexpr Extended ln2_hi = TAVRIN_EXTENDED_CONSTANT(0xb.17217f7d1cf79acp-4);
constexpr Extended ln2_lo = -TAVRIN_EXTENDED_CONSTANT(0xd.871319ff0342543p-70);
// 1/k! for the series of e^g below.
TAVRIN_EXTENDED_CONSTEXPR Extended exp_3 = Extended(1.0) / 6, exp_4 = Extended(1.0) / 24,
                                   exp_5 = Extended(1.0) / 120, exp_6 = Extended(1.0) / 720,
                                   exp_7 = Extended(1.0) / 5040, exp_8 = Extended(1.0) / 40320;

// 2^(j/32) to 128 bits, j = 0 .. 31.
constexpr Pair exp2_table[32] = {
    {TAVRIN_EXTENDED_CONSTANT(0x8.000000000000000p-3), Extended{}},                       // 2^(0/32)
    {TAVRIN_EXTENDED_CONSTANT(0x8.2cd8698ac2ba1d7p-3), TAVRIN_EXTENDED_CONSTANT(0xf.8a91d6d19482ffdp-69)},   // 2^(1/32)
    {TAVRIN_EXTENDED_CONSTANT(0x8.5aac367cc487b15p-3), -TAVRIN_EXTENDED_CONSTANT(0xe.8da91cf7aacf938p-69)},  // 2^(2/32)
    {TAVRIN_EXTENDED_CONSTANT(0x8.8980e8092da8527p-3), TAVRIN_EXTENDED_CONSTANT(0xb.bf1aed9318ceac6p-68)},   // 2^(3/32)
    {TAVRIN_EXTENDED_CONSTANT(0x8.b95c1e3ea8bd6e7p-3), -TAVRIN_EXTENDED_CONSTANT(0x8.373af14eb586dfdp-72)},  // 2^(4/32)
    {TAVRIN_EXTENDED_CONSTANT(0x8.ea4398b45cd53c0p-3), TAVRIN_EXTENDED_CONSTANT(0xb.70051321e0f5317p-69)},   // 2^(5/32)
    {TAVRIN_EXTENDED_CONSTANT(0x9.1c3d373ab11c336p-3), TAVRIN_EXTENDED_CONSTANT(0xf.d6d8e0ae5ac9d82p-71)},   // 2^(6/32)
    {TAVRIN_EXTENDED_CONSTANT(0x9.4f4efa8fef70961p-3), TAVRIN_EXTENDED_CONSTANT(0xb.a2beb4495477951p-69)},   // 2^(7/32)
    {TAVRIN_EXTENDED_CONSTANT(0x9.837f0518db8a96fp-3), TAVRIN_EXTENDED_CONSTANT(0x8.d5a46305c85ededp-68)},   // 2^(8/32)
    {TAVRIN_EXTENDED_CONSTANT(0x9.b8d39b9d54e5539p-3), -TAVRIN_EXTENDED_CONSTANT(0xb.aafd0bab86781c2p-68)},  // 2^(9/32)
    {TAVRIN_EXTENDED_CONSTANT(0x9.ef5326091a111aep-3), -TAVRIN_EXTENDED_CONSTANT(0xb.eddc1ec288c045dp-68)},  // 2^(10/32)
    {TAVRIN_EXTENDED_CONSTANT(0xa.27043030c496819p-3), -TAVRIN_EXTENDED_CONSTANT(0xc.90bf620fe6042b1p-68)},  // 2^(11/32)
    {TAVRIN_EXTENDED_CONSTANT(0xa.5fed6a9b15138eap-3), TAVRIN_EXTENDED_CONSTANT(0xe.5ebfb10b88380d9p-70)},   // 2^(12/32)
    {TAVRIN_EXTENDED_CONSTANT(0xa.9a15ab4ea7c0ef8p-3), TAVRIN_EXTENDED_CONSTANT(0xa.83c49d86a63f4e6p-68)},   // 2^(13/32)
    {TAVRIN_EXTENDED_CONSTANT(0xa.d583eea42a14ac6p-3), TAVRIN_EXTENDED_CONSTANT(0x9.3015191eb345d89p-68)},   // 2^(14/32)
    {TAVRIN_EXTENDED_CONSTANT(0xb.123f581d2ac2590p-3), -TAVRIN_EXTENDED_CONSTANT(0xf.05f902d25bd44e3p-68)},  // 2^(15/32)
    {TAVRIN_EXTENDED_CONSTANT(0xb.504f333f9de6484p-3), TAVRIN_EXTENDED_CONSTANT(0xb.2fb1366ea957d3ep-68)},   // 2^(16/32)
    {TAVRIN_EXTENDED_CONSTANT(0xb.8fbaf4762fb9ee9p-3), TAVRIN_EXTENDED_CONSTANT(0xd.c3cbbc2b35b2d0dp-70)},   // 2^(17/32)
    {TAVRIN_EXTENDED_CONSTANT(0xb.d08a39f580c36bfp-3), -TAVRIN_EXTENDED_CONSTANT(0xa.efdc09325e0a10cp-68)},  // 2^(18/32)
    {TAVRIN_EXTENDED_CONSTANT(0xc.12c4cca66709456p-3), TAVRIN_EXTENDED_CONSTANT(0xf.88afab34a010f6bp-68)},   // 2^(19/32)
    {TAVRIN_EXTENDED_CONSTANT(0xc.5672a115506daddp-3), TAVRIN_EXTENDED_CONSTANT(0xf.8ab432593767cdep-69)},   // 2^(20/32)
    {TAVRIN_EXTENDED_CONSTANT(0xc.9b9bd866e2f27a3p-3), -TAVRIN_EXTENDED_CONSTANT(0xf.e3c0dabf5dd2d04p-68)},  // 2^(21/32)
    {TAVRIN_EXTENDED_CONSTANT(0xc.e248c151f8480e4p-3), -TAVRIN_EXTENDED_CONSTANT(0xe.e53e3835069c895p-70)},  // 2^(22/32)
    {TAVRIN_EXTENDED_CONSTANT(0xd.2a81d91f12ae45ap-3), TAVRIN_EXTENDED_CONSTANT(0x9.12472be1ef20143p-70)},   // 2^(23/32)
    {TAVRIN_EXTENDED_CONSTANT(0xd.744fccad69d6af4p-3), TAVRIN_EXTENDED_CONSTANT(0xe.69a2ee640b4ff78p-69)},   // 2^(24/32)
    {TAVRIN_EXTENDED_CONSTANT(0xd.bfbb797daf23755p-3), TAVRIN_EXTENDED_CONSTANT(0xf.610356a78a6a991p-69)},   // 2^(25/32)
    {TAVRIN_EXTENDED_CONSTANT(0xe.0ccdeec2a94e111p-3), TAVRIN_EXTENDED_CONSTANT(0xc.b12a091ba667944p-72)},   // 2^(26/32)
    {TAVRIN_EXTENDED_CONSTANT(0xe.5b906e77c8348a8p-3), TAVRIN_EXTENDED_CONSTANT(0xf.2f47a5276dd8765p-70)},   // 2^(27/32)
    {TAVRIN_EXTENDED_CONSTANT(0xe.ac0c6e7dd24392fp-3), -TAVRIN_EXTENDED_CONSTANT(0xb.f4a29323e46ac15p-69)},  // 2^(28/32)
    {TAVRIN_EXTENDED_CONSTANT(0xe.fe4b99bdcdaf5cbp-3), TAVRIN_EXTENDED_CONSTANT(0x8.cac39ed291b7226p-68)},   // 2^(29/32)
    {TAVRIN_EXTENDED_CONSTANT(0xf.5257d152486cc2cp-3), TAVRIN_EXTENDED_CONSTANT(0xf.73a18f5db301f87p-68)},   // 2^(30/32)
    {TAVRIN_EXTENDED_CONSTANT(0xf.a83b2db722a033ap-3), TAVRIN_EXTENDED_CONSTANT(0xf.84b762862baff99p-68)},   // 2^(31/32)
};

// s + e (s the rounded sum) rounded to odd: s if its last bit is odd or e is 0, else the
// neighbour of s towards e. Rounding that to double gives the double nearest s + e.
Extended round_to_odd(Extended s, Extended e) {
    std::uint64_t significand = significand_of(s);
    if (e == 0 || (significand & 1) != 0) return s;
    if ((e > 0) == (s > 0)) return with_significand(s, significand + 1);
    if (significand == std::uint64_t{1} << 63) return s - s * TAVRIN_EXTENDED_CONSTANT(0x1p-64);  // down a binade
    return with_significand(s, significand - 1);
}

// a = k pi/2 + r turns sin r, cos r by k quarter turns (a switch, not a table of the four
// candidates, which costs eight 80-bit stores); a negative angle then flips the sine.
SineCosine turned(const SineCosine& k, unsigned quadrant, bool negative) {
    SineCosine result;
    switch (quadrant) {
        case 0:
            result = {k.sine, k.cosine};
            break;
        case 1:
            result = {k.cosine, -k.sine};
            break;
        case 2:
            result = {-k.sine, -k.cosine};
            break;
        default:
            result = {-k.cosine, k.sine};
            break;
    }
    if (negative) result.sine = -result.sine;
    return result;
}

}  // namespace

SineCosine extended_sincos(Extended a) {
    const Extended x = a < 0 ? -a : a;
    if (!(x <= largest_finite)) {
        const Extended nan = a - a;  // inf - inf, or the NaN itself
        return {nan, nan};
    }
    if (x < TAVRIN_EXTENDED_CONSTANT(0x1p-32)) return {a, Extended(1.0)};  // a and 1 are the rounded values
    // Each reduction feeds the kernel directly: merging their results first costs 80-bit
    // stores and loads on the common path.
    const bool negative = a < 0;
    if (!(x > quarter_pi)) return turned(sincos_kernel({x, Extended{}}), 0, negative);
    if (x < TAVRIN_EXTENDED_CONSTANT(0x1p20)) {
        const Reduced reduced = reduce_medium(x);
        return turned(sincos_kernel(reduced.r), reduced.quadrant, negative);
    }
    const Reduced reduced = reduce_large(x);
    return turned(sincos_kernel(reduced.r), reduced.quadrant, negative);
}

double power_of_ten(double x) {
    if (x != x) return x + x;
    if (x > 400) return std::numeric_limits<double>::infinity();
    if (x < -400) return 0.0;
    // 10^x = 2^y, y = x log2 10 = n/32 + f, |f| <= 1/64; 2^f = e^g with g = f ln 2.
    const Pair p = two_product(x, log2_10_hi);
    const Pair y = fast_two_sum(p.hi, p.lo + x * log2_10_lo);
    const Extended shifted = y.hi * 32 + round_shift;
    const Extended n = shifted - round_shift;  // the nearest whole number
    const auto n_bits =
        static_cast<std::int64_t>(significand_of(shifted) - significand_of(round_shift));
    const auto j = static_cast<int>(n_bits & 31);
    const auto m = static_cast<int>((n_bits - j) / 32);
    const Pair f = two_sum(y.hi - n * thirty_second, y.lo);  // the subtraction is exact
    const Pair g_product = two_product(f.hi, ln2_hi);
    const Pair g = fast_two_sum(g_product.hi, g_product.lo + (f.hi * ln2_lo + f.lo * ln2_hi));
    // e^g - 1 = g + g^2/2 + (g^3/6 + ... + g^9/9!): the first two terms exact, the rest is
    // below 2^-21; what is left out is below 2^-86.
    const Pair square = two_product(g.hi, g.hi);
    const Extended gh = g.hi;
    const Extended rest =
        gh * square.hi *
        (exp_3 +
         gh * (exp_4 +
               gh * (exp_5 + gh * (exp_6 + gh * (exp_7 + gh * (exp_8 + gh / 362880))))));
    const Pair e = two_sum(gh, square.hi * Extended(0.5));
    const Extended e_lo = e.lo + g.lo + (square.lo * Extended(0.5) + gh * g.lo + rest);
    // 2^(j/32) (1 + e), then 2^m.
    const Pair& t = exp2_table[j];
    const Pair t_e = two_product(t.hi, e.hi);
    const Pair s = two_sum(t.hi, t_e.hi);
    const Pair sum = two_sum(s.hi, (s.lo + t_e.lo) + (t.lo + (t.hi * e_lo + t.lo * e.hi)));
    // Rounded to odd, the sum keeps what decides the rounding to double, even to a subnormal;
    // the scaling by 2^m is exact.
    return static_cast<double>(round_to_odd(sum.hi, sum.lo) * power_of_two(m));
}

}  // namespace tavrin
