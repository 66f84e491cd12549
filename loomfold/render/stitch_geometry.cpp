#include "stitch_geometry.h"


namespace loomfold {
namespace {

namespace lm = vistamo::lens;

}  // namespace

float distortRadius(float rho, const EngineLens& l) { return lm::distortRadius(rho, l.coefA, l.coefB, l.coefC); }

std::vector<float> gridPositions() {
    std::vector<float> p;
    p.reserve(size_t(kGridVertices) * 2);
    for (int r = 0; r < kGridRows; ++r) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const float x = gridColumn(r, j) * 0.0125f - 1;
            p.insert(p.end(), {x, 1 - r * 0.025f, x, 1 - (r + 1) * 0.025f});
        }
    }
    return p;
}

std::vector<float> twinsTexCoords(const LensRecord& record, int lens, int lumaStride) {
    std::vector<float> t(size_t(kGridVertices) * 2);
    const EngineLens& l = record.lenses[lens];
    const lm::FisheyeLens fisheye = lm::fisheyeLensOf(l);
    // The engine keeps the offsets with each lens (both hold the same).
    const lm::LensFrame frame{record.fov, l.offsetX, l.offsetY, float(record.calibWidth), float(record.calibHeight),
                              float(record.frameWidth), float(record.frameHeight)};
    lm::twinsStripCoords(&fisheye, frame, float(lumaStride > 0 ? lumaStride : 1),
                         float(record.frameHeight > 0 ? record.frameHeight : 1), t.data());
    return t;
}

std::vector<float> sphereTexCoords(const LensRecord& record) {
    std::vector<float> t(size_t(kGridVertices) * 2, 0.0f);
    const EngineLens& l = record.lenses[0];
    if (record.calibWidth <= 0 || record.frameWidth <= 0 || record.frameHeight <= 0 || record.fov <= 0)
        return t;
    // The circle scaled to the frame; rings are spaced by the lens radius.
    const float m = float(record.frameWidth) / record.calibWidth;
    const int radius = lm::saturatedInt(double(l.radius) * m), cx = lm::saturatedInt(double(l.centerX) * m),
              cy = lm::saturatedInt(double(l.centerY) * m);
    lm::sphereStripCoords(float(cx), float(cy), radius, record.fov, float(record.frameWidth),
                          float(record.frameHeight), t.data());
    return t;
}

}  // namespace loomfold
