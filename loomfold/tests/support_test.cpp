// The engine's support code: log, ring buffer and audio resampler.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sstream>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "audio_resampler.h"
#include "engine_log.h"
#include "lf_circlebuf.h"

namespace loomfold {
namespace {

// The lines the log hands its sink, captured in a temporary file.
class LogCapture {
public:
    LogCapture() : file_(std::tmpfile()) { EngineLog::instance().setSink(toFile, file_); }
    ~LogCapture() {
        EngineLog::instance().setSink(nullptr, nullptr);
        std::fclose(file_);
    }
    std::vector<std::string> lines() const {
        std::fflush(file_);
        std::rewind(file_);
        std::vector<std::string> out;
        char buf[2048];
        while (std::fgets(buf, sizeof buf, file_)) {
            std::string line(buf);
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            out.push_back(line);
        }
        return out;
    }

private:
    static void toFile(int, const char* line, void* file) { std::fprintf(static_cast<std::FILE*>(file), "%s\n", line); }
    std::FILE* file_;
};

// The text after "] LEVEL - " of a log line.
std::string textOf(const std::string& line) {
    const size_t at = line.find(" - ");
    return at == std::string::npos ? line : line.substr(at + 3);
}

TEST(EngineLogTest, LinesNameTheirLevelDropWhatIsBelowTheThresholdAndAreCut) {
    LogCapture capture;
    EngineLog& log = EngineLog::instance();
    log.setLevel(kLogInfo);
    log.write(kLogFatal, "gone");
    log.write(kLogError, "broken");
    log.write(kLogWarn, "careful %d", 7);
    log.write(kLogInfo, "%s", std::string(700, 'x').c_str());
    log.write(kLogDebug, "dropped below the threshold");
    log.setLevel(kLogDebug);
    log.write(kLogDebug, "now kept");
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find("] FATAL - gone"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("] ERROR - broken"), std::string::npos) << lines[1];
    // Four-letter names keep their blank, so the texts line up.
    EXPECT_NE(lines[2].find("] WARN  - careful 7"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("] INFO  - xxx"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[3].size(), 511u);
    EXPECT_NE(lines[4].find("] DEBUG - now kept"), std::string::npos) << lines[4];
    for (const std::string& line : lines)
        EXPECT_EQ(line[0], '[') << line;
    log.setLevel(kLogInfo);
}

TEST(EngineLogTest, PrintsNothingUntilTheHostInstallsASink) {
    // The engine's own lines go to its file only: nothing on stdout or
    // stderr of a host that installed no sink.
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EngineLog::instance().write(kLogError, "for the file only");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(EngineLogTest, FileGetsInitialisedAndFinalisedLines) {
    LogCapture capture;
    const std::string path = testing::TempDir() + "/lf-log/deeper/export_log.txt";
    EngineLog& log = EngineLog::instance();
    log.finalise();  // a previous test may have opened one
    ASSERT_TRUE(log.initialise(path));
    EXPECT_FALSE(log.initialise(path));
    EXPECT_TRUE(log.isFileOpen());
    log.setLevel(kLogDebug);
    log.write(kLogDebug, "in the file");
    ASSERT_TRUE(log.finalise());
    EXPECT_FALSE(log.finalise());
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_NE(all.str().find("INFO  - LOG INITIALISED"), std::string::npos);
    EXPECT_NE(all.str().find("DEBUG - in the file"), std::string::npos);
    EXPECT_NE(all.str().find("INFO  - LOG FINALISED"), std::string::npos);
}

TEST(EngineLogTest, ALogPastItsLimitStartsAfreshAndKeepsOnePredecessor) {
    LogCapture capture;
    const std::string dir = testing::TempDir() + "/lf-rotate-" + std::to_string(getpid());
    const std::string path = dir + "/export_log.txt";
    std::filesystem::create_directories(dir);
    std::ofstream(path + ".1") << "the oldest log";
    std::ofstream(path) << std::string(1000, 'a');
    EngineLog& log = EngineLog::instance();
    log.finalise();
    // At the limit the log is kept and appended to.
    ASSERT_TRUE(log.initialise(path, 1000));
    log.finalise();
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
    EXPECT_EQ(std::filesystem::file_size(path + ".1"), 14u);
    // Past it, the log becomes ".1" (replacing the older one), and a new one starts.
    const auto grown = std::filesystem::file_size(path);
    ASSERT_TRUE(log.initialise(path, 1000));
    log.finalise();
    EXPECT_EQ(std::filesystem::file_size(path + ".1"), grown);
    EXPECT_LT(std::filesystem::file_size(path), 200u);
    EXPECT_EQ(EngineLog::kRotateBytes, 10u * 1024 * 1024);
    std::filesystem::remove_all(dir);
}

TEST(EngineLogTest, LinesFromManyThreadsStayWhole) {
    LogCapture capture;
    const std::string path = testing::TempDir() + "/lf-threads-" + std::to_string(getpid()) + ".txt";
    std::remove(path.c_str());
    EngineLog& log = EngineLog::instance();
    log.finalise();
    ASSERT_TRUE(log.initialise(path));
    log.setLevel(kLogDebug);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&log, t] {
            for (int k = 0; k < 200; ++k)
                log.write(kLogDebug, "thread %d line %d %s", t, k, std::string(100, char('a' + t)).c_str());
        });
    for (std::thread& w : writers)
        w.join();
    log.finalise();
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        ASSERT_EQ(line[0], '[') << line;
        if (line.find("thread ") != std::string::npos) {
            const char fill = line.back();
            EXPECT_EQ(line.substr(line.size() - 100), std::string(100, fill)) << line;
        }
    }
    EXPECT_EQ(lines, 4 * 200 + 2);
    std::remove(path.c_str());
}

TEST(EngineLogTest, MediaLibraryHookDropsContextLinesAndFormatsOnce) {
    LogCapture capture;
    EngineLog::instance().setLevel(kLogDebug);
    av_log_set_callback(engineMediaLogHook);
    av_log(nullptr, AV_LOG_ERROR, "progress 50%% of %s\n", "file");
    // A line the engine itself starts with "[" is dropped like FFmpeg's.
    av_log(nullptr, AV_LOG_ERROR, "[ERROR] Framebuffer incomplete\n");
    struct Named {
        const AVClass* cls;
    };
    static AVClass kClass = [] {
        AVClass c{};
        c.class_name = "decoder";
        c.item_name = av_default_item_name;
        c.version = LIBAVUTIL_VERSION_INT;
        return c;
    }();
    Named object{&kClass};
    av_log(&object, AV_LOG_ERROR, "from a context\n");
    av_log_set_callback(av_log_default_callback);
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_EQ(textOf(lines[0]).substr(0, 20), "progress 50% of file");
}

TEST(CircleBuffer, GrowsAndKeepsOrderAcrossTheWrap) {
    lf_circlebuf cb{};
    ASSERT_TRUE(lf_circlebuf_push_back(&cb, "abc", 3));
    EXPECT_EQ(cb.capacity, 3u);
    ASSERT_TRUE(lf_circlebuf_push_back(&cb, "defg", 4));
    EXPECT_EQ(cb.capacity, 7u);
    char out[16] = {0};
    ASSERT_TRUE(lf_circlebuf_peek_front(&cb, out, 7));
    EXPECT_EQ(std::string(out, 7), "abcdefg");
    // Wrap: drop 5, add 4 (end passes the capacity), then grow while wrapped.
    ASSERT_TRUE(lf_circlebuf_pop_front(&cb, out, 5));
    EXPECT_EQ(std::string(out, 5), "abcde");
    ASSERT_TRUE(lf_circlebuf_push_back(&cb, "hijk", 4));
    EXPECT_EQ(cb.capacity, 7u);
    EXPECT_LT(cb.end_pos, cb.start_pos);
    ASSERT_TRUE(lf_circlebuf_push_back(&cb, "lmnopq", 6));
    EXPECT_EQ(cb.size, 12u);
    EXPECT_EQ(cb.capacity, 14u);
    ASSERT_TRUE(lf_circlebuf_pop_front(&cb, out, 12));
    EXPECT_EQ(std::string(out, 12), "fghijklmnopq");
    // Asking for more than is held copies nothing and fails.
    EXPECT_FALSE(lf_circlebuf_pop_front(&cb, out, 1));
    lf_circlebuf_free(&cb);
    EXPECT_EQ(cb.capacity, 0u);
    EXPECT_EQ(cb.data, nullptr);
}

TEST(AudioResamplerTest, TablesAndFormats) {
    EXPECT_EQ(audioFormatFromAV(AV_SAMPLE_FMT_FLTP), kAudioFormatFloatPlanar);
    EXPECT_EQ(audioFormatFromAV(AV_SAMPLE_FMT_DBL), kAudioFormatS16);
    EXPECT_EQ(bytesPerSample(kAudioFormatS32Planar), 4);
    EXPECT_TRUE(isPlanar(kAudioFormatU8Planar));
    EXPECT_EQ(channelsOf(7), 6);
    EXPECT_EQ(channelMaskOf(6), 0x60Fu);
    EXPECT_EQ(channelsOf(11), 0);
}

TEST(AudioResamplerTest, Converts48kTo44k) {
    const AudioSpec in{48000, 2, kAudioFormatFloatPlanar}, out{44100, 2, kAudioFormatFloatPlanar};
    // The same format needs no resampler at all.
    EXPECT_FALSE(needsResampling(out, out));
    ASSERT_TRUE(needsResampling(out, in));
    AudioResampler resampler(out, in);
    ASSERT_TRUE(resampler.valid());
    EXPECT_EQ(resampler.outputPlanes(), 2);
    std::vector<float> left(4800, 0.25f), right(4800, -0.25f);
    const uint8_t* planes[2] = {reinterpret_cast<uint8_t*>(left.data()), reinterpret_cast<uint8_t*>(right.data())};
    int total = 0;
    for (int block = 0; block < 10; ++block) {
        uint8_t* outPlanes[8] = {};
        int frames = 0;
        uint64_t offset = 0;
        ASSERT_TRUE(resampler.resample(planes, 4800, outPlanes, &frames, &offset));
        total += frames;
        if (block == 9) {
            EXPECT_NEAR(reinterpret_cast<float*>(outPlanes[0])[frames / 2], 0.25f, 0.01f);
            EXPECT_NEAR(reinterpret_cast<float*>(outPlanes[1])[frames / 2], -0.25f, 0.01f);
            EXPECT_GT(offset, 0u);
        }
    }
    // One second in gives one second out, less the resampler's delay.
    EXPECT_NEAR(total, 44100, 100);
}

}  // namespace
}  // namespace loomfold
