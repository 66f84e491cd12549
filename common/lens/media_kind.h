// Which kind of footage a calibration text describes: the one rule the
// player, pano-view and the export follow to pick how a file is shown.
#pragma once

#include <string>

namespace vistamo::lens {

// The kinds, numbered as the view and the playlist file store them.
enum class MediaKind { Standard = 0, Sphere = 1, Twins = 2 };

// "6_…" is a two-lens text (Twins), "5_…" a one-lens text (Sphere); any
// other text, or none, is Standard footage shown as recorded.
MediaKind mediaKindOf(const std::string& calibText);

}  // namespace vistamo::lens
