#include "calib_tokens.h"

namespace vistamo::lens {

std::vector<std::string> splitCalibText(const std::string& text) {
    std::vector<std::string> tokens;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('_', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            tokens.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return tokens;
}

}  // namespace vistamo::lens
