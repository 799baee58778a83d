#include "network/soft_extended.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
#define TAVRIN_HAS_X87 1
#endif

namespace tavrin {
namespace {

// Deterministic and fast enough for 10^8 draws (splitmix64).
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for test input.
    std::uint64_t below(std::uint64_t n) { return next() % n; }

  private:
    std::uint64_t state_;
};

#if defined(__SIZEOF_INT128__)
// The fallback product for compilers without a 128-bit integer, against the compiler's own.
TEST(SoftExtendedWords, PortableProductMatchesTheWideInteger) {
    __extension__ typedef unsigned __int128 Wide;
    Random random(7);
    const std::uint64_t edges[] = {0,
                                   1,
                                   0xFFFFFFFFu,
                                   0x100000000u,
                                   0x8000000000000000u,
                                   ~std::uint64_t{0},
                                   0xFFFFFFFF00000000u,
                                   0x00000000FFFFFFFFu};
    std::vector<std::pair<std::uint64_t, std::uint64_t>> cases;
    for (auto a : edges)
        for (auto b : edges) cases.emplace_back(a, b);
    for (int i = 0; i < 100000; ++i) cases.emplace_back(random.next(), random.next());
    for (const auto& [a, b] : cases) {
        const Wide p = static_cast<Wide>(a) * b;
        const auto got = soft_extended_detail::multiply_portable(a, b);
        ASSERT_EQ(got.hi, static_cast<std::uint64_t>(p >> 64)) << a << " * " << b;
        ASSERT_EQ(got.lo, static_cast<std::uint64_t>(p)) << a << " * " << b;
    }
}

// Long division against the compiler's 128-bit division, where the correction steps run
// (divisors just above 2^63, dividends just below the divisor).
TEST(SoftExtendedWords, LongDivisionMatchesTheWideInteger) {
    __extension__ typedef unsigned __int128 Wide;
    Random random(11);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t d = random.next() | 0x8000000000000000u;
        if (i % 4 == 1) d = 0x8000000000000000u | random.below(1u << 20);
        if (i % 4 == 2) d = ~random.below(1u << 20);
        std::uint64_t hi = random.next() % d;
        if (i % 3 == 1) hi = d - 1 - random.below(1000) % d;
        const std::uint64_t lo = i % 5 == 0 ? ~std::uint64_t{0} : random.next();
        const Wide n = (static_cast<Wide>(hi) << 64) | lo;
        std::uint64_t remainder = 0;
        const std::uint64_t q = soft_extended_detail::divide(hi, lo, d, remainder);
        ASSERT_EQ(q, static_cast<std::uint64_t>(n / d)) << hi << ":" << lo << " / " << d;
        ASSERT_EQ(remainder, static_cast<std::uint64_t>(n % d)) << hi << ":" << lo << " / " << d;
    }
}
#endif

#if TAVRIN_HAS_X87

// The 10 bytes of an x87 long double: significand, then sign and exponent.
SoftExtended soft(long double x) {
    std::uint64_t sig;
    std::uint16_t se;
    std::memcpy(&sig, &x, 8);
    std::memcpy(&se, reinterpret_cast<const char*>(&x) + 8, 2);
    return SoftExtended::from_bits(se, sig);
}

long double hard(SoftExtended x) {
    long double h = 0;
    const std::uint64_t sig = x.significand();
    const std::uint16_t se = x.sign_exponent();
    std::memcpy(&h, &sig, 8);
    std::memcpy(reinterpret_cast<char*>(&h) + 8, &se, 2);
    return h;
}

SoftExtended bits(std::uint16_t se, std::uint64_t sig) {
    return SoftExtended::from_bits(se, sig);
}

std::string show(SoftExtended x) {
    char text[40];
    std::snprintf(text, sizeof text, "%04X:%016" PRIX64, x.sign_exponent(), x.significand());
    return text;
}

bool same(SoftExtended a, SoftExtended b) {
    return a.sign_exponent() == b.sign_exponent() && a.significand() == b.significand();
}

