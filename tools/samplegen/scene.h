// The procedural test scene: an equirectangular picture with a colour band
// every 30 degrees of longitude, brightness falling from the top row to the
// bottom, a grid every 15 degrees and numeric labels, so that a mis-stitch,
// a flip or a turn is plain to see. Rendered once at a high "master"
// resolution; every sample frame is sampled from the master.
#pragma once

#include <cstdint>
#include <vector>

namespace samplegen {

struct Rgb {
    float r = 0, g = 0, b = 0;  // 0..255
};

class Scene {
public:
    // Renders the master picture, width × width/2, with 2 × 2 supersampling.
    explicit Scene(int masterWidth);

    // Bilinear sample at scene position (u, v) in [0, 1] (u wraps), the
    // scene turned by `turn` of a full turn in longitude.
    Rgb sample(double u, double v, double turn) const;

    int width() const { return width_; }
    int height() const { return height_; }

private:
    Rgb texel(int x, int y) const;

    int width_;
    int height_;
    std::vector<uint8_t> rgb_;  // width_ × height_ × 3
};

}  // namespace samplegen
