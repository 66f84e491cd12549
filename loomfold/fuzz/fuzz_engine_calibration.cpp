// Fuzz target: the engine's calibration readings, and the texture
// coordinates computed from whatever they accept.
#include <cstdint>
#include <string>

#include "calibration.h"
#include "stitch_geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    loomfold::LensRecord twins;
    if (loomfold::parseTwoLensCalibration(text, twins)) {
        twins.frameWidth = 960;
        twins.frameHeight = 480;
        loomfold::twinsTexCoords(twins, 0, 960);
        loomfold::twinsTexCoords(twins, 1, 1024);
        loomfold::seamAngle(twins.lenses[0].yaw);
    }
    loomfold::LensRecord sphere;
    if (loomfold::parseSingleLensCalibration(text, sphere)) {
        sphere.frameWidth = 8192;
        sphere.frameHeight = 4096;
        loomfold::sphereTexCoords(sphere);
    }
    return 0;
}
