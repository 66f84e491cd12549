// The spatial-audio box ("SA3D"): decoded for inspection, written back
// unchanged.
#pragma once

#include "box.h"

namespace mp4 {

class SA3DBox : public Box {
public:
    static std::unique_ptr<SA3DBox> load(QIODevice& input, uint64_t position, uint64_t end);

    uint8_t version = 0;
    uint8_t ambisonicType = 0;
    uint32_t ambisonicOrder = 0;
    uint8_t channelOrdering = 0;
    uint8_t normalization = 0;
    uint32_t channelCount = 0;
    // At most what the box holds: a count larger than the box is not trusted.
    std::vector<uint32_t> channelMap;
};

}  // namespace mp4
