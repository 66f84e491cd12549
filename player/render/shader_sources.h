// The texts of the player's GLSL programs (ES 2.0 style with precision
// qualifiers, which Qt's shader class defines away on desktop GL). Each
// fragment program comes in two builds, one per way the picture is read,
// so that no program branches on the picture's layout.
#pragma once

namespace vistamo::render::shaders {

// A fragment program for a picture given as an RGB texture (u_Texture) and
// for one given as packed Y'CbCr texels (SamplerY) and converted.
struct Fragment {
    const char* rgb;
    const char* yuv;
};

extern const char* const kPlainVertex;  // Standard, Sphere and one lens of Twins
extern const Fragment kStandardFragment;
extern const Fragment kSphereFragment;
extern const char* const kTwinsVertex;
extern const Fragment kTwinsFragment;

}  // namespace vistamo::render::shaders
