#include "text/picture.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {
namespace {

constexpr std::string_view ri_picture = " ##.#########";
constexpr std::string_view pair_picture = " ##.######### ####.#########";
constexpr std::uint32_t last_item = item_end_line | item_last;  // the eighth number of a line

constexpr double inf = std::numeric_limits<double>::infinity();

double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

// Runs body against an output slot on a fresh temporary file, closes it and returns its bytes.
std::string written_bytes(const std::function<void(OutputSlot&)>& body) {
    static std::mt19937_64 names{std::random_device{}()};
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("tavrin_picture_test_" + std::to_string(names()) + ".s2p");
    std::string bytes;
    {
        OutputSlot slot;
        EXPECT_TRUE(slot.open(path.string()));
        body(slot);
        EXPECT_TRUE(slot.close());
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    return bytes;
}

struct Item {
    double value;
    std::uint32_t flags = 0;
};

// One picture cycle as the output writer runs it: start, the items, end.
std::string picture_output(std::string_view picture, const std::vector<Item>& items,
                           PictureMarks marks = PictureMarks::general) {
    return written_bytes([&](OutputSlot& slot) {
        PictureState state;
        state.start_picture(picture, marks);
        for (const Item& item : items) state.write_picture_number(slot, item.value, item.flags);
        state.end_picture(slot);
    });
}

struct FieldCase {
    double value;
    std::string text;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << "bits 0x" << std::hex << std::bit_cast<std::uint64_t>(c.value) << std::dec << " -> '"
        << c.text << "'";
}

// The RI picture with one item: the literal blank, then the 12-character field.
class RiPictureItem : public ::testing::TestWithParam<FieldCase> {};

TEST_P(RiPictureItem, WritesBlankAndField) {
    EXPECT_EQ(picture_output(ri_picture, {{GetParam().value}}), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeTable, RiPictureItem,
    ::testing::Values(
        FieldCase{0.0, "  0.000000000"}, FieldCase{-0.0, " -0.000000000"},
        FieldCase{0.5, "  0.500000000"}, FieldCase{-0.5, " -0.500000000"},
        FieldCase{1.0, "  1.000000000"}, FieldCase{-1.0, " -1.000000000"},
        FieldCase{-9.5, " -9.500000000"}, FieldCase{12.3456789012, " 12.345678901"},
        FieldCase{-12.3456789012, " %-12.345678901"}, FieldCase{99.9999999994, " 99.999999999"},
        FieldCase{99.9999999999, " %100.000000000"}, FieldCase{-99.9999999996, " %-100.000000000"},
        FieldCase{9.9999999995, " 10.000000000"}, FieldCase{-9.9999999995, " %-10.000000000"},
        FieldCase{123.456, " %123.456000000"}, FieldCase{-123.456, " %-123.456000000"},
        FieldCase{0.0000000001, "  0.000000000"}, FieldCase{0.0000000005, "  0.000000001"},
        FieldCase{-0.0000000004, " -0.000000000"}, FieldCase{1.2345678905, "  1.234567891"},
        FieldCase{2.0 / 3.0, "  0.666666667"}, FieldCase{12345.6, " %12345.600000000"},
        FieldCase{-1234.5, " %-1234.500000000"}, FieldCase{123456.7, " % 1.234567000E+5"},
        FieldCase{-12345.6, " %-1.234560000E+4"},
        FieldCase{10000000000000000.0, " % 1.000000000E+%16"}, FieldCase{inf, "  1.#INF00000"},
        FieldCase{-inf, " -1.#INF00000"},
        FieldCase{from_bits(0xFFF8000000000000u), " -1.#IND00000"},
        FieldCase{from_bits(0x7FF8000000000000u), "  1.#NAN00000"},
        FieldCase{std::numeric_limits<double>::max(), " % 1.797693135E+%308"},
        FieldCase{std::numeric_limits<double>::denorm_min(), "  0.000000000"},
        FieldCase{-std::numeric_limits<double>::denorm_min(), " -0.000000000"}));

// Further rows worked out by hand from the rules, with mantissas from an independent model.
INSTANTIATE_TEST_SUITE_P(
    DerivedRows, RiPictureItem,
    ::testing::Values(
        // 1e-6 has the mantissa 10^16 (17 digits), D = -22: N = round(10^16 / 10^13) = 1000.
        FieldCase{1e-6, "  0.000001000"},
        // 1e24 has the mantissa 10^16, D = 8: l = 17, R = 10^9, X = 8 + 17 - 1.
        FieldCase{1e24, " % 1.000000000E+%24"},
        // M = 9999999999500000, D = -10: R rounds up to 10^10, so R = 10^9 and X grows to 6.
        FieldCase{999999.99995, " % 1.000000000E+6"},
        // Five integer digits: one fixed overflow at the limit, exponent form one digit later.
        FieldCase{99999.0, " %99999.000000000"}, FieldCase{-9999.0, " %-9999.000000000"},
        FieldCase{-99999.0, " %-9.999900000E+4"}, FieldCase{0.1, "  0.100000000"},
        FieldCase{-1e-300, " -0.000000000"},
        // Any not-a-number other than the one default pattern reads #NAN, sign bit honoured.
        FieldCase{from_bits(0xFFF8000000000001u), " -1.#NAN00000"},
        FieldCase{from_bits(0x7FF0000000000001u), "  1.#NAN00000"},
        FieldCase{from_bits(0xFFFFFFFFFFFFFFFFu), " -1.#NAN00000"}));

// The same item with the data-line marks: the general text with every '%' left out, and
// inf, -inf or nan right-aligned in the 12-character field.
class RiDataLineItem : public ::testing::TestWithParam<FieldCase> {};

TEST_P(RiDataLineItem, WritesBlankAndField) {
    EXPECT_EQ(picture_output(ri_picture, {{GetParam().value}}, PictureMarks::data_line),
              GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RiDataLineItem,
    ::testing::Values(
        // Numbers that fit keep their general text.
        FieldCase{-0.0, " -0.000000000"}, FieldCase{12.3456789012, " 12.345678901"},
        FieldCase{-9.5, " -9.500000000"},
        // Too wide: the digits in full, with no mark and no blank added.
        FieldCase{-12.3456789012, " -12.345678901"}, FieldCase{99.9999999999, " 100.000000000"},
        FieldCase{-9.9999999995, " -10.000000000"}, FieldCase{-123.456, " -123.456000000"},
        FieldCase{12345.6, " 12345.600000000"}, FieldCase{-1234.5, " -1234.500000000"},
        // The exponent form keeps its sign position, and long exponents lose their mark too.
        FieldCase{123456.7, "  1.234567000E+5"}, FieldCase{-12345.6, " -1.234560000E+4"},
        FieldCase{10000000000000000.0, "  1.000000000E+16"},
        FieldCase{std::numeric_limits<double>::max(), "  1.797693135E+308"},
        FieldCase{inf, "          inf"}, FieldCase{-inf, "         -inf"},
        // Every not-a-number is nan: the default one, sign bit set or not, any payload.
        FieldCase{from_bits(0xFFF8000000000000u), "          nan"},
        FieldCase{from_bits(0x7FF8000000000000u), "          nan"},
        FieldCase{from_bits(0xFFF8000000000001u), "          nan"},
        FieldCase{from_bits(0x7FF0000000000001u), "          nan"},
        FieldCase{from_bits(0xFFFFFFFFFFFFFFFFu), "          nan"}));

// The pair picture's second field, after a first item of 0 whose text is known.
class PairSecondField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(PairSecondField, WritesFieldText) {
    EXPECT_EQ(picture_output(pair_picture, {{0.0}, {GetParam().value}}),
              "  0.000000000 " + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeTable, PairSecondField,
    ::testing::Values(
        FieldCase{-179.123456789, "-179.123456789"}, FieldCase{180.0, " 180.000000000"},
        FieldCase{45.5, "  45.500000000"}, FieldCase{-45.5, " -45.500000000"},
        FieldCase{0.0, "   0.000000000"}, FieldCase{-0.0, "  -0.000000000"},
        FieldCase{-0.5, "  -0.500000000"}, FieldCase{359.9999999996, " 360.000000000"},
        FieldCase{-400.0, "-400.000000000"}, FieldCase{1234.5, "1234.500000000"},
        FieldCase{-1234.5, "%-1234.500000000"}, FieldCase{-999.9999999995, "%-1000.000000000"},
        FieldCase{12345.678, "%12345.678000000"}, FieldCase{10000000.0, "% 100.000000000E+5"},
        FieldCase{-1000000.0, "%-100.000000000E+4"}, FieldCase{-inf, "  -1.#INF00000"}));

INSTANTIATE_TEST_SUITE_P(
    DerivedRows, PairSecondField,
    ::testing::Values(FieldCase{-180.0, "-180.000000000"},
                      FieldCase{from_bits(0xFFF8000000000000u), "  -1.#IND00000"},
                      // Seven integer digits of a positive value still use the fixed overflow.
                      FieldCase{1234567.0, "%1234567.000000000"},
                      FieldCase{123456789012.0, "% 123.456789012E+9"},
                      FieldCase{1e300, "% 100.000000000E+%298"}));

// The pair picture's second field with the data-line marks.
class PairSecondDataLineField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(PairSecondDataLineField, WritesFieldText) {
    EXPECT_EQ(picture_output(pair_picture, {{0.0}, {GetParam().value}}, PictureMarks::data_line),
              "  0.000000000 " + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PairSecondDataLineField,
    ::testing::Values(
        FieldCase{-180.0, "-180.000000000"}, FieldCase{1234.5, "1234.500000000"},
        FieldCase{-1234.5, "-1234.500000000"}, FieldCase{-999.9999999995, "-1000.000000000"},
        FieldCase{12345.678, "12345.678000000"}, FieldCase{10000000.0, " 100.000000000E+5"},
        FieldCase{-1000000.0, "-100.000000000E+4"}, FieldCase{1e300, " 100.000000000E+298"},
        FieldCase{inf, "           inf"}, FieldCase{-inf, "          -inf"},
        FieldCase{from_bits(0xFFF8000000000000u), "           nan"},
        FieldCase{from_bits(0x7FF4000000000123u), "           nan"}));

// A plain transcription of the fixed layout and the exponent form for '#' fields, built on
// decimal_mantissa and divide_pow10_half_up and decimal strings, with nothing optimised.
std::string reference_field(double x, int integers, int decimals, PictureMarks marks) {
    const std::string mark = marks == PictureMarks::general ? "%" : "";
    const bool negative = std::signbit(x);
    std::uint64_t m = 0;
    int d = 0;
    if (x != 0.0) {
        const DecimalMantissa dm = decimal_mantissa(x);
        m = dm.m;
        d = dm.d;
    }
    std::string n = "0";
    if (m != 0) {
        const int shift = d + decimals;
        if (shift >= 0) {
            n = std::to_string(m) + std::string(static_cast<std::size_t>(shift), '0');
        } else if (-shift <= 19) {
            n = std::to_string(divide_pow10_half_up(m, -shift));
        }
    }
    const int total = n == "0" ? 0 : static_cast<int>(n.size());
    const int u = total > decimals ? total - decimals : 0;
    const int available = integers - (negative ? 1 : 0);
    if (u > available + 3) {
        const std::string digits = std::to_string(m);
        const int l = static_cast<int>(digits.size());
        const int g = integers - 1 + decimals;
        std::string r = l <= g ? digits + std::string(static_cast<std::size_t>(g - l), '0')
                               : std::to_string(divide_pow10_half_up(m, l - g));
        int exponent = d + l - (integers - 1);
        if (static_cast<int>(r.size()) > g) {
            r = "1" + std::string(static_cast<std::size_t>(g - 1), '0');
            ++exponent;
        }
        const int magnitude = exponent < 0 ? -exponent : exponent;
        return mark + (negative ? '-' : ' ') + r.substr(0, integers - 1) + "." +
               r.substr(integers - 1) + "E" + (exponent < 0 ? '-' : '+') +
               (magnitude > 9 ? mark : "") + std::to_string(magnitude);
    }
    std::string padded = n;
    if (static_cast<int>(padded.size()) < decimals) {
        padded.insert(0, static_cast<std::size_t>(decimals) - padded.size(), '0');
    }
    const std::string fraction = padded.substr(padded.size() - decimals);
    const std::string integer_text = u > 0 ? n.substr(0, u) : (available >= 1 ? "0" : "");
    const std::string sign = negative ? "-" : "";
    if (u <= available) {
        return std::string(integers - sign.size() - integer_text.size(), ' ') + sign +
               integer_text + "." + fraction;
    }
    return mark + sign + integer_text + "." + fraction;
}

TEST(PictureReference, RandomValuesMatchPlainTranscription) {
    std::mt19937_64 random(5u);
    std::vector<double> values;
    for (int round = 0; round < 30000; ++round) {
        double x = 0.0;
        switch (round % 3) {
            case 0:  // any magnitude the two fields meet, every layout
                x = std::ldexp(static_cast<double>(random() >> 11) / 9007199254740992.0,
                               static_cast<int>(random() % 100) - 50);
                break;
            case 1:  // close to a half in the ninth decimal
                x = static_cast<double>(2 * (random() % 2000000000000u) + 1) * 5e-10;
                break;
            default:  // close to a carry into a new integer digit
                x = static_cast<double>(random() % 7 + 1) * 9.9999999995 *
                    std::pow(10.0, static_cast<double>(random() % 6));
                break;
        }
        values.push_back(random() % 2 == 0 ? -x : x);
    }
    for (const PictureMarks marks : {PictureMarks::general, PictureMarks::data_line}) {
        SCOPED_TRACE(marks == PictureMarks::general ? "general marks" : "data-line marks");
        // One line per value: the RI picture alone, then the pair picture with the value second.
        const std::string got = written_bytes([&](OutputSlot& slot) {
            PictureState state;
            for (const double x : values) {
                state.start_picture(ri_picture, marks);
                state.write_picture_number(slot, x, last_item);
                state.end_picture(slot);
                state.start_picture(pair_picture, marks);
                state.write_picture_number(slot, 0.0, 0);
                state.write_picture_number(slot, x, last_item);
                state.end_picture(slot);
            }
        });
        std::string expected;
        for (const double x : values) {
            // Appended piece by piece: GCC 12 for MinGW warns falsely on " " + std::string.
            expected.append(" ").append(reference_field(x, 2, 9, marks)).append("\r\n");
            expected.append("  0.000000000 ").append(reference_field(x, 4, 9, marks)).append("\r\n");
        }
        ASSERT_EQ(got.size(), expected.size());
        std::size_t line_start = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (got[i] != expected[i]) {
                const std::size_t end = expected.find('\n', line_start);
                FAIL() << "line '" << got.substr(line_start, end - line_start) << "' expected '"
                       << expected.substr(line_start, end - line_start) << "'";
            }
            if (got[i] == '\n') line_start = i + 1;
        }
    }
}

TEST(PictureLines, RiLineOfEightItems) {
    const std::string got = picture_output(
        ri_picture, {{0.1}, {-0.2}, {0.3}, {-0.4}, {0.5}, {-0.6}, {0.7}, {-0.8, last_item}});
    EXPECT_EQ(got,
              "  0.100000000 -0.200000000  0.300000000 -0.400000000  0.500000000 -0.600000000"
              "  0.700000000 -0.800000000\r\n");
}

TEST(PictureLines, PairLineOfEightItems) {
    const std::string got = picture_output(pair_picture, {{0.998123456789},
                                                          {-12.5},
                                                          {0.0012},
                                                          {179.9999999999},
                                                          {1.5},
                                                          {-0.25},
                                                          {0.5},
                                                          {45.0, last_item}});
    EXPECT_EQ(got,
              "  0.998123457  -12.500000000  0.001200000  180.000000000  1.500000000"
              "   -0.250000000  0.500000000   45.000000000\r\n");
}

TEST(PictureLines, DataLineOfEightItems) {
    const double nan = from_bits(0xFFF8000000000000u);
    const std::string got = picture_output(
        pair_picture,
        {{-32.15}, {45.0}, {-inf}, {0.0}, {nan}, {-180.0}, {10.5}, {-1234.5, last_item}},
        PictureMarks::data_line);
    EXPECT_EQ(got,
              " -32.150000000   45.000000000         -inf    0.000000000          nan"
              " -180.000000000 10.500000000 -1234.500000000\r\n");
}

TEST(PictureLines, DataLineMarksLastUntilEndPicture) {
    const std::string got = written_bytes([](OutputSlot& slot) {
        PictureState state;
        state.start_picture(ri_picture, PictureMarks::data_line);
        state.write_picture_number(slot, -inf, last_item);
        state.write_picture_number(slot, inf, 0);  // released picture: free form
        state.end_picture(slot);
        state.write_picture_number(slot, inf, 0);  // no picture started since
        state.start_picture(ri_picture);
        state.write_picture_number(slot, -12.5, last_item);
        state.end_picture(slot);
    });
    EXPECT_EQ(got, "         -inf\r\ninf1.#INF %-12.500000000\r\n");
}

TEST(PictureLines, EachLineStartsThePictureAfresh) {
    // Two data lines through one state, as the output writer produces them.
    const std::string got = written_bytes([](OutputSlot& slot) {
        PictureState state;
        for (const char* frequency : {"1.0E9", ""}) {
            slot.write(frequency);
            state.start_picture(pair_picture);
            state.write_picture_number(slot, -5.25, 0);
            state.write_picture_number(slot, 45.0, 0);
            state.write_picture_number(slot, -0.5, 0);
            state.write_picture_number(slot, -90.25, last_item);
            state.end_picture(slot);
        }
    });
    const std::string line = " -5.250000000   45.000000000 -0.500000000  -90.250000000\r\n";
    EXPECT_EQ(got, "1.0E9" + line + line);
}

TEST(PictureLines, FlagBitZeroAloneEndsTheLine) {
    EXPECT_EQ(picture_output(ri_picture, {{1.0, item_end_line}, {2.0}}),
              "  1.000000000\r\n  2.000000000");
}

struct MantissaCase {
    double value;
    std::uint64_t m;
    int d;
};

class DecimalMantissaTable : public ::testing::TestWithParam<MantissaCase> {};

TEST_P(DecimalMantissaTable, GivesSixteenDigitMantissa) {
    const DecimalMantissa got = decimal_mantissa(GetParam().value);
    EXPECT_EQ(got.m, GetParam().m);
    EXPECT_EQ(got.d, GetParam().d);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DecimalMantissaTable,
    ::testing::Values(
        MantissaCase{1.0, 1000000000000000u, -15}, MantissaCase{0.1, 1000000000000000u, -16},
        MantissaCase{180.0, 1800000000000000u, -13},
        MantissaCase{12.3456789012, 1234567890120000u, -14},
        MantissaCase{std::numeric_limits<double>::denorm_min(), 4940656458412465u, -339},
        MantissaCase{1.2345678905, 1234567890500000u, -15},
        // Halving ties go to even (mantissas from an independent model).
        MantissaCase{0x1.491542bf05b38p-2, 3213701657381764u, -16},
        MantissaCase{0x1.415f49209e79dp+9, 6427444191716964u, -13},
        // Division by 5 takes the nearest integer, not the floor.
        MantissaCase{0x1.eeb03a25f8e99p+401, 9979758029116805u, 105},
        MantissaCase{0x1.da4c489edbf4fp+563, 5593696144981020u, 154},
        // Only the magnitude counts.
        MantissaCase{-180.0, 1800000000000000u, -13},
        // Rounding to 16 digits can leave exactly 10^16.
        MantissaCase{1e-6, 10000000000000000u, -22}, MantissaCase{1e24, 10000000000000000u, 8},
        MantissaCase{std::numeric_limits<double>::max(), 1797693134862316u, 293}));

struct DivideCase {
    std::uint64_t m;
    int k;
    std::uint64_t result;
};

class DividePow10Table : public ::testing::TestWithParam<DivideCase> {};

TEST_P(DividePow10Table, RoundsHalfUp) {
    EXPECT_EQ(divide_pow10_half_up(GetParam().m, GetParam().k), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, DividePow10Table,
    ::testing::Values(
        DivideCase{12345, 0, 12345}, DivideCase{12345, -3, 12345}, DivideCase{14, 1, 1},
        DivideCase{15, 1, 2}, DivideCase{25, 1, 3}, DivideCase{0, 5, 0}, DivideCase{49999, 5, 0},
        DivideCase{50000, 5, 1}, DivideCase{1234567890500000u, 6, 1234567891u},
        DivideCase{1234567890499999u, 6, 1234567890u}, DivideCase{4999999999999999999u, 19, 0},
        DivideCase{5000000000000000000u, 19, 1}, DivideCase{10000000000000000000u, 19, 1},
        DivideCase{std::numeric_limits<std::uint64_t>::max(), 19, 2},
        DivideCase{std::numeric_limits<std::uint64_t>::max(), 1, 1844674407370955162u},
        // Beyond 10^19 every 64-bit value is below half the divisor.
        DivideCase{std::numeric_limits<std::uint64_t>::max(), 20, 0}));

struct LiteralCase {
    std::string picture;
    std::string text;
};

// start_picture then end_picture copies the literal text up to the first field start.
class LiteralTextCut : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(LiteralTextCut, StopsAtFieldStart) {
    const std::string got = written_bytes([](OutputSlot& slot) {
        PictureState state;
        state.start_picture(GetParam().picture);
        state.end_picture(slot);
    });
    EXPECT_EQ(got, GetParam().text) << "picture '" << GetParam().picture << "'";
}

INSTANTIATE_TEST_SUITE_P(
    FieldStarts, LiteralTextCut,
    ::testing::Values(LiteralCase{"", ""}, LiteralCase{"plain text", "plain text"},
                      LiteralCase{"a#b", "a"}, LiteralCase{"a.b", "a.b"}, LiteralCase{"a.#", "a"},
                      LiteralCase{"a.", "a."}, LiteralCase{"a,#", "a,"}, LiteralCase{"a-#", "a-"},
                      LiteralCase{"a^^^^#", "a^^^^"}, LiteralCase{"a+b", "a+b"},
                      LiteralCase{"a+#", "a"}, LiteralCase{"a+$$", "a"}, LiteralCase{"a+**", "a"},
                      LiteralCase{"a+.#", "a"}, LiteralCase{"a+.b", "a+.b"},
                      LiteralCase{"a+$b", "a+$b"}, LiteralCase{"a+*b", "a+*b"},
                      LiteralCase{"a+", "a+"}, LiteralCase{"a*b", "a*b"}, LiteralCase{"a**", "a"},
                      LiteralCase{"a*", "a*"}, LiteralCase{"a$b", "a$b"}, LiteralCase{"a$$", "a"},
                      LiteralCase{"a&b", "a"}, LiteralCase{"a!b", "a"}, LiteralCase{"a\\b", "a"},
                      // The escape copies the next character even when it would start a field.
                      LiteralCase{"_#_&_!_\\x", "#&!\\x"}, LiteralCase{"_**", "**"},
                      LiteralCase{"__#", "_"}, LiteralCase{"ab_", "ab_"}, LiteralCase{"_", "_"},
                      LiteralCase{"_.#", "."}));

TEST(PictureLiterals, TextAroundFieldIsWrittenWithTheItem) {
    EXPECT_EQ(picture_output("[_#]##.##_", {{1.5}}), "[#] 1.50_");
    EXPECT_EQ(picture_output("a ## b ## c", {{1.0}, {2.0}}), "a  1 b  2 c");
    // The picture restarts after the last field and repeats its leading literal text.
    EXPECT_EQ(picture_output("<#>", {{1.0}, {2.0}, {3.0}}), "<1><2><3>");
}

TEST(PictureLiterals, EndPictureAfterLastItemWritesNothing) {
    EXPECT_EQ(picture_output("x# y# z", {{1.0}, {2.0, last_item}}), "x1 y2 z\r\n");
    EXPECT_EQ(picture_output("x# y#", {{1.0, last_item}}), "x1 y\r\n");
}

// Rules for the field characters the system never uses are our own; these pin them down.
struct OwnRuleCase {
    std::string picture;
    double value;
    std::string text;
};

class OwnFieldRules : public ::testing::TestWithParam<OwnRuleCase> {};

TEST_P(OwnFieldRules, RendersField) {
    EXPECT_EQ(picture_output(GetParam().picture, {{GetParam().value}}), GetParam().text)
        << "picture '" << GetParam().picture << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Outline, OwnFieldRules,
    ::testing::Values(
        OwnRuleCase{"+##.##", 1.5, "+1.50"}, OwnRuleCase{"+##.##", -1.5, "-1.50"},
        OwnRuleCase{"##.##-", 1.5, " 1.50 "}, OwnRuleCase{"##.##-", -1.5, " 1.50-"},
        OwnRuleCase{"##.##+", 1.5, " 1.50+"}, OwnRuleCase{"##.##+", -1.5, " 1.50-"},
        OwnRuleCase{"**##.##", 1.5, "***1.50"}, OwnRuleCase{"**##.##", -1.5, "**-1.50"},
        OwnRuleCase{"$$##.##", 1.5, "  $1.50"}, OwnRuleCase{"**$##.##", 1.5, "***$1.50"},
        OwnRuleCase{"#,###.##", 1234.5, "1,234.50"},
        OwnRuleCase{"##,###,###", 1234567.0, " 1,234,567"},
        OwnRuleCase{"##.##^^^^", 12345.0, " 1.23E+04"},
        OwnRuleCase{"##.##^^^^", -0.000123, "-1.23E-04"},
        OwnRuleCase{"##.##^^^^", 0.0, " 0.00E+00"}, OwnRuleCase{"##.##^^^", 1e20, "% 1.00E+20"},
        OwnRuleCase{"##.##^^", 1.0, " 1.00^^"},  // two carets stay literal text
        OwnRuleCase{"###", 12.5, " 13"}, OwnRuleCase{"##.", 7.0, " 7."},
        OwnRuleCase{".##", 0.5, ".50"}, OwnRuleCase{".##", -0.5, "%-.50"},
        OwnRuleCase{"##.##", inf, " 1.#INF"}, OwnRuleCase{"&", 0.5, "0.5"},
        OwnRuleCase{"&", -1e20, "-1E+20"}, OwnRuleCase{"!", 2.0, "2"},
        OwnRuleCase{"\\  \\", 2.0, "2"}, OwnRuleCase{"\\", 0.05, "0.05"}));

// The data-line marks in the other fields: no '%', and the words right-aligned in the width
// of a number that fits (whole when wider), blanks on the left whatever the fill.
class OwnFieldDataLineRules : public ::testing::TestWithParam<OwnRuleCase> {};

TEST_P(OwnFieldDataLineRules, RendersField) {
    EXPECT_EQ(picture_output(GetParam().picture, {{GetParam().value}}, PictureMarks::data_line),
              GetParam().text)
        << "picture '" << GetParam().picture << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Outline, OwnFieldDataLineRules,
    ::testing::Values(OwnRuleCase{"##.##^^^", 1e20, " 1.00E+20"},
                      OwnRuleCase{"##.##^^^^", 1e100, " 1.00E+100"},
                      OwnRuleCase{".##", -0.5, "-.50"}, OwnRuleCase{"##.##", inf, "  inf"},
                      OwnRuleCase{"##.##-", -inf, "  -inf"}, OwnRuleCase{"**##.##", inf, "    inf"},
                      OwnRuleCase{"$$##.##", -inf, "   -inf"},
                      OwnRuleCase{"##.##^^^^", from_bits(0xFFF8000000000000u), "      nan"},
                      OwnRuleCase{"#", -inf, "-inf"}, OwnRuleCase{"&", -inf, "-inf"},
                      OwnRuleCase{"&", from_bits(0x7FF8000000000000u), "nan"}));

TEST(PictureWithoutField, WritesLiteralThenFreeFormNumber) {
    EXPECT_EQ(picture_output("abc", {{0.5}, {-0.25}}), "abc0.5abc-0.25");
    EXPECT_EQ(picture_output("", {{1.25}, {-0.0}, {123.0, item_end_line}}), "1.25-0123\r\n");
    EXPECT_EQ(picture_output("", {{1e-7}, {inf}, {from_bits(0xFFF8000000000000u)}}),
              "1E-7"
              "1.#INF"
              "-1.#IND");
}

TEST(PictureWithoutField, ItemWithoutPictureDoesNotCrash) {
    const std::string got = written_bytes([](OutputSlot& slot) {
        PictureState state;
        state.write_picture_number(slot, 2.5, 0);
        state.start_picture(ri_picture);
        state.write_picture_number(slot, 1.0, last_item);
        state.write_picture_number(slot, 3.0, 0);  // after the release
        state.end_picture(slot);
    });
    EXPECT_EQ(got, "2.5  1.000000000\r\n3");
}

TEST(PictureLimits, FieldWiderThanBufferKeepsItsRightEnd) {
    const std::string wide(3000, '#');
    const std::string got = picture_output(wide, {{1.0}});
    EXPECT_EQ(got, std::string(2047, ' ') + "1");

    const std::string long_fraction = "." + std::string(3000, '#');
    EXPECT_EQ(picture_output(long_fraction, {{0.5}}), std::string(2048, '0'));
}

TEST(PictureLimits, LongLiteralIsWrittenWhole) {
    const std::string literal(5000, 'x');
    EXPECT_EQ(picture_output(literal + "#", {{1.0}}), literal + "1");
}

// Arbitrary pictures and bit patterns: no crash, no endless loop, output bounded.
TEST(PictureRobustness, RandomPicturesStayBounded) {
    std::mt19937_64 random(20240611u);
    const std::string alphabet = "#.,+-*$^&!\\_ a#.#";
    const std::vector<double> specials = {0.0,
                                          -0.0,
                                          inf,
                                          -inf,
                                          from_bits(0xFFF8000000000000u),
                                          std::numeric_limits<double>::max(),
                                          std::numeric_limits<double>::denorm_min(),
                                          1e-300,
                                          -1e300,
                                          0.5,
                                          -99.5};
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = round % 100 == 0 ? 2500 + random() % 2000 : random() % 40;
        std::string picture(length, ' ');
        for (char& c : picture) c = alphabet[random() % alphabet.size()];
        std::vector<Item> items;
        const std::size_t count = 1 + random() % 4;
        for (std::size_t i = 0; i < count; ++i) {
            const double value =
                random() % 3 == 0 ? specials[random() % specials.size()] : from_bits(random());
            const std::uint32_t flags = static_cast<std::uint32_t>(random()) & last_item;
            items.push_back({value, flags});
        }
        const std::string got = picture_output(picture, items);
        // Per item: literal text on both sides, one composed field, a line end; then end_picture.
        const std::size_t bound = count * (2 * length + 2048 + 2) + length;
        ASSERT_LE(got.size(), bound) << "picture '" << picture << "'";
    }
}

}  // namespace
}  // namespace tavrin
