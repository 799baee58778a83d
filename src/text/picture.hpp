// The numeric picture formatter through which every output number is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/file_slots.hpp"

namespace tavrin {

// Item flags passed with each number.
inline constexpr std::uint32_t item_end_line = 0x00000001u;
inline constexpr std::uint32_t item_last = 0x80000000u;

// |x| ~= m * 10^d, m at most 16 digits (or exactly 10^16 after rounding).
struct DecimalMantissa {
    std::uint64_t m = 0;
    int d = 0;
};

DecimalMantissa decimal_mantissa(double x);
// floor(m / 10^k) rounded half up; m itself for k <= 0. k is at most 19.
std::uint64_t divide_pow10_half_up(std::uint64_t m, int k);

// Holds the process's picture state: the copy of the picture and the cursor in it.
class PictureState {
public:
    void start_picture(OutputSlot& channel, std::string_view picture);
    void write_picture_number(OutputSlot& channel, double value, std::uint32_t item_flags);
    void end_picture(OutputSlot& channel);

private:
    void copy_literal_text(OutputSlot& channel);

    std::string picture_;      // the formatter's own copy; capacity kept between lines
    bool has_picture_ = false;
    std::size_t cursor_ = 0;   // index of the next unread picture character
    std::size_t left_ = 0;     // characters left from the cursor on
};

}  // namespace tavrin
