// The directions that both lenses of a Twins frame see, for lens matching:
// at every strip vertex inside the blend band of either seam (longitudes
// 90 and 270 of the output), each lens' colour there, read from the frame
// by its own colour rule.
#pragma once

#include <vector>

#include "lens_match.h"
#include "media_frames.h"

namespace loomfold {

// coordsA and coordsB are the strip's texture coordinates of each lens
// (u across the luma stride, v down the frame), bandDegrees the half width
// of the bands. Vertices whose coordinates leave the frame are passed over.
std::vector<vistamo::lens::LensPair> overlapPairs(const stitch_frame& frame, const std::vector<float>& coordsA,
                                                  const std::vector<float>& coordsB, float bandDegrees);

}  // namespace loomfold
