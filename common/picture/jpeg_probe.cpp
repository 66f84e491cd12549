#include "jpeg_probe.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "file_guard.h"

namespace vistamo::picture {
namespace {

bool isFrameHeader(uint8_t marker) {
    // SOF0..SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isStandalone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

unsigned be16(const uint8_t* p) { return unsigned(p[0]) << 8 | p[1]; }

// Skips entropy-coded data from pos; returns the position of the marker that
// ends it, or size when the data runs to the end of the file.
size_t skipCodedData(const uint8_t* data, size_t size, size_t pos) {
    while (pos < size) {
        const void* ff = std::memchr(data + pos, 0xFF, size - pos);
        if (!ff)
            return size;
        pos = size_t(static_cast<const uint8_t*>(ff) - data);
        if (pos + 1 >= size)
            return size;
        const uint8_t next = data[pos + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
            pos += 2;  // a stuffed byte or a restart marker: still coded data
        else if (next == 0xFF)
            pos += 1;  // fill byte
        else
            return pos;
    }
    return size;
}

}  // namespace

JpegProbe probeJpeg(const uint8_t* data, size_t size) {
    JpegProbe probe;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        probe.problem = "not a JPEG picture";
        return probe;
    }
    probe.isJpeg = true;
    bool sawFrame = false;
    size_t pos = 2;
    while (true) {
        while (pos + 1 < size && data[pos] == 0xFF && data[pos + 1] == 0xFF)
            ++pos;
        if (pos + 1 >= size) {
            probe.problem = "the picture is cut short";
            return probe;
        }
        if (data[pos] != 0xFF) {
            probe.problem = "the picture is damaged (no marker where one must be)";
            return probe;
        }
        const uint8_t marker = data[pos + 1];
        pos += 2;
        if (marker == 0xD9)
            break;
        if (isStandalone(marker))
            continue;
        if (marker == 0xD8 || marker == 0x00) {
            probe.problem = "the picture is damaged (unexpected marker)";
            return probe;
        }
        if (pos + 2 > size) {
            probe.problem = "the picture is cut short";
            return probe;
        }
        const size_t length = be16(data + pos);
        if (length < 2) {
            probe.problem = "the picture is damaged (a segment shorter than its header)";
            return probe;
        }
        if (length > size - pos) {
            probe.problem = "the picture is cut short";
            return probe;
        }
        if (isFrameHeader(marker) && !sawFrame) {
            if (length < 8) {
                probe.problem = "the picture is damaged (short frame header)";
                return probe;
            }
            probe.height = int(be16(data + pos + 3));
            probe.width = int(be16(data + pos + 5));
            sawFrame = true;
        }
        pos += length;
        if (marker == 0xDA) {
            if (!sawFrame) {
                probe.problem = "the picture is damaged (coded data before the frame header)";
                return probe;
            }
            pos = skipCodedData(data, size, pos);
            if (pos >= size) {
                probe.problem = "the picture is cut short";
                return probe;
            }
        }
    }
    if (!sawFrame) {
        probe.problem = "the picture has no frame header";
        return probe;
    }
    if (probe.width == 0 || probe.height == 0) {
        probe.problem = "the picture has no size in its frame header";
        return probe;
    }
    probe.complete = true;
    probe.end = pos;
    return probe;
}

std::string jpegFileProblem(const std::string& path, int maxSide) {
    std::string reason;
    const int fd = files::openInput(path, reason);
    if (fd < 0)
        return reason;
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    std::string problem;
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            problem = files::reasonText(errno);
            break;
        }
        if (n == 0)
            break;
        if (bytes.empty() && (n < 2 || buffer[0] != 0xFF || buffer[1] != 0xD8))
            break;  // not a JPEG: left to its decoder
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    close(fd);
    if (!problem.empty())
        return problem;
    return jpegBytesProblem(bytes.data(), bytes.size(), maxSide);
}

std::string jpegBytesProblem(const uint8_t* data, size_t size, int maxSide) {
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        return {};  // not a JPEG: left to its decoder
    const JpegProbe probe = probeJpeg(data, size);
    if (!probe.problem.empty())
        return probe.problem;
    if (probe.width > maxSide || probe.height > maxSide)
        return "the picture is " + std::to_string(probe.width) + "x" + std::to_string(probe.height) +
               ", larger than the " + std::to_string(maxSide) + " pixels a side that can be used";
    return {};
}

}  // namespace vistamo::picture
