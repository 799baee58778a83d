// The numeric picture formatter. Numbers are rendered from the bit pattern of the double with
// 64-bit unsigned integer arithmetic only, so the output bytes never depend on the platform's
// floating-point printing or locale.
#include "text/picture.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tavrin {

namespace {

// Both the composition buffer of one field and the literal-text buffer.
constexpr std::size_t buffer_size = 2048;

constexpr std::array<std::uint64_t, 20> pow10 = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

constexpr std::uint64_t sign_bit = 0x8000000000000000ull;
// The largest mantissa the decimal-mantissa loop multiplies by 5: five times it fits in 64 bits.
constexpr std::uint64_t five_fits = 0x3333333333333333ull;
constexpr std::uint64_t fraction_mask = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t default_nan = 0xFFF8000000000000ull;

__extension__ typedef unsigned __int128 uint128;

// 10^0 to 10^22: 10^22 * 2^53 still fits in 128 bits.
constexpr int max_direct_power = 22;
constexpr auto pow10_wide = [] {
    std::array<uint128, static_cast<std::size_t>(max_direct_power) + 1> p{};
    p[0] = 1;
    for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
    return p;
}();

// Number of decimal digits of v; 0 for v == 0.
int digit_count(std::uint64_t v) {
    if (v == 0) return 0;
    // bit_width * log10(2), then one correction against the exact power.
    const int t = (static_cast<int>(std::bit_width(v)) * 1233) >> 12;
    return t + 1 - (v < pow10[static_cast<std::size_t>(t)] ? 1 : 0);
}

// A constant divisor lets the compiler replace the 64-bit division by a multiplication.
template <std::size_t K>
std::uint64_t divide_half_up_by(std::uint64_t m) {
    constexpr std::uint64_t p = pow10[K];
    const std::uint64_t q = m / p;
    return (m - q * p >= p / 2) ? q + 1 : q;
}

template <std::size_t... K>
constexpr auto make_dividers(std::index_sequence<K...>) {
    return std::array<std::uint64_t (*)(std::uint64_t), sizeof...(K)>{&divide_half_up_by<K>...};
}

constexpr auto dividers = make_dividers(std::make_index_sequence<20>{});

// The loop that defines the decimal mantissa of mantissa * 2^power_of_two: powers of two traded
// for powers of ten one at a time, the mantissa kept in 64 bits by halving (ties to even) or
// dividing by 5 (to nearest), then rounded half up to 16 digits.
DecimalMantissa decimal_mantissa_by_steps(std::uint64_t mantissa, int power_of_two) {
    int decimal_exponent = 0;
    for (; power_of_two < 0; ++power_of_two) {
        if (mantissa <= five_fits) {
            mantissa *= 5;
            --decimal_exponent;
        } else {
            const bool shifted_out = (mantissa & 1u) != 0;
            mantissa >>= 1;
            if (shifted_out && (mantissa & 1u) != 0) ++mantissa;  // ties to even
        }
    }
    for (; power_of_two > 0; --power_of_two) {
        if (mantissa < sign_bit) {
            mantissa <<= 1;
        } else {
            // Nearest integer to m / 5, i.e. floor((m + 2) / 5), without overflowing m + 2.
            mantissa = mantissa / 5 + (mantissa % 5 + 2) / 5;
            ++decimal_exponent;
        }
    }
    const int digits = digit_count(mantissa);
    if (digits > 16) {
        mantissa = divide_pow10_half_up(mantissa, digits - 16);
        decimal_exponent += digits - 16;
    }
    return {mantissa, decimal_exponent};
}

// floor((52 - shift) log10 2): 10^decade <= m / 2^shift for every m >= 2^52; exact for
// 1 <= shift <= 127.
constexpr int decade_floor(int shift) { return ((52 - shift) * 78913) >> 18; }

// For x = m / 2^shift with 1 <= shift <= 64 the 16-digit scaling S = x / 10^d is m * factor
// exactly, read as 64.64 fixed point, with factor = 10^-d * 2^(64 - shift) below 2^67. d is
// decade_floor(shift) - 15, or one more from the threshold on m on, where x reaches the next
// power of ten.
struct DecadeScale {
    uint128 factor = 0;
    uint128 next_factor = 0;      // the factor for one power of ten more
    std::uint64_t threshold = 0;  // smallest m with x >= 10^(decade_floor(shift) + 1)
    int decimal_exponent = 0;     // d below the threshold
};

constexpr auto decade_scales = [] {
    std::array<DecadeScale, 65> table{};
    for (int shift = 1; shift <= 64; ++shift) {
        DecadeScale& scale = table[static_cast<std::size_t>(shift)];
        const int decade = decade_floor(shift);
        scale.decimal_exponent = decade - 15;
        const uint128 two_power = static_cast<uint128>(1) << (64 - shift);
        scale.factor = pow10_wide[static_cast<std::size_t>(15 - decade)] * two_power;
        scale.next_factor =
            decade < 15 ? pow10_wide[static_cast<std::size_t>(14 - decade)] * two_power : 0;
        // ceil(10^(decade + 1) * 2^shift), or beyond every m when it passes 2^53.
        const uint128 limit = static_cast<uint128>(1) << 53;
        uint128 threshold = 0;
        if (decade + 1 >= 0) {
            threshold = pow10_wide[static_cast<std::size_t>(decade + 1)] << shift;
        } else {
            const uint128 divisor = pow10_wide[static_cast<std::size_t>(-(decade + 1))];
            threshold = ((static_cast<uint128>(1) << shift) + divisor - 1) / divisor;
        }
        scale.threshold = threshold > limit ? ~0ull : static_cast<std::uint64_t>(threshold);
    }
    return table;
}();

// The loop's result without the loop, for mantissa * 2^power_of_two with
// -127 <= power_of_two <= -1 and a value of at least about 1e-7, the magnitudes data files hold.
//
// Why this is the loop's result: the loop multiplies by 5 exactly and halves only when its
// mantissa exceeds five_fits, so each halving changes the mantissa's ratio to the exact value
// by a factor within 1 +- 1/five_fits, and after h halvings its final m * 10^d is the value
// times (1 + e) with |e| < (h + 2) / five_fits. Its last step rounds that to 16 digits half up.
// The value's own 16-digit scaling S = x / 10^d is computed exactly here; whenever S lies
// farther than S * |e| from a rounding half-way point and from the decade ends 10^15 and 10^16,
// the loop rounds to the same digits with the same d, so the nearest integer to S is its m.
// Otherwise (7 to 9 values in a hundred over the magnitudes of data files) false is returned
// and the loop runs.
bool decimal_mantissa_direct(std::uint64_t mantissa, int power_of_two, DecimalMantissa& result) {
    const int shift = -power_of_two;  // x = mantissa / 2^shift
    std::uint64_t whole = 0;          // of S
    std::uint64_t fraction = 0;       // of S, in units of 2^-64; truncated (true value below + 1)
    int decimal_exponent = 0;
    if (shift <= 64) {
        const DecadeScale& scale = decade_scales[static_cast<std::size_t>(shift)];
        const bool next_decade = mantissa >= scale.threshold;
        decimal_exponent = scale.decimal_exponent + (next_decade ? 1 : 0);
        const uint128 scaled =
            static_cast<uint128>(mantissa) * (next_decade ? scale.next_factor : scale.factor);
        whole = static_cast<std::uint64_t>(scaled >> 64);
        fraction = static_cast<std::uint64_t>(scaled);
    } else {
        decimal_exponent = decade_floor(shift) - 15;
        if (-decimal_exponent > max_direct_power) return false;
        uint128 scaled = static_cast<uint128>(mantissa) *
                         pow10_wide[static_cast<std::size_t>(-decimal_exponent)];
        whole = static_cast<std::uint64_t>(scaled >> shift);
        if (whole >= pow10[16]) {
            // x is in the next decade: one power of ten less.
            ++decimal_exponent;
            scaled = static_cast<uint128>(mantissa) *
                     pow10_wide[static_cast<std::size_t>(-decimal_exponent)];
            whole = static_cast<std::uint64_t>(scaled >> shift);
        }
        fraction = static_cast<std::uint64_t>((scaled & ((static_cast<uint128>(1) << shift) - 1)) >>
                                              (shift - 64));
    }
    if (whole < pow10[15] || whole >= pow10[16]) return false;  // never, with the choice of d
    // At most shift - 3 + d halvings: the mantissa ends at least (five_fits + 1) / 2 once it
    // has halved.
    const int halvings_bound = shift - 3 + decimal_exponent > 0 ? shift - 3 + decimal_exponent : 0;
    // S * (h + 2) / five_fits in units of 2^-64, rounded up: 2^64 / five_fits is just above 5.
    const std::uint64_t margin =
        5 * (whole + 1) * static_cast<std::uint64_t>(halvings_bound + 2) + 4;
    const std::uint64_t half = sign_bit;
    const std::uint64_t from_half = fraction >= half ? fraction - half : half - fraction;
    if (from_half <= margin) return false;
    if (whole == pow10[15] && fraction <= margin) return false;
    if (whole == pow10[16] - 1 && ~fraction < margin) return false;
    result.m = whole + (fraction > half ? 1 : 0);
    result.d = decimal_exponent;
    return true;
}

}  // namespace

