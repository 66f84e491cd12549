// Fuzz target: decoding calibration texts into both records.
#include <cstdint>
#include <string>

#include "calib_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ImageData image;
    lensmeta::fillImageData(image, text);
    PanoData pano;
    lensmeta::fillPanoData(pano, text);
    for (const std::string& token : lensmeta::splitCalibText(text)) {
        lensmeta::readIntToken(token);
        lensmeta::readFloatToken(token);
    }
    return 0;
}
