// What the picture of a conversion says of it in words: the input, the references converted
// from and to, the frequency unit; worded from what the run reports, so that the picture
// itself knows nothing of files or references.
#pragma once

#include <string>

#include "plot/conversion_picture.hpp"
#include "run/driver.hpp"

namespace tavrin {

// For a conversion that succeeded. References: "50 Ω", "50/75 Ω per port", "port impedances
// (traveling waves)"; the unit as the option line names it ("GHz" where it names none).
PictureCaption picture_caption(const RunReport& report, std::string input_name);

}  // namespace tavrin
