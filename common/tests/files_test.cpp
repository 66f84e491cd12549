// Input and output guards and the all-or-nothing writer, on real files:
// FIFOs, device nodes (as root), links, signals and a file-size limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "atomic_output.h"
#include "file_guard.h"
#include "tool_run.h"

using namespace vistamo::files;
using vistamo::testing::readBytes;
using vistamo::testing::ScratchFolder;
using vistamo::testing::writeBytes;

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

mode_t modeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Runs body in a child process and returns how the child ended.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace

TEST(FileGuard, InputsThatAreNotRegularFilesAreRefusedWithoutOpening) {
    ScratchFolder dir;
    writeBytes(dir / "a.jpg", "data");
    ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    symlink("a.jpg", (dir / "link.jpg").c_str());
    EXPECT_EQ(inputProblem(dir / "a.jpg"), "");
    EXPECT_EQ(inputProblem(dir / "link.jpg"), "");
    EXPECT_EQ(inputProblem(dir / "fifo.jpg"), "is a FIFO, not a regular file");
    EXPECT_EQ(inputProblem(dir.path()), "is a directory");
    EXPECT_EQ(inputProblem(dir / "missing.jpg"), "no such file or directory");
    EXPECT_EQ(inputProblem(""), "no file named");
    if (vistamo::testing::makeNullDevice(dir / "null.jpg")) {
        EXPECT_EQ(inputProblem(dir / "null.jpg"), "is a device, not a regular file");
    }

    // A FIFO with no writer would block a plain open for ever.
    const auto start = std::chrono::steady_clock::now();
    std::string reason;
    EXPECT_EQ(openInput(dir / "fifo.jpg", reason), -1);
    EXPECT_EQ(reason, "is a FIFO, not a regular file");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    const int fd = openInput(dir / "a.jpg", reason);
    ASSERT_GE(fd, 0);
    char buf[8];
    EXPECT_EQ(read(fd, buf, sizeof buf), 4);
    close(fd);
}

