// lensmeta-info run as a process: its lines, messages and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample_calibration.h"

namespace {

const std::string kSamples = VISTAMO_SAMPLES_DIR;

struct InfoRun {
    int status = -1;
    std::vector<std::string> out;  // stdout lines
    std::vector<std::string> err;  // stderr lines
};

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

InfoRun runInfo(const std::vector<std::string>& args) {
    // CTest runs tests in parallel: each gets its own output files.
    const std::string stem = testing::TempDir() + "/" +
                             testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string out = stem + ".out", err = stem + ".err";
    std::string cmd = shellQuote(LENSMETA_INFO_PATH);
    for (const std::string& a : args)
        cmd += " " + shellQuote(a);
    cmd += " >" + shellQuote(out) + " 2>" + shellQuote(err);
    InfoRun run;
    const int raw = std::system(cmd.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readLines(out);
    run.err = readLines(err);
    return run;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// A structural check of one JSON line: balanced brackets outside strings,
// valid escapes, one object.
bool looksLikeOneJsonObject(const std::string& line) {
    std::vector<char> stack;
    bool inString = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (c == '\\') {
                if (++i >= line.size() || !contains("\"\\/bfnrtu", std::string(1, line[i])))
                    return false;
            } else if (c == '"') {
                inString = false;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '{' || c == '[') stack.push_back(c);
        else if (c == '}' || c == ']') {
            if (stack.empty() || stack.back() != (c == '}' ? '{' : '['))
                return false;
            stack.pop_back();
            if (stack.empty() && i + 1 != line.size())
                return false;
        }
    }
    return !inString && stack.empty() && !line.empty() && line.front() == '{';
}

TEST(LensmetaInfo, PrintsOneLinePerCalibratedFile) {
    const InfoRun r = runInfo({kSamples + "/twins.jpg", kSamples + "/twins.mp4", kSamples + "/sphere.jpg"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 3u);
    EXPECT_TRUE(r.err.empty());
    for (const std::string& line : r.out) {
        EXPECT_TRUE(looksLikeOneJsonObject(line)) << line;
        EXPECT_TRUE(contains(line, "\"found\":true")) << line;
    }
    const std::string& jpg = r.out[0];
    EXPECT_TRUE(contains(jpg, "\"path\":\"" + kSamples + "/twins.jpg\""));
    EXPECT_TRUE(contains(jpg, std::string("\"calibText\":\"") + samples::kTwinsCalibText + "\""));
    EXPECT_TRUE(contains(jpg, "\"deviceType\":6"));
    EXPECT_TRUE(contains(jpg, "\"lenses\":[{\"radius\":952,\"centerX\":960,\"centerY\":960,\"yaw\":0,"
                              "\"pitch\":0.8,\"roll\":-0.6,"));
    EXPECT_TRUE(contains(jpg, "\"photos\":[{"));
    EXPECT_TRUE(contains(jpg, "\"cropWidth\":1904"));
    EXPECT_TRUE(contains(jpg, "\"fov\":200,\"fov2\":200"));
    EXPECT_TRUE(contains(jpg, std::string("\"serial\":\"") + samples::kTwinsSerial + "\"}"));
    EXPECT_TRUE(contains(r.out[1], "\"serial\":\"\"}"));
    EXPECT_TRUE(contains(r.out[2], "\"deviceType\":5"));
    EXPECT_TRUE(contains(r.out[2], "\"calibrated\":true"));
}

TEST(LensmetaInfo, ExitsOneWhenAFileHasNoCalibration) {
    const InfoRun r = runInfo({kSamples + "/standard.mp4", kSamples + "/sphere.mp4"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.out.size(), 2u);
    EXPECT_TRUE(contains(r.out[0], "\"found\":false,\"calibText\":\"\""));
    EXPECT_TRUE(contains(r.out[0], "\"lenses\":[]"));
    EXPECT_TRUE(contains(r.out[1], "\"found\":true"));
}

TEST(LensmetaInfo, UnreadableFilesAreNamedOnStderrAndTheRestPrinted) {
    const std::string missing = kSamples + "/missing.jpg";
    const InfoRun r = runInfo({kSamples + "/twins.jpg", missing, kSamples, kSamples + "/sphere.mp4"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.out.size(), 2u);
    EXPECT_TRUE(contains(r.out[1], "sphere.mp4"));
    ASSERT_EQ(r.err.size(), 2u);
    EXPECT_TRUE(contains(r.err[0], missing)) << r.err[0];
    EXPECT_TRUE(contains(r.err[1], "is a directory")) << r.err[1];
}

TEST(LensmetaInfo, DamagedFilesKeepStdoutClean) {
    const std::string png = kSamples + "/damaged/png-named.jpg";
    const InfoRun r = runInfo({png, kSamples + "/damaged/truncated.mp4", kSamples + "/damaged/empty.jpg"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.out.size(), 3u);
    for (const std::string& line : r.out)
        EXPECT_TRUE(looksLikeOneJsonObject(line)) << line;
    // The library's own message, once, with the file's name.
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err[0], "lensmeta-info: " + png + ": Error parsing EXIF: code 1982");
}

TEST(LensmetaInfo, EscapesNamesInJson) {
    const std::string odd = testing::TempDir() + "/we\"ird\\name\t" + std::to_string(getpid()) + ".jpg";
    {
        std::ifstream in(kSamples + "/twins.jpg", std::ios::binary);
        std::ofstream out(odd, std::ios::binary);
        out << in.rdbuf();
    }
    const InfoRun r = runInfo({odd});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 1u);
    EXPECT_TRUE(looksLikeOneJsonObject(r.out[0])) << r.out[0];
    EXPECT_TRUE(contains(r.out[0], "we\\\"ird\\\\name\\t"));
    std::remove(odd.c_str());
}

TEST(LensmetaInfo, UsageErrors) {
    EXPECT_EQ(runInfo({}).status, 2);
    const InfoRun bad = runInfo({"--bogus", kSamples + "/twins.jpg"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_FALSE(bad.err.empty());
    EXPECT_EQ(runInfo({"--help"}).status, 0);
    // "--" ends the options.
    EXPECT_EQ(runInfo({"--", kSamples + "/twins.jpg"}).status, 0);
}

}  // namespace
