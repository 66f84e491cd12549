#include "calibration_check.h"

#include "calib_tokens.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace vistamo::lens {
namespace {

// A finite decimal number filling the whole token (blanks around allowed):
// [sign] digits [. digits] [e [sign] digits]. No hex, "inf" or "nan", which
// strtod would take and the readers of the text would not.
bool readNumber(const std::string& token, double& value) {
    const char* begin = token.c_str();
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    const char* p = begin;
    if (*p == '+' || *p == '-')
        ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (*p == '.')
        for (++p; *p >= '0' && *p <= '9';)
            ++p;
    if (p == digits || (p == digits + 1 && *digits == '.'))
        return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-')
            ++p;
        if (!(*p >= '0' && *p <= '9'))
            return false;
        while (*p >= '0' && *p <= '9')
            ++p;
    }
    const char* end = p;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    if (*p != '\0')
        return false;
    value = std::strtod(std::string(begin, end).c_str(), nullptr);
    return std::isfinite(value) && std::fabs(value) < 1e9;
}

// Radii and sizes are whole pixels: their readers take the leading integer
// of the token ("0.7" is 0, "5e3" is 5).
double leadingInteger(const std::string& token) {
    const char* p = token.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    const double sign = *p == '-' ? -1 : 1;
    if (*p == '+' || *p == '-')
        ++p;
    double value = 0;
    for (; *p >= '0' && *p <= '9' && value < 1e12; ++p)
        value = value * 10 + (*p - '0');
    return sign * value;
}

std::string positive(const std::vector<std::string>& t, const std::vector<double>& v, size_t k, const char* what,
                     bool whole = true) {
    // Fields of view are read as floats: 7e-70 is 0 there.
    const double value = whole ? leadingInteger(t[k]) : double(float(v[k]));
    if (value > 0)
        return {};
    return std::string(what) + " is " + (value == 0 ? "0" : "negative");
}

}  // namespace

std::string calibrationProblem(const std::string& text) {
    if (text.size() < 2 || text[1] != '_')
        return {};
    const char type = text[0];
    size_t needed;
    switch (type) {
    case '5': needed = 10; break;
    case '2': case '3': needed = 19; break;
    case '4': needed = 18; break;
    case '6': needed = 27; break;
    default: return {};
    }
    const std::vector<std::string> t = splitCalibText(text);
    if (t.size() < needed)
        return "the calibration cannot be used: it has " + std::to_string(t.size()) + " numbers, its layout needs " +
               std::to_string(needed);
    std::vector<double> v(needed);
    for (size_t k = 0; k < needed; ++k)
        if (!readNumber(t[k], v[k]))
            return "the calibration cannot be used: number " + std::to_string(k + 1) + " (\"" + t[k].substr(0, 24) +
                   "\") is not a finite number";

    std::string problem;
    auto check = [&problem](const std::string& p) {
        if (problem.empty())
            problem = p;
    };
    if (type == '5') {
        // A radius of 10 or less asks for the circle to be found on the
        // picture, which then supplies every other number.
        // Both ways of reading the radius must ask for it ("83E-70" is 83
        // to an integer reader, nearly 0 to a decimal one).
        if (v[1] <= 10 && leadingInteger(t[1]) <= 10)
            return {};
        check(positive(t, v, 4, "the calibration width"));
        check(positive(t, v, 5, "the calibration height"));
        check(positive(t, v, 6, "the field of view", false));
        if (v[6] > 360)
            check("the field of view is over 360 degrees");
    } else {
        check(positive(t, v, 1, "the first lens radius"));
        check(positive(t, v, 7, "the second lens radius"));
        check(positive(t, v, 13, "the calibration width"));
        check(positive(t, v, 14, "the calibration height"));
        // Where the layout keeps the two fields of view.
        const size_t fov = type == '6' ? 25 : type == '4' ? 15 : 17;
        check(positive(t, v, fov, "the field of view", false));
        check(positive(t, v, fov + 1, "the second field of view", false));
        if (v[fov] > 360 || v[fov + 1] > 360)
            check("the field of view is over 360 degrees");
    }
    return problem.empty() ? problem : "the calibration cannot be used: " + problem;
}

}  // namespace vistamo::lens
