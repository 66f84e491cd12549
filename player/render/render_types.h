// What a file holds and how it is looked at.
#pragma once

namespace vistamo::render {

// The kind of picture in a file (the player's numbering).
enum MediaKind { Standard = 0, Sphere = 1, Twins = 2 };

enum ViewMode { Pano = 0, Fisheye = 1, LittlePlanet = 2, Original = 3 };

}  // namespace vistamo::render