DecimalMantissa decimal_mantissa(double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x) & ~sign_bit;
    const int biased_exponent = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & fraction_mask;
    if (biased_exponent == 0) {
        if (fraction == 0) return {};  // zero has no mantissa
        return decimal_mantissa_by_steps(fraction, -1074);
    }
    const std::uint64_t mantissa = fraction | (1ull << 52);
    const int power_of_two = biased_exponent - 1075;
    DecimalMantissa result;
    if (power_of_two < 0 && power_of_two >= -127 &&
        decimal_mantissa_direct(mantissa, power_of_two, result)) {
        return result;
    }
    return decimal_mantissa_by_steps(mantissa, power_of_two);
}

std::uint64_t divide_pow10_half_up(std::uint64_t m, int k) {
    if (k <= 0) return m;
    // 10^20 and above: every 64-bit m lies below half the divisor.
    if (k > 19) return 0;
    return dividers[static_cast<std::size_t>(k)](m);
}

namespace {

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The value q * 10^zeros as decimal digits, read from the least significant end.
class Digits {
  public:
    void set(std::uint64_t q, std::int64_t zeros) {
        zeros_ = zeros;
        low_ = 0;
        end_ = 0;
        // Blocks of eight digits through 32-bit arithmetic: one constant division per block.
        while (q >= 100000000u) {
            const std::uint64_t high = q / 100000000u;
            put_block(static_cast<std::uint32_t>(q - high * 100000000u), 8);
            q = high;
        }
        put_block(static_cast<std::uint32_t>(q), 0);
    }
    // The digits of divide_pow10_half_up(q, dropped), found without a division: the
    // remainder reaches half of 10^dropped exactly when the highest dropped digit is 5 or more.
    void set_divided(std::uint64_t q, std::int64_t dropped) {
        set(q, 0);
        if (dropped <= 0) return;
        if (dropped > end_) {
            low_ = end_;
            return;
        }
        const bool round_up = digits_[dropped - 1] >= '5';
        low_ = static_cast<int>(dropped);
        if (!round_up) return;
        int i = low_;
        while (i < end_ && digits_[i] == '9') digits_[i++] = '0';
        if (i < end_) {
            ++digits_[i];
        } else {
            digits_[end_++] = '1';
        }
    }
    // Digit count of the whole value, 0 when it is zero.
    std::int64_t count() const { return end_ == low_ ? 0 : end_ - low_ + zeros_; }
    // Digit k counted from the right (0 = units); '0' beyond the value's digits.
    char at(std::int64_t k) const {
        if (k < zeros_) return '0';
        k += low_ - zeros_;
        return k < end_ ? digits_[k] : '0';
    }

