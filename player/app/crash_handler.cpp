#include "crash_handler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <cstring>
#include <ctime>

namespace vistamo::app {
namespace {

// Everything the handler needs, fixed before any crash.
constexpr size_t kPathSize = PATH_MAX;
char dumpFolder_[kPathSize];
long utcOffset_ = 0;  // the local offset at installation (DST changes are not followed)
char alternateStack_[64 * 1024];

// A small appending writer over a fixed buffer; never writes past it.
struct Text {
    char* buffer;
    size_t size;
    size_t length = 0;
    void add(const char* s) {
        while (*s && length + 1 < size)
            buffer[length++] = *s++;
        buffer[length] = '\0';
    }
    void number(unsigned long long value, int width = 0, int base = 10) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % unsigned(base)];
            value /= unsigned(base);
        } while (value && n < 23);
        while (n < width && n < 23)
            digits[n++] = '0';
        char text[25];
        for (int k = 0; k < n; ++k)
            text[k] = digits[n - 1 - k];
        text[n] = '\0';
        add(text);
    }
};

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void civilFromDays(long long z, int& year, unsigned& month, unsigned& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = (long long)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = int(y + (month <= 2));
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void writeAll(int fd, const char* text, size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= size_t(n);
    }
}

extern "C" void onCrash(int signal, siginfo_t* info, void*) {
    char path[kPathSize];
    dumpFileName(dumpFolder_, (long long)time(nullptr), utcOffset_, path, sizeof path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char head[512];
        Text report{head, sizeof head};
        report.add("Vistamo Player crash report\nsignal: ");
        report.number((unsigned long long)signal);
        report.add(" (");
        report.add(signalName(signal));
        report.add(")\naddress: 0x");
        report.number((unsigned long long)(uintptr_t)(info ? info->si_addr : nullptr), 0, 16);
        report.add("\nprocess: ");
        report.number((unsigned long long)getpid());
        report.add("\nbacktrace:\n");
        writeAll(fd, head, report.length);
        void* frames[64];
        const int count = backtrace(frames, 64);
        backtrace_symbols_fd(frames, count, fd);
        close(fd);
    }
    char message[kPathSize + 128];
    Text line{message, sizeof message};
    line.add("Sorry, Vistamo Player has crashed, please contact to us for help! \ndump file : ");
    line.add(path);
    line.add("\n");
    writeAll(STDERR_FILENO, message, line.length);
    // Die of the same signal, so the exit status says what happened.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

}  // namespace

void dumpFileName(const char* folder, long long epochSeconds, long utcOffset, char* out, size_t size) {
    if (size == 0)
        return;
    const long long local = epochSeconds + utcOffset;
    long long days = local / 86400, seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    Text name{out, size};
    name.add(folder);
    name.add("/");
    name.number((unsigned long long)(year < 0 ? 0 : year), 4);
    name.number(month, 2);
    name.number(day, 2);
    name.add("_");
    name.number((unsigned long long)(seconds / 3600), 2);
    name.number((unsigned long long)(seconds / 60 % 60), 2);
    name.number((unsigned long long)(seconds % 60), 2);
    name.add(".dmp");
}

void installCrashHandler(const char* dumpFolder) {
    std::strncpy(dumpFolder_, dumpFolder, kPathSize - 1);
    dumpFolder_[kPathSize - 1] = '\0';
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    utcOffset_ = local.tm_gmtoff;
    // The first backtrace() loads the unwinder; later calls in the handler
    // then allocate nothing.
    void* warmUp[1];
    backtrace(warmUp, 1);
    stack_t stack{};
    stack.ss_sp = alternateStack_;
    stack.ss_size = sizeof alternateStack_;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(signal, &action, nullptr);
}

}  // namespace vistamo::app
