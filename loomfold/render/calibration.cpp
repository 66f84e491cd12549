#include "calibration.h"

#include "calib_tokens.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace loomfold {
namespace {

using vistamo::lens::splitCalibText;

// A decimal token; no number, or a value out of range, reads as 0.
float number(const std::string& token) {
    char* end = nullptr;
    const double v = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || !std::isfinite(v) || std::fabs(v) > 1e9)
        return 0;
    return float(v);
}

int integer(const std::string& token) { return int(number(token)); }

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

bool parseTwoLensCalibration(const std::string& text, LensRecord& record) {
    const bool type6 = startsWith(text, "6_");
    if (!(type6 || startsWith(text, "2_") || startsWith(text, "3_") || startsWith(text, "4_")))
        return false;
    const std::vector<std::string> t = splitCalibText(text);
    if (t.size() < (type6 ? 27u : 19u))
        return false;
    LensRecord r = record;
    r.deviceType = integer(t[0]);
    for (int k = 0; k < 2; ++k) {
        EngineLens& lens = r.lenses[k];
        const size_t base = 1 + 6 * size_t(k);
        lens = EngineLens();
        lens.radius = integer(t[base]);
        lens.centerX = integer(t[base + 1]);
        lens.centerY = integer(t[base + 2]);
        lens.yaw = number(t[base + 3]);
        lens.pitch = number(t[base + 4]);
        lens.roll = number(t[base + 5]);
    }
    r.calibWidth = integer(t[13]);
    r.calibHeight = integer(t[14]);
    if (type6) {
        for (EngineLens& lens : r.lenses) {
            lens.offsetX = number(t[15]);
            lens.offsetY = number(t[16]);
            lens.aux1 = number(t[17]);
            lens.aux2 = number(t[18]);
        }
        for (int k = 0; k < 2; ++k) {
            const size_t base = 19 + 3 * size_t(k);
            r.lenses[k].coefA = number(t[base]);
            r.lenses[k].coefB = number(t[base + 1]);
            r.lenses[k].coefC = number(t[base + 2]);
        }
        r.fov = number(t[25]);
        r.fov2 = number(t[26]);
    } else {
        r.fov = number(t[17]);
        r.fov2 = number(t[18]);
    }
    // The engine's lens frame faces the other way: half a turn in yaw.
    for (EngineLens& lens : r.lenses)
        lens.yaw = lens.yaw < 0 ? lens.yaw + 180 : lens.yaw - 180;
    record = r;
    return true;
}

bool parseSingleLensCalibration(const std::string& text, LensRecord& record) {
    if (!startsWith(text, "5_"))
        return false;
    const std::vector<std::string> t = splitCalibText(text);
    if (t.size() < 10)
        return false;
    record.deviceType = integer(t[0]);
    record.lenses[0].radius = integer(t[1]);
    record.lenses[0].centerX = integer(t[2]);
    record.lenses[0].centerY = integer(t[3]);
    record.calibWidth = integer(t[4]);
    record.calibHeight = integer(t[5]);
    record.fov = number(t[6]);
    record.lenses[0].coefA = number(t[7]);
    record.lenses[0].coefB = number(t[8]);
    record.lenses[0].coefC = number(t[9]);
    return true;
}

bool parseCalibrationForMode(int mode, const std::string& text, LensRecord& record) {
    if (mode == 0)
        return parseTwoLensCalibration(text, record);
    if (mode == 2)
        return parseSingleLensCalibration(text, record);
    return false;
}

}  // namespace loomfold