// The x87 square root itself, not the library's wrapper around it.
long double hardware_sqrt(long double x) {
    asm("fsqrt" : "+t"(x));
    return x;
}

// x * 2^n by fscale, rounded once; the C libraries' ldexpl differ on NaNs.
long double hardware_scale(long double x, int n) {
    const long double power = n;
    asm("fscale" : "+t"(x) : "u"(power));
    return x;
}

// fxtract's exponent and significand in [1, 2) of a finite nonzero x, as frexp's [0.5, 1).
long double hardware_fraction(long double x, int* exponent) {
    long double significand, power;
    asm("fxtract" : "=t"(significand), "=u"(power) : "0"(x));
    *exponent = static_cast<int>(power) + 1;
    return significand / 2;
}

// Every operand the format has a corner for, both signs where a sign makes sense.
std::vector<SoftExtended> edge_values() {
    const SoftExtended magnitudes[] = {
        bits(0x0000, 0),                    // zero
        bits(0x0000, 1),                    // smallest denormal
        bits(0x0000, 3),                    // odd denormal: halves tie
        bits(0x0000, 0x7FFFFFFFFFFFFFFFu),  // largest denormal
        bits(0x0001, 0x8000000000000000u),  // smallest normal
        bits(0x0001, 0x8000000000000001u),
        bits(0x003F, 0x8000000000000000u),  // products land in denormals
        bits(0x3FFF, 0x8000000000000000u),  // 1
        bits(0x3FFF, 0x8000000000000001u),  // 1 + ulp
        bits(0x3FFE, 0xFFFFFFFFFFFFFFFFu),  // 1 - ulp/2
        bits(0x3FBF, 0x8000000000000000u),  // 2^-64: ties with 1
        bits(0x3FC0, 0xC000000000000000u),  // 3 * 2^-64
        bits(0x3FFF, 0x8000000080000000u),  // (1 + 2^-32)^2 ties
        bits(0x3FFF, 0x8000000180000000u),  // with the above, ties upward
        bits(0x3FFE, 0x8000000000000000u),  // 0.5
        bits(0x3FFE, 0xC000000000000000u),  // 0.75
        bits(0x4000, 0x8000000000000000u),  // 2
        bits(0x4000, 0xC000000000000000u),  // 3
        bits(0x403E, 0x8000000000000000u),  // 2^63
        bits(0x403E, 0xFFFFFFFFFFFFFFFFu),  // 2^64 - 1
        bits(0x403F, 0x8000000000000000u),  // 2^64
        bits(0x401E, 0x8000000000000000u),  // 2^31
        bits(0x401D, 0xFFFFFFFF00000000u),  // 2^31 - 0.5
        bits(0x7FBE, 0x8000000000000000u),  // half an ulp of the largest
        bits(0x7FFE, 0xFFFFFFFFFFFFFFFFu),  // largest finite
        bits(0x7FFE, 0x8000000000000000u),
        bits(0x7FFF, 0x8000000000000000u),  // infinity
        bits(0x7FFF, 0xC000000000000000u),  // quiet NaNs
        bits(0x7FFF, 0xC000000000000001u),
        bits(0x7FFF, 0xC0000000DEADBEEFu),
        bits(0x7FFF, 0xFFFFFFFFFFFFFFFFu),
        bits(0x7FFF, 0x8000000000000001u),  // signalling NaNs
        bits(0x7FFF, 0xA000000000000005u),
        bits(0x3FFF, 0x4000000000000000u),  // rejected: unnormal
        bits(0x7FFF, 0x0000000000000000u),  // rejected: pseudo-infinity
        bits(0x7FFF, 0x4000000000000001u),  // rejected: pseudo-NaN
        bits(0x0000, 0x8000000000000001u),  // pseudo-denormal
        SoftExtended(0.1),
        SoftExtended(1.0 / 3.0),
        SoftExtended(DBL_MAX),
        SoftExtended(DBL_MIN),
        SoftExtended(DBL_TRUE_MIN),
        SoftExtended(4.9e-320),
        SoftExtended(1e300),
        SoftExtended(2.5),
        SoftExtended(1.5),
        SoftExtended(1e-300),
        SoftExtended(6.02214076e23),
    };
    std::vector<SoftExtended> values;
    for (SoftExtended m : magnitudes) {
        values.push_back(m);
        values.push_back(-m);
    }
    values.push_back(bits(0xFFFF, 0xC000000000000000u));  // the indefinite itself
    return values;
}

