#include "mp4_log.h"

#include <cstdarg>
#include <cstdio>

namespace mp4 {
namespace {

// Each thread has its own sinks: two exports on two threads never write
// into each other's capture.
LogSink& traceSink() {
    static thread_local LogSink sink;
    return sink;
}

LogSink& errorSink() {
    static thread_local LogSink sink;
    return sink;
}

}  // namespace

void setTraceSink(LogSink sink) { traceSink() = std::move(sink); }
void setErrorSink(LogSink sink) { errorSink() = std::move(sink); }

void resetLogSinks() {
    traceSink() = nullptr;
    errorSink() = nullptr;
}

LogScope::LogScope(LogSink trace, LogSink error)
    : previousTrace_(std::move(traceSink())), previousError_(std::move(errorSink())) {
    traceSink() = std::move(trace);
    errorSink() = std::move(error);
}

LogScope::~LogScope() {
    traceSink() = std::move(previousTrace_);
    errorSink() = std::move(previousError_);
}

ErrorCapture::ErrorCapture() : previous_(errorSink()) {
    errorSink() = [this](const std::string& line) {
        if (first_.empty())
            first_ = line;
        if (previous_)
            previous_(line);
    };
}

ErrorCapture::~ErrorCapture() { errorSink() = previous_; }

void trace(const char* format, ...) {
    const LogSink& sink = traceSink();
    if (!sink)
        return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        sink(std::string(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1));
}

void error(const std::string& message) {
    if (const LogSink& sink = errorSink())
        sink(message);
}

}  // namespace mp4
