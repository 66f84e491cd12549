#include "shader_sources.h"

namespace vistamo::render::shaders {

const char* const kPlainVertex = R"(
uniform mat4 u_MVPMatrix;
attribute vec4 a_Position;
attribute vec2 a_TexCoordinate;
varying vec2 v_TexCoordinate;
void main() {
    v_TexCoordinate = a_TexCoordinate;
    gl_Position = u_MVPMatrix * a_Position;
}
)";

// Standard and Sphere share one fragment text; only the precision of the
// coordinate and of the YUV samplers differs.
#define VST_PLAIN_FRAGMENT(coordinatePrecision, samplerPrecision)                              \
    "uniform lowp sampler2D u_Texture;\n"                                                     \
    "varying " coordinatePrecision " vec2 v_TexCoordinate;\n"                                \
    "uniform bool isYuv420;\n"                                                                \
    "uniform " samplerPrecision " sampler2D SamplerY;\n"                                     \
    "uniform " samplerPrecision " sampler2D SamplerU;\n"                                     \
    "uniform " samplerPrecision " sampler2D SamplerV;\n"                                     \
    "uniform mediump mat3 colorConversionMatrix;\n"                                           \
    "void main() {\n"                                                                         \
    "    if (!isYuv420) {\n"                                                                  \
    "        gl_FragColor = texture2D(u_Texture, v_TexCoordinate);\n"                         \
    "    } else {\n"                                                                          \
    "        mediump vec3 yuv = vec3(texture2D(SamplerY, v_TexCoordinate).r - 16.0 / 255.0,\n" \
    "                                texture2D(SamplerU, v_TexCoordinate).r - 0.5,\n"         \
    "                                texture2D(SamplerV, v_TexCoordinate).r - 0.5);\n"        \
    "        gl_FragColor = vec4(colorConversionMatrix * yuv, 1.0);\n"                        \
    "    }\n"                                                                                 \
    "}\n"

const char* const kStandardFragment = VST_PLAIN_FRAGMENT("mediump", "lowp");
const char* const kSphereFragment = VST_PLAIN_FRAGMENT("highp", "mediump");

const char* const kTwinsVertex = R"(
attribute vec4 a_Position;
attribute vec2 a_TexCoordinateA;
attribute vec2 a_TexCoordinateB;
uniform mat4 u_MVPMatrix;
varying vec2 v_TexCoordinateA;
varying vec2 v_TexCoordinateB;
varying float v_pos_x;
varying float v_pos_y;
varying float v_pos_z;
void main() {
    v_TexCoordinateA = a_TexCoordinateA;
    v_TexCoordinateB = a_TexCoordinateB;
    v_pos_x = a_Position.x;
    v_pos_y = a_Position.y;
    v_pos_z = a_Position.z;
    gl_Position = u_MVPMatrix * a_Position;
}
)";

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
    highp vec4 color;
    if (yaw0 == yaw1) {
        color = colA;
    } else if (yaw0 < yaw1) {
        if (yaw1 + m > 360.0 && degree < 2.0 * m) degree += 360.0;
        if (yaw0 - m < 0.0 && degree > 360.0 - 2.0 * m) degree -= 360.0;
        if (yaw0 + m < degree && degree <= yaw1 - m) {
            color = colB;
        } else if (yaw1 - m < degree && degree <= yaw1 + m) {
            highp float a = (degree - (yaw1 - m)) / (2.0 * m);
            color = colA * a + colB * (1.0 - a);
        } else if (yaw0 - m < degree && degree <= yaw0 + m) {
            highp float a = (degree - (yaw0 - m)) / (2.0 * m);
            color = colB * a + colA * (1.0 - a);
        } else {
            color = colA;
        }
    } else {
        if (yaw0 + m > 360.0 && degree < 2.0 * m) degree += 360.0;
        if (yaw1 - m < 0.0 && degree > 360.0 - 2.0 * m) degree -= 360.0;
        if (yaw1 + m < degree && degree <= yaw0 - m) {
            color = colA;
        } else if (yaw0 - m < degree && degree <= yaw0 + m) {
            highp float a = (degree - (yaw0 - m)) / (2.0 * m);
            color = colB * a + colA * (1.0 - a);
        } else if (yaw1 - m < degree && degree <= yaw1 + m) {
            highp float a = (degree - (yaw1 - m)) / (2.0 * m);
            color = colA * a + colB * (1.0 - a);
        } else {
            color = colB;
        }
    }
    gl_FragColor = color;
}
)";

}  // namespace vistamo::render::shaders