  private:
    // Appends v's digits, padded with '0' to at least min_digits digits.
    void put_block(std::uint32_t v, int min_digits) {
        const int start = end_;
        while (v >= 100) {
            const std::uint32_t pair = v % 100;
            v /= 100;
            digits_[end_++] = digit_pairs[2 * pair + 1];
            digits_[end_++] = digit_pairs[2 * pair];
        }
        if (v >= 10) {
            digits_[end_++] = digit_pairs[2 * v + 1];
            digits_[end_++] = digit_pairs[2 * v];
        } else if (v > 0) {
            digits_[end_++] = static_cast<char>('0' + v);
        }
        while (end_ - start < min_digits) digits_[end_++] = '0';
    }

    char digits_[24];  // least significant first: at most 20 digits and one carry
    int low_ = 0;      // digits below low_ were dropped by set_divided
    int end_ = 0;
    std::int64_t zeros_ = 0;
};

// A field text built right to left; characters that would fall before the start are dropped.
class Composer {
  public:
    explicit Composer(PictureMarks marks) : marks_(marks) {}
    PictureMarks marks() const { return marks_; }
    void put(char c) {
        if (pos_ > 0) buffer_[--pos_] = c;
    }
    void put_repeat(char c, std::int64_t n) {
        while (n > 0 && pos_ > 0) {
            buffer_[--pos_] = c;
            --n;
        }
    }
    // Writes the unsigned number v, padded with '0' to at least min_digits; returns the count.
    int put_number(std::uint64_t v, int min_digits) {
        int n = 0;
        do {
            put(static_cast<char>('0' + v % 10));
            v /= 10;
            ++n;
        } while (v != 0);
        for (; n < min_digits; ++n) put('0');
        return n;
    }
    // The '%' that flags a number or an exponent wider than its place; data lines go without.
    void put_overflow_mark() {
        if (marks_ == PictureMarks::general) put('%');
    }
    // A word such as "-inf" right-aligned with blanks in width characters, or whole when longer.
    void put_word(std::string_view word, std::int64_t width) {
        for (std::size_t k = word.size(); k > 0; --k) put(word[k - 1]);
        put_repeat(' ', width - static_cast<std::int64_t>(word.size()));
    }
    std::string_view text() const { return {buffer_ + pos_, buffer_size - pos_}; }

