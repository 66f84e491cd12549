#include "stitch_renderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

#include "calibration_check.h"
#include "engine_log.h"
#include "shaders.h"
#include "stitch_geometry.h"

namespace loomfold {
namespace {

const GLfloat kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

uint8_t clampByte(float v) { return uint8_t(std::clamp(int(v), 0, 255)); }

}  // namespace

StitchRenderer::~StitchRenderer() = default;

void StitchRenderer::configure(int viewWidth, int viewHeight, int mode) {
    viewW_ = viewWidth;
    viewH_ = viewHeight;
    mode_ = mode;
}

int StitchRenderer::maxRenderbufferSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &size);
    return size;
}

int StitchRenderer::maxTextureSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

unsigned StitchRenderer::checkGlError() {
    const GLenum error = glGetError();
    switch (error) {
    case GL_NO_ERROR: break;
    case GL_INVALID_ENUM: LF_LOG(kLogError, "GL Error: Enum argument is out of range \r\n"); break;
    case GL_INVALID_VALUE: LF_LOG(kLogError, "GL Error: Numeric value is out of range \r\n"); break;
    case GL_INVALID_OPERATION: LF_LOG(kLogError, "GL Error: Operation illegal in current state \r\n"); break;
    case GL_OUT_OF_MEMORY: LF_LOG(kLogError, "GL Error: Not enough memory to execute command \r\n"); break;
    default: LF_LOG(kLogError, "Unknown GL Error %d \r\n", int(error)); break;
    }
    return error;
}

bool StitchRenderer::initialise() {
    if (mode_ == kModeTwins) {
        program_ = shaders::buildProgram(shaders::kTwinsVertex, shaders::kTwinsFragment);
        if (program_) {
            aTexA_ = glGetAttribLocation(program_, "a_TexCoordinateA");
            aTexB_ = glGetAttribLocation(program_, "a_TexCoordinateB");
            uMask_ = glGetUniformLocation(program_, "v_maskdegree");
            uModeType_ = glGetUniformLocation(program_, "modetype");
            uYaw0_ = glGetUniformLocation(program_, "yaw0");
            uYaw1_ = glGetUniformLocation(program_, "yaw1");
            uGainA_ = glGetUniformLocation(program_, "lensGainA");
            uGainB_ = glGetUniformLocation(program_, "lensGainB");
            LF_LOG(kLogInfo, "twin_initShader mProgramHandle %u", program_);
        }
    } else if (mode_ == kModeStandard) {
        program_ = shaders::buildProgram(shaders::kPlainVertex, shaders::kStandardFragment);
        if (program_)
            aTexA_ = glGetAttribLocation(program_, "a_TexCoordinate");
    } else if (mode_ == kModeSphere) {
        program_ = shaders::buildProgram(shaders::kPlainVertex, shaders::kSphereFragment);
        if (program_)
            aTexA_ = glGetAttribLocation(program_, "a_TexCoordinate");
    } else {
        return false;  // no such mode: nothing is built, nothing drawn
    }
    if (!program_)
        return false;
    uMvp_ = glGetUniformLocation(program_, "u_MVPMatrix");
    aPosition_ = glGetAttribLocation(program_, "a_Position");
    uSampler_[0] = glGetUniformLocation(program_, "SamplerY");
    uSampler_[1] = glGetUniformLocation(program_, "SamplerU");
    uSampler_[2] = glGetUniformLocation(program_, "SamplerV");
    uMatrix_ = glGetUniformLocation(program_, "colorConversionMatrix");
    uOffset_ = glGetUniformLocation(program_, "yuvOffset");
    uTexture_ = glGetUniformLocation(program_, "u_Texture");
    uIsYuv_ = glGetUniformLocation(program_, "isYuv420");
    if (mode_ != kModeStandard)
        positions_ = gridPositions();
    checkGlError();
    return true;
}

