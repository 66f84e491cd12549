// The engine's own reading of the camera's calibration text. It differs
// from Lensmeta's: the two-lens reading turns each lens yaw by half a turn,
// gives device types 2 and 3 no fixed coefficients, and reads device type 4
// like the general layout.
#pragma once

#include <string>

namespace loomfold {

struct EngineLens {
    float coefA = 0, coefB = 0, coefC = 0;
    int radius = 0, centerX = 0, centerY = 0;  // calibration-picture pixels
    float yaw = 0, pitch = 0, roll = 0;         // degrees
    float offsetX = 0, offsetY = 0;
    float aux1 = 0, aux2 = 0;                   // carried, never read
};

struct LensRecord {
    int deviceType = 0;
    int frameWidth = 0, frameHeight = 0;   // set from the first frame
    int calibWidth = 0, calibHeight = 0;
    float fov = 0, fov2 = 0;
    EngineLens lenses[2];
};

// Two-lens reading: texts beginning "2_", "3_", "4_" or "6_" with all the
// tokens their layout reads; false (record unchanged) otherwise.
bool parseTwoLensCalibration(const std::string& text, LensRecord& record);
// Single-lens reading of a "5_" text with at least 10 tokens.
bool parseSingleLensCalibration(const std::string& text, LensRecord& record);
// Mode 0 (Twins) reads two lenses, mode 2 (Sphere) one; mode 1 nothing.
bool parseCalibrationForMode(int mode, const std::string& text, LensRecord& record);

}  // namespace loomfold
