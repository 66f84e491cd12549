// The output grid of the offscreen stitcher and the texture coordinates of
// each lens, computed on the CPU once per job. The grid is a flat
// equirectangular strip in clip space: 80 rows of 161 columns, two vertices
// (the upper and lower edge of the row) per column, zig-zagging so that the
// whole picture is one triangle strip.
#pragma once

#include <vector>

#include "calibration.h"

namespace loomfold {

constexpr int kGridColumns = 160;
constexpr int kGridRows = 80;
constexpr int kGridVertices = kGridRows * (kGridColumns + 1) * 2;  // 25760

// The column index of strip position j in row r.
inline int gridColumn(int r, int j) { return r % 2 == 0 ? j : kGridColumns - j; }

// Clip-space positions (x, y) of every strip vertex.
std::vector<float> gridPositions();

// Twins: (u, v) of every strip vertex in lens `lens` for a frame of the
// record's size whose luma rows are `lumaStride` bytes apart.
std::vector<float> twinsTexCoords(const LensRecord& record, int lens, int lumaStride);

// The seam angles (degrees) of the Twins blend: lens yaw + 270, once
// reduced by 360 above 360.
float seamAngle(float lensYaw);

// Sphere: (u, v) of every strip vertex; rows past fov / 2 stay (0, 0).
std::vector<float> sphereTexCoords(const LensRecord& record);

// The lens polynomial R(ρ) = Aρ⁴ + Bρ³ + Cρ² + (1 − A − B − C)ρ.
float distortRadius(float rho, const EngineLens& lens);

}  // namespace loomfold
