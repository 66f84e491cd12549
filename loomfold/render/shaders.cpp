#include "shaders.h"

#include <epoxy/gl.h>

#include <vector>

#include "engine_log.h"
#include "stitch_glsl.h"

namespace loomfold::shaders {

const char* const kPlainVertex = VST_GLSL_DESKTOP_110 VST_GLSL_PLAIN_VERTEX;

const char* const kStandardFragment = VST_GLSL_DESKTOP_110 VST_GLSL_YUV_TO_RGB("") R"(
uniform sampler2D u_Texture;
varying vec2 v_TexCoordinate;
void main() {
    gl_FragColor = vec4(yuvToRgb(v_TexCoordinate), 1.0);
}
)";

const char* const kSphereFragment = VST_GLSL_DESKTOP_110 VST_GLSL_YUV_TO_RGB("") R"(
uniform sampler2D u_Texture;
uniform bool forward;
uniform float isYuv420;
varying vec2 v_TexCoordinate;
void main() {
    if (forward) {
        vec4 c = texture2D(u_Texture, v_TexCoordinate);
        gl_FragColor = (v_TexCoordinate.y > 0.001 && v_TexCoordinate.y < 0.999) ? c : vec4(0.0, 0.0, 0.0, 1.0);
    } else if (isYuv420 < 0.5) {
        gl_FragColor = texture2D(u_Texture, v_TexCoordinate);
    } else {
        vec3 rgb = max(yuvToRgb(v_TexCoordinate), vec3(0.0));
        gl_FragColor = vec4(pow(rgb, vec3(1.0 / 0.85)), 1.0);
    }
}
)";

const char* const kTwinsVertex = VST_GLSL_DESKTOP_110 VST_GLSL_TWINS_VERTEX;

// Blends the lenses across two fixed seams at longitudes 90 and 270; the
// band is half the mask angle wide at and below the equator and widens
// towards the top pole.
const char* const kTwinsFragment = VST_GLSL_DESKTOP_110 VST_GLSL_YUV_TO_RGB("") VST_GLSL_LENS_MATCH VST_GLSL_SEAM_BLEND R"(
uniform vec3 lensGainA;
uniform vec3 lensGainB;
uniform sampler2D u_Texture;
uniform float v_maskdegree;
uniform float forward;
uniform float isYuv420;
uniform float devicetype;
uniform float modetype;
uniform float yaw0;
uniform float yaw1;
varying vec2 v_TexCoordinateA;
varying vec2 v_TexCoordinateB;
varying float v_pos_x;
varying float v_pos_y;
varying float v_pos_z;
void main() {
    vec4 colA = matchLens(vec4(yuvToRgb(v_TexCoordinateA), 1.0), lensGainA);
    vec4 colB = matchLens(vec4(yuvToRgb(v_TexCoordinateB), 1.0), lensGainB);
    if (modetype > 2.5) {
        gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);
        return;
    }
    if (modetype < 1.5) {
        float band = v_maskdegree / 180.0;
        if (yaw0 > yaw1) { vec4 t = colA; colA = colB; colB = t; }
        float a = clamp((v_pos_x + band) / (2.0 * max(band, 0.0001)), 0.0, 1.0);
        gl_FragColor = colA * (1.0 - a) + colB * a;
        return;
    }
    if (devicetype < -0.5) {
        gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0);
        return;
    }
    float degree = v_pos_x * 180.0 + 180.0;
    float m = v_maskdegree;
    float R = 90.0;
    float R1 = m / 2.0;
    float p = (v_pos_y + 1.0) * 90.0;
    if (p > 90.0) {
        if (p < R1 || p > 180.0 - R1) {
            m = 90.0;
        } else {
            float q = 90.0 - p;
            m = (sqrt(R * R - q * q) - sqrt((R - R1) * (R - R1) - q * q)) / sqrt(R * R - q * q) * 90.0;
        }
    } else {
        m = m / 2.0;
    }
    if (yaw0 > yaw1) { vec4 t = colA; colA = colB; colB = t; }
    gl_FragColor = seamBlend(degree, 90.0, 270.0, m, colA, colB);
}
)";

namespace {

// Logs a shader's or program's info log under heading when it has one.
template <typename GetLength, typename GetLog>
void logInfo(GLuint object, GetLength getLength, GetLog getLog, const char* format) {
    GLint length = 0;
    getLength(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return;
    std::vector<char> log(size_t(length) + 1, '\0');
    getLog(object, length, nullptr, log.data());
    LF_LOG(kLogError, format, log.data());
}

GLuint compile(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    logInfo(shader, glGetShaderiv, glGetShaderInfoLog, "compileShader:\n%s\n \n");
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

unsigned buildProgram(const char* vertexSource, const char* fragmentSource) {
    const GLuint program = glCreateProgram();
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource);
    if (!vertex) {
        LF_LOG(kLogError, "Failed to compile vertex shader");
        glDeleteProgram(program);
        return 0;
    }
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (!fragment) {
        LF_LOG(kLogError, "Failed to compile fragment shader");
        glDeleteShader(vertex);
        glDeleteProgram(program);
        return 0;
    }
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    logInfo(program, glGetProgramiv, glGetProgramInfoLog, "linkProgram:\n%s");
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    if (!ok) {
        LF_LOG(kLogError, "Failed to link program: %u", program);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

}  // namespace loomfold::shaders