  private:
    char buffer_[buffer_size];
    std::size_t pos_ = buffer_size;
    PictureMarks marks_;
};

struct Value {
    enum Kind { zero, finite, special };
    Kind kind = zero;
    bool negative = false;
    DecimalMantissa mantissa;
    const char* special_text = nullptr;  // four characters
    bool not_a_number = false;
};

// An infinity or not-a-number as an output data line writes it; a NaN's sign and payload
// mean nothing to a reader, so every one is "nan".
std::string_view data_line_word(const Value& v) {
    if (v.not_a_number) return "nan";
    return v.negative ? "-inf" : "inf";
}

Value classify(double value) {
    Value v;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    v.negative = (bits & sign_bit) != 0;
    const std::uint64_t magnitude = bits & ~sign_bit;
    if (magnitude == 0) {
        v.kind = Value::zero;
    } else if ((magnitude >> 52) == 0x7FF) {
        v.kind = Value::special;
        if ((magnitude & fraction_mask) == 0) {
            v.special_text = "#INF";
        } else if (bits == default_nan) {
            v.special_text = "#IND";
            v.not_a_number = true;
        } else {
            v.special_text = "#NAN";
            v.not_a_number = true;
        }
    } else {
        v.kind = Value::finite;
        v.mantissa = decimal_mantissa(value);
    }
    return v;
}

// One field as read from the picture.
struct Field {
    bool numeric = false;       // false: the number is written in free form
    std::int64_t integers = 0;  // positions before the point: '#', and those of '**', '$', ','
    std::int64_t decimals = 0;  // '#' after the point
    bool point = false;
    bool plus_first = false;  // leading '+': a sign is always shown
    bool star_fill = false;   // '**'
    bool dollar = false;      // '$$' or '**$'
    bool comma = false;       // group the integer digits by three
    char trailing = 0;        // '+' or '-' after the digits, else 0
    int exponent_digits = 0;  // 1 to 3 from a run of 3 to 5 carets, else 0
};

// Whether the picture text s (n > 0 characters left) starts a field at its first character.
bool starts_field(const char* s, std::size_t n) {
    const char c1 = n > 1 ? s[1] : '\0';
    const char c2 = n > 2 ? s[2] : '\0';
    switch (s[0]) {
        case '#':
        case '&':
        case '!':
        case '\\':
            return true;
        case '.':
            return c1 == '#';
        case '*':
            return c1 == '*';
        case '$':
            return c1 == '$';
        case '+':
            return c1 == '#' || (c1 == '$' && c2 == '$') || (c1 == '*' && c2 == '*') ||
                   (c1 == '.' && c2 == '#');
        default:
            return false;
    }
}

// Reads the field at s (n characters left, at a field start); returns the characters used.
std::size_t read_field(const char* s, std::size_t n, Field& f) {
    f = Field{};
    if (n == 0) return 0;
    const auto at = [s, n](std::size_t k) { return k < n ? s[k] : '\0'; };
    std::size_t i = 0;
    switch (s[0]) {
        case '&':
        case '!':
            return 1;
        case '\\': {
            // A string field runs to the next '\' over blanks; a lone '\' is a field of its own.
            std::size_t j = 1;
            while (j < n && s[j] == ' ') ++j;
            return (j < n && s[j] == '\\') ? j + 1 : 1;
        }
        default:
            break;
    }
    f.numeric = true;
    if (at(i) == '+') {
        f.plus_first = true;
        ++i;
    }
    if (at(i) == '*' && at(i + 1) == '*') {
        f.star_fill = true;
        f.integers += 2;
        i += 2;
        if (at(i) == '$') {
            f.dollar = true;
            f.integers += 1;
            ++i;
        }
    } else if (at(i) == '$' && at(i + 1) == '$') {
        f.dollar = true;
        f.integers += 2;
        i += 2;
    }
    for (; i < n; ++i) {
        const char c = s[i];
        if (c == '#') {
            if (f.point) {
                ++f.decimals;
            } else {
                ++f.integers;
            }
        } else if (c == ',' && !f.point) {
            f.comma = true;
            ++f.integers;
        } else if (c == '.' && !f.point) {
            f.point = true;
        } else {
            break;
        }
    }
    std::size_t carets = 0;
    while (at(i + carets) == '^') ++carets;
    if (carets >= 3) {
        // More than five: the rest stay behind as literal text.
        const std::size_t used = carets > 5 ? 5 : carets;
        f.exponent_digits = static_cast<int>(used) - 2;
        i += used;
    }
    if (!f.plus_first && (at(i) == '+' || at(i) == '-')) {
        f.trailing = at(i);
        ++i;
    }
    if (i == 0) f.numeric = false;
    return i;
}

// Left of the integer text: the '$', the sign, then blanks (or '*') up to the integer
// positions, or the overflow mark when the integer text does not fit.
void finish_integer_part(Composer& out, const Field& f, char front_sign, std::int64_t width,
                         std::int64_t available) {
    if (f.dollar) out.put('$');
    if (front_sign != 0) out.put(front_sign);
    if (width <= available) {
        out.put_repeat(f.star_fill ? '*' : ' ', available - width);
    } else {
        out.put_overflow_mark();
    }
}

// Digits before the point in the exponent form.
std::int64_t exponent_lead(const Field& f) {
    const std::int64_t lead = f.integers - (f.trailing == 0 ? 1 : 0) - (f.dollar ? 1 : 0);
    return lead < 1 ? 1 : lead;
}

// Characters the field takes for a number that fits it.
std::int64_t fitting_width(const Field& f) {
    const std::int64_t point = f.point ? 1 : 0;
    const std::int64_t trailing = f.trailing != 0 ? 1 : 0;
    if (f.exponent_digits == 0) return f.integers + point + f.decimals + trailing;
    // Front sign or trailing sign, '$', digits, point, decimals, 'E', exponent sign and digits.
    return 1 + (f.dollar ? 1 : 0) + exponent_lead(f) + point + f.decimals + 2 + f.exponent_digits;
}

void render_special(Composer& out, const Field& f, const Value& v, char front_sign, char back_sign,
                    std::int64_t available) {
    if (out.marks() == PictureMarks::data_line) {
        out.put_word(data_line_word(v), fitting_width(f));
        return;
    }
    if (back_sign != 0) out.put(back_sign);
    out.put_repeat('0', f.decimals - 4);
    for (int k = 3; k >= 0; --k) out.put(v.special_text[k]);
    out.put('.');
    out.put('1');
    finish_integer_part(out, f, front_sign, 1, available);
}

void render_exponent(Composer& out, const Field& f, const Value& v, char back_sign) {
    const bool explicit_form = f.exponent_digits > 0;
    // A sign position in front unless the sign goes behind the number.
    char front_sign = 0;
    if (f.trailing == 0) {
        front_sign = v.negative ? '-' : (f.plus_first ? '+' : ' ');
    }
    const std::int64_t lead = exponent_lead(f);
    const std::int64_t significant = lead + f.decimals;

    Digits digits;
    std::int64_t exponent = 0;
    if (v.kind == Value::zero) {
        digits.set(0, 0);
    } else {
        const std::uint64_t mantissa = v.mantissa.m;
        const int mantissa_digits = digit_count(mantissa);
        exponent = static_cast<std::int64_t>(v.mantissa.d) + mantissa_digits - lead;
        if (mantissa_digits <= significant) {
            digits.set(mantissa, significant - mantissa_digits);
        } else {
            digits.set_divided(mantissa, mantissa_digits - significant);
            if (digits.count() > significant) {
                // The rounding carried into a new digit; significant < mantissa_digits <= 17
                // keeps the power of ten in range.
                digits.set(pow10[static_cast<std::size_t>(significant - 1)], 0);
                ++exponent;
            }
        }
    }

    if (back_sign != 0) out.put(back_sign);
    const std::uint64_t magnitude =
        exponent < 0 ? static_cast<std::uint64_t>(-exponent) : static_cast<std::uint64_t>(exponent);
    bool overflow_mark = !explicit_form;
    if (explicit_form) {
        const int written = out.put_number(magnitude, f.exponent_digits);
        if (written > f.exponent_digits) overflow_mark = true;
    } else {
        out.put_number(magnitude, 1);
        // A long exponent carries its own mark, so that a reader sees the width change.
        if (magnitude > 9) out.put_overflow_mark();
    }
    out.put(exponent < 0 ? '-' : '+');
    out.put('E');
    for (std::int64_t k = 0; k < f.decimals; ++k) out.put(digits.at(k));
    if (f.point) out.put('.');
    for (std::int64_t k = 0; k < lead; ++k) out.put(digits.at(f.decimals + k));
    if (f.dollar) out.put('$');
    if (front_sign != 0) out.put(front_sign);
    if (overflow_mark) out.put_overflow_mark();
}

void render_numeric(Composer& out, const Field& f, const Value& v) {
    char front_sign = 0;
    char back_sign = 0;
    if (f.trailing == '+') {
        back_sign = v.negative ? '-' : '+';
    } else if (f.trailing == '-') {
        back_sign = v.negative ? '-' : ' ';
    } else if (f.plus_first) {
        front_sign = v.negative ? '-' : '+';
    } else if (v.negative) {
        front_sign = '-';
    }
    // Integer positions left for digits: the front sign and the '$' take one each.
    const std::int64_t available = f.integers - (front_sign != 0 ? 1 : 0) - (f.dollar ? 1 : 0);

    if (v.kind == Value::special) {
        render_special(out, f, v, front_sign, back_sign, available);
        return;
    }

    // The value scaled by 10^decimals, rounded half up on the magnitude.
    Digits scaled;
    if (v.kind == Value::zero) {
        scaled.set(0, 0);
    } else {
        const std::int64_t shift = static_cast<std::int64_t>(v.mantissa.d) + f.decimals;
        if (shift >= 0) {
            scaled.set(v.mantissa.m, shift);
        } else {
            scaled.set_divided(v.mantissa.m, -shift);
        }
    }
    const std::int64_t total = scaled.count();
    const std::int64_t integer_digits = total > f.decimals ? total - f.decimals : 0;

    if (f.exponent_digits > 0 || integer_digits > available + 3) {
        render_exponent(out, f, v, back_sign);
        return;
    }

    if (back_sign != 0) out.put(back_sign);
    for (std::int64_t k = 0; k < f.decimals; ++k) out.put(scaled.at(k));
    if (f.point) out.put('.');
    std::int64_t width = 0;
    if (integer_digits == 0) {
        if (available >= 1) {
            out.put('0');
            width = 1;
        }
    } else {
        for (std::int64_t k = 0; k < integer_digits; ++k) {
            if (f.comma && k > 0 && k % 3 == 0) {
                out.put(',');
                ++width;
            }
            out.put(scaled.at(f.decimals + k));
            ++width;
        }
    }
    finish_integer_part(out, f, front_sign, width, available);
}

// The number without a picture field: its significant digits, trailing zeros dropped, in
// plain notation for moderate magnitudes and with an exponent otherwise.
void render_free(Composer& out, const Value& v) {
    if (v.kind == Value::special && out.marks() == PictureMarks::data_line) {
        out.put_word(data_line_word(v), 0);
        return;
    }
    if (v.kind == Value::special) {
        for (int k = 3; k >= 0; --k) out.put(v.special_text[k]);
        out.put('.');
        out.put('1');
    } else if (v.kind == Value::zero) {
        out.put('0');
    } else {
        std::uint64_t mantissa = v.mantissa.m;
        std::int64_t exponent = v.mantissa.d;
        while (mantissa % 10 == 0) {
            mantissa /= 10;
            ++exponent;
        }
        Digits digits;
        digits.set(mantissa, 0);
        const std::int64_t count = digits.count();
        const std::int64_t before_point = count + exponent;
        if (before_point > 16 || before_point < -5) {
            const std::int64_t power = before_point - 1;
            out.put_number(static_cast<std::uint64_t>(power < 0 ? -power : power), 1);
            out.put(power < 0 ? '-' : '+');
            out.put('E');
            for (std::int64_t k = 0; k < count - 1; ++k) out.put(digits.at(k));
            if (count > 1) out.put('.');
            out.put(digits.at(count - 1));
        } else if (before_point >= count) {
            out.put_repeat('0', before_point - count);
            for (std::int64_t k = 0; k < count; ++k) out.put(digits.at(k));
        } else if (before_point > 0) {
            for (std::int64_t k = 0; k < count; ++k) {
                if (k == count - before_point) out.put('.');
                out.put(digits.at(k));
            }
        } else {
            for (std::int64_t k = 0; k < count; ++k) out.put(digits.at(k));
            out.put_repeat('0', -before_point);
            out.put('.');
            out.put('0');
        }
    }
    if (v.negative) out.put('-');
}

// A plain field holds its integer positions, the point and its decimals; this bounds the
// fields the planned path renders.
constexpr int plain_field_limit = 40;
// Literal text around a planned field, before and after together.
constexpr std::size_t planned_literal_limit = 32;

bool is_plain(const Field& f) {
    return f.numeric && f.point && !f.plus_first && !f.star_fill && !f.dollar && !f.comma &&
           f.trailing == 0 && f.exponent_digits == 0 && f.decimals >= 1 && f.decimals <= 18 &&
           f.integers >= 1 && f.integers + 1 + f.decimals <= plain_field_limit;
}

// Writes v as exactly count digits (leading zeros kept) ending just before end.
void put_digits_backwards(char* end, std::uint64_t v, int count) {
    // 32-bit steps once the value fits: cheaper divisions by 100.
    while (count >= 2 && v > 0xFFFFFFFFu) {
        const std::uint64_t pair = v % 100;
        v /= 100;
        end -= 2;
        std::memcpy(end, digit_pairs + 2 * pair, 2);
        count -= 2;
    }
    std::uint32_t w = static_cast<std::uint32_t>(v);
    while (count >= 2) {
        const std::uint32_t pair = w % 100;
        w /= 100;
        end -= 2;
        std::memcpy(end, digit_pairs + 2 * pair, 2);
        count -= 2;
    }
    if (count == 1) end[-1] = static_cast<char>('0' + w % 10);
}

// Nine digits, the decimals of both pictures: two independent halves of the work.
void put_nine_digits(char* out, std::uint32_t v) {
    const std::uint32_t high = v / 10000;  // five digits
    const std::uint32_t low = v - high * 10000;
    const std::uint32_t high_pair = high / 100;  // three digits
    const std::uint32_t high_last = high - high_pair * 100;
    const std::uint32_t top = high_pair / 100;
    const std::uint32_t middle = high_pair - top * 100;
    const std::uint32_t low_high = low / 100;
    const std::uint32_t low_low = low - low_high * 100;
    out[0] = static_cast<char>('0' + top);
    std::memcpy(out + 1, digit_pairs + 2 * middle, 2);
    std::memcpy(out + 3, digit_pairs + 2 * high_last, 2);
    std::memcpy(out + 5, digit_pairs + 2 * low_high, 2);
    std::memcpy(out + 7, digit_pairs + 2 * low_low, 2);
}

std::uint64_t divide_pow10_half_up_fast(std::uint64_t m, int k) {
    switch (k) {
        // The shifts that the output's 16-digit mantissas meet with nine decimals.
        case 1: return divide_half_up_by<1>(m);
        case 2: return divide_half_up_by<2>(m);
        case 3: return divide_half_up_by<3>(m);
        case 4: return divide_half_up_by<4>(m);
        case 5: return divide_half_up_by<5>(m);
        case 6: return divide_half_up_by<6>(m);
        case 7: return divide_half_up_by<7>(m);
        case 8: return divide_half_up_by<8>(m);
        case 9: return divide_half_up_by<9>(m);
        case 10: return divide_half_up_by<10>(m);
        default: return divide_pow10_half_up(m, k);
    }
}

// round_half_up(|x| * 10^decimals) for decimals <= 9, straight from the bits of |x| = magnitude,
// when that is provably what rounding the 16-digit mantissa gives; false otherwise.
//
// Why: here decimal_mantissa's m * 10^d is |x| within a relative 6e-16 (half a unit in the
// 16th digit, plus under 4e-17 from at most 127 halvings of the loop). So m * 10^(d + decimals)
// differs from the exact X = |x| * 10^decimals = mantissa * 10^decimals / 2^shift by less than
// mantissa * 10^9 * 6e-16 < mantissa * 2^-19 units of 2^-shift. When X lies farther than that
// from every half-way point, both round half up to the same integer; otherwise (ties, and about
// one value in 2^17) the mantissa route decides.
bool scaled_half_up_direct(std::uint64_t magnitude, int decimals, std::uint64_t& scaled) {
    const int biased_exponent = static_cast<int>(magnitude >> 52);
    const int shift = 1075 - biased_exponent;  // |x| = mantissa / 2^shift
    // From 20 on the integer part fits in 64 bits; beyond 127 the mask would not fit.
    if (biased_exponent == 0 || shift < 20 || shift > 127) return false;
    const std::uint64_t mantissa = (magnitude & fraction_mask) | (1ull << 52);
    const uint128 product =
        static_cast<uint128>(mantissa) * pow10[static_cast<std::size_t>(decimals)];
    const std::uint64_t whole = static_cast<std::uint64_t>(product >> shift);
    // Keeps the mantissa route clear of its 19-digit limit.
    if (whole >= pow10[17]) return false;
    const std::uint64_t margin = (mantissa >> 19) + 1;
    bool above_half = false;
    if (shift <= 64) {
        // Magnitudes from about 5e-4 on: the fraction fits in 64 bits.
        const std::uint64_t fraction = static_cast<std::uint64_t>(product) & (~0ull >> (64 - shift));
        const std::uint64_t half = 1ull << (shift - 1);
        const std::uint64_t from_half = fraction >= half ? fraction - half : half - fraction;
        if (from_half <= margin) return false;
        above_half = fraction > half;
    } else {
        const uint128 fraction = product & ((static_cast<uint128>(1) << shift) - 1);
        const uint128 half = static_cast<uint128>(1) << (shift - 1);
        const uint128 from_half = fraction >= half ? fraction - half : half - fraction;
        if (from_half <= margin) return false;
        above_half = fraction > half;
    }
    scaled = whole + (above_half ? 1 : 0);
    return true;
}

// The fixed layout of a plain field, composed at out: integers + 1 + decimals characters when
// the integer digits fit, or, when they exceed the positions by at most 3, the overflow mark
// (general marks only) followed by the sign and the number, up to 4 characters more; with
// data-line marks also the words for infinities and not-a-numbers. Returns the length, or 0
// with nothing composed for every other case, which the general renderer handles: the general
// texts of infinities and not-a-numbers, the exponent form.
std::size_t compose_plain_field(char* out, int integers, int decimals, double value,
                                PictureMarks marks) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits & sign_bit) != 0;
    const std::uint64_t magnitude = bits & ~sign_bit;
    if ((magnitude >> 52) == 0x7FF) {
        if (marks != PictureMarks::data_line) return 0;
        const std::string_view word = (magnitude & fraction_mask) != 0 ? "nan"
                                      : negative                       ? "-inf"
                                                                       : "inf";
        const std::size_t width = static_cast<std::size_t>(integers + 1 + decimals);
        const std::size_t blanks = width > word.size() ? width - word.size() : 0;
        std::memset(out, ' ', blanks);
        std::memcpy(out + blanks, word.data(), word.size());
        return blanks + word.size();
    }
    std::uint64_t scaled = 0;  // the value times 10^decimals, rounded half up
    if (magnitude != 0 && !(decimals <= 9 && scaled_half_up_direct(magnitude, decimals, scaled))) {
        const DecimalMantissa dm = decimal_mantissa(value);
        const int shift = dm.d + decimals;
        if (shift >= 0) {
            if (digit_count(dm.m) + shift > 19) return 0;
            scaled = dm.m * pow10[static_cast<std::size_t>(shift)];
        } else {
            scaled = divide_pow10_half_up_fast(dm.m, -shift);
        }
    }
    const int available = integers - (negative ? 1 : 0);  // positions left for digits
    // The nine decimals of both pictures divide by a constant.
    std::uint64_t whole;
    if (decimals == 9) {
        whole = scaled / 1000000000u;
    } else {
        whole = scaled / pow10[static_cast<std::size_t>(decimals)];
    }
    const int whole_digits = digit_count(whole);
    if (whole_digits > available + 3) return 0;  // the exponent form
    const std::uint64_t fraction = scaled - whole * pow10[static_cast<std::size_t>(decimals)];

    // The integer part takes its positions, or all it needs behind the overflow mark.
    const bool overflow = whole_digits > available;
    const int mark = overflow && marks == PictureMarks::general ? 1 : 0;
    const int front = overflow ? mark + (negative ? 1 : 0) + whole_digits : integers;
    if (decimals == 9) {
        put_nine_digits(out + front + 1, static_cast<std::uint32_t>(fraction));
    } else {
        put_digits_backwards(out + front + 1 + decimals, fraction, decimals);
    }
    out[front] = '.';
    int shown = whole_digits;  // integer characters: the digits, or '0' alone, or nothing
    if (whole_digits > 0) {
        put_digits_backwards(out + front, whole, whole_digits);
    } else if (available >= 1) {
        out[front - 1] = '0';
        shown = 1;
    }
    int fill = front - shown;  // blanks on the left; when too wide, room for the mark alone
    if (negative) out[--fill] = '-';
    for (int k = 0; k < fill; ++k) out[k] = ' ';
    if (mark != 0) out[0] = '%';
    return static_cast<std::size_t>(front + 1 + decimals);
}

