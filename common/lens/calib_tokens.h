// The tokens of a camera's calibration text: the runs between underscores,
// empty runs skipped ("a__b_" is "a", "b"). Every reader of the text
// (Lensmeta, the engine, the calibration check, the sample generator)
// splits it here.
#pragma once

#include <string>
#include <vector>

namespace vistamo::lens {

std::vector<std::string> splitCalibText(const std::string& text);

}  // namespace vistamo::lens
