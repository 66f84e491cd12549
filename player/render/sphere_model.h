// The panorama is drawn as the inside of a unit sphere: one mesh of 80 rings
// by 161 columns as a single triangle strip (25 760 vertices), with a
// texture coordinate for every vertex that depends on how the picture maps
// onto the sphere. The three models differ only in that mapping; the mesh
// and coordinate tables are plain arrays, built and tested without GL.
#pragma once

#include <QMatrix4x4>
#include <QOpenGLShaderProgram>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "fisheye_lens.h"
#include "lens_match.h"
#include "seam_blend.h"
#include "lensmeta/lensmeta.h"
#include "shader_sources.h"

class QOpenGLFunctions;

namespace vistamo::render {

constexpr int kRings = lens::kGridRows;
constexpr int kColumns = lens::kGridColumns;
constexpr int kVertices = lens::kStripVertices;  // 25 760

// Grid directions and the lens rotations of the two-lens model.
struct EquirectGrid {
    float dirX = 0, dirY = 0, dirZ = 0;
    int gridWidth = kColumns;
    int gridHeight = kRings;
    float longitude = 0, latitude = 0;  // radians
    float column = 0, row = 0;          // normalised to [−1, 1]

    // Sets the direction of grid point (c, r) in the lens frame (+y ahead).
    void pointAt(int c, int r);
    // Turns the direction about unit-less axis a by angle t (radians).
    void rotateAbout(const float a[3], float t);
};

using lens::saturatedInt;

// How the programs read the bound picture: one RGB texture on unit 0, or
// Y'CbCr texels (packed in one texture on unit 1) converted by the colour
// rule's matrix and offsets.
struct PictureUniforms {
    bool yuv = false;
    float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row major
    float offset[3] = {0, 0, 0};
    lens::LensGains gains;  // Twins: the lenses' matching gains (unit: as recorded)
};

// The column of strip position j on ring i (the strip zig-zags).
inline int columnOf(int ring, int j) { return lens::stripColumn(ring, j); }

// A linked program of a model and the locations the model sets. Belongs to
// the context it was built in; remade with each new context.
struct ModelProgram {
    std::unique_ptr<QOpenGLShaderProgram> program;
    int uMvp = -1, uTexture = -1, aPosition = -1, aTexCoord = -1;
    int uMatrix = -1, uOffset = -1, uSamplerY = -1;
    int aTexCoordB = -1, aWeightB = -1;  // Twins only
    int uGain = -1, uGainA = -1, uGainB = -1;  // the matching gains (lens_match.h)

    // Compiles and links the two texts, logging each result under name;
    // coordName is the attribute of the (first) texture coordinate.
    void compile(const char* name, const char* vertex, const char* fragment, const char* coordName);
    bool linked() const { return program && program->isLinked(); }
};

// A model's program in its two builds: for an RGB picture and for packed
// Y'CbCr texels. The picture being drawn picks one.
struct PicturePrograms {
    ModelProgram rgb, yuv;

    void compile(const char* name, const char* vertex, const shaders::Fragment& fragment, const char* coordName);
    ModelProgram& forPicture(const PictureUniforms& picture) { return picture.yuv ? yuv : rgb; }
    bool built() const { return rgb.program && yuv.program; }
    bool linked() const { return rgb.linked() && yuv.linked(); }
    void reset() {
        rgb.program.reset();
        yuv.program.reset();
    }
};

class SphereModel {
public:
    SphereModel();
    virtual ~SphereModel();

    virtual void buildProgram() = 0;
    virtual void draw() = 0;
    virtual void buildDefaultTexCoords() = 0;
    virtual void setImageData(const ImageData& data) = 0;
    virtual void rotateModel(float degrees) = 0;
    // Takes the record and coordinate tables that another model of the
    // same kind built (the frame intake's), leaving it ours.
    virtual void adoptCoordinates(SphereModel& built);

    void buildMesh();
    void setFunctions(QOpenGLFunctions* functions) { gl = functions; }
    virtual bool programLinked() const { return shader.linked(); }
    // Deletes the programs (their context must be current); buildProgram
    // makes new ones in the next context.
    virtual void releaseProgram() { shader.reset(); }

    QMatrix4x4 projection;
    QMatrix4x4 model;
    QMatrix4x4 view;
    PictureUniforms picture;  // set by the view before each draw
    std::array<float, kVertices * 2> texCoordA{};
    std::array<float, kVertices * 2> texCoordB{};
    ImageData data;
    std::array<float, kVertices * 3> positions{};
    PicturePrograms shader;
    bool texCoordsReady = false;
    QOpenGLFunctions* gl = nullptr;

protected:
    // Draws the mesh with p (bound, its picture uniforms set): the whole
    // strip, or the listed triangles; coords feed p's coordinate, and
    // coordsB the attribute at coordsBLocation when that is not −1.
    void drawMesh(ModelProgram& p, const float* coords, const std::vector<uint32_t>* triangles = nullptr,
                  int coordsBLocation = -1, const float* coordsB = nullptr);
    // Sets the sampler and the conversion uniforms from picture (p bound).
    void setPictureUniforms(ModelProgram& p);
    // Standard and Sphere: the plain vertex program with one coordinate.
    void buildPlainProgram(const char* name, const shaders::Fragment& fragment);
    void drawPlain();
};

class GLSphereStandard : public SphereModel {
public:
    void buildProgram() override;
    void draw() override;
    void buildDefaultTexCoords() override;
    void setImageData(const ImageData&) override {}
    // Turns the model matrix by 90 degrees about +y (never called by the view).
    void rotateModel(float) override;
};

class GLSphereFishEye : public SphereModel {
public:
    void buildProgram() override;
    void draw() override;
    void buildDefaultTexCoords() override {}
    void setImageData(const ImageData& data) override;
    void rotateModel(float) override {}

    // The radius at which the lens edge of fov / 2 lies for a circle of
    // radius r centred at x = cx.
    static int effectiveRadius(int r, int cx);
};

class GLSphere2FishEye : public SphereModel {
public:
    GLSphere2FishEye();
    void buildProgram() override;
    void draw() override;
    void buildDefaultTexCoords() override {}
    void setImageData(const ImageData& data) override;
    void rotateModel(float) override {}
    void adoptCoordinates(SphereModel& built) override;

    // The frame pixel of grid point (c, r) in lens k.
    void lensPixel(int c, int r, int lens, float& px, float& py);

    const float yawAxis[3] = {0, 0, -1};
    const float pitchAxis[3] = {-1, 0, 0};
    const float rollAxis[3] = {0, -1, 0};
    bool programLinked() const override { return shader.linked() && oneLens.linked(); }
    void releaseProgram() override;

    std::unique_ptr<EquirectGrid> grid;
    float yaw0 = 0, yaw1 = 0;
    // Lens B's weight per strip vertex and the strip's triangles split by
    // the lenses they show, remade when the seams or the band change
    // (draw() compares them with those it was made for).
    std::array<float, kVertices> weightB{};
    lens::TwinsTriangles triangles;
    float weightsFor_[3] = {-1, -1, -1};
    // The triangles that show one lens are drawn with this one-coordinate
    // program: software GL then samples one lens there instead of two.
    PicturePrograms oneLens;
};

}  // namespace vistamo::render
