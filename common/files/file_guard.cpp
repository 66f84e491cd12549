#include "file_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vistamo::files {
namespace {

// What is wrong with a file of this type as a regular file; empty for one.
std::string typeProblem(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return "is a directory";
    if (S_ISFIFO(st.st_mode))
        return "is a FIFO, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(st.st_mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string reasonText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
        text[0] = char(text[0] - 'A' + 'a');
    return text;
}

std::string inputProblem(const std::string& path) {
    if (path.empty())
        return "no file named";
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return reasonText(errno);
    return typeProblem(st);
}

int openInput(const std::string& path, std::string& reason) {
    reason = inputProblem(path);
    if (!reason.empty())
        return -1;
    // Non-blocking, in case the name was swapped for a FIFO since the check.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        reason = reasonText(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        reason = reasonText(errno);
    } else {
        reason = typeProblem(st);
    }
    if (reason.empty()) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0)
            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }
    close(fd);
    return -1;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason, bool* opened) {
    if (opened)
        *opened = false;
    const int fd = openInput(path, reason);
    if (fd < 0)
        return false;
    if (opened)
        *opened = true;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (!ok)
        reason = reasonText(errno);
    try {
        if (ok)
            bytes.resize(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        reason = "not enough memory";
        ok = false;
    }
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reason = n < 0 ? reasonText(errno) : "the file is shorter than it was";
            ok = false;
        } else {
            done += size_t(n);
        }
    }
    close(fd);
    return ok;
}

std::string resolveOutput(const std::string& output) {
    struct stat st;
    if (lstat(output.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return output;
    char resolved[PATH_MAX];
    if (!realpath(output.c_str(), resolved))
        return output;
    return resolved;
}

std::string outputProblem(const std::string& output, const std::vector<std::string>& inputs) {
    if (output.empty())
        return "no output file named";
    struct stat st;
    if (lstat(output.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && stat(output.c_str(), &st) != 0)
            return "is a symbolic link to a missing file";
        const std::string problem = typeProblem(st);
        if (!problem.empty())
            return problem;
        for (const std::string& input : inputs) {
            struct stat in;
            if (stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino)
                return "is the input file; choose another output";
        }
        return {};
    }
    if (errno != ENOENT)
        return reasonText(errno);
    const std::string folder = folderOf(output);
    if (stat(folder.c_str(), &st) != 0)
        return "the folder " + folder + " does not exist";
    if (!S_ISDIR(st.st_mode))
        return folder + " is not a folder";
    return {};
}

}  // namespace vistamo::files