struct BinaryCase {
    const char* name;
    SoftExtended (*soft)(SoftExtended, SoftExtended);
    long double (*hard)(long double, long double);
};

const BinaryCase kArithmetic[] = {
    {"+", [](SoftExtended a, SoftExtended b) { return a + b; },
     [](long double a, long double b) { return a + b; }},
    {"-", [](SoftExtended a, SoftExtended b) { return a - b; },
     [](long double a, long double b) { return a - b; }},
    {"*", [](SoftExtended a, SoftExtended b) { return a * b; },
     [](long double a, long double b) { return a * b; }},
    {"/", [](SoftExtended a, SoftExtended b) { return a / b; },
     [](long double a, long double b) { return a / b; }},
};

TEST(SoftExtended, EveryPairOfEdgeValuesThroughEveryOperation) {
    const auto values = edge_values();
    int failures = 0;
    for (SoftExtended a : values) {
        for (SoftExtended b : values) {
            for (const auto& op : kArithmetic) {
                const SoftExtended got = op.soft(a, b);
                const SoftExtended want = soft(op.hard(hard(a), hard(b)));
                if (!same(got, want) && ++failures <= 20) {
                    ADD_FAILURE() << show(a) << " " << op.name << " " << show(b) << ": "
                                  << show(got) << ", the x87 unit " << show(want);
                }
            }
            const long double x = hard(a), y = hard(b);
            const bool want[] = {x == y, x != y, x<y, x <= y, x> y, x >= y};
            const bool got[] = {a == b, a != b, a<b, a <= b, a> b, a >= b};
            for (int i = 0; i < 6; ++i) {
                if (got[i] != want[i] && ++failures <= 20) {
                    ADD_FAILURE() << "comparison " << i << " of " << show(a) << " and " << show(b)
                                  << ": " << got[i];
                }
            }
            if (!same(copysign(a, b), soft(std::copysign(x, y))) && ++failures <= 20) {
                ADD_FAILURE() << "copysign " << show(a) << " " << show(b);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(SoftExtended, EveryEdgeValueThroughTheUnaryOperations) {
    const int powers[] = {0,      1,      -1,      63,      -63,    64,     -64,
                          16383,  -16383, 16445,   -16445,  16446,  -16446, 32766,
                          -32767, 100000, -100000, INT_MAX, INT_MIN};
    for (SoftExtended a : edge_values()) {
        SCOPED_TRACE(show(a));
        const long double x = hard(a);
        EXPECT_EQ(show(sqrt(a)), show(soft(hardware_sqrt(x))));
        EXPECT_EQ(show(-a), show(soft(-x)));
        EXPECT_EQ(show(fabs(a)), show(soft(std::fabs(x))));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(a)),
                  std::bit_cast<std::uint64_t>(static_cast<double>(x)));
        // GCC's conversions, out-of-range ones included, which are what is matched here.
        EXPECT_EQ(static_cast<int>(a), static_cast<int>(x));
        EXPECT_EQ(static_cast<long long>(a), static_cast<long long>(x));
        EXPECT_EQ(static_cast<unsigned long long>(a), static_cast<unsigned long long>(x));
        if (a.biased_exponent() != 0 && (a.significand() >> 63) == 0) continue;  // rejected
        for (int n : powers) {
            EXPECT_EQ(show(ldexp(a, n)), show(soft(hardware_scale(x, n)))) << "2^" << n;
        }
        // Zeros, infinities and NaNs come back as x + x does, with exponent 0.
        int got_exponent = -1, want_exponent = 0;
        const SoftExtended fraction = frexp(a, &got_exponent);
        const long double want_fraction =
            a.is_finite() && x != 0 ? hardware_fraction(x, &want_exponent) : x + x;
        EXPECT_EQ(show(fraction), show(soft(want_fraction)));
        EXPECT_EQ(got_exponent, want_exponent);
    }
}

// The roundings of the x87 store to double: ties at 53 bits, the carry into the exponent, the
// overflow threshold, and the denormal range rounded once at its own precision.
TEST(SoftExtended, NarrowingToDoubleRoundsOnceFromTheFullSignificand) {
    const SoftExtended cases[] = {
        bits(0x3FFF, 0x8000000000000400u), bits(0x3FFF, 0x8000000000000401u),
        bits(0x3FFF, 0x8000000000000C00u), bits(0x3FFF, 0x80000000000003FFu),
        bits(0x3FFF, 0xFFFFFFFFFFFFFC00u), bits(0x43FE, 0xFFFFFFFFFFFFFC00u),
        bits(0x43FE, 0xFFFFFFFFFFFFFBFFu), bits(0x43FF, 0x8000000000000000u),
        bits(0x3BCC, 0x8000000000000000u), bits(0x3BCC, 0x8000000000000001u),
        bits(0x3BCB, 0xFFFFFFFFFFFFFFFFu), bits(0x3BCD, 0xC000000000000000u),
        bits(0x3C00, 0xFFFFFFFFFFFFFFFFu), bits(0x3C00, 0xFFFFFFFFFFFFF800u),
        bits(0x3C00, 0x8000000000000000u), bits(0x3BF0, 0x8000000000001000u),
        bits(0x3BF0, 0x8000000000000800u), bits(0x3BF0, 0x8000000000001800u),
        bits(0x3BCD, 0x8000000000000000u), bits(0x3BCD, 0x8000000000000001u),
    };
    for (SoftExtended c : cases) {
        for (SoftExtended x : {c, -c}) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(x)),
                      std::bit_cast<std::uint64_t>(static_cast<double>(hard(x))))
                << show(x);
        }
    }
}

