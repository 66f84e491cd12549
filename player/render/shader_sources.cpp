#include "shader_sources.h"

#include "stitch_glsl.h"

namespace vistamo::render::shaders {

const char* const kPlainVertex = VST_GLSL_PLAIN_VERTEX;

// Standard and Sphere share one fragment text; only the precision of the
// coordinate and of the YUV samplers differs.
#define VST_PLAIN_FRAGMENT(coordinatePrecision, samplerPrecision)        \
    "uniform lowp sampler2D u_Texture;\n"                                \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"           \
    "uniform bool isYuv420;\n" VST_GLSL_YUV_TO_RGB(samplerPrecision)     \
    "void main() {\n"                                                    \
    "    if (!isYuv420)\n"                                               \
    "        gl_FragColor = texture2D(u_Texture, v_TexCoordinate);\n"    \
    "    else\n"                                                         \
    "        gl_FragColor = vec4(yuvToRgb(v_TexCoordinate), 1.0);\n"     \
    "}\n"

const char* const kStandardFragment = VST_PLAIN_FRAGMENT("mediump", "lowp");
const char* const kSphereFragment = VST_PLAIN_FRAGMENT("highp", "mediump");

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

// The picture is an RGB texture, or Y'CbCr texels (isYuv420) converted by
// the colour rule; the two lenses are mixed by the interpolated weight.
// The view draws only the seam bands with it: where one lens is seen alone
// it draws with the one-coordinate Sphere program.
const char* const kTwinsFragment = "uniform bool isYuv420;\n" VST_GLSL_YUV_TO_RGB("mediump") R"(
varying highp vec2 v_TexCoordinateA;
varying highp vec2 v_TexCoordinateB;
varying highp float v_weightB;
uniform lowp sampler2D u_Texture;
void main() {
    if (isYuv420) {
        // The conversion is affine: the mix is converted once.
        mediump vec3 yuv = mix(yuvSample(v_TexCoordinateA), yuvSample(v_TexCoordinateB), v_weightB);
        gl_FragColor = vec4(yuvConvert(yuv), 1.0);
    } else {
        highp vec3 colA = texture2D(u_Texture, v_TexCoordinateA).rgb;
        highp vec3 colB = texture2D(u_Texture, v_TexCoordinateB).rgb;
        gl_FragColor = vec4(mix(colA, colB, v_weightB), 1.0);
    }
}
)";

}  // namespace vistamo::render::shaders
