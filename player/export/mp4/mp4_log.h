// Where the MP4 box model writes its diagnostics: trace lines and the tree
// print to one sink, load errors (one line each) to another. Both are empty
// until a host installs them: a library prints nothing of its own accord.
// The sinks belong to the calling thread: a host sets them for one call
// with a LogScope (or for the thread with the setters), and a call on
// another thread is not affected.
#pragma once

#include <functional>
#include <string>

namespace mp4 {

using LogSink = std::function<void(const std::string& text)>;

// An empty sink (the default) silences that stream. These set the calling
// thread's sinks; resetLogSinks() empties both again.
void setTraceSink(LogSink sink);
void setErrorSink(LogSink sink);
void resetLogSinks();

// Sets this thread's sinks while it lives, then restores the previous ones.
class LogScope {
public:
    LogScope(LogSink trace, LogSink error);
    ~LogScope();
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

private:
    LogSink previousTrace_, previousError_;
};

// Collects the first error line while it lives, passing every line on to
// the sink that was set before; restores that sink when it ends.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    const std::string& first() const { return first_; }

private:
    LogSink previous_;
    std::string first_;
};

// printf-style trace text, written as formatted (the caller supplies line ends).
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One error line; the sink gets it without its end of line.
void error(const std::string& message);

}  // namespace mp4
