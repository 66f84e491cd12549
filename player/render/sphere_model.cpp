#include "sphere_model.h"

#include <QDebug>
#include <QOpenGLFunctions>

#include <algorithm>
#include <cmath>

#include "seam_blend.h"
#include "shader_sources.h"

namespace vistamo::render {
namespace {

constexpr float kStep = lens::kRingStep;  // π / 80
constexpr float kHalfPi = 1.5707964f;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

void EquirectGrid::pointAt(int c, int r) {
    column = float(c) * 2 / float(gridWidth) - 1;
    row = float(r) * 2 / float(gridHeight) - 1;
    longitude = column * 3.14159265f;
    latitude = row * kHalfPi;
    const lens::Vec3 d = lens::gridDirection(c, r);
    dirX = d.x;
    dirY = d.y;
    dirZ = d.z;
}

void EquirectGrid::rotateAbout(const float axis[3], float t) {
    const lens::Vec3 d = lens::rotateAbout({dirX, dirY, dirZ}, {axis[0], axis[1], axis[2]}, t);
    dirX = d.x;
    dirY = d.y;
    dirZ = d.z;
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

void SphereModel::adoptCoordinates(SphereModel& built) {
    std::swap(texCoordA, built.texCoordA);
    std::swap(texCoordB, built.texCoordB);
    std::swap(data, built.data);
}

void GLSphere2FishEye::adoptCoordinates(SphereModel& built) {
    SphereModel::adoptCoordinates(built);
    auto& twins = static_cast<GLSphere2FishEye&>(built);
    std::swap(yaw0, twins.yaw0);
    std::swap(yaw1, twins.yaw1);
}

void ModelProgram::compile(const char* name, const char* vertex, const char* fragment, const char* coordName) {
    this->program = std::make_unique<QOpenGLShaderProgram>();
    QOpenGLShaderProgram& program = *this->program;
    const bool v = program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex);
    qDebug().noquote() << QStringLiteral("%1 vertex compile: ").arg(QLatin1String(name)) << v;
    const bool f = program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragment);
    qDebug().noquote() << QStringLiteral("%1 fragment compile: ").arg(QLatin1String(name)) << f;
    program.link();  // a failed link shows as nothing drawn
    uMvp = program.uniformLocation("u_MVPMatrix");
    uTexture = program.uniformLocation("u_Texture");
    aPosition = program.attributeLocation("a_Position");
    uMatrix = program.uniformLocation("colorConversionMatrix");
    uOffset = program.uniformLocation("yuvOffset");
    uSamplerY = program.uniformLocation("SamplerY");
    aTexCoord = program.attributeLocation(coordName);
    aTexCoordB = program.attributeLocation("a_TexCoordinateB");
    aWeightB = program.attributeLocation("a_WeightB");
    uGain = program.uniformLocation("lensGain");
    uGainA = program.uniformLocation("lensGainA");
    uGainB = program.uniformLocation("lensGainB");
}

void PicturePrograms::compile(const char* name, const char* vertex, const shaders::Fragment& fragment,
                              const char* coordName) {
    rgb.compile(name, vertex, fragment.rgb, coordName);
    yuv.compile(name, vertex, fragment.yuv, coordName);
}

namespace {

QVector3D gainVector(const std::array<float, 3>& gain) { return QVector3D(gain[0], gain[1], gain[2]); }

}  // namespace

void SphereModel::setPictureUniforms(ModelProgram& target) {
    QOpenGLShaderProgram& p = *target.program;
    // Unit gains unless the Twins model sets a lens' own.
    p.setUniformValue(target.uGain, QVector3D(1, 1, 1));
    if (!picture.yuv) {
        p.setUniformValue(target.uTexture, 0);
        return;
    }
    p.setUniformValue(target.uSamplerY, 1);
    p.setUniformValue(target.uMatrix, QMatrix3x3(picture.matrix));
    p.setUniformValue(target.uOffset, QVector3D(picture.offset[0], picture.offset[1], picture.offset[2]));
}

void SphereModel::drawMesh(ModelProgram& target, const float* coords, const std::vector<uint32_t>* triangles,
                           int coordsBLocation, const float* coordsB) {
    QOpenGLShaderProgram& program = *target.program;
    program.setUniformValue(target.uMvp, projection * (view * model));
    program.enableAttributeArray(target.aPosition);
    program.setAttributeArray(target.aPosition, GL_FLOAT, positions.data(), 3);
    program.enableAttributeArray(target.aTexCoord);
    program.setAttributeArray(target.aTexCoord, GL_FLOAT, coords, 2);
    if (coordsBLocation >= 0) {
        program.enableAttributeArray(coordsBLocation);
        program.setAttributeArray(coordsBLocation, GL_FLOAT, coordsB, 2);
    }
    if (!triangles)
        gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, kVertices);
    else if (!triangles->empty())
        gl->glDrawElements(GL_TRIANGLES, GLsizei(triangles->size()), GL_UNSIGNED_INT, triangles->data());
    program.disableAttributeArray(target.aPosition);
    program.disableAttributeArray(target.aTexCoord);
    if (coordsBLocation >= 0)
        program.disableAttributeArray(coordsBLocation);
}

