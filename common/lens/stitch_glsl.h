// GLSL pieces that the player's view and the engine both compile, as string
// literals so that each side joins them into its programs at compile time.
// The texts are written ES-style with precision qualifiers: Qt defines them
// away on desktop GL, and the engine's GLSL 1.10 programs begin with
// VST_GLSL_DESKTOP_110, which does the same.
#pragma once

// First lines of an engine program: GLSL 1.10 without precision qualifiers.
#define VST_GLSL_DESKTOP_110 \
    "#version 110\n"         \
    "#define lowp\n"         \
    "#define mediump\n"      \
    "#define highp\n"

// Standard and Sphere: position and one texture coordinate.
#define VST_GLSL_PLAIN_VERTEX                     \
    "uniform mat4 u_MVPMatrix;\n"                 \
    "attribute vec4 a_Position;\n"                \
    "attribute vec2 a_TexCoordinate;\n"           \
    "varying vec2 v_TexCoordinate;\n"             \
    "void main() {\n"                             \
    "    v_TexCoordinate = a_TexCoordinate;\n"    \
    "    gl_Position = u_MVPMatrix * a_Position;\n" \
    "}\n"

// Twins: both lenses' coordinates and the sphere position, which the
// fragment program turns into a longitude for the seams.
#define VST_GLSL_TWINS_VERTEX                       \
    "attribute vec4 a_Position;\n"                  \
    "attribute vec2 a_TexCoordinateA;\n"            \
    "attribute vec2 a_TexCoordinateB;\n"            \
    "uniform mat4 u_MVPMatrix;\n"                   \
    "varying vec2 v_TexCoordinateA;\n"              \
    "varying vec2 v_TexCoordinateB;\n"              \
    "varying float v_pos_x;\n"                      \
    "varying float v_pos_y;\n"                      \
    "varying float v_pos_z;\n"                      \
    "void main() {\n"                               \
    "    v_TexCoordinateA = a_TexCoordinateA;\n"    \
    "    v_TexCoordinateB = a_TexCoordinateB;\n"    \
    "    v_pos_x = a_Position.x;\n"                 \
    "    v_pos_y = a_Position.y;\n"                 \
    "    v_pos_z = a_Position.z;\n"                 \
    "    gl_Position = u_MVPMatrix * a_Position;\n" \
    "}\n"

// Y'CbCr samples to R'G'B' by the colour rule (common/colour): the host
// sets colorConversionMatrix and yuvOffset from yuvToRgb(), so that
// rgb = matrix × (samples − offset) for any matrix, range and bit depth.
// The conversion is affine, so samples may be mixed before yuvConvert
// (one conversion for two lenses).
#define VST_GLSL_YUV_CONVERT                                                   \
    "uniform mediump mat3 colorConversionMatrix;\n"                            \
    "uniform mediump vec3 yuvOffset;\n"                                        \
    "mediump vec3 yuvConvert(mediump vec3 yuv) {\n"                            \
    "    return colorConversionMatrix * (yuv - yuvOffset);\n"                  \
    "}\n"                                                                      \
    "mediump vec3 yuvToRgb(highp vec2 t) { return yuvConvert(yuvSample(t)); }\n"

// yuvSample and yuvToRgb on three planes (SamplerY, SamplerU, SamplerV).
// The layout is chosen when the program is built, not by a uniform:
// software GL runs both sides of a branch, uniform or not.
// samplerPrecision is a precision qualifier for the samplers.
#define VST_GLSL_YUV_TO_RGB(samplerPrecision)                                  \
    "uniform " samplerPrecision " sampler2D SamplerY;\n"                       \
    "uniform " samplerPrecision " sampler2D SamplerU;\n"                       \
    "uniform " samplerPrecision " sampler2D SamplerV;\n"                       \
    "mediump vec3 yuvSample(highp vec2 t) {\n"                                 \
    "    return vec3(texture2D(SamplerY, t).r, texture2D(SamplerU, t).r,\n"    \
    "                texture2D(SamplerV, t).r);\n"                             \
    "}\n" VST_GLSL_YUV_CONVERT

// The same on one four-channel texture on SamplerY whose red, green and
// blue hold Y', Cb and Cr (software GL filters it several times faster
// than three planes).
#define VST_GLSL_YUV_PACKED_TO_RGB(samplerPrecision)                           \
    "uniform " samplerPrecision " sampler2D SamplerY;\n"                       \
    "mediump vec3 yuvSample(highp vec2 t) { return texture2D(SamplerY, t).rgb; }\n" \
    VST_GLSL_YUV_CONVERT

// Lens matching (lens_match.h): a lens' colour under its gains, at most 1,
// before the seam blend. Each program declares the gain uniforms it needs,
// and its host sets them (unit gains when matching is off): left unset they
// would be 0.
#define VST_GLSL_LENS_MATCH                                                    \
    "mediump vec4 matchLens(mediump vec4 c, mediump vec3 gain) {\n"            \
    "    return vec4(min(c.rgb * gain, vec3(1.0)), c.a);\n"                    \
    "}\n"

// The Twins seam blend at longitude `degree` (0..360): lens B fills the
// longitudes from s0 up to s1 (s0 < s1), lens A the rest, and each seam is
// a linear cross-fade 2m degrees wide. The view passes its lens seams (in
// the order that keeps s0 < s1, swapping the lenses otherwise); the engine
// its fixed seams 90 and 270.
#define VST_GLSL_SEAM_BLEND                                                                        \
    "highp vec4 seamBlend(highp float degree, highp float s0, highp float s1, highp float m,\n"   \
    "                     highp vec4 colA, highp vec4 colB) {\n"                                  \
    "    if (s1 + m > 360.0 && degree < 2.0 * m) degree += 360.0;\n"                              \
    "    if (s0 - m < 0.0 && degree > 360.0 - 2.0 * m) degree -= 360.0;\n"                        \
    "    if (s0 + m < degree && degree <= s1 - m)\n"                                              \
    "        return colB;\n"                                                                      \
    "    if (s1 - m < degree && degree <= s1 + m) {\n"                                            \
    "        highp float a = (degree - (s1 - m)) / (2.0 * m);\n"                                  \
    "        return colA * a + colB * (1.0 - a);\n"                                               \
    "    }\n"                                                                                     \
    "    if (s0 - m < degree && degree <= s0 + m) {\n"                                            \
    "        highp float a = (degree - (s0 - m)) / (2.0 * m);\n"                                  \
    "        return colB * a + colA * (1.0 - a);\n"                                               \
    "    }\n"                                                                                     \
    "    return colA;\n"                                                                          \
    "}\n"
