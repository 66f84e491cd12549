#include "box_builder.h"

#include <set>

namespace mp4test {

QByteArray be16(uint16_t v) {
    QByteArray b;
    b.append(char(v >> 8)).append(char(v));
    return b;
}

QByteArray be32(uint32_t v) {
    QByteArray b;
    for (int s = 24; s >= 0; s -= 8)
        b.append(char(v >> s));
    return b;
}

QByteArray be64(uint64_t v) { return be32(uint32_t(v >> 32)) + be32(uint32_t(v)); }

QByteArray box(const char* type, const QByteArray& content) {
    return be32(uint32_t(8 + content.size())) + QByteArray(type, 4) + content;
}

QByteArray box64(const char* type, const QByteArray& content) {
    return be32(1) + QByteArray(type, 4) + be64(16 + uint64_t(content.size())) + content;
}

QByteArray stco(const std::vector<uint32_t>& offsets) {
    QByteArray c = be32(0) + be32(uint32_t(offsets.size()));
    for (uint32_t o : offsets)
        c += be32(o);
    return box("stco", c);
}

QByteArray co64(const std::vector<uint64_t>& offsets) {
    QByteArray c = be32(0) + be32(uint32_t(offsets.size()));
    for (uint64_t o : offsets)
        c += be64(o);
    return box("co64", c);
}

QByteArray hdlr(const char* handlerType) {
    return box("hdlr", be32(0) + be32(0) + QByteArray(handlerType, 4) + QByteArray(12, '\0') +
                           QByteArray("handler\0", 8));
}

QByteArray soundEntry(const char* type, uint16_t version, const QByteArray& child) {
    const int prefix = version == 0 ? 28 : version == 1 ? 44 : 64;
    // 6 reserved bytes, data reference index, then the version at offset 8.
    QByteArray fields = QByteArray(6, '\0') + be16(1) + be16(version);
    fields += QByteArray(prefix - fields.size(), '\x11');
    return box(type, fields + child);
}

QByteArray trak(const char* handlerType, const QByteArray& offsetTable, const QByteArray& sampleEntry) {
    const QByteArray entry = sampleEntry.isEmpty() ? box("avc1", QByteArray(78, '\x22')) : sampleEntry;
    const QByteArray stsd = box("stsd", be32(0) + be32(1) + entry);
    const QByteArray stbl = box("stbl", stsd + offsetTable);
    const QByteArray minf = box("minf", box("vmhd", QByteArray(12, '\0')) + stbl);
    const QByteArray mdia = box("mdia", box("mdhd", QByteArray(24, '\x33')) + hdlr(handlerType) + minf);
    return box("trak", box("tkhd", QByteArray(84, '\x44')) + mdia);
}

uint32_t readBe32(const QByteArray& bytes, uint64_t at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v = (v << 8) | uint8_t(bytes[int(at) + k]);
    return v;
}

uint64_t readBe64(const QByteArray& bytes, uint64_t at) {
    return (uint64_t(readBe32(bytes, at)) << 32) | readBe32(bytes, at + 4);
}

namespace {

void walk(const QByteArray& file, uint64_t start, uint64_t end, const std::string& type,
          std::vector<FoundBox>& found) {
    static const std::set<std::string> kContainers = {"moov", "trak", "mdia", "minf", "stbl", "udta", "edts"};
    uint64_t p = start;
    while (p + 8 <= end) {
        FoundBox b;
        b.position = p;
        b.size = readBe32(file, p);
        b.type = file.mid(int(p) + 4, 4).toStdString();
        b.headerSize = 8;
        if (b.size == 1) {
            b.size = readBe64(file, p + 8);
            b.headerSize = 16;
        }
        if (b.size < b.headerSize || p + b.size > end)
            return;
        if (b.type == type)
            found.push_back(b);
        if (kContainers.count(b.type))
            walk(file, p + b.headerSize, p + b.size, type, found);
        p += b.size;
    }
}

}  // namespace

std::vector<FoundBox> findBoxes(const QByteArray& file, const std::string& type) {
    std::vector<FoundBox> found;
    walk(file, 0, uint64_t(file.size()), type, found);
    return found;
}

std::vector<uint64_t> chunkOffsets(const QByteArray& file) {
    std::vector<FoundBox> tables = findBoxes(file, "stco");
    std::vector<FoundBox> wide = findBoxes(file, "co64");
    tables.insert(tables.end(), wide.begin(), wide.end());
    std::sort(tables.begin(), tables.end(),
              [](const FoundBox& a, const FoundBox& b) { return a.position < b.position; });
    std::vector<uint64_t> offsets;
    for (const FoundBox& t : tables) {
        const uint32_t count = readBe32(file, t.contentStart() + 4);
        for (uint32_t k = 0; k < count; ++k)
            offsets.push_back(t.type == "co64" ? readBe64(file, t.contentStart() + 8 + 8 * k)
                                               : readBe32(file, t.contentStart() + 8 + 4 * k));
    }
    return offsets;
}

}  // namespace mp4test
