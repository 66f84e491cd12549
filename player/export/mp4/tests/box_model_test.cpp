// The box model on hand-built trees: loading, the bounds it enforces,
// resizing, and the chunk-offset shift on save.
#include <gtest/gtest.h>

#include <QBuffer>

#include <thread>

#include "box_builder.h"
#include "container.h"
#include "mp4_log.h"
#include "mpeg4_container.h"
#include "sa3d_box.h"
#include "spherical_metadata.h"

namespace {

using namespace mp4test;

// Loads bytes with the trace silenced and the error lines collected.
struct Loaded {
    QByteArray bytes;
    QBuffer input;
    std::unique_ptr<mp4::Mpeg4Container> tree;
    std::vector<std::string> errors;

    explicit Loaded(const QByteArray& file) : bytes(file), input(&bytes) {
        mp4::setTraceSink(nullptr);
        mp4::setErrorSink([this](const std::string& line) { errors.push_back(line); });
        input.open(QIODevice::ReadOnly);
        tree = mp4::Mpeg4Container::load(input);
    }
    ~Loaded() { mp4::resetLogSinks(); }

    // Saves the tree into memory; empty on failure.
    QByteArray save() {
        QByteArray out;
        QBuffer output(&out);
        output.open(QIODevice::WriteOnly);
        return tree->save(input, output) ? out : QByteArray();
    }
    bool hasError(const std::string& line) const {
        return std::find(errors.begin(), errors.end(), line) != errors.end();
    }
};

const QByteArray kFtyp = box("ftyp", QByteArray("isom\0\0\2\0isomiso2", 16));

// A file with one video and one sound track whose chunk offsets point into
// the media data, "moov" first or last.
QByteArray sampleFile(bool moovFirst, QByteArray mdatBox = QByteArray()) {
    if (mdatBox.isEmpty())
        mdatBox = box("mdat", QByteArray(4000, '\x55'));
    const auto make = [&](uint32_t mdatContent) {
        const QByteArray audio = soundEntry("mp4a", 0, box("esds", QByteArray(20, '\x66')));
        return box("moov", box("mvhd", QByteArray(100, '\x77')) +
                               trak("vide", stco({mdatContent, mdatContent + 1000})) +
                               trak("soun", co64({uint64_t(mdatContent) + 2000}), audio));
    };
    const uint32_t mdatHeader = uint32_t(readBe32(mdatBox, 0) == 1 ? 16 : 8);
    if (moovFirst) {
        // Two passes: the offsets depend on the size of "moov" itself.
        const QByteArray probe = make(0);
        return kFtyp + make(uint32_t(kFtyp.size() + probe.size()) + mdatHeader) + mdatBox;
    }
    return kFtyp + mdatBox + make(uint32_t(kFtyp.size()) + mdatHeader);
}

TEST(BoxModelLoad, ReadsTheTree) {
    Loaded f(sampleFile(true));
    ASSERT_TRUE(f.tree) << (f.errors.empty() ? "" : f.errors[0]);
    ASSERT_EQ(f.tree->children.size(), 3u);
    EXPECT_EQ(f.tree->ftyp, f.tree->children.front().get());
    EXPECT_EQ(f.tree->contentSize, uint64_t(f.bytes.size()));
    EXPECT_EQ(f.tree->firstMdatPosition, f.tree->mdat->position + 8);
    EXPECT_EQ(f.tree->boxKind(), 1);
    auto* moov = static_cast<mp4::Container*>(f.tree->moov);
    EXPECT_EQ(moov->boxKind(), 1);
    EXPECT_EQ(moov->children.size(), 3u);
}

TEST(BoxModelLoad, SampleDescriptionPrefixes) {
    for (uint16_t version : {0, 1, 2}) {
        const QByteArray entry = soundEntry("mp4a", version, box("esds", QByteArray(20, '\x66')));
        Loaded f(kFtyp + box("moov", trak("soun", stco({}), entry)) + box("mdat", "x"));
        ASSERT_TRUE(f.tree) << version;
        std::vector<mp4::Box*> stack{f.tree->moov};
        mp4::Container* stsd = nullptr;
        mp4::Container* mp4a = nullptr;
        while (!stack.empty()) {
            mp4::Box* b = stack.back();
            stack.pop_back();
            if (b->type() == "stsd") stsd = static_cast<mp4::Container*>(b);
            if (b->type() == "mp4a") mp4a = static_cast<mp4::Container*>(b);
            if (b->boxKind() == 1)
                for (auto& c : static_cast<mp4::Container*>(b)->children)
                    stack.push_back(c.get());
        }
        ASSERT_TRUE(stsd && mp4a);
        EXPECT_EQ(stsd->prefixSize, 8u);
        EXPECT_EQ(mp4a->prefixSize, version == 0 ? 28u : version == 1 ? 44u : 64u);
        ASSERT_EQ(mp4a->children.size(), 1u);
        EXPECT_EQ(mp4a->children.front()->type(), "esds");
        // Saved unchanged, the file is byte-identical.
        EXPECT_EQ(f.save(), f.bytes) << version;
    }
}

TEST(BoxModelLoad, ShortMp4aIsALeafAndUnknownVersionsHaveNoPrefix) {
    Loaded leaf(kFtyp + box("moov", trak("soun", stco({}), box("mp4a", "abcd"))) + box("mdat", "x"));
    ASSERT_TRUE(leaf.tree);
    EXPECT_EQ(leaf.save(), leaf.bytes);

    // Version 7: "Unsupported", prefix 0, so the fields are read as boxes and fail.
    QByteArray entry = soundEntry("mp4a", 0, box("esds", "x"));
    entry[8 + 8] = 0;
    entry[8 + 9] = 7;
    Loaded odd(kFtyp + box("moov", trak("soun", stco({}), entry)) + box("mdat", "x"));
    EXPECT_TRUE(odd.hasError("Unsupported sample description version:7"));
}

TEST(BoxModelLoad, RefusesBrokenStructure) {
    struct Case {
        const char* what;
        QByteArray file;
        const char* message;
    };
    const QByteArray moov = box("moov", box("mvhd", "x"));
    const QByteArray mdat = box("mdat", "data");
    QByteArray childPastParent = box("moov", box("mvhd", "xx"));
    childPastParent[11] = char(200);  // mvhd claims 200 bytes inside a 18-byte moov
    const Case cases[] = {
        {"no moov", kFtyp + mdat, "Error, file does not contain moov box."},
        {"no mdat", kFtyp + moov, "Error, file does not contain mdat box."},
        {"trailing bytes", kFtyp + moov + mdat + QByteArray("abc"), "Error, failed to load .mp4 file."},
        {"size below 8", kFtyp + be32(4) + QByteArray("free"), "Error, invalid size 4 in free at 24"},
        {"64-bit size below 16", kFtyp + be32(1) + QByteArray("mdat") + be64(12), "Error, invalid size 12 in mdat at 24"},
        {"leaf past the end", kFtyp + be32(100) + QByteArray("free"), "Error: Leaf box size exceeds bounds."},
        {"container past the end", kFtyp + be32(100) + QByteArray("moov"), "Error: Container box size exceeds bounds."},
        {"child past its parent", kFtyp + childPastParent + mdat, "Error: Leaf box size exceeds bounds."},
        {"empty container", kFtyp + box("moov", QByteArray()) + mdat, "Error, failed to load box."},
        {"empty file", QByteArray(), "Error, failed to load .mp4 file."},
    };
    for (const Case& c : cases) {
        Loaded f(c.file);
        EXPECT_FALSE(f.tree) << c.what;
        EXPECT_TRUE(f.hasError(c.message)) << c.what << ": " << (f.errors.empty() ? "" : f.errors[0]);
    }
}

TEST(BoxModelLoad, NestingIsBounded) {
    QByteArray nested = box("free", "x");
    for (int k = 0; k < 200; ++k)
        nested = box("udta", nested);
    Loaded f(kFtyp + box("moov", nested) + box("mdat", "x"));
    EXPECT_FALSE(f.tree);
    EXPECT_FALSE(f.errors.empty());

    QByteArray shallow = box("free", "x");
    for (int k = 0; k < 40; ++k)
        shallow = box("udta", shallow);
    Loaded ok(kFtyp + box("moov", shallow) + box("mdat", "x"));
    EXPECT_TRUE(ok.tree);
}

TEST(BoxModelLoad, SpatialAudioBox) {
    const QByteArray fields = QByteArray("\0\1", 2) + be32(1) + QByteArray("\2\3", 2);
    // The count claims four billion channels; the box holds two.
    const QByteArray sa3d = box("SA3D", fields + be32(0xFFFFFFFFu) + be32(10) + be32(11));
    const QByteArray entry = soundEntry("mp4a", 0, sa3d);
    Loaded f(kFtyp + box("moov", trak("soun", stco({}), entry)) + box("mdat", "x"));
    ASSERT_TRUE(f.tree);
    const mp4::SA3DBox* found = nullptr;
    std::vector<mp4::Box*> stack{f.tree->moov};
    while (!stack.empty()) {
        mp4::Box* b = stack.back();
        stack.pop_back();
        if (b->type() == "SA3D") found = dynamic_cast<const mp4::SA3DBox*>(b);
        if (b->boxKind() == 1)
            for (auto& c : static_cast<mp4::Container*>(b)->children)
                stack.push_back(c.get());
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->ambisonicType, 1);
    EXPECT_EQ(found->ambisonicOrder, 1u);
    EXPECT_EQ(found->normalization, 3);
    EXPECT_EQ(found->channelCount, 0xFFFFFFFFu);
    EXPECT_EQ(found->channelMap, (std::vector<uint32_t>{10, 11}));
    EXPECT_EQ(f.save(), f.bytes);

    // In the 64-bit size form its content still starts after 16 bytes.
    const QByteArray wide = box64("SA3D", fields + be32(1) + be32(7));
    Loaded w(kFtyp + box("moov", trak("soun", stco({}), soundEntry("mp4a", 0, wide))) + box("mdat", "x"));
    ASSERT_TRUE(w.tree);
    EXPECT_EQ(w.save(), w.bytes);
}

TEST(BoxModelEdit, AddChildRefusesADuplicateType) {
    Loaded f(sampleFile(true));
    ASSERT_TRUE(f.tree);
    auto& moov = static_cast<mp4::Container&>(*f.tree->moov);
    const size_t before = moov.children.size();
    auto duplicate = std::make_unique<mp4::Box>();
    duplicate->setType("mvhd");
    EXPECT_FALSE(moov.addChild(std::move(duplicate)));
    EXPECT_TRUE(f.hasError("Error, cannot merge leafs."));
    EXPECT_EQ(moov.children.size(), before);
}

TEST(BoxModelSave, MoovFirstShiftsEveryChunkOffsetByTheGrowth) {
    Loaded f(sampleFile(true));
    ASSERT_TRUE(f.tree);
    const std::vector<uint64_t> before = chunkOffsets(f.bytes);
    EXPECT_EQ(mp4::addSphericalBoxes(*f.tree, f.input), 1);
    const QByteArray out = f.save();
    ASSERT_FALSE(out.isEmpty());
    const uint64_t growth = 24 + mp4::sphericalXml().size();
    EXPECT_EQ(uint64_t(out.size()), uint64_t(f.bytes.size()) + growth);
    const std::vector<uint64_t> after = chunkOffsets(out);
    ASSERT_EQ(after.size(), before.size());
    for (size_t k = 0; k < before.size(); ++k)
        EXPECT_EQ(after[k], before[k] + growth) << k;
    // The media data is copied unchanged to its new place.
    const FoundBox mdat = findBoxes(out, "mdat").at(0);
    EXPECT_EQ(out.mid(int(mdat.contentStart())), f.bytes.mid(int(f.tree->firstMdatPosition)));
    // The spherical box is the last child of the video track only.
    const std::vector<FoundBox> uuids = findBoxes(out, "uuid");
    ASSERT_EQ(uuids.size(), 1u);
    const FoundBox trak = findBoxes(out, "trak").at(0);
    EXPECT_EQ(uuids[0].position + uuids[0].size, trak.position + trak.size);
}

TEST(BoxModelSave, MoovLastKeepsTheOffsets) {
    Loaded f(sampleFile(false));
    ASSERT_TRUE(f.tree);
    const std::vector<uint64_t> before = chunkOffsets(f.bytes);
    mp4::addSphericalBoxes(*f.tree, f.input);
    EXPECT_EQ(f.tree->mdatShift(), 0);
    const QByteArray out = f.save();
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(chunkOffsets(out), before);
    EXPECT_EQ(out.left(int(f.tree->mdat->position + f.tree->mdat->totalSize())),
              f.bytes.left(int(f.tree->mdat->position + f.tree->mdat->totalSize())));
}

TEST(BoxModelSave, SixtyFourBitMdatKeepsItsLongHeader) {
    Loaded f(sampleFile(true, box64("mdat", QByteArray(3000, '\x55'))));
    ASSERT_TRUE(f.tree);
    EXPECT_EQ(f.tree->mdat->headerSize, 16u);
    mp4::addSphericalBoxes(*f.tree, f.input);
    const QByteArray out = f.save();
    ASSERT_FALSE(out.isEmpty());
    const FoundBox mdat = findBoxes(out, "mdat").at(0);
    EXPECT_EQ(mdat.headerSize, 16u);
    EXPECT_EQ(readBe32(out, mdat.position), 1u);
    EXPECT_EQ(readBe64(out, mdat.position + 8), 16u + 3000u);
    EXPECT_EQ(chunkOffsets(out).front(), mdat.contentStart());
}

TEST(BoxModelSave, StcoPastFourGigabytesBecomesCo64) {
    // Entries near 2^32 that the shift pushes past it. The table grows by
    // four bytes an entry as it widens, which moves the data once more.
    const std::vector<uint32_t> high = {0xFFFFFF00u, 0xFFFFFFF0u, 100};
    const QByteArray moov = box("moov", trak("vide", stco(high)));
    Loaded f(kFtyp + moov + box("mdat", QByteArray(64, '\x55')));
    ASSERT_TRUE(f.tree);
    mp4::addSphericalBoxes(*f.tree, f.input);
    const QByteArray out = f.save();
    ASSERT_FALSE(out.isEmpty()) << (f.errors.empty() ? "" : f.errors[0]);
    EXPECT_TRUE(findBoxes(out, "stco").empty());
    ASSERT_EQ(findBoxes(out, "co64").size(), 1u);
    const uint64_t shift = 24 + mp4::sphericalXml().size() + 4 * high.size();
    EXPECT_EQ(uint64_t(out.size()), uint64_t(f.bytes.size()) + shift);
    EXPECT_EQ(chunkOffsets(out), (std::vector<uint64_t>{0xFFFFFF00ull + shift, 0xFFFFFFF0ull + shift, 100 + shift}));
    // The sizes of every enclosing box were updated: the file walks cleanly.
    EXPECT_EQ(findBoxes(out, "mdat").at(0).contentStart(), f.tree->firstMdatPosition + shift);
}

TEST(BoxModelSave, OffsetsThatCannotMoveFailTheSave) {
    const QByteArray moov = box("moov", trak("vide", co64({0x7FFFFFFFFFFFFFF0ull})));
    Loaded f(kFtyp + moov + box("mdat", "x"));
    ASSERT_TRUE(f.tree);
    mp4::addSphericalBoxes(*f.tree, f.input);
    EXPECT_TRUE(f.save().isEmpty());

    // A table that claims more entries than it holds.
    QByteArray lying = stco({1, 2});
    lying[15] = 9;
    Loaded g(kFtyp + box("moov", trak("vide", lying)) + box("mdat", "x"));
    ASSERT_TRUE(g.tree);
    EXPECT_TRUE(g.save().isEmpty());
    EXPECT_TRUE(g.hasError("Error, chunk offset table is larger than its box."));
}

// A device that accepts a fixed number of bytes, then fails like a full disk.
class FullDevice : public QIODevice {
public:
    explicit FullDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 n) override {
        if (room_ <= 0)
            return -1;
        const qint64 taken = std::min(n, room_);
        room_ -= taken;
        return taken;
    }

private:
    qint64 room_;
};

