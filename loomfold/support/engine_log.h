// The engine log: one process-wide text log written to its file and, when
// the host has installed one, to a sink (the library itself prints
// nothing). Lines read "[time] LEVEL - text", at a level threshold. Any
// thread may write: every line is written whole under the log's mutex.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <atomic>
#include <fstream>
#include <mutex>
#include <string>

namespace loomfold {

enum LogLevel { kLogFatal = 0, kLogError = 1, kLogWarn = 2, kLogInfo = 3, kLogDebug = 4 };

class EngineLog {
public:
    static EngineLog& instance();

    // Opens path for appending (creating its folder) and writes "LOG
    // INITIALISED"; false when already initialised. A log larger than
    // rotateBytes is first moved to path + ".1". A file that cannot be
    // opened leaves the sink as the only output.
    static constexpr uint64_t kRotateBytes = 10u * 1024 * 1024;
    bool initialise(const std::string& path, uint64_t rotateBytes = kRotateBytes);
    // Writes "LOG FINALISED" and closes the file; false when not initialised.
    bool finalise();
    void setLevel(int level) { level_ = level; }
    int level() const { return level_; }
    bool isFileOpen() const;

    void write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void writev(int level, const char* format, va_list args);

    // Where a copy of every line goes besides the file: nowhere until the
    // host installs a sink (null removes it). The sink is called on the
    // writing thread, under the log's mutex, with the whole stamped line.
    using Sink = void (*)(int level, const char* line, void* user);
    void setSink(Sink sink, void* user) {
        std::lock_guard<std::mutex> lock(mutex_);
        sink_ = sink;
        sinkUser_ = user;
    }

private:
    EngineLog() = default;
    ~EngineLog();
    // The five-character name of a level ("WARN ", "INFO " keep their blank).
    static const char* levelName(int level);
    // Writes one stamped line to the sink and the file; mutex_ held.
    void emitLine(int level, const char* text);

    std::atomic<int> level_{kLogInfo};
    // -- Guarded by mutex_.
    mutable std::mutex mutex_;
    bool initialised_ = false;
    std::string path_;
    std::ofstream file_;
    Sink sink_ = nullptr;
    void* sinkUser_ = nullptr;
};

// Hook for FFmpeg's log callback, for the host to install (the callback is
// process-wide, so the engine never sets it): lines that FFmpeg prefixes
// with a context ("[h264 @ 0x…] …") are dropped, every other line goes to
// the engine log at debug level, whatever FFmpeg's level.
void engineMediaLogHook(void* context, int level, const char* format, va_list args);

// The engine log's file: $XDG_DATA_HOME (default ~/.local/share) +
// "/Orvex/export_log.txt".
std::string defaultLogPath();

}  // namespace loomfold

#define LF_LOG(level, ...) ::loomfold::EngineLog::instance().write(level, __VA_ARGS__)