// Length of the literal text at p (left characters) up to the next field start, stopping
// early at a '_' so that escapes are left to the general copy.
std::size_t plain_literal_run(const char* p, std::size_t left) {
    std::size_t run = 0;
    while (run < left && p[run] != '_' && !starts_field(p + run, left - run)) ++run;
    return run;
}

}  // namespace

void PictureState::start_picture(std::string_view picture, PictureMarks marks) {
    if (std::string_view(picture_) != picture) {
        picture_.assign(picture.data(), picture.size());  // reuses the capacity of earlier lines
        plan_count_ = 0;
        unplanned_ = 0;
    }
    has_picture_ = true;
    marks_ = marks;
    cursor_ = 0;
    left_ = picture_.size();
}

inline const PictureState::ItemPlan* PictureState::plan_at(std::size_t cursor) {
    for (std::size_t i = 0; i < plan_count_; ++i) {
        if (plans_[i].cursor == cursor) return &plans_[i];
    }
    return make_plan(cursor);
}

// Kept out of line: it runs once per picture text, the lookup above on every item.
[[gnu::noinline]] const PictureState::ItemPlan* PictureState::make_plan(std::size_t cursor) {
    if (unplanned_ == cursor + 1 || plan_count_ == std::size(plans_)) return nullptr;
    // Make the plan the general path would follow from here, if the item is of that kind.
    const char* p = picture_.data();
    const std::size_t size = picture_.size();
    ItemPlan plan;
    plan.cursor = cursor;
    plan.before = plain_literal_run(p + cursor, size - cursor);
    const std::size_t field_at = cursor + plan.before;
    Field field;
    if (field_at < size && p[field_at] != '_') {
        plan.field = read_field(p + field_at, size - field_at, field);
        const std::size_t after_at = field_at + plan.field;
        plan.after = plain_literal_run(p + after_at, size - after_at);
        const std::size_t end = after_at + plan.after;
        if (is_plain(field) && (end == size || p[end] != '_') &&
            plan.before + plan.after <= planned_literal_limit) {
            plan.integers = static_cast<int>(field.integers);
            plan.decimals = static_cast<int>(field.decimals);
            plans_[plan_count_] = plan;
            return &plans_[plan_count_++];
        }
    }
    unplanned_ = cursor + 1;
    return nullptr;
}

