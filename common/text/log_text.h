// Outside data (calibration texts, metadata, paths from files) quoted in a
// log line is cut to a length a terminal and a log file can take: a 60 KB
// text must not become a 60 KB line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vistamo::text {

constexpr size_t kLogQuoteLimit = 200;

// text itself when it has at most limit bytes; else its first limit bytes
// (never ending inside a UTF-8 sequence) and "… (N bytes)". Control
// characters become '?', so that a quote cannot start a line of its own.
std::string forLog(std::string_view text, size_t limit = kLogQuoteLimit);

}  // namespace vistamo::text
