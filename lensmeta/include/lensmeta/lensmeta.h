// Lensmeta: finds the lens-calibration text that a two-lens camera stores in
// its JPEG stills (EXIF) and MP4 videos (container metadata) and decodes it
// into plain records.
//
// The records are shared by layout with the caller: the field order is fixed,
// and their special members are exported so that the caller and the library
// agree on layout and on who frees their strings and vectors. Both sides must
// be built against the same C++ standard library.
//
// Angles are in degrees; sizes and circle positions are in pixels of the
// picture the calibration was measured on (the calibration picture).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lensmeta/lensmeta_export.h"

// One lens of a decoded calibration (element of ImageData::lenses).
// The renderer maps the normalised off-axis angle x to a normalised circle
// radius r = a·x⁴ + b·x³ + c·x² + (1 − a − b − c)·x, so r(1) = 1 always.
struct LENSMETA_EXPORT LenParam {
    int32_t radius;   // radius of the lens' image circle
    int32_t centerX;  // circle centre
    int32_t centerY;
    float yaw;
    float pitch;
    float roll;       // rotation about the optical axis
    float coefA;
    float coefB;
    float coefC;
    float coefD;      // carried, not used by the renderer
    float coefE;      // carried, not used by the renderer

    LenParam();
    LenParam(const LenParam&) = default;
    LenParam& operator=(const LenParam& other);
    ~LenParam() = default;
};

// What the player needs to show one file (filled by GetLensmeta).
struct LENSMETA_EXPORT ImageData {
    std::string calibText;  // exactly as read from the file
    int32_t deviceType;     // 2, 3, 4, 6: two-lens layouts; 5: single lens
    bool calibrated;        // set by the single-lens decode only
    int32_t frameWidth;     // decoded picture size; written by the caller only
    int32_t frameHeight;
    int32_t calibWidth;     // calibration picture size
    int32_t calibHeight;
    float fov;              // field of view of the (first) lens
    float fov2;             // field of view of the second lens
    std::vector<LenParam> lenses;  // lens 0 first
    int32_t panoWidth;      // general two-lens layout only
    int32_t panoHeight;
    float offsetX;          // device type 6: added to every lens-image position
    float offsetY;
    float auxFloat1;        // device type 6: carried
    float auxFloat2;

    ImageData();
    ImageData(const ImageData& other);
    ImageData& operator=(const ImageData& other);
    ~ImageData();
};

// One source image (one lens) of a panorama (element of PanoData::photos).
// Note the angle order: yaw, roll, pitch.
struct LENSMETA_EXPORT PhotoParam {
    std::string calibText;  // the whole calibration text, one copy per photo
    float width;            // calibration picture size
    float height;
    int32_t cropLeft;       // centerX − radius (may be negative)
    int32_t cropTop;        // centerY − radius
    int32_t cropWidth;      // 2 × radius
    int32_t cropHeight;     // 2 × radius
    int32_t deviceType;
    double fov;
    double yaw;
    double roll;
    double pitch;
    double coefA;
    double coefB;
    double coefC;
    double coefD;
    double coefE;
    double offsetX;         // device type 6, same in both photos
    double offsetY;
    double auxFloat1;
    double auxFloat2;
    bool flag;              // never written by the library

    PhotoParam();
    PhotoParam(const PhotoParam& other);
    PhotoParam& operator=(const PhotoParam& other);
    ~PhotoParam();
};

// The calibration arranged as a stitching job (filled by GetPanoParam).
struct LENSMETA_EXPORT PanoData {
    std::vector<PhotoParam> photos;  // lens 0 first
    int32_t panoWidth;               // general two-lens layout only
    int32_t panoHeight;

    PanoData();
    PanoData(const PanoData& other);
    PanoData& operator=(const PanoData& other);
    ~PanoData();
};

// Paths are narrow strings in the local 8-bit encoding (UTF-8 on Linux) and
// are not modified. Only ".jpg" and ".mp4" files (any letter case) are read.

// Reads the calibration text of the file at path and decodes it into data.
// Returns false, leaving data untouched, when the file holds no text; true
// otherwise, also when the text is not recognised (then only calibText is
// set). Records are appended to, never cleared: pass a fresh one.
LENSMETA_EXPORT bool GetLensmeta(ImageData& data, std::string& path);

// Like GetLensmeta, decoding the text as a stitching job.
LENSMETA_EXPORT bool GetPanoParam(PanoData& data, std::string& path);

// The camera body serial number of a JPEG still; empty when there is none.
// The first argument is not used.
LENSMETA_EXPORT std::string GetImageSnNum(std::string& unused, std::string& path);

// Where the library reports why a still could not be read ("Can't open
// file.", "Can't read file.", "Error parsing EXIF: code N"), one line at a
// time without its line end. Nothing is reported until a host installs a
// sink: the library itself never prints. The sink may be called from any
// thread that calls the library, one call at a time; null removes it.
typedef void (*LensmetaLogSink)(const char* line, void* context);
LENSMETA_EXPORT void SetLensmetaLogSink(LensmetaLogSink sink, void* context);