TEST(SoftExtended, ConversionsFromIntegersAreExact) {
    const long long signed_cases[] = {0,
                                      1,
                                      -1,
                                      2,
                                      3,
                                      -3,
                                      INT_MAX,
                                      INT_MIN,
                                      LLONG_MAX,
                                      LLONG_MIN,
                                      LLONG_MIN + 1,
                                      (1LL << 53) + 1,
                                      -(1LL << 62) - 1};
    for (long long n : signed_cases) {
        EXPECT_EQ(show(SoftExtended(n)), show(soft(static_cast<long double>(n)))) << n;
        if (n >= INT_MIN && n <= INT_MAX) {
            const int i = static_cast<int>(n);
            EXPECT_EQ(show(SoftExtended(i)), show(soft(static_cast<long double>(i)))) << i;
        }
    }
    const unsigned long long unsigned_cases[] = {
        0, 1, ULLONG_MAX, ULLONG_MAX - 1, 1ULL << 63, (1ULL << 63) + 1, (1ULL << 63) - 1};
    for (unsigned long long n : unsigned_cases) {
        EXPECT_EQ(show(SoftExtended(n)), show(soft(static_cast<long double>(n)))) << n;
    }
    Random random(3);
    for (int i = 0; i < 1000000; ++i) {
        const std::uint64_t n = random.next() >> random.below(64);
        const auto s = static_cast<long long>(n);
        const auto narrow = static_cast<int>(static_cast<std::uint32_t>(n));
        ASSERT_TRUE(same(SoftExtended(n), soft(static_cast<long double>(n)))) << n;
        ASSERT_TRUE(same(SoftExtended(s), soft(static_cast<long double>(s)))) << s;
        ASSERT_TRUE(same(SoftExtended(narrow), soft(static_cast<long double>(narrow)))) << narrow;
    }
}

