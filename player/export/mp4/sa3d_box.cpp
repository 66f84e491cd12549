#include "sa3d_box.h"

#include <cstring>

#include "box_io.h"
#include "mp4_log.h"

namespace mp4 {

std::unique_ptr<SA3DBox> SA3DBox::load(QIODevice& input, uint64_t position, uint64_t end) {
    BoxHeader h;
    if (!readBoxHeader(input, position, end, h) || h.size < h.headerSize) {
        reportInvalidSize(h, position);
        return nullptr;
    }
    if (std::memcmp(h.type, "SA3D", 4) != 0) {
        error("Error: box is not an SA3D box.");
        return nullptr;
    }
    if (!io::fitsBefore(position, h.size, end)) {
        error("Error: SA3D box size exceeds bounds.");
        return nullptr;
    }
    auto box = std::make_unique<SA3DBox>();
    // The 64-bit size form has a 16-byte header here too, so that the
    // content is copied from where it really starts.
    box->setHeader(h, position);

    // The fields are informative only (the box is written back as it is):
    // read what the box holds and never past its end.
    constexpr uint64_t kFixedFields = 12;
    if (box->contentSize >= kFixedFields) {
        unsigned char f[kFixedFields];
        if (!io::readExact(input, reinterpret_cast<char*>(f), kFixedFields))
            return nullptr;
        auto u32 = [](const unsigned char* p) {
            return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        };
        box->version = f[0];
        box->ambisonicType = f[1];
        box->ambisonicOrder = u32(f + 2);
        box->channelOrdering = f[6];
        box->normalization = f[7];
        box->channelCount = u32(f + 8);
        const uint64_t fitting = (box->contentSize - kFixedFields) / 4;
        const uint64_t n = std::min<uint64_t>(box->channelCount, fitting);
        box->channelMap.reserve(size_t(n));
        for (uint64_t k = 0; k < n; ++k) {
            uint32_t channel;
            if (!io::readU32(input, channel))
                return nullptr;
            box->channelMap.push_back(channel);
        }
    }
    return box;
}

}  // namespace mp4
