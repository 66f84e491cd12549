// The texts of the player's three GLSL programs (ES 2.0 style with
// precision qualifiers, which Qt's shader class defines away on desktop GL).
#pragma once

namespace vistamo::render::shaders {

extern const char* const kPlainVertex;       // Standard and Sphere
extern const char* const kStandardFragment;
extern const char* const kSphereFragment;
extern const char* const kTwinsVertex;
extern const char* const kTwinsFragment;

}  // namespace vistamo::render::shaders
