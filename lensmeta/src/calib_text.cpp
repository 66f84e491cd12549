#include "calib_text.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

namespace lensmeta {
namespace {

enum class Layout { Unknown, SingleLens, TwoLens };

Layout layoutOf(const std::string& text) {
    if (text.size() < 2 || text[1] != '_')
        return Layout::Unknown;
    switch (text[0]) {
    case '5': return Layout::SingleLens;
    case '2': case '3': case '4': case '6': return Layout::TwoLens;
    default: return Layout::Unknown;
    }
}

// Coefficients that device type 2 gives both lenses.
constexpr float kType2Coefs[5] = {1.014f, -7.455f, 8.474f, 0.0183f, 0.0007f};

// Device types 2 and 3 fix the lens coefficients whatever the text holds;
// LenParam and PhotoParam share the field names (PhotoParam widens to double).
template <typename Lens>
void applyFixedCoefficients(Lens& lens, int deviceType) {
    if (deviceType == 2) {
        lens.coefA = kType2Coefs[0];
        lens.coefB = kType2Coefs[1];
        lens.coefC = kType2Coefs[2];
        lens.coefD = kType2Coefs[3];
        lens.coefE = kType2Coefs[4];
    } else if (deviceType == 3) {
        lens.coefA = lens.coefB = lens.coefC = lens.coefD = lens.coefE = 0;
    }
}

constexpr size_t kSingleLensTokens = 10;
constexpr size_t kTwoLensMinTokens = 18;

// Tokens the two-lens tail reads, per device type; fov2 is read by the
// ImageData decode only, which makes the general layout need one more.
size_t twoLensTokensNeeded(int deviceType, bool readsFov2) {
    switch (deviceType) {
    case 4: return 18;
    case 6: return readsFov2 ? 27 : 26;
    default: return readsFov2 ? 19 : 18;
    }
}

size_t skipBlanks(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

int32_t saturatedInt32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

}  // namespace

int readIntToken(const std::string& token) {
    size_t i = skipBlanks(token);
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    int64_t value = 0;
    bool overflow = false;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
        if (!overflow) {
            value = value * 10 + (token[i] - '0');
            overflow = value > int64_t(1) << 32;
        }
    }
    if (overflow)
        return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    return saturatedInt32(negative ? -value : value);
}

float readFloatToken(const std::string& token) {
    size_t i = skipBlanks(token);
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    // Like a stream, accept only a decimal number here: no "inf" or "nan".
    if (i >= token.size() || !(std::isdigit(static_cast<unsigned char>(token[i])) || token[i] == '.'))
        return 0;
    float value = 0;
    const char* first = token.data() + i;
    const char* last = token.data() + token.size();
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Decide overflow against underflow by the decimal exponent's sign.
        double probe = 0;
        std::from_chars(first, last, probe, std::chars_format::general);
        value = probe > 1.0 ? std::numeric_limits<float>::max() : 0.0f;
    } else if (result.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

void fillImageData(ImageData& data, const std::string& text) {
    data.calibText = text;
    Layout layout = layoutOf(text);
    if (layout == Layout::Unknown)
        return;
    const std::vector<std::string> t = splitCalibText(text);
    auto i = [&t](size_t k) { return readIntToken(t[k]); };
    auto f = [&t](size_t k) { return readFloatToken(t[k]); };

    if (layout == Layout::SingleLens) {
        if (t.size() < kSingleLensTokens)
            return;
        LenParam lens;
        data.deviceType = i(0);
        lens.radius = i(1);
        lens.centerX = i(2);
        lens.centerY = i(3);
        data.calibWidth = i(4);
        data.calibHeight = i(5);
        data.fov = f(6);
        lens.coefA = f(7);
        lens.coefB = f(8);
        lens.coefC = f(9);
        data.lenses.push_back(lens);
        data.calibrated = true;
        return;
    }

    if (t.size() < kTwoLensMinTokens)
        return;
    const int deviceType = i(0);
    if (t.size() < twoLensTokensNeeded(deviceType, true))
        return;
    LenParam lens[2];
    data.deviceType = deviceType;
    for (int k = 0; k < 2; ++k) {
        const size_t base = 1 + 6 * size_t(k);
        lens[k].radius = i(base);
        lens[k].centerX = i(base + 1);
        lens[k].centerY = i(base + 2);
        lens[k].yaw = f(base + 3);
        lens[k].pitch = f(base + 4);
        lens[k].roll = f(base + 5);
    }
    data.calibWidth = i(13);
    data.calibHeight = i(14);
    if (deviceType == 4) {
        data.fov = f(15);
        data.fov2 = f(16);
        lens[0].coefC = lens[1].coefC = f(17);
    } else if (deviceType == 6) {
        data.offsetX = f(15);
        data.offsetY = f(16);
        data.auxFloat1 = f(17);
        data.auxFloat2 = f(18);
        for (int k = 0; k < 2; ++k) {
            const size_t base = 19 + 3 * size_t(k);
            lens[k].coefA = f(base);
            lens[k].coefB = f(base + 1);
            lens[k].coefC = f(base + 2);
        }
        data.fov = f(25);
        data.fov2 = f(26);
    } else {
        data.panoWidth = i(15);
        data.panoHeight = i(16);
        data.fov = f(17);
        data.fov2 = f(18);
    }
    for (LenParam& l : lens)
        applyFixedCoefficients(l, deviceType);
    data.lenses.push_back(lens[0]);
    data.lenses.push_back(lens[1]);
}

namespace {

// The crop square of one lens circle, computed wide and saturated so that
// extreme tokens cannot overflow.
void setCrop(PhotoParam& photo, int radius, int centerX, int centerY) {
    photo.cropLeft = saturatedInt32(int64_t(centerX) - radius);
    photo.cropTop = saturatedInt32(int64_t(centerY) - radius);
    photo.cropWidth = photo.cropHeight = saturatedInt32(2 * int64_t(radius));
}

}  // namespace

void fillPanoData(PanoData& data, const std::string& text) {
    Layout layout = layoutOf(text);
    if (layout == Layout::Unknown)
        return;
    const std::vector<std::string> t = splitCalibText(text);
    auto i = [&t](size_t k) { return readIntToken(t[k]); };
    auto f = [&t](size_t k) { return readFloatToken(t[k]); };

    if (layout == Layout::SingleLens) {
        if (t.size() < kSingleLensTokens)
            return;
        PhotoParam photo;
        photo.calibText = text;
        photo.deviceType = i(0);
        setCrop(photo, i(1), i(2), i(3));
        photo.width = float(i(4));
        photo.height = float(i(5));
        photo.fov = f(6);
        photo.coefA = f(7);
        photo.coefB = f(8);
        photo.coefC = f(9);
        data.photos.push_back(photo);
        return;
    }

    if (t.size() < kTwoLensMinTokens)
        return;
    const int deviceType = i(0);
    if (t.size() < twoLensTokensNeeded(deviceType, false))
        return;
    PhotoParam photo[2];
    for (int k = 0; k < 2; ++k) {
        const size_t base = 1 + 6 * size_t(k);
        photo[k].calibText = text;
        photo[k].deviceType = deviceType;
        setCrop(photo[k], i(base), i(base + 1), i(base + 2));
        photo[k].yaw = f(base + 3);
        photo[k].pitch = f(base + 4);
        photo[k].roll = f(base + 5);
        photo[k].width = float(i(13));
        photo[k].height = float(i(14));
    }
    if (deviceType == 4) {
        photo[0].fov = photo[1].fov = f(15);
        photo[0].coefC = photo[1].coefC = f(17);
    } else if (deviceType == 6) {
        for (int k = 0; k < 2; ++k) {
            const size_t base = 19 + 3 * size_t(k);
            photo[k].offsetX = f(15);
            photo[k].offsetY = f(16);
            photo[k].auxFloat1 = f(17);
            photo[k].auxFloat2 = f(18);
            photo[k].coefA = f(base);
            photo[k].coefB = f(base + 1);
            photo[k].coefC = f(base + 2);
            photo[k].fov = f(25);  // both photos take the first lens' field of view
        }
    } else {
        data.panoWidth = i(15);
        data.panoHeight = i(16);
        photo[0].fov = photo[1].fov = f(17);
    }
    for (PhotoParam& p : photo)
        applyFixedCoefficients(p, deviceType);
    data.photos.push_back(photo[0]);
    data.photos.push_back(photo[1]);
}

}  // namespace lensmeta