bool StitchRenderer::prepareFirstFrame(const stitch_frame& frame) {
    lumaStride_ = frame.linesize[0];
    frameHeight_ = frame.height;
    lens_.frameWidth = frame.width;
    lens_.frameHeight = frame.height;
    LF_LOG(kLogInfo, "render text w %d,h %d", frame.width, frame.height);
    if (mode_ == kModeTwins) {
        coordsA_ = twinsTexCoords(lens_, 0, lumaStride_);
        coordsB_ = twinsTexCoords(lens_, 1, lumaStride_);
        yaw0_ = seamAngle(lens_.lenses[0].yaw);
        yaw1_ = seamAngle(lens_.lenses[1].yaw);
    } else if (mode_ == kModeSphere) {
        if (lens_.lenses[0].radius <= 10 && request_) {
            // The host finds the circle on the picture as packed B, G, R,
            // converted by the frame's colour rule.
            const int stride = frame.linesize[0], chromaStride = frame.linesize[1];
            const vistamo::colour::YuvToRgb toRgb = vistamo::colour::yuvToRgb(frame.colour);
            const float* m = toRgb.m;
            const float oy = toRgb.offset[0] * 255, oc = toRgb.offset[1] * 255;
            std::vector<uint8_t> bgr(size_t(stride) * size_t(frame.height) * 3);
            for (int row = 0; row < frame.height; ++row) {
                for (int col = 0; col < stride; ++col) {
                    const float y = frame.data[0][size_t(row) * size_t(stride) + size_t(col)] - oy;
                    const size_t c = size_t(row / 2) * size_t(chromaStride) + size_t(col / 2);
                    const float u = frame.data[1][c] - oc, v = frame.data[2][c] - oc;
                    uint8_t* p = &bgr[(size_t(row) * size_t(stride) + size_t(col)) * 3];
                    p[0] = clampByte(m[6] * y + m[7] * u + m[8] * v);
                    p[1] = clampByte(m[3] * y + m[4] * u + m[5] * v);
                    p[2] = clampByte(m[0] * y + m[1] * u + m[2] * v);
                }
            }
            const std::string text = request_(bgr.data(), stride, frame.height, 3);
            problem_ = vistamo::lens::calibrationProblem(text);
            if (problem_.empty() && !parseSingleLensCalibration(text, lens_))
                problem_ = "the circle search gave no single-lens calibration";
            if (!problem_.empty())
                return false;
        }
        coordsA_ = sphereTexCoords(lens_);
    }
    firstFrameDone_ = true;
    return true;
}