bool PictureState::write_planned_item(OutputSlot& channel, double value,
                                      std::uint32_t item_flags) {
    const ItemPlan* plan = plan_at(cursor_);
    if (plan == nullptr) return false;
    // The field, with the overflow mark, a sign and 3 more digits at most.
    const std::size_t longest = static_cast<std::size_t>(plan->integers + 1 + plan->decimals) + 5;
    // Composed in the output buffer itself; the general path writes the same bytes otherwise.
    char* const text = channel.reserve(plan->before + longest + plan->after + 2);
    if (text == nullptr) return false;
    const std::size_t width =
        compose_plain_field(text + plan->before, plan->integers, plan->decimals, value, marks_);
    if (width == 0) return false;
    const char* p = picture_.data() + cursor_;
    for (std::size_t k = 0; k < plan->before; ++k) text[k] = p[k];
    char* out = text + plan->before + width;
    const char* after = p + plan->before + plan->field;
    for (std::size_t k = 0; k < plan->after; ++k) out[k] = after[k];
    out += plan->after;
    if ((item_flags & item_end_line) != 0) {
        *out++ = '\r';
        *out++ = '\n';
    }
    channel.commit(static_cast<std::size_t>(out - text));
    const std::size_t used = plan->before + plan->field + plan->after;
    cursor_ += used;
    left_ -= used;
    // The text is released; the cursor and count stay, so end_picture finds nothing to copy.
    if ((item_flags & item_last) != 0) has_picture_ = false;
    return true;
}

