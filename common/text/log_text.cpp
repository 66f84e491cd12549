#include "log_text.h"

namespace vistamo::text {

std::string forLog(std::string_view text, size_t limit) {
    size_t keep = text.size();
    if (keep > limit) {
        keep = limit;
        // Back off to the start of a UTF-8 sequence (continuation bytes are 10xxxxxx).
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
            --keep;
    }
    std::string out(text.substr(0, keep));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (keep < text.size())
        out += "\u2026 (" + std::to_string(text.size()) + " bytes)";
    return out;
}

}  // namespace vistamo::text
