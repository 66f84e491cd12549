// Spherical Video V2 metadata: the "st3d" (stereo mode) and "sv3d"
// (spherical video: a "svhd" header naming the metadata source, and a
// "proj" box with the pose "prhd" and the equirectangular "equi" bounds)
// boxes that current readers take from a video track's sample entry, and
// their reading back as a V2-only reader sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mpeg4_container.h"

namespace mp4 {

// The fixed fields of a visual sample entry before its child boxes
// (sample entry, then the visual fields: 8 + 70 bytes).
constexpr size_t kVisualSampleEntryFields = 78;

// The two boxes for a mono, full-sphere equirectangular panorama with the
// pose (0, 0, 0) and no cropping, as bytes: "st3d" then "sv3d".
std::vector<char> makeSt3dBox();
std::vector<char> makeSv3dBox(const std::string& metadataSource = "Vistamo");

// What a V2-only reader finds in the child boxes of a sample entry.
struct SphericalV2 {
    bool hasSt3d = false;
    int stereoMode = -1;  // 0 mono, 1 top-bottom, 2 left-right
    bool hasSv3d = false;
    bool hasSvhd = false;
    std::string metadataSource;
    std::string projection;  // "equi", "cbmp", "mesh", or empty
    int32_t yaw = 0, pitch = 0, roll = 0;  // 16.16 fixed-point degrees
    uint32_t boundsTop = 0, boundsBottom = 0, boundsLeft = 0, boundsRight = 0;
};

// Reads the boxes in data[0, size) (a sample entry's children). False
// when a box's size runs past the end or a V2 box is cut short; boxes that
// are not V2 are passed over.
bool readSphericalV2(const char* data, size_t size, SphericalV2& out);

// Appends "st3d" and "sv3d" to every sample entry of every video track
// that has neither, then resizes the tree. Returns how many sample entries
// gained them.
int addSphericalV2Boxes(Mpeg4Container& file, QIODevice& input);

}  // namespace mp4
