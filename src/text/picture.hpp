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

// The marks a rendered number may carry. General pictures flag a number wider than its field
// with '%' and write infinities and not-a-numbers as 1.#INF00000 and the like. Output data
// lines must stay readable by any Touchstone reader: they leave every '%' out and write inf,
// -inf or nan right-aligned in the field.
enum class PictureMarks { general, data_line };

// Holds the process's picture state: the copy of the picture and the cursor in it.
class PictureState {
public:
    // The marks hold until end_picture.
    void start_picture(std::string_view picture, PictureMarks marks = PictureMarks::general);
    void write_picture_number(OutputSlot& channel, double value, std::uint32_t item_flags);
    void end_picture(OutputSlot& channel);

private:
    // One item as every data line meets it again: from a cursor position of the current
    // picture text, literal text without '_', a field made of '#' and one '.', and the literal
    // text after it, again without '_'. Such an item is written in one piece.
    struct ItemPlan {
        std::size_t cursor = 0;
        std::size_t before = 0;  // literal characters before the field
        std::size_t field = 0;   // picture characters of the field
        std::size_t after = 0;   // literal characters after it
        int integers = 0;        // positions before the point
        int decimals = 0;        // positions after it
    };

    void copy_literal_text(OutputSlot& channel);
    const ItemPlan* plan_at(std::size_t cursor);
    const ItemPlan* make_plan(std::size_t cursor);
    bool write_planned_item(OutputSlot& channel, double value, std::uint32_t item_flags);

    // The formatter's own copy. Releasing it only clears has_picture_: the bytes and their
    // capacity stay, so that a line starting the same picture again copies nothing.
    std::string picture_;
    bool has_picture_ = false;
    PictureMarks marks_ = PictureMarks::general;
    std::size_t cursor_ = 0;   // index of the next unread picture character
    std::size_t left_ = 0;     // characters left from the cursor on
    ItemPlan plans_[4];
    std::size_t plan_count_ = 0;     // plans made for the text in picture_
    std::size_t unplanned_ = 0;      // a cursor known to have no plan, plus one (0: none)
};

}  // namespace tavrin
