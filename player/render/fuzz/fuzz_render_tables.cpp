// Fuzz target: calibration texts as the player reads them (Lensmeta's
// decoding), turned into the Sphere and Twins texture-coordinate tables.
#include <cstdint>
#include <string>

#include "calib_text.h"
#include "sphere_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* sphere = new vistamo::render::GLSphereFishEye;
    static auto* twins = new vistamo::render::GLSphere2FishEye;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ImageData record;
    lensmeta::fillImageData(record, text);
    record.frameWidth = 1920;
    record.frameHeight = 960;
    sphere->setImageData(record);
    twins->setImageData(record);
    return 0;
}
