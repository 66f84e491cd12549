// Fuzz target: the EXIF reader on whole files and on bare APP1 payloads.
#include <cstdint>
#include <cstring>
#include <vector>

#include "exif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lensmeta::ExifRecord record;
    record.parse(data, size);
    // The same bytes as an APP1 payload reach the TIFF decoding directly,
    // without needing the fuzzer to find a JPEG start and marker first. A
    // copy of exactly that size lets ASan catch any read past its end.
    std::vector<uint8_t> payload(size + 6);
    std::memcpy(payload.data(), "Exif\0\0", 6);
    if (size)
        std::memcpy(payload.data() + 6, data, size);
    record.parseSegment(payload.data(), payload.size());
    return 0;
}
