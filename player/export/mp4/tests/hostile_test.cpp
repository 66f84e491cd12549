// spherical-inject on hostile files and paths: special inputs refused at
// once, outputs that are not ours left alone, fragmented files refused, and
// no partial or leftover file after a full disk or a kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tool_run.h"

namespace {

using namespace vistamo::testing;

const std::string kFixtures = MP4_FIXTURES_DIR;

ToolRun inject(const std::string& in, const std::string& out, ToolOptions options = {}) {
    options.timeoutMs = 20000;
    return runTool(SPHERICAL_INJECT_PATH, {"--quiet", in, out}, options);
}

mode_t typeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & S_IFMT;
}

}  // namespace

TEST(SphericalInjectHostile, SpecialInputsAreRefusedAtOnce) {
    ScratchFolder dir;
    ASSERT_EQ(mkfifo((dir / "fifo.mp4").c_str(), 0600), 0);
    const ToolRun fifo = inject(dir / "fifo.mp4", dir / "out.mp4");
    ASSERT_FALSE(fifo.timedOut);
    EXPECT_EQ(fifo.exitCode, 1);
    EXPECT_EQ(fifo.errLines(), std::vector<std::string>{"spherical-inject: cannot open " + dir / "fifo.mp4" +
                                                         ": is a FIFO, not a regular file"});
    const ToolRun folder = inject(dir.path(), dir / "out.mp4");
    EXPECT_EQ(folder.errLines(),
              std::vector<std::string>{"spherical-inject: cannot open " + dir.path() + ": is a directory"});
    if (makeNullDevice(dir / "null.mp4")) {
        const ToolRun device = inject(dir / "null.mp4", dir / "out.mp4");
        EXPECT_EQ(device.errLines(), std::vector<std::string>{"spherical-inject: cannot open " + dir / "null.mp4" +
                                                               ": is a device, not a regular file"});
    }
    EXPECT_EQ(dir.listing().size(), getuid() == 0 ? 2u : 1u);
}

TEST(SphericalInjectHostile, OutputsThatAreNotOursAreLeftAlone) {
    ScratchFolder dir;
    const std::string in = dir / "in.mp4";
    copyFile(kFixtures + "/moov-first.mp4", in);
    const std::string original = readBytes(in);
    link(in.c_str(), (dir / "hard.mp4").c_str());
    symlink("in.mp4", (dir / "soft.mp4").c_str());
    mkfifo((dir / "fifo.mp4").c_str(), 0600);
    const bool device = makeNullDevice(dir / "null.mp4");
    ASSERT_TRUE(device || getuid() != 0);

    const struct {
        std::string out;
        std::string line;
    } cases[] = {
        {in, "spherical-inject: " + in + " is the input file; choose another output"},
        {dir / "hard.mp4", "spherical-inject: " + dir / "hard.mp4" + " is the input file; choose another output"},
        {dir / "soft.mp4", "spherical-inject: " + dir / "soft.mp4" + " is the input file; choose another output"},
        {dir / "fifo.mp4", "spherical-inject: cannot write " + dir / "fifo.mp4" + ": is a FIFO, not a regular file"},
        {dir / "null.mp4", "spherical-inject: cannot write " + dir / "null.mp4" + ": is a device, not a regular file"},
        {dir / "gone/out.mp4", "spherical-inject: cannot write " + dir / "gone/out.mp4" + ": the folder " +
                                   dir / "gone" + " does not exist"},
    };
    for (const auto& c : cases) {
        if (!device && c.out == dir / "null.mp4")
            continue;
        const ToolRun run = inject(in, c.out);
        EXPECT_EQ(run.exitCode, 1) << c.out;
        EXPECT_EQ(run.errLines(), std::vector<std::string>{c.line});
    }
    EXPECT_EQ(readBytes(in), original);
    EXPECT_EQ(typeOf(dir / "fifo.mp4"), mode_t(S_IFIFO));
    EXPECT_EQ(typeOf(dir / "soft.mp4"), mode_t(S_IFLNK));
    if (device) {
        EXPECT_EQ(typeOf(dir / "null.mp4"), mode_t(S_IFCHR));
    }
    EXPECT_EQ(dir.listing().size(), device ? 5u : 4u);

    // A link to another file is kept, and the file it names is replaced.
    writeBytes(dir / "target.mp4", "old");
    symlink("target.mp4", (dir / "link.mp4").c_str());
    EXPECT_EQ(inject(in, dir / "link.mp4").exitCode, 0);
    EXPECT_EQ(typeOf(dir / "link.mp4"), mode_t(S_IFLNK));
    EXPECT_GT(readBytes(dir / "target.mp4").size(), original.size());
}

