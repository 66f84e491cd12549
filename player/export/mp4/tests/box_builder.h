// Hand-built MP4 box trees for the box-model tests, and an independent
// walker that finds boxes in written files.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace mp4test {

QByteArray be16(uint16_t v);
QByteArray be32(uint32_t v);
QByteArray be64(uint64_t v);

QByteArray box(const char* type, const QByteArray& content);
// The 64-bit size form: size field 1, then the 64-bit size.
QByteArray box64(const char* type, const QByteArray& content);
QByteArray stco(const std::vector<uint32_t>& offsets);
QByteArray co64(const std::vector<uint64_t>& offsets);
QByteArray hdlr(const char* handlerType);
// A sound sample entry of the given version (0, 1 or 2) with one child box.
QByteArray soundEntry(const char* type, uint16_t version, const QByteArray& child);
// trak { tkhd, mdia { hdlr, minf { stbl { stsd { entry }, offsets } } } }
QByteArray trak(const char* handlerType, const QByteArray& offsetTable,
                const QByteArray& sampleEntry = QByteArray());

// A box found by the walker: where it starts and its sizes.
struct FoundBox {
    std::string type;
    uint64_t position = 0;
    uint64_t headerSize = 0;
    uint64_t size = 0;
    uint64_t contentStart() const { return position + headerSize; }
};

// Every box of the given type, descending into the usual containers.
std::vector<FoundBox> findBoxes(const QByteArray& file, const std::string& type);
// The entries of the chunk-offset tables ("stco" and "co64") in file order.
std::vector<uint64_t> chunkOffsets(const QByteArray& file);
uint32_t readBe32(const QByteArray& bytes, uint64_t at);
uint64_t readBe64(const QByteArray& bytes, uint64_t at);

}  // namespace mp4test