TEST(BoxModelSave, WriteAndReadFailuresAreReported) {
    Loaded f(sampleFile(true));
    ASSERT_TRUE(f.tree);
    mp4::addSphericalBoxes(*f.tree, f.input);
    for (qint64 room : {0, 10, 500, 4000}) {
        FullDevice full(room);
        EXPECT_FALSE(f.tree->save(f.input, full)) << room;
    }
    // The input shrinks between load and save.
    f.bytes.truncate(f.bytes.size() - 100);
    EXPECT_TRUE(f.save().isEmpty());
}

TEST(BoxModelPrint, TreeLines) {
    const QByteArray file = kFtyp + box("moov", box("mvhd", "abcd") + box("udta", box("free", ""))) + box("mdat", "xy");
    Loaded f(file);
    ASSERT_TRUE(f.tree);
    std::string printed;
    mp4::setTraceSink([&printed](const std::string& t) { printed += t; });
    f.tree->print("");
    EXPECT_EQ(printed,
              "mpeg4 [" + std::to_string(file.size()) + "]\n"
              "{ ├──}{ftyp} [{8}, {16}]\n"
              "{ ├──} {moov} [{8}, {28}]\n"
              "{ ├── ├──}{mvhd} [{8}, {4}]\n"
              "{ ├── └──} {udta} [{8}, {8}]\n"
              "{ ├── └── └──}{free} [{8}, {0}]\n"
              "{ └──}{mdat} [{8}, {2}]\n");
}

TEST(BoxModelPrint, TraceLines) {
    Loaded f(kFtyp + box("moov", box("mvhd", "abcd")) + box("mdat", "xy"));
    std::string trace;
    mp4::setTraceSink([&trace](const std::string& t) { trace += t; });
    f.input.seek(0);
    auto again = mp4::Mpeg4Container::load(f.input);
    ASSERT_TRUE(again);
    EXPECT_NE(trace.find(" content save mvhd,8,0 \r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("newbox moov 24 0 8 0 \r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("mdat 52,0,8 \r\n"), std::string::npos) << trace;
}

}  // namespace

// Two calls on two threads each keep their own diagnostics.
TEST(Mp4Log, SinksBelongToTheirThread) {
    std::vector<std::string> mine, theirs;
    const mp4::LogScope scope(nullptr, [&mine](const std::string& line) { mine.push_back(line); });
    std::thread other([&theirs] {
        const mp4::LogScope own(nullptr, [&theirs](const std::string& line) { theirs.push_back(line); });
        mp4::error("from the other thread");
    });
    other.join();
    mp4::error("from this thread");
    EXPECT_EQ(mine, std::vector<std::string>{"from this thread"});
    EXPECT_EQ(theirs, std::vector<std::string>{"from the other thread"});
}
