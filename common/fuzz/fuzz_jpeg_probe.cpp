// Fuzz target: the JPEG completeness probe. What it calls complete must end
// in EOI, probe the same when cut right after it, and stop being complete
// when its last byte is gone.
#include <cstdint>
#include <cstdlib>

#include "jpeg_probe.h"

using vistamo::picture::probeJpeg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto probe = probeJpeg(data, size);
    if (probe.complete != probe.problem.empty())
        std::abort();
    if (!probe.complete)
        return 0;
    if (probe.end < 4 || probe.end > size || data[probe.end - 2] != 0xFF || data[probe.end - 1] != 0xD9 ||
        probe.width <= 0 || probe.height <= 0)
        std::abort();
    const auto exact = probeJpeg(data, probe.end);
    if (!exact.complete || exact.width != probe.width || exact.height != probe.height)
        std::abort();
    if (probeJpeg(data, probe.end - 1).complete)
        std::abort();
    return 0;
}
