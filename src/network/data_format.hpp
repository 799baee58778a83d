#pragma once

namespace tavrin {

// How a data line writes each pair: real/imaginary, magnitude/angle, or dB/angle.
enum class DataFormat : int { ri = 0, ma = 1, db = 2 };

}  // namespace tavrin