// Any bit pattern of the exponent field; significands with the bits around each rounding point
// set and clear.
SoftExtended random_value(Random& random, int low, int high) {
    const auto field = static_cast<std::uint16_t>(low + random.below(high - low + 1));
    std::uint64_t sig = random.next();
    if (random.below(4) == 0) sig &= ~std::uint64_t{0} << random.below(64);
    sig = field == 0 ? sig >> 1 : sig | 0x8000000000000000u;
    if (field == 0x7FFF && random.below(2) == 0) sig = 0x8000000000000000u;
    const auto sign = static_cast<std::uint16_t>(random.below(2) << 15);
    return bits(static_cast<std::uint16_t>(sign | field), sig);
}

TEST(SoftExtended, ConversionsToAndFromDoubleAndIntegersOverRandomValues) {
    Random random(5);
    const int count = 2000000;
    for (int i = 0; i < count; ++i) {
        // Every double bit pattern is a double: the whole range, NaNs and denormals included.
        const double d = std::bit_cast<double>(random.next());
        ASSERT_TRUE(same(SoftExtended(d), soft(static_cast<long double>(d))))
            << std::bit_cast<std::uint64_t>(d);
        // Around double's range and its denormals, then anywhere.
        const SoftExtended near = random_value(random, 0x3BB0, 0x4410);
        const SoftExtended any = random_value(random, 0, 0x7FFF);
        for (SoftExtended x : {near, any}) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(x)),
                      std::bit_cast<std::uint64_t>(static_cast<double>(hard(x))))
                << show(x);
        }
        // Integers: from below one to beyond 2^64.
        const SoftExtended integral = random_value(random, 0x3FF0, 0x4042);
        const long double h = hard(integral);
        ASSERT_EQ(static_cast<int>(integral), static_cast<int>(h)) << show(integral);
        ASSERT_EQ(static_cast<long long>(integral), static_cast<long long>(h)) << show(integral);
        ASSERT_EQ(static_cast<unsigned long long>(integral), static_cast<unsigned long long>(h))
            << show(integral);
    }
}

// The random sweep's operand pairs, in proportions that reach every path: the whole exponent
// range; the extremes; exponents close together with shared leading bits (cancellation); sums
// whose discarded bits are an exact half; products and quotients landing around the denormal
// threshold; sparse significands (exact and tied products); an edge value against a random one.
struct Pair {
    SoftExtended a, b;
};

