#include "atomic_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "file_guard.h"

namespace vistamo::files {
namespace {

// Named temporaries that a signal handler must remove. Fixed storage and
// atomic slot states only: the handler may run at any instruction.
constexpr int kSlots = 16;
constexpr size_t kPathMax = 4096;
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 live
    char path[kPathMax];
};
Slot slots[kSlots];

int remember(const std::string& path) {
    if (path.size() >= kPathMax)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void forget(const std::string& path) {
    for (Slot& slot : slots)
        if (slot.state.load() == 2 && path == slot.path)
            slot.state.store(0);
}

extern "C" void removeTemporariesAndDie(int signal) {
    for (Slot& slot : slots)
        if (slot.state.load() == 2)
            unlink(slot.path);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

// ".NAME.PID-XXXXXX.part" (or ".NAME.PID-XXXXXX.EXT"): the writer's process
// id and six random characters, so that a temporary left by a killed writer
// can be told from one that is still being written.
std::string hiddenName(const std::string& folder, const std::string& name, const std::string& suffix) {
    static thread_local std::mt19937 random{std::random_device{}()};
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string tag(6, 'x');
    for (char& c : tag)
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    return folder + "/." + name + "." + std::to_string(getpid()) + "-" + tag + suffix;
}

// The permissions a new file gets: an existing target's, else 0666 less the
// umask (read from /proc so that no other thread sees the umask change).
mode_t modeFor(const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return 0666 & ~mask;
}

}  // namespace

void removeStaleTemporaries(const std::string& target) {
    const std::string folder = folderOf(target), name = nameOf(target);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const std::string prefix = "." + name + ".";
    while (const dirent* entry = readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.size() <= prefix.size() + 8 || file.compare(0, prefix.size(), prefix) != 0)
            continue;
        size_t at = prefix.size();
        long pid = 0;
        while (at < file.size() && file[at] >= '0' && file[at] <= '9' && pid < 1L << 30)
            pid = pid * 10 + (file[at++] - '0');
        if (at == prefix.size() || at + 7 > file.size() || file[at] != '-')
            continue;
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            unlinkat(dirfd(dir), file.c_str(), 0);
    }
    closedir(dir);
}

AtomicOutput::~AtomicOutput() { discard(); }

bool AtomicOutput::open(const std::string& target, const std::vector<std::string>& inputs, Naming naming,
                        std::string& reason) {
    discard();
    reason = outputProblem(target, inputs);
    if (!reason.empty())
        return false;
    target_ = resolveOutput(target);
    const std::string folder = folderOf(target_), name = nameOf(target_);
    removeStaleTemporaries(target_);
    const bool opened = naming == Naming::Unnamed ? openUnnamed(folder) || openNamed(folder, name, false)
                                                  : openNamed(folder, name, true);
    if (!opened) {
        reason = reasonText(errno);
        return false;
    }
    return true;
}

bool AtomicOutput::openUnnamed(const std::string& folder) {
    if (access("/proc/self/fd", X_OK) != 0)
        return false;
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return false;
    writablePath_ = "/proc/self/fd/" + std::to_string(fd_);
    return true;
}

bool AtomicOutput::openNamed(const std::string& folder, const std::string& name, bool withExtension) {
    const std::string suffix = withExtension ? extensionOf(name) : std::string(".part");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = hiddenName(folder, name, suffix);
        // Remembered before it exists, so no signal can leave it behind.
        if (remember(candidate) < 0) {
            errno = EMFILE;
            return false;
        }
        fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            temporaryName_ = writablePath_ = candidate;
            return true;
        }
        const int error = errno;
        forget(candidate);
        errno = error;
        if (error != EEXIST)
            return false;
    }
    return false;
}

bool AtomicOutput::write(const void* data, size_t size, std::string& reason) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reason = n < 0 ? reasonText(errno) : "nothing could be written";
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool AtomicOutput::commit(std::string& reason) {
    if (fd_ < 0) {
        reason = "nothing to commit";
        return false;
    }
    struct stat st;
    const bool replacing = lstat(target_.c_str(), &st) == 0;
    if (replacing && !S_ISREG(st.st_mode)) {
        reason = "is no longer a regular file; left as it is";
        discard();
        return false;
    }
    fchmod(fd_, modeFor(target_));
    // A replaced file must never be traded for one whose blocks are not yet
    // on the disk; a new file costs nothing to lose.
    if (replacing && fdatasync(fd_) != 0) {
        reason = reasonText(errno);
        discard();
        return false;
    }
    if (temporaryName_.empty() && !replacing) {
        // Nothing to replace: the unnamed file takes the target's name in one
        // step, so no moment exists in which a kill could leave a temporary.
        const std::string source = "/proc/self/fd/" + std::to_string(fd_);
        if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            close(fd_);
            fd_ = -1;
            writablePath_.clear();
            return true;
        }
        if (errno != EEXIST) {
            reason = reasonText(errno);
            discard();
            return false;
        }
        // Someone made the target meanwhile: replace it like any other.
    }
    if (temporaryName_.empty()) {
        // Give the unnamed file a hidden name, then move it over the target.
        const std::string source = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100 && temporaryName_.empty(); ++attempt) {
            const std::string candidate = hiddenName(folderOf(target_), nameOf(target_), ".part");
            if (remember(candidate) < 0)
                break;
            if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporaryName_ = candidate;
            } else {
                const int error = errno;
                forget(candidate);
                if (error != EEXIST) {
                    reason = reasonText(error);
                    discard();
                    return false;
                }
            }
        }
        if (temporaryName_.empty()) {
            reason = "cannot name the new file";
            discard();
            return false;
        }
    }
    if (std::rename(temporaryName_.c_str(), target_.c_str()) != 0) {
        reason = reasonText(errno);
        discard();
        return false;
    }
    forget(temporaryName_);
    temporaryName_.clear();
    close(fd_);
    fd_ = -1;
    writablePath_.clear();
    return true;
}

void AtomicOutput::discard() {
    if (!temporaryName_.empty()) {
        unlink(temporaryName_.c_str());
        forget(temporaryName_);
        temporaryName_.clear();
    }
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    writablePath_.clear();
}

void installCleanupOnSignals() {
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaction(signal, &action, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);
}

bool writeFileAtomically(const std::string& target, const void* data, size_t size,
                         const std::vector<std::string>& inputs, std::string& reason) {
    AtomicOutput output;
    return output.open(target, inputs, AtomicOutput::Naming::Unnamed, reason) &&
           output.write(data, size, reason) && output.commit(reason);
}

}  // namespace vistamo::files
