#include "shader_sources.h"

#include "stitch_glsl.h"

namespace vistamo::render::shaders {

const char* const kPlainVertex = VST_GLSL_PLAIN_VERTEX;

// Standard and Sphere share their fragment texts; only the precision of
// the coordinate and of the sampler differs.
// lensGain is the lens' matching gain where the Twins model draws one
// lens alone, unit gains elsewhere.
#define VST_PLAIN_FRAGMENT_RGB(coordinatePrecision)                     \
    "uniform lowp sampler2D u_Texture;\n"                               \
    "uniform mediump vec3 lensGain;\n"                                  \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"          \
    VST_GLSL_LENS_MATCH                                                 \
    "void main() { gl_FragColor = matchLens(texture2D(u_Texture, v_TexCoordinate), lensGain); }\n"
#define VST_PLAIN_FRAGMENT_YUV(coordinatePrecision, samplerPrecision)   \
    "uniform mediump vec3 lensGain;\n"                                  \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"          \
    VST_GLSL_YUV_PACKED_TO_RGB(samplerPrecision) VST_GLSL_LENS_MATCH    \
    "void main() { gl_FragColor = matchLens(vec4(yuvToRgb(v_TexCoordinate), 1.0), lensGain); }\n"

const Fragment kStandardFragment = {VST_PLAIN_FRAGMENT_RGB("mediump"), VST_PLAIN_FRAGMENT_YUV("mediump", "lowp")};
const Fragment kSphereFragment = {VST_PLAIN_FRAGMENT_RGB("highp"), VST_PLAIN_FRAGMENT_YUV("highp", "mediump")};

// Twins: both lenses' coordinates and lens B's seam weight per vertex
// (lens::twinsStripWeights), interpolated across each triangle. The
// weight is linear in longitude inside a blend band and constant outside,
// so interpolating it between vertices 2.25 degrees apart differs from the
// exact per-pixel weight only in the two columns where a band starts or
// ends, and saves every pixel a longitude (acos, square root, division)
// and the band tests, which cost software GL a fifth of a frame.
const char* const kTwinsVertex = R"(
attribute vec4 a_Position;
attribute vec2 a_TexCoordinateA;
attribute vec2 a_TexCoordinateB;
attribute float a_WeightB;
uniform mat4 u_MVPMatrix;
varying vec2 v_TexCoordinateA;
varying vec2 v_TexCoordinateB;
varying float v_weightB;
void main() {
    v_TexCoordinateA = a_TexCoordinateA;
    v_TexCoordinateB = a_TexCoordinateB;
    v_weightB = a_WeightB;
    gl_Position = u_MVPMatrix * a_Position;
}
)";

// The two lenses mixed by the interpolated weight, each lens' colour under
// its matching gain first. The view draws only the seam bands with it:
// where one lens is seen alone it draws with the one-coordinate Sphere
// program and that lens' gain.
#define VST_TWINS_VARYINGS                          \
    "varying highp vec2 v_TexCoordinateA;\n"        \
    "varying highp vec2 v_TexCoordinateB;\n"        \
    "varying highp float v_weightB;\n"              \
    "uniform mediump vec3 lensGainA;\n"             \
    "uniform mediump vec3 lensGainB;\n"

const Fragment kTwinsFragment = {
    VST_TWINS_VARYINGS VST_GLSL_LENS_MATCH
    "uniform lowp sampler2D u_Texture;\n"
    "void main() {\n"
    "    highp vec4 colA = matchLens(texture2D(u_Texture, v_TexCoordinateA), lensGainA);\n"
    "    highp vec4 colB = matchLens(texture2D(u_Texture, v_TexCoordinateB), lensGainB);\n"
    "    gl_FragColor = vec4(mix(colA.rgb, colB.rgb, v_weightB), 1.0);\n"
    "}\n",
    // Each lens converted alone: the gains apply to R'G'B'.
    VST_TWINS_VARYINGS VST_GLSL_YUV_PACKED_TO_RGB("mediump") VST_GLSL_LENS_MATCH
    "void main() {\n"
    "    mediump vec4 colA = matchLens(vec4(yuvConvert(yuvSample(v_TexCoordinateA)), 1.0), lensGainA);\n"
    "    mediump vec4 colB = matchLens(vec4(yuvConvert(yuvSample(v_TexCoordinateB)), 1.0), lensGainB);\n"
    "    gl_FragColor = vec4(mix(colA.rgb, colB.rgb, v_weightB), 1.0);\n"
    "}\n"};

}  // namespace vistamo::render::shaders