Pair random_pair(Random& random, const std::vector<SoftExtended>& edges) {
    switch (random.below(8)) {
        case 0:
            return {random_value(random, 0, 0x7FFE), random_value(random, 0, 0x7FFE)};
        case 1: {
            auto extreme = [&] {
                return random.below(2) ? random_value(random, 0, 80)
                                       : random_value(random, 0x7FFE - 80, 0x7FFF);
            };
            const SoftExtended a = extreme();
            return {a, extreme()};
        }
        case 2: {
            const SoftExtended a = random_value(random, 0, 0x7FFE);
            int field = a.biased_exponent() + static_cast<int>(random.below(5)) - 2;
            field = field < 0 ? 0 : field > 0x7FFE ? 0x7FFE : field;
            std::uint64_t sig = a.significand() ^ (random.next() >> random.below(64));
            sig = field == 0 ? sig & 0x7FFFFFFFFFFFFFFFu : sig | 0x8000000000000000u;
            const auto sign = static_cast<std::uint16_t>(random.below(2) << 15);
            return {a, bits(static_cast<std::uint16_t>(sign | field), sig)};
        }
        case 3: {
            // b's bits below a's last one are exactly 100...0, or one off from that.
            const SoftExtended a = random_value(random, 1, 0x7FFE);
            const int distance = 1 + static_cast<int>(random.below(66));
            const int field = a.biased_exponent() - distance;
            if (field < 1) return {a, a};
            std::uint64_t sig = random.next() | 0x8000000000000000u;
            if (distance <= 64) {
                const std::uint64_t mask =
                    distance == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << distance) - 1;
                sig = (sig & ~mask) | (std::uint64_t{1} << (distance - 1));
                sig += random.below(3) - 1;
                sig |= 0x8000000000000000u;
            }
            const auto sign = static_cast<std::uint16_t>(random.below(2) << 15);
            return {a, bits(static_cast<std::uint16_t>(sign | field), sig)};
        }
        case 4: {
            // Products, then quotients, around the denormal threshold; quotients around the
            // overflow threshold.
            const int mode = static_cast<int>(random.below(3));
            const SoftExtended a = random_value(random, 1, mode == 1 ? 16383 : 0x7FFE);
            const int e = a.biased_exponent();
            const int noise = static_cast<int>(random.below(140)) - 70;
            int field = mode == 0   ? 16383 - e + noise
                        : mode == 1 ? e + 16383 + noise
                                    : e - 16383 + noise;
            field = field < 0 ? 0 : field > 0x7FFE ? 0x7FFE : field;
            return {a, random_value(random, field, field)};
        }
        case 5: {
            auto sparse = [&] {
                const SoftExtended x = random_value(random, 16383 - 200, 16383 + 200);
                std::uint64_t sig = 0x8000000000000000u;
                for (int k = static_cast<int>(random.below(4)); k > 0; --k)
                    sig |= std::uint64_t{1} << random.below(64);
                return bits(x.sign_exponent(), sig);
            };
            const SoftExtended a = sparse();
            return {a, sparse()};
        }
        case 6:
            return {random_value(random, 16383 - 70, 16383 + 70),
                    random_value(random, 16383 - 70, 16383 + 70)};
        default: {
            const SoftExtended edge = edges[random.below(edges.size())];
            const SoftExtended other = random_value(random, 0, 0x7FFF);
            return random.below(2) ? Pair{edge, other} : Pair{other, edge};
        }
    }
}

#if defined(TAVRIN_SANITIZED)
constexpr long kSweepPairs = 10000000;  // unoptimised and instrumented: about 5 times slower
#else
constexpr long kSweepPairs = 100000000;
#endif
constexpr int kSweepShards = 10;

class SoftExtendedSweep : public testing::TestWithParam<int> {};

// Each pair through + - * /, a comparison, and the square root of the first operand, against
// the x87 unit bit for bit. In shards, so that test runners can spread them.
TEST_P(SoftExtendedSweep, RandomOperandsMatchTheX87UnitBitForBit) {
    const std::vector<SoftExtended> edges = edge_values();
    Random random(0x5EED0000u + GetParam());
    long failures = 0;
    auto check = [&](const char* name, SoftExtended a, SoftExtended b, SoftExtended got,
                     long double want) {
        if (!same(got, soft(want)) && ++failures <= 20) {
            ADD_FAILURE() << show(a) << " " << name << " " << show(b) << ": " << show(got)
                          << ", the x87 unit " << show(soft(want));
        }
    };
    for (long i = 0; i < kSweepPairs / kSweepShards; ++i) {
        const Pair p = random_pair(random, edges);
        const long double x = hard(p.a), y = hard(p.b);
        check("+", p.a, p.b, p.a + p.b, x + y);
        check("-", p.a, p.b, p.a - p.b, x - y);
        check("*", p.a, p.b, p.a * p.b, x * y);
        check("/", p.a, p.b, p.a / p.b, x / y);
        // Mostly positive radicands: a negative one only ever gives the indefinite NaN.
        const SoftExtended radicand = i % 16 == 0 ? p.a : fabs(p.a);
        check("sqrt", radicand, radicand, sqrt(radicand), hardware_sqrt(hard(radicand)));
        if ((p.a < p.b) != (x < y) || (p.a == p.b) != (x == y)) {
            if (++failures <= 20) ADD_FAILURE() << "comparing " << show(p.a) << " " << show(p.b);
        }
    }
    EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, SoftExtendedSweep, testing::Range(0, kSweepShards));

#else

TEST(SoftExtended, NeedsTheX87UnitForReference) {
    GTEST_SKIP() << "long double is not the x87 extended type here";
}

#endif

}  // namespace
}  // namespace tavrin
