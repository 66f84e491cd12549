#include "tool_run.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vistamo::testing {

std::vector<std::string> ToolRun::errLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ToolRun::errLinesWithout(const std::string& ignoredPrefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : errLines())
        if (line.rfind(ignoredPrefix, 0) != 0)
            lines.push_back(line);
    return lines;
}

ToolRun runTool(const std::string& program, const std::vector<std::string>& args, const ToolOptions& options) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        for (const std::string& e : options.env) {
            const size_t eq = e.find('=');
            if (eq == e.size() - 1)
                unsetenv(e.substr(0, eq).c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        if (options.umask >= 0)
            umask(mode_t(options.umask));
        const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ToolRun run;
    bool killed = false;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(options.timeoutMs);
    const auto killAt = start + std::chrono::milliseconds(std::max(options.killAfterMs, 0));
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            run.timedOut = true;
            break;
        }
        const long long wait = options.killAfterMs >= 0 && !killed ? 1 : std::min<long long>(left, 1000);
        if (poll(fds, 2, int(wait)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? run.out : run.err).append(buffer, size_t(n));
        }
        if (!killed && options.killSignal && !options.killWhenOutputHas.empty() &&
            (run.err.find(options.killWhenOutputHas) != std::string::npos ||
             run.out.find(options.killWhenOutputHas) != std::string::npos)) {
            kill(pid, options.killSignal);
            killed = true;
        }
        if (!killed && options.killSignal && options.killAfterMs >= 0 && std::chrono::steady_clock::now() >= killAt) {
            kill(pid, options.killSignal);
            killed = true;
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            close(p.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vistamo-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchFolder::listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void ToolFolderTest::useInput(const std::string& sample, const std::string& name) {
    in = dir / name;
    copyFile(sample, in);
    original = readBytes(in);
}

void ToolFolderTest::expectFolder(const std::vector<std::string>& names) {
    EXPECT_EQ(dir.listing(), names);
    EXPECT_EQ(readBytes(in), original);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

void copyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::string jpegSkeleton(int width, int height) {
    std::string j("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    j += std::string("\xFF\xC0\x00\x0B\x08", 5);
    for (int v : {height, width}) {
        j += char((v >> 8) & 0xFF);
        j += char(v & 0xFF);
    }
    j += std::string("\x01\x01\x11\x00", 4);
    j += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    j += std::string("\x12\x34\xFF\x00\x56\xFF\xD0\x78\xFF\xFF\xD9", 11);
    return j;
}

bool makeNullDevice(const std::string& path) { return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }

std::string withToken(std::string text, int k, const std::string& value) {
    size_t start = 0;
    for (int i = 0; i < k; ++i)
        start = text.find('_', start) + 1;
    const size_t end = text.find('_', start);
    return text.replace(start, end == std::string::npos ? std::string::npos : end - start, value);
}

void PrivateDisplay::SetUp() {
    const bool haveServer = std::system("command -v Xvfb >/dev/null 2>&1") == 0;
    if (!haveServer && std::getenv("DISPLAY"))
        return;  // no server of our own to start: the display we were given
    ASSERT_TRUE(haveServer) << "Xvfb is missing (scripts/bootstrap installs it)";
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const pid_t parent = getpid();
    server_ = fork();
    ASSERT_GE(server_, 0);
    if (server_ == 0) {
        // The server goes with this program, however it ends (a crash, or
        // the test runner's kill at its timeout).
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(0);
        // The server writes its display number to fd 3 once it takes
        // clients.
        dup2(ready[1], 3);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[16];
        const ssize_t n = read(ready[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, size_t(n));
    }
    close(ready[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
}

void PrivateDisplay::TearDown() {
    if (server_ <= 0)
        return;
    kill(server_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(server_, nullptr, WNOHANG) == server_) {
            server_ = -1;
            return;
        }
        usleep(20000);
    }
    kill(server_, SIGKILL);
    waitpid(server_, nullptr, 0);
    server_ = -1;
}

}  // namespace vistamo::testing
