#include "calibration_check.h"

#include "calib_tokens.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace vistamo::lens {
namespace {

// A finite decimal number filling the whole token (blanks around allowed).
bool readNumber(const std::string& token, double& value) {
    const char* begin = token.c_str();
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    if (!(*begin == '-' || *begin == '+' || *begin == '.' || (*begin >= '0' && *begin <= '9')))
        return false;  // strtod would also take "inf", "nan" and hex
    char* end = nullptr;
    value = std::strtod(begin, &end);
    if (end == begin)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
        ++end;
    return *end == '\0' && std::isfinite(value) && std::fabs(value) < 1e9;
}

// Radii and sizes are whole pixels: their readers truncate, so 0.7 is 0.
std::string positive(const std::vector<double>& v, size_t k, const char* what, bool whole = true) {
    const double value = whole ? std::trunc(v[k]) : v[k];
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
        if (v[1] <= 10)
            return {};
        check(positive(v, 4, "the calibration width"));
        check(positive(v, 5, "the calibration height"));
        check(positive(v, 6, "the field of view", false));
        if (v[6] > 360)
            check("the field of view is over 360 degrees");
    } else {
        check(positive(v, 1, "the first lens radius"));
        check(positive(v, 7, "the second lens radius"));
        check(positive(v, 13, "the calibration width"));
        check(positive(v, 14, "the calibration height"));
        // Where the layout keeps the two fields of view.
        const size_t fov = type == '6' ? 25 : type == '4' ? 15 : 17;
        check(positive(v, fov, "the field of view", false));
        check(positive(v, fov + 1, "the second field of view", false));
        if (v[fov] > 360 || v[fov + 1] > 360)
            check("the field of view is over 360 degrees");
    }
    return problem.empty() ? problem : "the calibration cannot be used: " + problem;
}

}  // namespace vistamo::lens
