#include "engine_log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavutil/log.h>
}

namespace loomfold {
namespace {

constexpr size_t kLineSize = 512;  // lines are cut to 511 characters

// Creates every missing folder of path's parent.
void makeParentFolders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            return;
    }
}

}  // namespace

EngineLog& EngineLog::instance() {
    static EngineLog log;
    return log;
}

EngineLog::~EngineLog() { finalise(); }

const char* EngineLog::levelName(int level) {
    switch (level) {
    case kLogFatal: return "FATAL";
    case kLogError: return "ERROR";
    case kLogWarn: return "WARN ";
    case kLogInfo: return "INFO ";
    case kLogDebug: return "DEBUG";
    default: return "UNKWN";
    }
}

bool EngineLog::isFileOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_.is_open();
}

bool EngineLog::initialise(const std::string& path, uint64_t rotateBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialised_)
        return false;
    path_ = path;
    makeParentFolders(path);
    // Every job appends to the log: past the limit it starts afresh, and the
    // previous log is kept as ".1" (replacing an older one).
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) > rotateBytes)
        std::rename(path.c_str(), (path + ".1").c_str());
    file_.open(path, std::ios::out | std::ios::app);
    initialised_ = true;
    emitLine(kLogInfo, "LOG INITIALISED");
    return true;
}

bool EngineLog::finalise() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialised_)
        return false;
    emitLine(kLogInfo, "LOG FINALISED");
    file_.close();
    initialised_ = false;
    return true;
}

void EngineLog::write(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writev(level, format, args);
    va_end(args);
}

void EngineLog::writev(int level, const char* format, va_list args) {
    if (level > level_)
        return;
    char text[kLineSize];
    std::vsnprintf(text, sizeof text, format, args);
    std::lock_guard<std::mutex> lock(mutex_);
    emitLine(level, text);
}

void EngineLog::emitLine(int level, const char* text) {
    char when[21];
    const std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    if (std::strftime(when, sizeof when, "%X %x", &local) == 0)
        when[0] = '\0';
    std::string line = std::string("[") + when + "] " + levelName(level) + " - " + text;
    if (line.size() > kLineSize - 1)
        line.resize(kLineSize - 1);
    if (sink_)
        sink_(level, line.c_str(), sinkUser_);
    if (file_.is_open()) {
        file_ << line << '\n';
        file_.flush();
    }
}

void engineMediaLogHook(void* context, int level, const char* format, va_list args) {
    char line[1024];
    int prefix = 1;
    av_log_format_line(context, level, format, args, line, sizeof line, &prefix);
    if (line[0] == '[')
        return;
    // The log ends every line itself.
    const size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n')
        line[length - 1] = '\0';
    // The line is already formatted: pass it on as text, never as a format.
    EngineLog::instance().write(kLogDebug, "%s", line);
}

std::string defaultLogPath() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        base = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = "/tmp";
    return base + "/Orvex/export_log.txt";
}

}  // namespace loomfold
