// Fuzz target: the calibration check against Lensmeta's own decoding. A text
// the check accepts must decode into a record a stitch can use: positive
// sizes, radii and field of view, finite numbers everywhere.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "calib_text.h"
#include "calibration_check.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!vistamo::lens::calibrationProblem(text).empty())
        return 0;
    if (text.size() < 2 || text[1] != '_' || std::string("23456").find(text[0]) == std::string::npos)
        return 0;  // no layout: the check leaves such texts to their callers
    ImageData image;
    lensmeta::fillImageData(image, text);
    if (text[0] == '5' && image.lenses.size() == 1 && image.lenses[0].radius <= 10)
        return 0;  // detection asked for: the picture supplies the numbers
    require(image.calibWidth > 0 && image.calibHeight > 0);
    require(std::isfinite(image.fov) && image.fov > 0 && image.fov <= 360);
    for (const LenParam& lens : image.lenses) {
        require(std::isfinite(lens.yaw) && std::isfinite(lens.pitch) && std::isfinite(lens.roll));
        require(lens.radius > 0);
    }
    require(image.lenses.size() == (text[0] == '5' ? 1u : 2u));
    return 0;
}
