// The two-lens seam blend, as a weight: how much of lens B a direction at
// longitude `degree` shows. Mirrored in stitch_glsl.h (VST_GLSL_SEAM_BLEND,
// which the engine's offscreen program runs per fragment): change both.
#pragma once

#include <cstdint>
#include <vector>

namespace vistamo::lens {

// For seams s0 < s1 (degrees, 0..360) and half-band m: lens B fills the
// longitudes from s0 + m up to s1 − m, lens A those outside [s0 − m,
// s1 + m], and each seam is a linear cross-fade 2m wide, from A to B
// across s0 and from B to A across s1. Longitudes near 0 and 360 are
// wrapped into a band that crosses them. Returns B's weight, 0 to 1.
float seamWeightB(float degree, float s0, float s1, float m);

// The view's Twins rule, whichever seam comes first: lens B between yaw0
// and yaw1 going upwards, A elsewhere; equal seams show A everywhere.
float twinsWeightB(float degree, float yaw0, float yaw1, float m);

// twinsWeightB at every vertex of the sphere strip (kStripVertices floats),
// from each vertex's longitude: the view interpolates the weight between
// vertices 2.25 degrees apart instead of finding each pixel's longitude.
void twinsStripWeights(float yaw0, float yaw1, float m, float* weights);

// The strip's triangles (vertices t, t+1, t+2 for t = 0 .. vertices − 3),
// as index triples split by what they show: lens A alone (all three
// weights 0), lens B alone (all 1), and both. A software rasteriser then
// samples one lens where only one is seen, and blends only in the bands.
struct TwinsTriangles {
    std::vector<uint32_t> lensA, lensB, blend;
};
TwinsTriangles twinsStripTriangles(const float* weights, int vertices);

}  // namespace vistamo::lens
