#include "box_io.h"

#include <QFileDevice>

#include <algorithm>
#include <limits>
#include <vector>

namespace mp4::io {
namespace {

constexpr uint64_t kCopyBlock = 0x4000000;  // 64 MiB: few system calls, bounded memory

}  // namespace

bool seek(QIODevice& device, uint64_t position) {
    if (position > uint64_t(std::numeric_limits<qint64>::max()))
        return false;
    return device.seek(qint64(position));
}

bool readExact(QIODevice& device, char* data, uint64_t size) {
    while (size > 0) {
        const qint64 chunk = qint64(std::min<uint64_t>(size, kCopyBlock));
        const qint64 n = device.read(data, chunk);
        if (n <= 0)
            return false;
        data += n;
        size -= uint64_t(n);
    }
    return true;
}

bool writeExact(QIODevice& device, const char* data, uint64_t size) {
    while (size > 0) {
        const qint64 chunk = qint64(std::min<uint64_t>(size, kCopyBlock));
        const qint64 n = device.write(data, chunk);
        if (n <= 0)
            return false;
        data += n;
        size -= uint64_t(n);
    }
    return true;
}

bool readU16(QIODevice& device, uint16_t& value) {
    unsigned char b[2];
    if (!readExact(device, reinterpret_cast<char*>(b), 2))
        return false;
    value = uint16_t((b[0] << 8) | b[1]);
    return true;
}

bool readU32(QIODevice& device, uint32_t& value) {
    unsigned char b[4];
    if (!readExact(device, reinterpret_cast<char*>(b), 4))
        return false;
    value = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    return true;
}

bool readU64(QIODevice& device, uint64_t& value) {
    uint32_t high, low;
    if (!readU32(device, high) || !readU32(device, low))
        return false;
    value = (uint64_t(high) << 32) | low;
    return true;
}

bool writeU32(QIODevice& device, uint32_t value) {
    const char b[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return writeExact(device, b, 4);
}

bool writeU64(QIODevice& device, uint64_t value) {
    return writeU32(device, uint32_t(value >> 32)) && writeU32(device, uint32_t(value));
}

bool copyBytes(QIODevice& input, QIODevice& output, uint64_t size) {
    if (size == 0)
        return true;
    std::vector<char> buffer(size_t(std::min(size, kCopyBlock)));
    while (size > 0) {
        const uint64_t chunk = std::min<uint64_t>(size, buffer.size());
        if (!readExact(input, buffer.data(), chunk) || !writeExact(output, buffer.data(), chunk))
            return false;
        size -= chunk;
    }
    return true;
}

}  // namespace mp4::io
