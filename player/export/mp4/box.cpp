#include "box.h"

#include <cstring>
#include <limits>

#include "box_io.h"
#include "mp4_log.h"

namespace mp4 {
namespace {

// Copies a chunk-offset table, moving every entry by delta. The input is at
// the table's content. A table widened by the save planning reads 32-bit
// entries and writes 64-bit ones. Bytes after the entries, if any, are
// copied as they are.
bool saveChunkOffsets(const Box& box, QIODevice& input, QIODevice& output, int64_t delta) {
    const uint64_t outSize = box.is("co64") ? 8 : 4;
    std::vector<unsigned char> out;
    bool headerWritten = false;
    uint32_t versionFlags = 0, count = 0;
    const bool copied = readChunkOffsets(input, box, versionFlags, count, [&](const uint64_t* offsets, uint32_t n) {
        if (!headerWritten) {
            if (!io::writeU32(output, versionFlags) || !io::writeU32(output, count))
                return false;
            headerWritten = true;
        }
        out.resize(size_t(n) * outSize);
        unsigned char* o = out.data();
        for (uint32_t k = 0; k < n; ++k) {
            // The save planning has checked every entry; this guards the rest.
            int64_t moved;
            if (offsets[k] > uint64_t(std::numeric_limits<int64_t>::max()) ||
                __builtin_add_overflow(int64_t(offsets[k]), delta, &moved) || moved < 0 ||
                (outSize == 4 && uint64_t(moved) > 0xFFFFFFFFu))
                return false;
            for (int b = int(outSize) - 1; b >= 0; --b)
                *o++ = (unsigned char)(uint64_t(moved) >> (8 * b));
        }
        return io::writeExact(output, reinterpret_cast<const char*>(out.data()), out.size());
    });
    if (!copied)
        return false;
    if (!headerWritten && (!io::writeU32(output, versionFlags) || !io::writeU32(output, count)))
        return false;
    const uint64_t rest = box.inputContentSize - 8 - uint64_t(count) * box.inputOffsetSize();
    return io::copyBytes(input, output, rest);
}

}  // namespace

Box::Box() { std::memcpy(boxType, "    ", 5); }

Box::~Box() = default;

bool Box::is(const char* fourCharacters) const { return std::memcmp(boxType, fourCharacters, 4) == 0; }

bool readChunkOffsets(QIODevice& input, const Box& box, uint32_t& versionFlags, uint32_t& count,
                      const OffsetBlock& onBlock) {
    const uint64_t entrySize = box.inputOffsetSize();
    if (box.inputContentSize < 8 || !io::readU32(input, versionFlags) || !io::readU32(input, count))
        return false;
    if (uint64_t(count) > (box.inputContentSize - 8) / entrySize)
        return false;  // more entries than the box holds
    constexpr uint32_t kBlockEntries = 1 << 16;
    std::vector<unsigned char> raw(size_t(std::min(count, kBlockEntries)) * entrySize);
    std::vector<uint64_t> offsets(std::min(count, kBlockEntries));
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(kBlockEntries, count - done);
        if (!io::readExact(input, reinterpret_cast<char*>(raw.data()), uint64_t(n) * entrySize))
            return false;
        for (uint32_t k = 0; k < n; ++k) {
            const unsigned char* p = &raw[size_t(k) * entrySize];
            uint64_t offset = 0;
            for (uint64_t b = 0; b < entrySize; ++b)
                offset = (offset << 8) | p[b];
            offsets[k] = offset;
        }
        if (!onBlock(offsets.data(), n))
            return false;
        done += n;
    }
    return true;
}

void Box::setType(const char* fourCharacters) {
    std::memcpy(boxType, fourCharacters, 4);
    boxType[4] = '\0';
}

void Box::print(const std::string& indent) const {
    trace("{%s}{%s} [{%llu}, {%llu}]\n", indent.c_str(), boxType, (unsigned long long)headerSize,
          (unsigned long long)contentSize);
}

void Box::setHeader(const BoxHeader& header, uint64_t at) {
    setType(header.type);
    position = at;
    headerSize = header.headerSize;
    contentSize = header.size - header.headerSize;
    inputContentSize = contentSize;
}

bool readBoxHeader(QIODevice& input, uint64_t position, uint64_t end, BoxHeader& header) {
    header = BoxHeader();
    if (!io::fitsBefore(position, 8, end) || !io::seek(input, position))
        return false;
    if (!io::readU32(input, header.size32) || !io::readExact(input, header.type, 4))
        return false;
    header.size = header.size32;
    if (header.size32 == 1) {
        header.headerSize = 16;
        if (!io::fitsBefore(position, 16, end) || !io::readU64(input, header.size))
            return false;
    }
    return true;
}

void reportInvalidSize(const BoxHeader& header, uint64_t position) {
    error("Error, invalid size " + std::to_string(header.size) + " in " + std::string(header.type) +
          " at " + std::to_string(position));
}

std::unique_ptr<Box> Box::load(QIODevice& input, uint64_t position, uint64_t end) {
    BoxHeader h;
    if (!readBoxHeader(input, position, end, h) || h.size < h.headerSize) {
        reportInvalidSize(h, position);
        return nullptr;
    }
    if (!io::fitsBefore(position, h.size, end)) {
        error("Error: Leaf box size exceeds bounds.");
        return nullptr;
    }
    auto box = std::make_unique<Box>();
    box->setHeader(h, position);
    trace(" content save %s,%d,%d \r\n", box->boxType, low32(box->headerSize), high32(box->headerSize));
    return box;
}

bool Box::writeHeader(QIODevice& output) const {
    if (headerSize == 16)
        return io::writeU32(output, 1) && io::writeExact(output, boxType, 4) &&
               io::writeU64(output, totalSize());
    if (totalSize() > 0xFFFFFFFFu)
        return false;  // resize() switches such boxes to the 64-bit form
    return io::writeU32(output, uint32_t(totalSize())) && io::writeExact(output, boxType, 4);
}

bool Box::save(QIODevice& input, QIODevice& output, int64_t delta) const {
    trace(" save content  %s,%d,%d \r\n", boxType, low32(contentSize), high32(contentSize));
    if (!writeHeader(output))
        return false;
    if (payload) {
        return payload->size() == contentSize &&
               io::writeExact(output, payload->data(), payload->size());
    }
    if (contentStart() != 0 && !io::seek(input, contentStart()))
        return false;
    if (isChunkOffsetTable())
        return saveChunkOffsets(*this, input, output, delta);
    return io::copyBytes(input, output, contentSize);
}

}  // namespace mp4
