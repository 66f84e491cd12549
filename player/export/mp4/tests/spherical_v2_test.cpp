// The Spherical Video V2 boxes: their bytes, their reading back as a
// V2-only reader sees them, and their place in hand-built files.
#include <gtest/gtest.h>

#include <QBuffer>

#include "box_builder.h"
#include "container.h"
#include "mp4_log.h"
#include "spherical_v2.h"

namespace {

using namespace mp4test;

QByteArray bytesOf(const std::vector<char>& v) { return QByteArray(v.data(), int(v.size())); }

// A visual sample entry: the 78 bytes of fixed fields, then children.
QByteArray visualEntry(const char* type, const QByteArray& children) {
    return box(type, QByteArray(int(mp4::kVisualSampleEntryFields), '\x11') + children);
}

QByteArray fileWith(const QByteArray& videoEntry) {
    const QByteArray moov = box("moov", box("mvhd", QByteArray(100, '\x77')) +
                                            trak("vide", stco({0}), videoEntry) +
                                            trak("soun", stco({0}), soundEntry("mp4a", 0, box("esds", QByteArray(20, '\x66')))));
    return box("ftyp", QByteArray("isom\0\0\2\0", 8)) + moov + box("mdat", QByteArray(64, '\x55'));
}

// The first sample entry of the n-th "stsd" of file, whole.
QByteArray sampleEntry(const QByteArray& file, int n) {
    const FoundBox stsd = findBoxes(file, "stsd").at(size_t(n));
    const int at = int(stsd.contentStart()) + 8;
    return file.mid(at, int(readBe32(file, uint64_t(at))));
}

// What a V2-only reader sees in a sample entry.
mp4::SphericalV2 seenIn(const QByteArray& entry, bool* readable = nullptr) {
    mp4::SphericalV2 seen;
    const int children = 8 + int(mp4::kVisualSampleEntryFields);
    const bool ok = mp4::readSphericalV2(entry.constData() + children, size_t(entry.size() - children), seen);
    if (readable)
        *readable = ok;
    return seen;
}

struct Injected {
    QByteArray in, out;
    int added = -1;
    explicit Injected(const QByteArray& file) : in(file) {
        mp4::setTraceSink(nullptr);
        QBuffer input(&in);
        input.open(QIODevice::ReadOnly);
        auto tree = mp4::Mpeg4Container::load(input);
        if (!tree)
            return;
        added = mp4::addSphericalV2Boxes(*tree, input);
        QBuffer output(&out);
        output.open(QIODevice::WriteOnly);
        if (!tree->save(input, output))
            out.clear();
    }
    ~Injected() { mp4::resetLogSinks(); }
};

TEST(SphericalV2Boxes, BytesAsTheFormatLaysThemOut) {
    EXPECT_EQ(bytesOf(mp4::makeSt3dBox()), box("st3d", be32(0) + QByteArray(1, '\0')));
    const QByteArray svhd = box("svhd", be32(0) + QByteArray("Vistamo", 8));
    const QByteArray prhd = box("prhd", be32(0) + be32(0) + be32(0) + be32(0));
    const QByteArray equi = box("equi", be32(0) + be32(0) + be32(0) + be32(0) + be32(0));
    EXPECT_EQ(bytesOf(mp4::makeSv3dBox()), box("sv3d", svhd + box("proj", prhd + equi)));
}

TEST(SphericalV2Boxes, ReadBackAsAV2OnlyReaderSeesThem) {
    std::vector<char> both = mp4::makeSt3dBox();
    const std::vector<char> sv3d = mp4::makeSv3dBox("Other source");
    both.insert(both.end(), sv3d.begin(), sv3d.end());
    mp4::SphericalV2 seen;
    ASSERT_TRUE(mp4::readSphericalV2(both.data(), both.size(), seen));
    EXPECT_TRUE(seen.hasSt3d);
    EXPECT_EQ(seen.stereoMode, 0);
    EXPECT_TRUE(seen.hasSv3d);
    EXPECT_TRUE(seen.hasSvhd);
    EXPECT_EQ(seen.metadataSource, "Other source");
    EXPECT_EQ(seen.projection, "equi");
    EXPECT_EQ(seen.yaw | seen.pitch | seen.roll, 0);
    EXPECT_EQ(seen.boundsTop | seen.boundsBottom | seen.boundsLeft | seen.boundsRight, 0u);
    // Cut anywhere inside, the boxes are refused rather than misread.
    for (size_t cut = 1; cut < both.size(); ++cut) {
        mp4::SphericalV2 partial;
        EXPECT_FALSE(mp4::readSphericalV2(both.data(), cut, partial) && partial.hasSvhd &&
                     partial.projection == "equi" && cut < both.size())
            << cut;
    }
}

TEST(SphericalV2Injection, EveryVideoEntryGetsBothAfterItsOwnChildren) {
    const QByteArray avcC = box("avcC", QByteArray(30, '\x22'));
    for (const char* codec : {"avc1", "hvc1"}) {
        Injected f(fileWith(visualEntry(codec, avcC)));
        ASSERT_EQ(f.added, 1) << codec;
        ASSERT_FALSE(f.out.isEmpty());
        const QByteArray entry = sampleEntry(f.out, 0);
        EXPECT_EQ(entry.mid(4, 4), QByteArray(codec));
        // Byte for byte: the old entry, then the two boxes.
        const QByteArray old = sampleEntry(f.in, 0);
        EXPECT_EQ(entry.mid(8, old.size() - 8), old.mid(8));
        EXPECT_EQ(entry.mid(old.size()), bytesOf(mp4::makeSt3dBox()) + bytesOf(mp4::makeSv3dBox()));
        EXPECT_EQ(readBe32(entry, 0), uint32_t(entry.size()));
        bool readable = false;
        const mp4::SphericalV2 seen = seenIn(entry, &readable);
        EXPECT_TRUE(readable);
        EXPECT_TRUE(seen.hasSvhd);
        EXPECT_EQ(seen.metadataSource, "Vistamo");
        EXPECT_EQ(seen.projection, "equi");
        // The sound track is left as it was.
        EXPECT_EQ(sampleEntry(f.out, 1), sampleEntry(f.in, 1));
        // The parents grew by the boxes, and so the file.
        const int growth = int(mp4::makeSt3dBox().size() + mp4::makeSv3dBox().size());
        EXPECT_EQ(f.out.size(), f.in.size() + growth);
        EXPECT_EQ(findBoxes(f.out, "moov").at(0).size, findBoxes(f.in, "moov").at(0).size + uint64_t(growth));
    }
}

TEST(SphericalV2Injection, EntriesThatHaveV2OrAreNotVisualAreLeftAlone) {
    const QByteArray st3d = bytesOf(mp4::makeSt3dBox());
    for (const QByteArray& entry : {visualEntry("avc1", st3d), visualEntry("avc1", bytesOf(mp4::makeSv3dBox())),
                                    box("avc1", QByteArray(40, '\x11')),  // shorter than the visual fields
                                    visualEntry("avc1", QByteArray("\0\0\0\x30junk", 8))}) {  // a child past the end
        Injected f(fileWith(entry));
        EXPECT_EQ(f.added, 0);
        EXPECT_EQ(f.out, f.in);
    }
}

}  // namespace