void PictureState::write_picture_number(OutputSlot& channel, double value,
                                        std::uint32_t item_flags) {
    if (left_ == 0) {
        cursor_ = 0;
        left_ = has_picture_ ? picture_.size() : 0;
    }
    // The usual case: an item met on every line, a value that fits its field.
    if (has_picture_ && left_ > 0 && write_planned_item(channel, value, item_flags)) return;

    copy_literal_text(channel);
    Field field;
    if (has_picture_ && left_ > 0) {
        const std::size_t used = read_field(picture_.data() + cursor_, left_, field);
        cursor_ += used;
        left_ -= used;
    }
    const Value v = classify(value);
    Composer out(marks_);
    if (field.numeric) {
        render_numeric(out, field, v);
    } else {
        render_free(out, v);
    }
    channel.write(out.text());

    copy_literal_text(channel);
    if ((item_flags & item_end_line) != 0) channel.write_line_end();
    // The text is released; the cursor and count stay, so end_picture finds nothing to copy.
    if ((item_flags & item_last) != 0) has_picture_ = false;
}

void PictureState::end_picture(OutputSlot& channel) {
    copy_literal_text(channel);
    has_picture_ = false;
    marks_ = PictureMarks::general;
    cursor_ = 0;
    left_ = 0;
}

void PictureState::copy_literal_text(OutputSlot& channel) {
    if (!has_picture_) return;
    const char* p = picture_.data();
    // A run without '_' is written straight from the picture text.
    const std::size_t run = plain_literal_run(p + cursor_, left_);
    if (run > 0) {
        channel.write(std::string_view(p + cursor_, run));
        cursor_ += run;
        left_ -= run;
    }
    if (left_ == 0 || p[cursor_] != '_') return;
    char piece[buffer_size];
    std::size_t used = 0;
    while (left_ > 0) {
        const char* s = p + cursor_;
        if (starts_field(s, left_)) break;
        if (s[0] == '_' && left_ >= 2) {
            piece[used++] = s[1];
            cursor_ += 2;
            left_ -= 2;
        } else {
            piece[used++] = s[0];
            cursor_ += 1;
            left_ -= 1;
        }
        // A full buffer is written as its own piece; the scan goes on to the field start, so
        // a field is never read in the middle of literal text.
        if (used == buffer_size) {
            channel.write(std::string_view(piece, used));
            used = 0;
        }
    }
    if (used > 0) channel.write(std::string_view(piece, used));
}

}  // namespace tavrin