void SphereModel::buildPlainProgram(const char* name, const shaders::Fragment& fragment) {
    shader.compile(name, shaders::kPlainVertex, fragment, "a_TexCoordinate");
}

void SphereModel::drawPlain() {
    ModelProgram& p = shader.forPicture(picture);
    p.program->bind();
    setPictureUniforms(p);
    drawMesh(p, texCoordA.data());
    p.program->release();
}

void GLSphereStandard::buildProgram() { buildPlainProgram("Standard", shaders::kStandardFragment); }

void GLSphereStandard::draw() {
    if (shader.built())
        drawPlain();
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

void GLSphereFishEye::buildProgram() { buildPlainProgram("Sphere", shaders::kSphereFragment); }

void GLSphereFishEye::draw() {
    if (shader.built())
        drawPlain();
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
    // Rings are spaced by the effective radius, where the lens edge lies.
    lens::sphereStripCoords(float(lens.centerX), float(lens.centerY), effectiveRadius(lens.radius, lens.centerX),
                            data.fov, float(data.frameWidth), float(data.frameHeight), texCoordA.data());
}

GLSphere2FishEye::GLSphere2FishEye() : grid(std::make_unique<EquirectGrid>()) {}

void GLSphere2FishEye::buildProgram() {
    shader.compile("Twins", shaders::kTwinsVertex, shaders::kTwinsFragment, "a_TexCoordinateA");
    oneLens.compile("Twins one lens", shaders::kPlainVertex, shaders::kSphereFragment, "a_TexCoordinate");
}

void GLSphere2FishEye::releaseProgram() {
    shader.reset();
    oneLens.reset();
}

void GLSphere2FishEye::draw() {
    if (!shader.built() || !oneLens.built())
        return;
    const float mask = (data.fov2 - 180.0f) * 1.0f;
    if (weightsFor_[0] != yaw0 || weightsFor_[1] != yaw1 || weightsFor_[2] != mask) {
        lens::twinsStripWeights(yaw0, yaw1, mask, weightB.data());
        triangles = lens::twinsStripTriangles(weightB.data(), kVertices);
        weightsFor_[0] = yaw0;
        weightsFor_[1] = yaw1;
        weightsFor_[2] = mask;
    }
    // Where one lens is seen alone (weight 0 or 1 at all three corners,
    // so everywhere inside), its picture as it is; the bands blended.
    ModelProgram& one = oneLens.forPicture(picture);
    one.program->bind();
    setPictureUniforms(one);
    one.program->setUniformValue(one.uGain, gainVector(picture.gains.a));
    drawMesh(one, texCoordA.data(), &triangles.lensA);
    one.program->setUniformValue(one.uGain, gainVector(picture.gains.b));
    drawMesh(one, texCoordB.data(), &triangles.lensB);
    one.program->release();
    ModelProgram& blend = shader.forPicture(picture);
    QOpenGLShaderProgram& program = *blend.program;
    program.bind();
    setPictureUniforms(blend);
    program.setUniformValue(blend.uGainA, gainVector(picture.gains.a));
    program.setUniformValue(blend.uGainB, gainVector(picture.gains.b));
    program.enableAttributeArray(blend.aWeightB);
    program.setAttributeArray(blend.aWeightB, GL_FLOAT, weightB.data(), 1);
    drawMesh(blend, texCoordA.data(), &triangles.blend, blend.aTexCoordB, texCoordB.data());
    program.disableAttributeArray(blend.aWeightB);
    program.release();
}

namespace {

// The shared model's view of the record: lens k when it holds two lenses.
bool twinsLens(const ImageData& data, int k, lens::FisheyeLens& out) {
    if (data.lenses.size() != 2)
        return false;
    out = lens::fisheyeLensOf(data.lenses[size_t(k)]);
    return true;
}

lens::LensFrame frameOf(const ImageData& data) {
    return {data.fov, data.offsetX, data.offsetY, float(data.calibWidth), float(data.calibHeight),
            float(data.frameWidth), float(data.frameHeight)};
}

}  // namespace

void GLSphere2FishEye::lensPixel(int c, int r, int k, float& px, float& py) {
    grid->pointAt(c, r);
    lens::FisheyeLens l;
    const bool twoLenses = twinsLens(data, k, l);
    lens::lensPixel(twoLenses ? &l : nullptr, frameOf(data), c, r, px, py);
}

void GLSphere2FishEye::setImageData(const ImageData& d) {
    data = d;
    grid->gridHeight = kRings;
    const float w = float(data.frameWidth > 0 ? data.frameWidth : 1);
    const float h = float(data.frameHeight > 0 ? data.frameHeight : 1);
    const lens::LensFrame frame = frameOf(data);
    for (int k = 0; k < 2; ++k) {
        lens::FisheyeLens l;
        const bool twoLenses = twinsLens(data, k, l);
        lens::twinsStripCoords(twoLenses ? &l : nullptr, frame, w, h, (k == 0 ? texCoordA : texCoordB).data());
    }
    if (data.lenses.size() == 2) {
        yaw0 = lens::seamAngle(data.lenses[0].yaw);
        yaw1 = lens::seamAngle(data.lenses[1].yaw);
    }
}

}  // namespace vistamo::render