bool StitchRenderer::upload(const stitch_frame& frame) {
    if (!firstFrameDone_ && !prepareFirstFrame(frame))
        return false;
    colour_ = frame.colour;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (!textures_[0]) {
        glGenTextures(3, textures_);
        LF_LOG(kLogInfo, "texture id %u,%u,%u error %d \r\n", textures_[0], textures_[1], textures_[2],
               int(glGetError()));
    }
    for (int plane = 0; plane < 3; ++plane) {
        glBindTexture(GL_TEXTURE_2D, textures_[plane]);
        const int height = plane == 0 ? frame.height : frame.height / 2;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, frame.linesize[plane], height, 0, GL_LUMINANCE,
                     GL_UNSIGNED_BYTE, frame.data[plane]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    checkGlError();
    return true;
}

bool StitchRenderer::createFramebuffer() {
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    const int maxSize = maxRenderbufferSize();
    LF_LOG(kLogError, "createDataFBO renderer.view_w %d view_h %d maxsize %d", viewW_, viewH_, maxSize);
    if (viewW_ > maxSize || viewH_ > maxSize || viewW_ <= 0 || viewH_ <= 0) {
        LF_LOG(kLogError, "[ERROR] Framebuffer size %dx%d is outside 1..%d.", viewW_, viewH_, maxSize);
        return false;
    }
    glGenRenderbuffers(1, &renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, viewW_, viewH_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    switch (status) {
    case GL_FRAMEBUFFER_COMPLETE: break;
    case 0x8CA6: LF_LOG(kLogError, "[ERROR] Framebuffer incomplete: Color attached images have different internal formats."); break;
    case 0x8CA7: LF_LOG(kLogError, "[ERROR] Framebuffer incomplete: Draw buffer."); break;
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
        LF_LOG(kLogError, "[ERROR] Framebuffer incomplete: Attachment is NOT complete.   ");
        break;
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
        LF_LOG(kLogError, "[ERROR] Framebuffer incomplete: No image is attached to FBO.");
        break;
    case GL_FRAMEBUFFER_UNSUPPORTED: LF_LOG(kLogError, "[ERROR] Unsupported by FBO implementation."); break;
    default: LF_LOG(kLogError, "[ERROR] Unknow error."); break;
    }
    LF_LOG(kLogInfo, "Incomplete filter FBO: %d", int(status));
    return status == GL_FRAMEBUFFER_COMPLETE;
}

bool StitchRenderer::render() {
    if (!textures_[0])
        return true;  // nothing uploaded yet
    if (!framebuffer_)
        framebufferComplete_ = createFramebuffer();
    if (!framebufferComplete_)
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glUseProgram(program_);
    glViewport(0, 0, viewW_, viewH_);
    if (!program_) {
        checkGlError();
        return true;  // a program that failed to build draws nothing
    }
    glUniformMatrix4fv(uMvp_, 1, GL_FALSE, kIdentity);
    for (int plane = 0; plane < 3; ++plane) {
        glActiveTexture(GL_TEXTURE0 + plane);
        glBindTexture(GL_TEXTURE_2D, textures_[plane]);
        glUniform1i(uSampler_[plane], plane);
    }
    // The frame's own colour rule, as the view converts it.
    const vistamo::colour::YuvToRgb toRgb = vistamo::colour::yuvToRgb(colour_);
    GLfloat matrix[9];
    vistamo::colour::columnMajor(toRgb.m, matrix);
    glUniformMatrix3fv(uMatrix_, 1, GL_FALSE, matrix);
    glUniform3fv(uOffset_, 1, toRgb.offset);
    glUniform1i(uTexture_, 0);

    static const GLfloat kQuad[8] = {-1, 1, 1, 1, -1, -1, 1, -1};
    static const GLfloat kQuadCoords[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    const bool quad = mode_ == kModeStandard;
    glEnableVertexAttribArray(GLuint(aPosition_));
    glVertexAttribPointer(GLuint(aPosition_), 2, GL_FLOAT, GL_FALSE, 0, quad ? kQuad : positions_.data());
    glEnableVertexAttribArray(GLuint(aTexA_));
    glVertexAttribPointer(GLuint(aTexA_), 2, GL_FLOAT, GL_FALSE, 0, quad ? kQuadCoords : coordsA_.data());
    if (mode_ == kModeTwins) {
        glUniform1f(uIsYuv_, 1.0f);
        glUniform1f(uYaw0_, yaw0_);
        glUniform1f(uYaw1_, yaw1_);
        glUniform3fv(uGainA_, 1, gains_.a.data());
        glUniform3fv(uGainB_, 1, gains_.b.data());
        if (!std::isnan(lens_.fov2))
            glUniform1f(uMask_, lens_.fov2 - 180);
        glUniform1f(uModeType_, 2.0f);
        glEnableVertexAttribArray(GLuint(aTexB_));
        glVertexAttribPointer(GLuint(aTexB_), 2, GL_FLOAT, GL_FALSE, 0, coordsB_.data());
    } else if (mode_ == kModeSphere) {
        glUniform1f(uIsYuv_, 1.0f);
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, quad ? 4 : kGridVertices);
    glDisableVertexAttribArray(GLuint(aPosition_));
    glDisableVertexAttribArray(GLuint(aTexA_));
    if (mode_ == kModeTwins)
        glDisableVertexAttribArray(GLuint(aTexB_));
    rendered_ = true;  // the read-back waits for the drawing to finish
    checkGlError();
    return true;
}

bool StitchRenderer::readPixels(int width, int height, std::vector<uint8_t>& rgba) const {
    if (!rendered_ || width <= 0 || height <= 0 || width > viewW_ || height > viewH_)
        return false;
    rgba.resize(size_t(width) * size_t(height) * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return checkGlError() == GL_NO_ERROR;
}

void StitchRenderer::release() {
    if (textures_[0])
        glDeleteTextures(3, textures_);
    if (renderbuffer_)
        glDeleteRenderbuffers(1, &renderbuffer_);
    if (framebuffer_)
        glDeleteFramebuffers(1, &framebuffer_);
    if (program_)
        glDeleteProgram(program_);
    textures_[0] = textures_[1] = textures_[2] = 0;
    renderbuffer_ = framebuffer_ = program_ = 0;
}

}  // namespace loomfold