TEST(SphericalInjectHostile, FragmentedFilesAreRefusedNotCorrupted) {
    ScratchFolder dir;
    for (const char* name : {"fragmented.mp4", "fragmented-moof-base.mp4"}) {
        const ToolRun run = inject(kFixtures + "/" + name, dir / "out.mp4");
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.errLines(), std::vector<std::string>{
                                      "spherical-inject: " + kFixtures + "/" + name +
                                      " is refused: fragmented MP4 (movie fragments) cannot be rewritten; "
                                      "remux it without fragments first"});
    }
    EXPECT_TRUE(dir.listing().empty());
}

TEST(SphericalInjectHostile, FullDisksAndKillsLeaveNothingAndKeepTheOldOutput) {
    ScratchFolder dir;
    const std::string in = kFixtures + "/moov-last.mp4";
    writeBytes(dir / "out.mp4", "previous output");
    ToolOptions limited;
    limited.fileSizeLimit = 4096;
    const ToolRun full = inject(in, dir / "out.mp4", limited);
    EXPECT_EQ(full.exitCode, 1);
    ASSERT_EQ(full.errLines().size(), 1u);
    EXPECT_EQ(full.errLines()[0].rfind("spherical-inject: cannot write " + dir / "out.mp4" + ": ", 0), 0u)
        << full.err;
    EXPECT_NE(full.err.find("too large"), std::string::npos) << full.err;
    EXPECT_EQ(readBytes(dir / "out.mp4"), "previous output");
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"out.mp4"});

    // Killed at any moment, by a signal it can catch or one it cannot: the
    // old output or a complete new one, never a part. A caught signal leaves
    // nothing; SIGKILL can leave, between naming the finished file and
    // moving it over the old one, a hidden temporary of a dead writer, which
    // the next write of that output removes.
    const std::string complete = [&] {
        ScratchFolder other;
        inject(in, other / "out.mp4");
        return readBytes(other / "out.mp4");
    }();
    ASSERT_FALSE(complete.empty());
    for (int signal : {SIGTERM, SIGKILL}) {
        for (int delayMs : {0, 2, 5, 10, 20, 40}) {
            ToolOptions kill;
            kill.killSignal = signal;
            kill.killAfterMs = delayMs;
            writeBytes(dir / "out.mp4", "previous output");
            const ToolRun run = inject(in, dir / "out.mp4", kill);
            const std::string now = readBytes(dir / "out.mp4");
            EXPECT_TRUE(now == "previous output" || now == complete) << "signal " << signal << " after " << delayMs;
            std::vector<std::string> listing = dir.listing();
            if (signal == SIGKILL && listing.size() == 2 && listing[0].rfind(".out.mp4.", 0) == 0)
                listing.erase(listing.begin());
            EXPECT_EQ(listing, std::vector<std::string>{"out.mp4"}) << "signal " << signal << " after " << delayMs;
        }
    }
    ASSERT_EQ(inject(in, dir / "out.mp4").exitCode, 0);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"out.mp4"});
    EXPECT_EQ(readBytes(dir / "out.mp4"), complete);
}
