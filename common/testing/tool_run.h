// Test support: runs one of our programs as a user or a script would, and
// looks at what it left on disk. Used by every tool's suite of hostile cases.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

namespace vistamo::testing {

struct ToolOptions {
    std::vector<std::string> env;       // "NAME=value" added; "NAME=" with no value removes NAME
    rlim_t fileSizeLimit = RLIM_INFINITY;  // RLIMIT_FSIZE of the child, in bytes
    std::string killWhenOutputHas;      // send killSignal once stdout or stderr holds this text
    int killSignal = 0;
    int killAfterMs = -1;               // or send killSignal this long after the start
    int umask = -1;                     // the child's umask; -1 keeps ours
    int timeoutMs = 120000;             // then SIGKILL, and timedOut is set
};

struct ToolRun {
    int exitCode = -1;    // -1 when the program did not exit normally
    int signal = 0;       // the signal that ended it, 0 when it exited
    bool timedOut = false;
    std::string out, err;
    std::vector<std::string> errLines() const;
    // The stderr lines that do not start with ignoredPrefix (progress lines).
    std::vector<std::string> errLinesWithout(const std::string& ignoredPrefix) const;
};

ToolRun runTool(const std::string& program, const std::vector<std::string>& args, const ToolOptions& options = {});

// A fresh folder under the test temporary folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Every entry's name, hidden ones included, sorted.
    std::vector<std::string> listing() const;

private:
    std::string path_;
};

// A scratch folder holding a copy of one input file, for suites that check
// that a refused job leaves the folder and the input as they were.
class ToolFolderTest : public ::testing::Test {
protected:
    // Copies sample into the folder as name (the input, in).
    void useInput(const std::string& sample, const std::string& name);
    // The folder holds exactly names, and the input is unchanged.
    void expectFolder(const std::vector<std::string>& names);

    ScratchFolder dir;
    std::string in, original;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
void copyFile(const std::string& from, const std::string& to);
// The markers of a baseline JPEG of the given size with a few coded bytes:
// complete as far as its structure goes, though no decoder shows much.
std::string jpegSkeleton(int width, int height);
// A calibration text with its k-th "_"-separated token (0-based) replaced.
std::string withToken(std::string text, int k, const std::string& value);

// A device node like /dev/null's inside a scratch folder (root only); false
// when this process may not make one.
bool makeNullDevice(const std::string& path);

// A virtual X server of the test program's own, for suites that click and
// type with xdotool: their synthetic input then never reaches the windows
// of tests running beside them on the shared display (a click there closes
// another test's popup). Started on a free display number and set as
// DISPLAY for this process and its children; stopped at the end. Register
// it with ::testing::AddGlobalTestEnvironment before the tests run.
class PrivateDisplay : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

private:
    pid_t server_ = -1;
};

}  // namespace vistamo::testing
