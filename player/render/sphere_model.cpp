#include "sphere_model.h"

#include <QDebug>
#include <QOpenGLFunctions>

#include <algorithm>
#include <cmath>
#include <limits>

#include "shader_sources.h"

namespace vistamo::render {
namespace {

constexpr float kStep = 0.03926991f;     // π / 80
constexpr float kHalfPi = 1.5707964f;
constexpr float kDegToRad = 0.017453292f;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

int saturatedInt(double value) {
    if (!(value == value))
        return 0;
    return int(std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

void EquirectGrid::pointAt(int c, int r) {
    column = float(c) * 2 / float(gridWidth) - 1;
    row = float(r) * 2 / float(gridHeight) - 1;
    longitude = column * 3.14159265f;
    latitude = row * kHalfPi;
    dirX = std::cos(latitude) * std::sin(longitude);
    dirY = std::cos(latitude) * std::cos(longitude);
    dirZ = std::sin(latitude);
}

void EquirectGrid::rotateAbout(const float axis[3], float t) {
    const float n = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    const float ax = axis[0] / n, ay = axis[1] / n, az = axis[2] / n;
    const float c = std::cos(t), s = std::sin(t), q = 1 - c;
    const float x = dirX, y = dirY, z = dirZ;
    dirX = (c + ax * ax * q) * x + (ax * ay * q + az * s) * y + (ax * az * q - ay * s) * z;
    dirY = (ax * ay * q - az * s) * x + (c + ay * ay * q) * y + (ay * az * q + ax * s) * z;
    dirZ = (ax * az * q + ay * s) * x + (ay * az * q - ax * s) * y + (c + az * az * q) * z;
}

SphereModel::SphereModel() = default;
SphereModel::~SphereModel() = default;

void SphereModel::buildMesh() {
    size_t k = 0;
    for (int i = 0; i < kRings; ++i) {
        for (int j = 0; j <= kColumns; ++j) {
            // Odd rings run backwards; 2π − j·s is the same meridian as 160 − j.
            const double longitude = i % 2 == 0 ? double(j) * kStep : kTwoPi - double(j) * kStep;
            for (int edge = 0; edge < 2; ++edge) {
                const float latitude = kHalfPi - float(i + edge) * kStep;
                positions[k++] = float(std::cos(longitude)) * std::cos(latitude);
                positions[k++] = std::sin(latitude);
                positions[k++] = float(std::sin(longitude)) * std::cos(latitude);
            }
        }
    }
}

void SphereModel::compile(const char* name, const char* vertex, const char* fragment) {
    const bool v = program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex);
    qDebug().noquote() << QStringLiteral("%1 vertex compile: ").arg(QLatin1String(name)) << v;
    const bool f = program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragment);
    qDebug().noquote() << QStringLiteral("%1 fragment compile: ").arg(QLatin1String(name)) << f;
    program.link();  // a failed link shows as nothing drawn
    uMvp = program.uniformLocation("u_MVPMatrix");
    uTexture = program.uniformLocation("u_Texture");
    aPosition = program.attributeLocation("a_Position");
}

void SphereModel::drawStrip(int texCoordBLocation) {
    program.setUniformValue(uMvp, projection * (view * model));
    program.enableAttributeArray(aPosition);
    program.setAttributeArray(aPosition, GL_FLOAT, positions.data(), 3);
    program.enableAttributeArray(aTexCoord);
    program.setAttributeArray(aTexCoord, GL_FLOAT, texCoordA.data(), 2);
    if (texCoordBLocation >= 0) {
        program.enableAttributeArray(texCoordBLocation);
        program.setAttributeArray(texCoordBLocation, GL_FLOAT, texCoordB.data(), 2);
    }
    gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, kVertices);
    program.disableAttributeArray(aPosition);
    program.disableAttributeArray(aTexCoord);
    if (texCoordBLocation >= 0)
        program.disableAttributeArray(texCoordBLocation);
    program.release();
}

void GLSphereStandard::buildProgram() {
    compile("Standard", shaders::kPlainVertex, shaders::kStandardFragment);
    aTexCoord = program.attributeLocation("a_TexCoordinate");
    uIsYuv = program.uniformLocation("isYuv420");
}

void GLSphereStandard::draw() {
    if (!program.isLinked())
        program.link();
    program.bind();
    program.setUniformValue(uIsYuv, 0);
    program.setUniformValue(uTexture, 0);
    drawStrip(-1);
}

void GLSphereStandard::buildDefaultTexCoords() {
    size_t k = 0;
    for (int i = 0; i < kRings; ++i) {
        for (int j = 0; j <= kColumns; ++j) {
            const float u = float(columnOf(i, j)) / 160.0f;
            texCoordA[k++] = u;
            texCoordA[k++] = float(i) / 80.0f;
            texCoordA[k++] = u;
            texCoordA[k++] = float(i) / 80.0f + 0.0125f;
        }
    }
}

void GLSphereStandard::rotateModel(float) { model.rotate(90.0f, 0.0f, 1.0f, 0.0f); }

void GLSphereFishEye::buildProgram() {
    compile("Sphere", shaders::kPlainVertex, shaders::kSphereFragment);
    aTexCoord = program.attributeLocation("a_TexCoordinate");
    uIsYuv = program.uniformLocation("isYuv420");
}

void GLSphereFishEye::draw() {
    program.bind();
    program.setUniformValue(uIsYuv, 0);
    program.setUniformValue(uTexture, 0);
    drawStrip(-1);
}

int GLSphereFishEye::effectiveRadius(int r, int cx) {
    // Step p from cx down by 2 until it lies within 4 of t = cx − r or falls
    // below 0; computed in closed form (and 64 bits) so that no radius makes
    // it loop long or overflow.
    const int64_t radius = r, centre = cx;
    if (radius <= 0)
        return 0;  // p = cx does not lie above t
    const int64_t toTarget = radius <= 4 ? 0 : (radius - 4 + 1) / 2;  // steps until p − t ≤ 4
    const int64_t toNegative = centre < 0 ? 0 : centre / 2 + 1;       // steps until p < 0
    const int64_t steps = std::min(toTarget, toNegative);
    const int64_t p = centre - 2 * steps;
    return p < 0 ? r : saturatedInt(double(2 * steps));
}

void GLSphereFishEye::setImageData(const ImageData& d) {
    data = d;
    if (data.lenses.size() != 1 || data.frameWidth <= 0 || data.frameHeight <= 0)
        return;
    const LenParam& lens = data.lenses[0];
    const float fov = data.fov;
    const int rows = saturatedInt(std::ceil(double(fov) * 80.0 / 360.0));
    const int e = effectiveRadius(lens.radius, lens.centerX);
    const float delta = float(double(e) * kStep / (double(fov) * 3.14159265358979 / 360.0));
    const float w = float(data.frameWidth), h = float(data.frameHeight);
    // Rings 0 .. rows − 2; a negative field of view gives none.
    const int lastRing = rows < 2 ? -1 : std::min(rows - 2, kRings - 1);
    for (int i = 0; i <= lastRing; ++i) {
        for (int j = 0; j <= kColumns; ++j) {
            const float alpha = kStep * float(columnOf(i, j));
            const size_t k = (size_t(i) * (kColumns + 1) + size_t(j)) * 4;
            const float inner = float(i) * delta, outer = float(i) * delta + delta;
            texCoordA[k] = (float(lens.centerX) + std::sin(alpha) * inner) / w;
            texCoordA[k + 1] = (float(lens.centerY) + std::cos(alpha) * inner) / h;
            texCoordA[k + 2] = (float(lens.centerX) + std::sin(alpha) * outer) / w;
            texCoordA[k + 3] = (float(lens.centerY) + std::cos(alpha) * outer) / h;
        }
    }
}

GLSphere2FishEye::GLSphere2FishEye() : grid(std::make_unique<EquirectGrid>()) {}

void GLSphere2FishEye::buildProgram() {
    compile("Twins", shaders::kTwinsVertex, shaders::kTwinsFragment);
    aTexCoord = program.attributeLocation("a_TexCoordinateA");
    aTexCoordB = program.attributeLocation("a_TexCoordinateB");
    uMaskSize = program.uniformLocation("v_maskSize");
    uYaw0 = program.uniformLocation("yaw0");
    uYaw1 = program.uniformLocation("yaw1");
}

void GLSphere2FishEye::draw() {
    program.bind();
    program.setUniformValue(uTexture, 0);
    program.setUniformValue(uYaw0, yaw0);
    program.setUniformValue(uYaw1, yaw1);
    program.setUniformValue(uMaskSize, (data.fov2 - 180.0f) * 1.0f);
    drawStrip(aTexCoordB);
}

void GLSphere2FishEye::lensPixel(int c, int r, int lens, float& px, float& py) {
    grid->pointAt(c, r);
    const bool twoLenses = data.lenses.size() == 2;
    if (twoLenses) {
        const LenParam& l = data.lenses[size_t(lens)];
        if (l.yaw != 0) grid->rotateAbout(yawAxis, l.yaw * kDegToRad);
        if (l.pitch != 0) grid->rotateAbout(pitchAxis, l.pitch * kDegToRad);
        if (l.roll != 0) grid->rotateAbout(rollAxis, l.roll * kDegToRad);
    }
    const float dx = grid->dirX, dy = grid->dirY, dz = grid->dirZ;
    const float theta = std::atan2(std::sqrt(dx * dx + dz * dz), dy);
    const float rho = data.fov != 0 ? (theta * 180.0f / 3.14159265f) / (data.fov / 2) : 0;
    const float psi = std::atan2(dz, dx);
    px = py = 0;
    if (twoLenses) {
        const LenParam& l = data.lenses[size_t(lens)];
        const float a = l.coefA, b = l.coefB, cc = l.coefC;
        const float distorted = a * rho * rho * rho * rho + b * rho * rho * rho + cc * rho * rho + (1 - a - b - cc) * rho;
        const float radius = float(l.radius);
        px = ((std::cos(psi) * distorted + 1) * 0.5f) * 2 * radius + (float(l.centerX) - radius);
        py = ((std::sin(psi) * distorted + 1) * 0.5f) * 2 * radius + (float(l.centerY) - radius);
    }
    px += data.offsetX;
    py += data.offsetY;
    px = data.calibWidth != 0 ? float(data.frameWidth) * px / float(data.calibWidth) : 0;
    py = data.calibHeight != 0 ? float(data.frameHeight) * py / float(data.calibHeight) : 0;
}

void GLSphere2FishEye::setImageData(const ImageData& d) {
    data = d;
    grid->gridHeight = kRings;
    const float w = float(data.frameWidth > 0 ? data.frameWidth : 1);
    const float h = float(data.frameHeight > 0 ? data.frameHeight : 1);
    for (int i = 0; i < kRings; ++i) {
        for (int j = 0; j <= kColumns; ++j) {
            const int c = columnOf(i, j);
            const size_t k = (size_t(i) * (kColumns + 1) + size_t(j)) * 4;
            for (int lens = 0; lens < 2; ++lens) {
                auto& coords = lens == 0 ? texCoordA : texCoordB;
                float px, py;
                lensPixel(c, i, lens, px, py);
                coords[k] = px / w;
                coords[k + 1] = py / h;
                lensPixel(c, i + 1, lens, px, py);
                coords[k + 2] = px / w;
                coords[k + 3] = py / h;
            }
        }
    }
    if (data.lenses.size() == 2) {
        auto seam = [](float yaw) {
            float s = yaw + 180 + 90;
            return s > 360 ? s - 360 : s;
        };
        yaw0 = seam(data.lenses[0].yaw);
        yaw1 = seam(data.lenses[1].yaw);
    }
}

}  // namespace vistamo::render