TEST(FileGuard, OutputsMustBeRegularOrAbsentAndNeverAnInput) {
    ScratchFolder dir;
    const std::string in = dir / "in.jpg";
    writeBytes(in, "picture");
    link(in.c_str(), (dir / "hard.jpg").c_str());
    symlink("in.jpg", (dir / "soft.jpg").c_str());
    symlink("nowhere.jpg", (dir / "dangling.jpg").c_str());
    mkfifo((dir / "fifo.jpg").c_str(), 0600);
    writeBytes(dir / "old.jpg", "old");

    const struct {
        std::string output;
        std::string problem;
    } cases[] = {
        {dir / "new.jpg", ""},
        {dir / "old.jpg", ""},
        {in, "is the input file; choose another output"},
        {dir / "hard.jpg", "is the input file; choose another output"},
        {dir / "soft.jpg", "is the input file; choose another output"},
        {dir / "dangling.jpg", "is a symbolic link to a missing file"},
        {dir / "fifo.jpg", "is a FIFO, not a regular file"},
        {dir.path(), "is a directory"},
        {dir / "no-such-folder/out.jpg", "the folder " + dir.path() + "/no-such-folder does not exist"},
        {"", "no output file named"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outputProblem(c.output, {in}), c.problem) << c.output;
    if (vistamo::testing::makeNullDevice(dir / "null")) {
        EXPECT_EQ(outputProblem(dir / "null", {in}), "is a device, not a regular file");
    }
}

TEST(AtomicOutput, CommitsWholeFilesWithTheUsualPermissions) {
    ScratchFolder dir;
    const mode_t old = umask(027);
    for (auto naming : {AtomicOutput::Naming::Unnamed, AtomicOutput::Naming::NamedLikeTarget}) {
        const std::string target = dir / (naming == AtomicOutput::Naming::Unnamed ? "a.png" : "b.png");
        AtomicOutput out;
        std::string reason;
        ASSERT_TRUE(out.open(target, {}, naming, reason)) << reason;
        if (naming == AtomicOutput::Naming::NamedLikeTarget) {
            EXPECT_TRUE(out.isNamed());
            EXPECT_EQ(out.writablePath().substr(out.writablePath().size() - 4), ".png");
        }
        EXPECT_NE(access(target.c_str(), F_OK), 0) << "nothing at the target before the commit";
        ASSERT_TRUE(out.write("hello", 5, reason));
        ASSERT_TRUE(out.commit(reason)) << reason;
        EXPECT_EQ(readBytes(target), "hello");
        EXPECT_EQ(modeOf(target), 0640u);
    }
    umask(old);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"a.png", "b.png"}));

    // A replaced file keeps its mode; a link keeps pointing at its target.
    chmod((dir / "a.png").c_str(), 0604);
    symlink("a.png", (dir / "link.png").c_str());
    std::string reason;
    ASSERT_TRUE(writeFileAtomically(dir / "link.png", "new", 3, {}, reason)) << reason;
    EXPECT_EQ(readBytes(dir / "a.png"), "new");
    EXPECT_EQ(modeOf(dir / "a.png"), 0604u);
    struct stat st;
    ASSERT_EQ(lstat((dir / "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(AtomicOutput, FailuresKeepTheOldFileAndLeaveNothing) {
    ScratchFolder dir;
    const std::string target = dir / "out.jpg";
    writeBytes(target, "old contents");
    {
        AtomicOutput out;
        std::string reason;
        ASSERT_TRUE(out.open(target, {}, AtomicOutput::Naming::NamedLikeTarget, reason));
        ASSERT_TRUE(out.write("partial", 7, reason));
    }  // destroyed without commit
    EXPECT_EQ(readBytes(target), "old contents");
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"out.jpg"});

    // The target turned into a FIFO while the file was being written.
    AtomicOutput out;
    std::string reason;
    ASSERT_TRUE(out.open(dir / "late.jpg", {}, AtomicOutput::Naming::Unnamed, reason));
    ASSERT_EQ(mkfifo((dir / "late.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(out.commit(reason));
    EXPECT_TRUE(contains(reason, "no longer a regular file")) << reason;
    struct stat st;
    ASSERT_EQ(lstat((dir / "late.jpg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"late.jpg", "out.jpg"}));

    // A file-size limit is a write error with its reason, not death.
    const int status = inChild([&] {
        installCleanupOnSignals();
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(5000, 'x');
        std::string why;
        _exit(writeFileAtomically(target, big.data(), big.size(), {}, why) ? 1 : why == "file too large" ? 0 : 2);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes(target), "old contents");
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"late.jpg", "out.jpg"}));
}

TEST(AtomicOutput, KilledWritersLeaveNothingBehind) {
    ScratchFolder dir;
    // SIGTERM: the handler removes the named temporary, then the signal kills.
    int status = inChild([&] {
        installCleanupOnSignals();
        AtomicOutput out;
        std::string reason;
        out.open(dir / "named.jpg", {}, AtomicOutput::Naming::NamedLikeTarget, reason);
        out.write("abc", 3, reason);
        raise(SIGTERM);
        _exit(3);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    // SIGKILL cannot be caught: an unnamed file has no name to leave.
    status = inChild([&] {
        AtomicOutput out;
        std::string reason;
        out.open(dir / "unnamed.jpg", {}, AtomicOutput::Naming::Unnamed, reason);
        out.write("abc", 3, reason);
        raise(SIGKILL);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(dir.listing().empty());

    // A temporary that a killed writer left is removed by the next writer of
    // the same output; a live writer's is not touched.
    writeBytes(dir / "out.jpg", "old");
    const pid_t gone = fork();  // a process id that no longer runs
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    writeBytes(dir / (".out.jpg." + std::to_string(gone) + "-abcdef.part"), "stale");
    const std::string live = ".out.jpg." + std::to_string(getpid()) + "-ghijkl.part";
    writeBytes(dir / live, "in progress");
    std::string reason;
    ASSERT_TRUE(writeFileAtomically(dir / "out.jpg", "new", 3, {}, reason)) << reason;
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{live, "out.jpg"}));
    EXPECT_EQ(readBytes(dir / "out.jpg"), "new");
}
