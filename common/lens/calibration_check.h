// Whether a camera's calibration text can drive a stitch at all. A text
// whose numbers are not numbers, or whose sizes, radii or field of view are
// zero or negative, maps every direction outside the picture: the stitch is
// black and looks like a success. Both the player's view and the engine ask
// this before they use a text.
#pragma once

#include <string>

namespace vistamo::lens {

// Why text cannot be used; empty when it can, and for texts of no layout we
// know (a Standard file's text, an empty one), which callers handle. Reads
// the layouts of the calibration text: "5_" single-lens (10 tokens), "2_",
// "3_", "4_" two-lens (19 tokens), "6_" two-lens (27 tokens). Every token
// the layout reads must be a finite decimal number. A single-lens radius of
// 10 or less asks for the circle to be found on the picture, which then
// supplies the other numbers: only its numbers' form is checked.
std::string calibrationProblem(const std::string& text);

}  // namespace vistamo::lens
