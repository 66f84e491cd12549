// A JPEG's frame size and whether its coded data is all there, read from its
// markers without decoding. Decoders fill a file cut short with grey and call
// it a success; this lets a tool refuse such a file, and refuse a frame too
// large to decode, before any work starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vistamo::picture {

struct JpegProbe {
    bool isJpeg = false;   // starts with the SOI marker
    bool complete = false; // every segment and the coded data run to EOI
    int width = 0, height = 0;  // from the first frame header; 0 when none
    size_t end = 0;        // bytes up to and including EOI when complete
    std::string problem;   // why the file is not a usable JPEG; empty when it is
};

// Walks the marker segments and the entropy-coded data that follows each SOS
// (stuffed 0xFF00 bytes, restart markers and fill bytes skipped). Bytes after
// EOI are allowed, as cameras append data there.
JpegProbe probeJpeg(const uint8_t* data, size_t size);

// Why bytes cannot be used as a picture of at most maxSide pixels a side:
// empty when they can, or when they are not a JPEG at all (other formats
// are left to their decoders).
std::string jpegBytesProblem(const uint8_t* data, size_t size, int maxSide);

// Reads path (only as far as needed to see it is not a JPEG) and probes it. Returns why the file cannot be used as a
// picture of at most maxSide pixels a side: empty when it can, or when it is
// not a JPEG at all (other formats are left to their decoders).
std::string jpegFileProblem(const std::string& path, int maxSide);

}  // namespace vistamo::picture
