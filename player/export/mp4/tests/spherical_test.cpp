// Spherical metadata on MP4 files that the ffmpeg command wrote, checked
// with real clients: ffprobe must see the projection, exiftool the XMP tags,
// and decoding must give the same frames and samples as the input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "box_builder.h"
#include "mp4_log.h"
#include "spherical_metadata.h"
#include "spherical_v2.h"

namespace {

using namespace mp4test;

const QString kFixtures = QStringLiteral(MP4_FIXTURES_DIR);

std::string shellQuote(const QString& s) {
    std::string q = "'";
    for (char c : s.toStdString())
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; returns its exit status and standard output.
int run(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        text.append(buf, n);
    const int status = pclose(pipe);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Decoded video frames and audio samples, one checksum line each.
std::string decodedChecksums(const QString& path) {
    std::string out;
    run("ffmpeg -nostdin -v error -i " + shellQuote(path) + " -map 0 -f framemd5 - | grep -v '^#'", &out);
    return out;
}

class SphericalInjection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        mp4::setTraceSink(nullptr);
    }
    void TearDown() override { mp4::resetLogSinks(); }
    QString out(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

TEST_F(SphericalInjection, BoxContent) {
    const std::string xml = mp4::sphericalXml();
    EXPECT_EQ(std::count(xml.begin(), xml.end(), '\n'), 2);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?><rdf:SphericalVideo\nxmlns:rdf=", 0), 0u);
    EXPECT_NE(xml.find("<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>"), std::string::npos);
    EXPECT_EQ(xml.substr(xml.size() - 21), "</rdf:SphericalVideo>");
    const std::unique_ptr<mp4::Box> box = mp4::makeSphericalBox();
    EXPECT_EQ(box->type(), "uuid");
    EXPECT_EQ(box->totalSize(), 8 + 16 + xml.size());
    const std::vector<char>& p = *box->payload;
    EXPECT_EQ(uint8_t(p[0]), 0xff);
    EXPECT_EQ(uint8_t(p[15]), 0xdd);
    EXPECT_EQ(std::string(p.begin() + 16, p.end()), xml);
}

TEST_F(SphericalInjection, RealFilesPlayWithTheProjection) {
    for (const char* name : {"moov-first.mp4", "moov-last.mp4", "two-video.mp4"}) {
        const QString in = kFixtures + "/" + name;
        const QString result = out(name);
        ASSERT_EQ(injectSphericalMetadata(in.toStdString(), result.toStdString()), 0) << name;

        std::string probe;
        ASSERT_EQ(run("ffprobe -v error -select_streams v -show_entries stream=index:stream_side_data=side_data_type,projection -of compact " +
                      shellQuote(result), &probe), 0);
        const int videoStreams = QString::fromLatin1(name) == "two-video.mp4" ? 2 : 1;
        int projections = 0;
        for (size_t at = probe.find("projection=equirectangular"); at != std::string::npos;
             at = probe.find("projection=equirectangular", at + 1))
            ++projections;
        EXPECT_EQ(projections, videoStreams) << name << "\n" << probe;
        // The V2 boxes are read without a warning (a "sv3d" without "svhd"
        // gets one), and "st3d" gives the stereo mode.
        std::string warnings;
        ASSERT_EQ(run("ffprobe -v warning -show_streams " + shellQuote(result) + " 2>&1 >/dev/null", &warnings), 0);
        EXPECT_EQ(warnings, "") << name;
        std::string stereo;
        run("ffprobe -v error -select_streams v -show_entries stream_side_data=side_data_type -of csv " +
                shellQuote(result), &stereo);
        EXPECT_NE(stereo.find("Stereo 3D"), std::string::npos) << stereo;
        // What a V2-only reader sees in each video track's sample entry.
        const QByteArray written = readAll(result);
        int seen = 0;
        for (const FoundBox& stsd : findBoxes(written, "stsd")) {
            const uint64_t entry = stsd.contentStart() + 8;
            const uint32_t size = readBe32(written, entry);
            const QByteArray type = written.mid(int(entry) + 4, 4);
            if (type != "avc1")
                continue;
            mp4::SphericalV2 v2;
            const uint64_t children = entry + 8 + mp4::kVisualSampleEntryFields;
            ASSERT_TRUE(mp4::readSphericalV2(written.constData() + children, entry + size - children, v2));
            EXPECT_EQ(v2.stereoMode, 0);
            EXPECT_EQ(v2.metadataSource, "Vistamo");
            EXPECT_EQ(v2.projection, "equi");
            ++seen;
        }
        EXPECT_EQ(seen, videoStreams) << name;

        std::string tags;
        run("exiftool -q -XMP-GSpherical:all " + shellQuote(result), &tags);
        EXPECT_NE(tags.find("Projection Type"), std::string::npos) << tags;
        EXPECT_NE(tags.find("equirectangular"), std::string::npos) << tags;
        EXPECT_NE(tags.find("Stitched"), std::string::npos) << tags;

        const std::string before = decodedChecksums(in);
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(decodedChecksums(result), before) << name;
    }
}

TEST_F(SphericalInjection, TracksGetOneBoxEachAndAudioIsUntouched) {
    const QString in = kFixtures + "/two-video.mp4";
    const QString result = out("two.mp4");
    const mp4::InjectResult r = mp4::injectSpherical(in, result);
    ASSERT_EQ(r.status, mp4::InjectStatus::Ok);
    EXPECT_EQ(r.boxesAdded, 2);
    EXPECT_EQ(r.v2EntriesAdded, 2);
    const QByteArray a = readAll(in), b = readAll(result);
    const uint64_t growth =
        2 * (24 + mp4::sphericalXml().size() + mp4::makeSt3dBox().size() + mp4::makeSv3dBox().size());
    EXPECT_EQ(uint64_t(b.size()), uint64_t(a.size()) + growth);
    const std::vector<uint64_t> offsetsIn = chunkOffsets(a), offsetsOut = chunkOffsets(b);
    ASSERT_EQ(offsetsIn.size(), offsetsOut.size());
    for (size_t k = 0; k < offsetsIn.size(); ++k)
        EXPECT_EQ(offsetsOut[k], offsetsIn[k] + growth);
    // The audio track (the third) is the same bytes but for its offsets.
    const FoundBox audioIn = findBoxes(a, "trak").at(2), audioOut = findBoxes(b, "trak").at(2);
    ASSERT_EQ(audioIn.size, audioOut.size);
    const FoundBox tableIn = findBoxes(a.mid(int(audioIn.position), int(audioIn.size)), "stco").at(0);
    EXPECT_EQ(a.mid(int(audioIn.position), int(tableIn.position)),
              b.mid(int(audioOut.position), int(tableIn.position)));
    EXPECT_TRUE(findBoxes(b.mid(int(audioOut.position), int(audioOut.size)), "uuid").empty());
    EXPECT_EQ(b.mid(int(audioOut.position), int(audioOut.size)).indexOf("sv3d"), -1);
}

TEST_F(SphericalInjection, WithoutVideoTheFileIsRewrittenUnchanged) {
    const QString in = kFixtures + "/audio-only.mp4";
    const mp4::InjectResult r = mp4::injectSpherical(in, out("audio.mp4"));
    ASSERT_EQ(r.status, mp4::InjectStatus::Ok);
    EXPECT_EQ(r.boxesAdded, 0);
    EXPECT_EQ(r.v2EntriesAdded, 0);
    EXPECT_EQ(readAll(out("audio.mp4")), readAll(in));
}

TEST_F(SphericalInjection, ASecondInjectionAddsNothing) {
    ASSERT_EQ(mp4::injectSpherical(kFixtures + "/moov-first.mp4", out("once.mp4")).status, mp4::InjectStatus::Ok);
    mp4::setErrorSink(nullptr);
    const mp4::InjectResult again = mp4::injectSpherical(out("once.mp4"), out("twice.mp4"));
    EXPECT_EQ(again.status, mp4::InjectStatus::Ok);
    EXPECT_EQ(again.boxesAdded, 0);
    EXPECT_EQ(again.v2EntriesAdded, 0);
    EXPECT_EQ(readAll(out("twice.mp4")), readAll(out("once.mp4")));
}

TEST_F(SphericalInjection, SixtyFourBitMdatFromARealFile) {
    // Turn ffmpeg's "free" + "mdat" pair into one 64-bit "mdat" header of the
    // same length, so that every chunk offset stays valid.
    QByteArray file = readAll(kFixtures + "/moov-last.mp4");
    const FoundBox free = findBoxes(file, "free").at(0), mdat = findBoxes(file, "mdat").at(0);
    ASSERT_EQ(free.size, 8u);
    ASSERT_EQ(free.position + 8, mdat.position);
    file.replace(int(free.position), 16, be32(1) + QByteArray("mdat") + be64(mdat.size + 8));
    QFile wide(out("wide.mp4"));
    ASSERT_TRUE(wide.open(QIODevice::WriteOnly));
    wide.write(file);
    wide.close();
    ASSERT_EQ(mp4::injectSpherical(out("wide.mp4"), out("wide-out.mp4")).status, mp4::InjectStatus::Ok);
    const QByteArray result = readAll(out("wide-out.mp4"));
    const FoundBox outMdat = findBoxes(result, "mdat").at(0);
    EXPECT_EQ(outMdat.headerSize, 16u);
    EXPECT_EQ(outMdat.size, mdat.size + 8);
    EXPECT_EQ(decodedChecksums(out("wide-out.mp4")), decodedChecksums(kFixtures + "/moov-last.mp4"));
}

TEST_F(SphericalInjection, FailuresLeaveNothingBehind) {
    mp4::setErrorSink(nullptr);
    EXPECT_EQ(injectSphericalMetadata((kFixtures + "/not-mp4.mp4").toStdString(), out("x.mp4").toStdString()), -1);
    EXPECT_EQ(mp4::injectSpherical(kFixtures + "/not-mp4.mp4", out("x.mp4")).status, mp4::InjectStatus::NotMp4);
    EXPECT_EQ(mp4::injectSpherical(out("missing.mp4"), out("x.mp4")).status, mp4::InjectStatus::CannotOpenInput);
    EXPECT_EQ(mp4::injectSpherical(kFixtures + "/moov-first.mp4", out("no/such/dir/x.mp4")).status,
              mp4::InjectStatus::CannotWrite);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(SphericalInjection, NeverWritesOverTheInput) {
    const QString copy = out("input.mp4");
    ASSERT_TRUE(QFile::copy(kFixtures + "/moov-first.mp4", copy));
    const QByteArray before = readAll(copy);
    EXPECT_EQ(mp4::injectSpherical(copy, copy).status, mp4::InjectStatus::SameFile);
    ASSERT_EQ(::link(QFile::encodeName(copy).constData(), QFile::encodeName(out("hard.mp4")).constData()), 0);
    EXPECT_EQ(mp4::injectSpherical(copy, out("hard.mp4")).status, mp4::InjectStatus::SameFile);
    EXPECT_EQ(readAll(copy), before);
}

TEST_F(SphericalInjection, ReplacesAnExistingOutputOnlyWhenDone) {
    QFile existing(out("result.mp4"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old contents");
    existing.close();
    mp4::setErrorSink(nullptr);
    EXPECT_NE(mp4::injectSpherical(kFixtures + "/not-mp4.mp4", out("result.mp4")).status, mp4::InjectStatus::Ok);
    EXPECT_EQ(readAll(out("result.mp4")), QByteArray("old contents"));
    EXPECT_EQ(mp4::injectSpherical(kFixtures + "/moov-first.mp4", out("result.mp4")).status, mp4::InjectStatus::Ok);
    EXPECT_GT(readAll(out("result.mp4")).size(), 1000);
}

// The command-line tool.
class SphericalInjectTool : public SphericalInjection {
protected:
    int tool(const std::string& args, std::string* stdoutText = nullptr, std::string* stderrText = nullptr) {
        const QString err = out("tool.err");
        const int status = run(shellQuote(SPHERICAL_INJECT_PATH) + " " + args + " 2>" + shellQuote(err), stdoutText);
        if (stderrText)
            *stderrText = readAll(err).toStdString();
        QFile::remove(err);
        return status;
    }
};

TEST_F(SphericalInjectTool, SuccessPrintsTheTreeUnlessQuiet) {
    const QString in = kFixtures + "/moov-first.mp4";
    std::string text, err;
    EXPECT_EQ(tool(shellQuote(in) + " " + shellQuote(out("a.mp4")), &text, &err), 0);
    EXPECT_NE(text.find("mpeg4 ["), std::string::npos);
    EXPECT_NE(text.find("{ ├──} {moov}"), std::string::npos);
    EXPECT_NE(text.find(" save file end \r\n"), std::string::npos);
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_EQ(tool("--quiet " + shellQuote(in) + " " + shellQuote(out("b.mp4")), &text, &err), 0);
    EXPECT_TRUE(text.empty()) << text;
    EXPECT_EQ(readAll(out("a.mp4")), readAll(out("b.mp4")));
}

TEST_F(SphericalInjectTool, FailuresAreOneLineAndLeaveNoFile) {
    std::string text, err;
    EXPECT_EQ(tool("--quiet " + shellQuote(kFixtures + "/not-mp4.mp4") + " " + shellQuote(out("c.mp4")), &text, &err), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("is not a readable MP4 file"), std::string::npos) << err;
    EXPECT_FALSE(QFile::exists(out("c.mp4")));

    EXPECT_EQ(tool(shellQuote(kFixtures + "/moov-first.mp4"), &text, &err), 2);
    EXPECT_EQ(tool("--bogus a b", &text, &err), 2);

    // A full disk, by the file-size limit: the write fails, nothing is left.
    const QString in = kFixtures + "/moov-first.mp4";
    const std::string limited = "sh -c \"trap '' XFSZ; ulimit -f 64; exec " + shellQuote(SPHERICAL_INJECT_PATH) +
                                " --quiet " + shellQuote(in) + " " + shellQuote(out("full.mp4")) + "\" 2>" +
                                shellQuote(out("full.err"));
    EXPECT_EQ(run(limited), 1);
    EXPECT_NE(readAll(out("full.err")).indexOf("cannot write"), -1) << readAll(out("full.err")).toStdString();
    QFile::remove(out("full.err"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

}  // namespace
