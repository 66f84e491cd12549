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

const char* const kTwinsVertex = VST_GLSL_TWINS_VERTEX;

// Lens 1 (B) fills the longitudes from yaw0 up to yaw1, lens 0 (A) the
// rest; each seam is a linear cross-fade 2m degrees wide. With yaw0 equal to
// yaw1 there is no B region: lens A shows everywhere.
const char* const kTwinsFragment = R"(
varying highp float v_pos_x;
varying highp float v_pos_y;
varying highp float v_pos_z;
varying highp vec2 v_TexCoordinateA;
varying highp vec2 v_TexCoordinateB;
uniform lowp sampler2D u_Texture;
uniform highp float isright;
uniform highp float v_maskdegree;
uniform highp float yaw0;
uniform highp float yaw1;
uniform highp float v_maskSize;
highp float M_PI = 3.14159265358979;
)" VST_GLSL_SEAM_BLEND R"(
void main() {
    highp vec4 colA = vec4(texture2D(u_Texture, v_TexCoordinateA).rgb, 1.0);
    highp vec4 colB = vec4(texture2D(u_Texture, v_TexCoordinateB).rgb, 1.0);
    highp float x = v_pos_x;
    highp float z = v_pos_z;
    highp float angle = acos(clamp(x / sqrt(z * z + x * x), -1.0, 1.0));
    if (z < 0.0)
        angle = 2.0 * M_PI - angle;
    highp float degree = angle / M_PI * 180.0;
    highp float m = v_maskSize;
    if (yaw0 == yaw1)
        gl_FragColor = colA;
    else if (yaw0 < yaw1)
        gl_FragColor = seamBlend(degree, yaw0, yaw1, m, colA, colB);
    else
        gl_FragColor = seamBlend(degree, yaw1, yaw0, m, colB, colA);
}
)";

}  // namespace vistamo::render::shaders
