// A box of an ISO base-media (MP4/MOV) file, as the box model holds it:
// its header is read, its content stays in the input file and is copied when
// the tree is saved, unless a payload replaces it.
//
// All positions and sizes are 64-bit and checked so that no sum wraps.
#pragma once

#include <QIODevice>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mp4 {

struct BoxHeader;

class Box {
public:
    Box();
    virtual ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    // 0 for a leaf; containers (and the whole file) report 1.
    virtual int boxKind() const { return 0; }
    // One line on the trace output: "{indent}{type} [{header}, {content}]".
    virtual void print(const std::string& indent) const;

    // Writes the box at the output's position with chunk offsets moved by
    // delta; false on a short read or write, or an offset that would not fit.
    virtual bool save(QIODevice& input, QIODevice& output, int64_t delta) const;

    // Reads the leaf box at position, which must end at or before end.
    static std::unique_ptr<Box> load(QIODevice& input, uint64_t position, uint64_t end);

    uint64_t totalSize() const { return headerSize + contentSize; }
    uint64_t contentStart() const { return position + headerSize; }
    std::string type() const { return std::string(boxType, 4); }
    bool is(const char* fourCharacters) const;
    bool isChunkOffsetTable() const { return is("stco") || is("co64"); }
    // Bytes per entry of a chunk-offset table as the input holds it (a
    // widened "stco" still has 32-bit entries there).
    uint64_t inputOffsetSize() const { return is("co64") && !widenOffsets ? 8 : 4; }
    void setType(const char* fourCharacters);

    char boxType[5];            // four characters and a terminating NUL
    uint64_t position = 0;      // file offset of the first header byte
    uint64_t headerSize = 0;    // 8, or 16 with the 64-bit size form
    uint64_t contentSize = 0;   // bytes after the header
    std::unique_ptr<std::vector<char>> payload;  // written instead of the input's content

    uint64_t inputContentSize = 0;  // contentSize as read from the input

    // Set by the save planning on an "stco" that it retyped to "co64"
    // because a moved offset passes 2^32 − 1: read 32-bit entries, write
    // 64-bit ones.
    bool widenOffsets = false;

    // Takes type, position and sizes from a header read at position.
    void setHeader(const BoxHeader& header, uint64_t position);

protected:
    bool writeHeader(QIODevice& output) const;
};

// The raw header fields at position: the 32-bit size (or the 64-bit size
// when the 32-bit one is 1) and the type. False when the header does not lie
// completely before end or cannot be read.
struct BoxHeader {
    uint64_t size = 0;
    uint64_t headerSize = 8;
    uint32_t size32 = 0;
    char type[5] = {0, 0, 0, 0, 0};
};
bool readBoxHeader(QIODevice& input, uint64_t position, uint64_t end, BoxHeader& header);

// Reads the chunk-offset table of box from the input's current position (its
// content): the version-and-flags word, the count, then the entries in
// blocks, each handed to onBlock decoded. False on a short read, a count
// larger than the box, or when onBlock returns false.
using OffsetBlock = std::function<bool(const uint64_t* offsets, uint32_t n)>;
bool readChunkOffsets(QIODevice& input, const Box& box, uint32_t& versionFlags, uint32_t& count,
                      const OffsetBlock& onBlock);

// The low and high 32-bit words of a 64-bit value, for the trace lines.
inline int32_t low32(uint64_t v) { return int32_t(uint32_t(v)); }
inline int32_t high32(uint64_t v) { return int32_t(uint32_t(v >> 32)); }

// Writes the "invalid size" error line of the header at position.
void reportInvalidSize(const BoxHeader& header, uint64_t position);

}  // namespace mp4
