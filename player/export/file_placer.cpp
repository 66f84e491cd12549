#include "file_placer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "atomic_output.h"
#include "file_guard.h"

namespace vistamo::exporting {

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool sameFileSystem(const std::string& a, const std::string& bFolder) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(bFolder.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

}  // namespace

bool placeFile(const Placement& p, const std::function<void(int)>& progress, const std::atomic<bool>* cancel,
               std::string& reason) {
    reason = files::inputProblem(p.source);
    if (!reason.empty()) {
        reason = "cannot read " + p.source + ": " + reason;
        return false;
    }
    std::vector<std::string> inputs = p.inputs;
    inputs.push_back(p.source);
    const std::string problem = files::outputProblem(p.target, inputs);
    if (!problem.empty()) {
        reason = "cannot write " + p.target + ": " + problem;
        return false;
    }
    const std::string target = files::resolveOutput(p.target);
    if (p.moveSource && sameFileSystem(p.source, folderOf(target))) {
        // One step: the old target stays until the new one takes its name.
        if (std::rename(p.source.c_str(), target.c_str()) == 0) {
            if (progress)
                progress(100);
            return true;
        }
        // Fall through to a copy (for example a name the rename may not take).
    }
    std::string why;
    const int in = files::openInput(p.source, why);
    if (in < 0) {
        reason = "cannot read " + p.source + ": " + why;
        return false;
    }
    struct stat st {};
    fstat(in, &st);
    files::AtomicOutput out;
    if (!out.open(target, inputs, files::AtomicOutput::Naming::Unnamed, why)) {
        close(in);
        reason = "cannot write " + p.target + ": " + why;
        return false;
    }
    std::vector<char> buffer(size_t(1) << 20);
    off_t done = 0;
    int shown = -1;
    for (;;) {
        if (cancel && cancel->load()) {
            close(in);
            reason = "cancelled";
            return false;  // the output's destructor discards the copy
        }
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = "cannot read " + p.source + ": " + files::reasonText(errno);
            close(in);
            return false;
        }
        if (n == 0)
            break;
        if (!out.write(buffer.data(), size_t(n), why)) {
            reason = "cannot write " + p.target + ": " + why;
            close(in);
            return false;
        }
        done += n;
        const int percent = st.st_size > 0 ? int(done * 100 / st.st_size) : 100;
        if (progress && percent != shown)
            progress(shown = percent);
    }
    close(in);
    if (!out.commit(why)) {
        reason = "cannot write " + p.target + ": " + why;
        return false;
    }
    if (p.moveSource)
        unlink(p.source.c_str());
    if (progress)
        progress(100);
    return true;
}

}  // namespace vistamo::exporting
