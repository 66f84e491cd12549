// The player's crash handler. On SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT
// it writes a text report ("Dump/YYYYMMDD_HHMMSS.dmp": the signal, the
// fault address, a backtrace), prints the crash message naming it on
// stderr, and ends the process with the same signal. It runs on an
// alternate stack, with fixed buffers and async-signal-safe calls only.
#pragma once

#include <cstddef>

namespace vistamo::app {

// Installs the handler for the process; dumpFolder is copied (truncated to
// the buffer, never past it). Call once, early in main.
void installCrashHandler(const char* dumpFolder);

// The report's file name for a time (seconds since the epoch, and the local
// offset from UTC in seconds) into out: "FOLDER/YYYYMMDD_HHMMSS.dmp",
// truncated to size − 1 characters. Async-signal-safe; exposed for tests.
void dumpFileName(const char* folder, long long epochSeconds, long utcOffset, char* out, size_t size);

}  // namespace vistamo::app
