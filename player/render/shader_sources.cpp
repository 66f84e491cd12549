#include "shader_sources.h"

#include "stitch_glsl.h"

namespace vistamo::render::shaders {

const char* const kPlainVertex = VST_GLSL_PLAIN_VERTEX;

// Standard and Sphere share their fragment texts; only the precision of
// the coordinate and of the sampler differs.
#define VST_PLAIN_FRAGMENT_RGB(coordinatePrecision)                     \
    "uniform lowp sampler2D u_Texture;\n"                               \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"          \
    "void main() { gl_FragColor = texture2D(u_Texture, v_TexCoordinate); }\n"
#define VST_PLAIN_FRAGMENT_YUV(coordinatePrecision, samplerPrecision)   \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"          \
    VST_GLSL_YUV_PACKED_TO_RGB(samplerPrecision)                        \
    "void main() { gl_FragColor = vec4(yuvToRgb(v_TexCoordinate), 1.0); }\n"

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

// The two lenses mixed by the interpolated weight. The view draws only the
// seam bands with it: where one lens is seen alone it draws with the
// one-coordinate Sphere program.
#define VST_TWINS_VARYINGS                          \
    "varying highp vec2 v_TexCoordinateA;\n"        \
    "varying highp vec2 v_TexCoordinateB;\n"        \
    "varying highp float v_weightB;\n"

const Fragment kTwinsFragment = {
    VST_TWINS_VARYINGS
    "uniform lowp sampler2D u_Texture;\n"
    "void main() {\n"
    "    highp vec3 colA = texture2D(u_Texture, v_TexCoordinateA).rgb;\n"
    "    highp vec3 colB = texture2D(u_Texture, v_TexCoordinateB).rgb;\n"
    "    gl_FragColor = vec4(mix(colA, colB, v_weightB), 1.0);\n"
    "}\n",
    // The conversion is affine: the mix is converted once.
    VST_TWINS_VARYINGS VST_GLSL_YUV_PACKED_TO_RGB("mediump")
    "void main() {\n"
    "    mediump vec3 yuv = mix(yuvSample(v_TexCoordinateA), yuvSample(v_TexCoordinateB), v_weightB);\n"
    "    gl_FragColor = vec4(yuvConvert(yuv), 1.0);\n"
    "}\n"};

}  // namespace vistamo::render::shaders
