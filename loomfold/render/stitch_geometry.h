// The output grid of the offscreen stitcher and the texture coordinates of
// each lens, computed on the CPU once per job. The grid is a flat
// equirectangular strip in clip space: 80 rows of 161 columns, two vertices
// (the upper and lower edge of the row) per column, zig-zagging so that the
// whole picture is one triangle strip.
#pragma once

#include <vector>

#include "calibration.h"
#include "fisheye_lens.h"

namespace loomfold {

using vistamo::lens::kGridColumns;
using vistamo::lens::kGridRows;
constexpr int kGridVertices = vistamo::lens::kStripVertices;  // 25760

// The column index of strip position j in row r.
inline int gridColumn(int r, int j) { return vistamo::lens::stripColumn(r, j); }

// Clip-space positions (x, y) of every strip vertex.
std::vector<float> gridPositions();

// Twins: (u, v) of every strip vertex in lens `lens` for a frame of the
// record's size whose luma rows are `lumaStride` bytes apart.
std::vector<float> twinsTexCoords(const LensRecord& record, int lens, int lumaStride);

// The seam angles (degrees) of the Twins blend.
using vistamo::lens::seamAngle;

// Sphere: (u, v) of every strip vertex; rows past fov / 2 stay (0, 0).
std::vector<float> sphereTexCoords(const LensRecord& record);

// The lens polynomial R(ρ) = Aρ⁴ + Bρ³ + Cρ² + (1 − A − B − C)ρ.
float distortRadius(float rho, const EngineLens& lens);

}  // namespace loomfold
