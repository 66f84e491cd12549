// Special members of the exported records. They live in the library so that
// the caller and the library always construct, copy and free the strings and
// vectors inside with the same code. Every field gets a start value, also the
// ones a decode is documented to leave unset, so no record ever holds garbage.
#include "lensmeta/lensmeta.h"

LenParam::LenParam()
    : radius(0), centerX(0), centerY(0), yaw(0), pitch(0), roll(0),
      coefA(0), coefB(0), coefC(0), coefD(0), coefE(0) {}

LenParam& LenParam::operator=(const LenParam& other) {
    radius = other.radius;
    centerX = other.centerX;
    centerY = other.centerY;
    yaw = other.yaw;
    pitch = other.pitch;
    roll = other.roll;
    coefA = other.coefA;
    coefB = other.coefB;
    coefC = other.coefC;
    coefD = other.coefD;
    coefE = other.coefE;
    return *this;
}

ImageData::ImageData()
    : deviceType(0), calibrated(false), frameWidth(0), frameHeight(0),
      calibWidth(0), calibHeight(0), fov(0), fov2(0), panoWidth(0),
      panoHeight(0), offsetX(0), offsetY(0), auxFloat1(0), auxFloat2(0) {}

ImageData::ImageData(const ImageData& other) = default;

ImageData& ImageData::operator=(const ImageData& other) {
    if (this == &other)
        return *this;
    calibText = other.calibText;
    deviceType = other.deviceType;
    calibrated = other.calibrated;
    frameWidth = other.frameWidth;
    frameHeight = other.frameHeight;
    calibWidth = other.calibWidth;
    calibHeight = other.calibHeight;
    fov = other.fov;
    fov2 = other.fov2;
    lenses = other.lenses;
    panoWidth = other.panoWidth;
    panoHeight = other.panoHeight;
    offsetX = other.offsetX;
    offsetY = other.offsetY;
    auxFloat1 = other.auxFloat1;
    auxFloat2 = other.auxFloat2;
    return *this;
}

ImageData::~ImageData() = default;

PhotoParam::PhotoParam()
    : width(0), height(0), cropLeft(0), cropTop(0), cropWidth(0),
      cropHeight(0), deviceType(0), fov(0), yaw(0), roll(0), pitch(0),
      coefA(0), coefB(0), coefC(0), coefD(0), coefE(0), offsetX(0),
      offsetY(0), auxFloat1(0), auxFloat2(0), flag(false) {}

PhotoParam::PhotoParam(const PhotoParam& other) = default;

PhotoParam& PhotoParam::operator=(const PhotoParam& other) {
    if (this == &other)
        return *this;
    calibText = other.calibText;
    width = other.width;
    height = other.height;
    cropLeft = other.cropLeft;
    cropTop = other.cropTop;
    cropWidth = other.cropWidth;
    cropHeight = other.cropHeight;
    deviceType = other.deviceType;
    fov = other.fov;
    yaw = other.yaw;
    roll = other.roll;
    pitch = other.pitch;
    coefA = other.coefA;
    coefB = other.coefB;
    coefC = other.coefC;
    coefD = other.coefD;
    coefE = other.coefE;
    offsetX = other.offsetX;
    offsetY = other.offsetY;
    auxFloat1 = other.auxFloat1;
    auxFloat2 = other.auxFloat2;
    flag = other.flag;
    return *this;
}

PhotoParam::~PhotoParam() = default;

PanoData::PanoData() : panoWidth(0), panoHeight(0) {}

PanoData::PanoData(const PanoData& other) = default;

PanoData& PanoData::operator=(const PanoData& other) {
    if (this == &other)
        return *this;
    photos = other.photos;
    panoWidth = other.panoWidth;
    panoHeight = other.panoHeight;
    return *this;
}

PanoData::~PanoData() = default;
