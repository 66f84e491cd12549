// AtomicOutput: writes a file that appears complete or not at all. The bytes
// go into an unnamed file in the target's folder (O_TMPFILE) that is given
// its name only when complete, so even a killed process leaves nothing; where
// the file system has no unnamed files, or the writer needs a path (an
// encoder that picks its format from the name), a hidden temporary beside the
// target is used and removed on failure and on the signals that
// installCleanupOnSignals() catches. An existing target survives every
// failure. Not thread-safe: one object belongs to one thread.
#pragma once

#include <string>
#include <vector>

namespace vistamo::files {

class AtomicOutput {
public:
    enum class Naming {
        Unnamed,        // O_TMPFILE when the file system has it, else a temporary name
        NamedLikeTarget // a hidden name beside the target with the target's extension
    };

    AtomicOutput() = default;
    ~AtomicOutput();  // discards what was not committed
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Prepares to write target (a symbolic link is followed to its target).
    // Fails, with a one-line reason, when target may not be written (see
    // outputProblem) or nothing can be created in its folder.
    bool open(const std::string& target, const std::vector<std::string>& inputs, Naming naming,
              std::string& reason);

    // The descriptor to write to, and a path that names the same file for
    // writers that open by name (the temporary's name, or /proc/self/fd/N).
    int fd() const { return fd_; }
    const std::string& writablePath() const { return writablePath_; }
    // Whether the temporary has a name of its own (writablePath is that name).
    bool isNamed() const { return !temporaryName_.empty(); }

    // Writes all of data at the current position; false with a reason (for
    // example "no space left on device", "file too large").
    bool write(const void* data, size_t size, std::string& reason);

    // Gives the file the target's permissions (an existing target's mode,
    // else 0666 less the umask), makes it durable when it replaces an
    // existing file, and moves it into place. The target is checked again
    // right before: one that meanwhile became a device or FIFO is left alone.
    bool commit(std::string& reason);

    // Removes the temporary; the target is untouched.
    void discard();

    const std::string& target() const { return target_; }

private:
    bool openUnnamed(const std::string& folder);
    bool openNamed(const std::string& folder, const std::string& name, bool withExtension);

    std::string target_;
    std::string temporaryName_;  // empty for an unnamed file
    std::string writablePath_;
    int fd_ = -1;
};

// Installs handlers that remove every live named temporary and then die of
// the same signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE), and ignores
// SIGXFSZ so that passing a file-size limit is a write error, not death.
// Called once by a program's main; libraries never install handlers.
void installCleanupOnSignals();

// Removes the hidden temporaries of target that writers which no longer run
// left beside it: only SIGKILL leaves one (a killed converter, or a kill
// between naming a finished file and moving it into place).
void removeStaleTemporaries(const std::string& target);

// Whole-file helpers over AtomicOutput.
bool writeFileAtomically(const std::string& target, const void* data, size_t size,
                         const std::vector<std::string>& inputs, std::string& reason);

}  // namespace vistamo::files
