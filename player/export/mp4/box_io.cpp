#include "box_io.h"

#include <QFileDevice>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace mp4::io {
namespace {

constexpr uint64_t kCopyBlock = 0x4000000;  // 64 MiB: few system calls, bounded memory
// Below this a plain copy through the devices costs less than the set-up.
constexpr uint64_t kKernelCopyMinimum = 1 << 20;

thread_local std::string lastFailure;

void noteFailure(const char* what, int error) {
    lastFailure = std::string(what) + ": " + std::strerror(error);
}

// Copies size bytes between two files inside the kernel (no user-space
// buffer; shared extents where the file system offers them). Returns 1 when
// done, 0 when the files cannot be copied this way (nothing was copied), −1
// on failure.
int kernelCopy(QIODevice& input, QIODevice& output, uint64_t size) {
    auto* in = qobject_cast<QFileDevice*>(&input);
    auto* out = qobject_cast<QFileDevice*>(&output);
    if (!in || !out || in->handle() < 0 || out->handle() < 0 || size < kKernelCopyMinimum)
        return 0;
    if (!out->flush()) {
        noteFailure("write failed", errno);
        return -1;
    }
    loff_t inPos = input.pos(), outPos = output.pos();
    uint64_t left = size;
    while (left > 0) {
        const ssize_t n = copy_file_range(in->handle(), &inPos, out->handle(), &outPos,
                                          size_t(std::min<uint64_t>(left, 1u << 30)), 0);
        if (n < 0) {
            const int error = errno;
            if (left == size && (error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL))
                return 0;  // not between these files: copy the usual way
            noteFailure("copy failed", error);
            return -1;
        }
        if (n == 0) {
            lastFailure = "the input ended early";
            return -1;
        }
        left -= uint64_t(n);
    }
    // Bring the devices' own positions (and buffers) up to date.
    return input.seek(inPos) && output.seek(outPos) ? 1 : -1;
}

}  // namespace

std::string lastFailureReason() { return lastFailure; }
void clearFailureReason() { lastFailure.clear(); }

bool seek(QIODevice& device, uint64_t position) {
    if (position > uint64_t(std::numeric_limits<qint64>::max()))
        return false;
    return device.seek(qint64(position));
}

bool readExact(QIODevice& device, char* data, uint64_t size) {
    while (size > 0) {
        const qint64 chunk = qint64(std::min<uint64_t>(size, kCopyBlock));
        const qint64 n = device.read(data, chunk);
        if (n <= 0) {
            lastFailure = n == 0 ? "the input ended early" : "read failed: " + device.errorString().toStdString();
            return false;
        }
        data += n;
        size -= uint64_t(n);
    }
    return true;
}

bool writeExact(QIODevice& device, const char* data, uint64_t size) {
    while (size > 0) {
        const qint64 chunk = qint64(std::min<uint64_t>(size, kCopyBlock));
        const qint64 n = device.write(data, chunk);
        if (n <= 0) {
            lastFailure = "write failed: " + device.errorString().toStdString();
            return false;
        }
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
    if (const int copied = kernelCopy(input, output, size); copied != 0)
        return copied > 0;
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
