// Exact big-endian reads and writes on seekable Qt devices. Every function
// returns false when the device delivers or takes fewer bytes than asked.
#pragma once

#include <QIODevice>

#include <cstdint>
#include <string>

namespace mp4::io {

bool seek(QIODevice& device, uint64_t position);
bool readExact(QIODevice& device, char* data, uint64_t size);
bool writeExact(QIODevice& device, const char* data, uint64_t size);

bool readU16(QIODevice& device, uint16_t& value);
bool readU32(QIODevice& device, uint32_t& value);
bool readU64(QIODevice& device, uint64_t& value);
bool writeU32(QIODevice& device, uint32_t value);
bool writeU64(QIODevice& device, uint64_t value);

// Copies size bytes from the input's current position to the output's:
// inside the kernel between two files, else in blocks of at most 64 MiB.
bool copyBytes(QIODevice& input, QIODevice& output, uint64_t size);

// Why the last read, write or copy on this thread failed.
std::string lastFailureReason();
void clearFailureReason();

// a + b, unless that passes 2^64 − 1.
inline bool addWithoutWrap(uint64_t a, uint64_t b, uint64_t& sum) {
    return !__builtin_add_overflow(a, b, &sum);
}

// True when [position, position + size) lies inside [0, end).
inline bool fitsBefore(uint64_t position, uint64_t size, uint64_t end) {
    return position <= end && size <= end - position;
}

}  // namespace mp4::io
