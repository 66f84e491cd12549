// The lens model that the player's view and the stitch engine share: which
// frame pixel a fisheye lens sees in a given direction of the
// equirectangular grid, and the tables of texture coordinates built from it.
// Pure functions, no GL: both renderers upload what these compute.
//
// Principle: grid point (c, r) of the 160 × 80 grid is a direction on the
// unit sphere; it is turned into the lens' own frame (yaw, pitch, roll),
// its angle θ from the lens axis is normalised by half the field of view
// (ρ = θ / (fov / 2)), bent by the lens polynomial R(ρ) and placed on the
// lens circle, then scaled from the calibration picture to the frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vistamo::lens {

constexpr int kGridColumns = 160;
constexpr int kGridRows = 80;
constexpr int kStripVertices = kGridRows * (kGridColumns + 1) * 2;  // 25 760
constexpr float kRingStep = 0.03926991f;  // π / 80 radians: one grid row

// The grid is drawn as one triangle strip that zig-zags: strip position j
// of row r is column j on even rows and 160 − j on odd ones.
inline int stripColumn(int row, int j) { return row % 2 == 0 ? j : kGridColumns - j; }
// Index of the first float of strip vertex (row, j, edge) in a table with
// components floats per vertex (edge 0 is the row's upper edge).
inline size_t stripIndex(int row, int j, int edge, int components) {
    return ((size_t(row) * (kGridColumns + 1) + size_t(j)) * 2 + size_t(edge)) * size_t(components);
}

// Truncates to int, saturating at its range (NaN gives 0): calibration texts
// may hold any number.
int saturatedInt(double value);

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// Direction of grid point (c, r), c in [0, 160], r in [0, 80], in the lens
// frame where the lens looks along +y: longitude (2c/160 − 1)·π, latitude
// (2r/80 − 1)·π/2 (radians).
Vec3 gridDirection(int c, int r);

// v turned by t radians about axis (normalised here).
Vec3 rotateAbout(Vec3 v, Vec3 axis, float t);

// The axes of the lens rotations, in the grid frame.
constexpr Vec3 kYawAxis{0, 0, -1};
constexpr Vec3 kPitchAxis{-1, 0, 0};
constexpr Vec3 kRollAxis{0, -1, 0};

// One lens of a calibration: its circle in calibration-picture pixels, its
// rotations in degrees, its polynomial.
struct FisheyeLens {
    float radius = 0, centerX = 0, centerY = 0;
    float yaw = 0, pitch = 0, roll = 0;
    float coefA = 0, coefB = 0, coefC = 0;
};

// The lens of any record whose fields carry these names (Lensmeta's
// LenParam, the engine's EngineLens).
template <typename Lens>
FisheyeLens fisheyeLensOf(const Lens& l) {
    FisheyeLens lens;
    lens.radius = float(l.radius);
    lens.centerX = float(l.centerX);
    lens.centerY = float(l.centerY);
    lens.yaw = float(l.yaw);
    lens.pitch = float(l.pitch);
    lens.roll = float(l.roll);
    lens.coefA = float(l.coefA);
    lens.coefB = float(l.coefB);
    lens.coefC = float(l.coefC);
    return lens;
}

// What is common to the lenses of a calibration.
struct LensFrame {
    float fov = 0;                    // degrees, the lens' whole field of view
    float offsetX = 0, offsetY = 0;   // calibration pixels, added to every lens pixel
    float calibWidth = 0, calibHeight = 0;  // the calibration picture
    float frameWidth = 0, frameHeight = 0;  // the frame the pixels are wanted in
};

// The lens polynomial R(ρ) = Aρ⁴ + Bρ³ + Cρ² + (1 − A − B − C)ρ.
float distortRadius(float rho, float a, float b, float c);

// The frame pixel that lens sees in the direction of grid point (c, r).
// Without a lens (a record that does not hold it) the pixel is the offsets
// alone, scaled. A zero field of view or calibration size gives 0.
void lensPixel(const FisheyeLens* lens, const LensFrame& frame, int c, int r, float& px, float& py);

// The (u, v) of every strip vertex (kStripVertices × 2 floats) for lens:
// each pixel divided by (divideX, divideY). The player divides by the
// picture's size; the engine by its luma row stride and height, because its
// texture is as wide as a row of the decoded plane.
void twinsStripCoords(const FisheyeLens* lens, const LensFrame& frame, float divideX, float divideY, float* uv);

// Where a lens' seam lies for the Twins blend (degrees): yaw + 270, reduced
// by 360 once above 360.
float seamAngle(float lensYaw);

// The last ring of a single-lens table: the ring that reaches fov / 2 less
// one (ceil(fov · 80 / 360) − 2, at most 79); −1 when the field of view
// gives none.
int sphereLastRing(float fov);

// Single-lens rings 0 .. sphereLastRing(fov) of the strip (the others are
// not written): ring i spans radii i·d .. (i + 1)·d around the centre with
// d = ringRadius · (π/80) / (fov · π/360), where ringRadius is the frame
// radius at which the lens edge lies (the player uses its effective radius,
// the engine the lens radius). Centre and radius in frame pixels.
void sphereStripCoords(float centerX, float centerY, double ringRadius, float fov, float frameWidth,
                       float frameHeight, float* uv);

}  // namespace vistamo::lens
