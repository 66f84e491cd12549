// vistamo-samplegen: writes the deterministic sample media that tests,
// benchmarks and the README's demo use. Frames are rendered here and encoded
// by the ffmpeg command; stills are tagged by exiftool.
//
//   vistamo-samplegen --out DIR [--width W] [--duration S] [--fps N] [--turn DEG_PER_S]
//
// Writes into DIR: scene.png, standard.{mp4,jpg}, twins.{mp4,jpg},
// sphere.{mp4,jpg}, twins-25fps.mp4, twins-60fps.mp4 and twins-silent.mp4
// (one second each), and damaged/ with files for bad-input tests.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "lens_model.h"
#include "sample_calibration.h"
#include "scene.h"

namespace {

using samplegen::SceneUv;

struct Options {
    std::string out;
    int width = 960;
    double duration = 3.0;
    int fps = 30;
    double turnDegPerSecond = 12.0;  // the scene turns slowly so frames differ
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "vistamo-samplegen: %s\n", message.c_str());
    std::exit(1);
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        fail("command failed: " + command);
}

// Where one output pixel looks in the scene; computed once per picture kind.
using PixelMap = std::vector<SceneUv>;

PixelMap makeMap(int w, int h, const std::function<SceneUv(double, double)>& at) {
    PixelMap map(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            map[size_t(y) * w + x] = at(x + 0.5, y + 0.5);
    return map;
}

void renderFrame(const samplegen::Scene& scene, const PixelMap& map, double turn,
                 std::vector<uint8_t>& rgb) {
    rgb.resize(map.size() * 3);
    for (size_t i = 0; i < map.size(); ++i) {
        uint8_t* p = &rgb[i * 3];
        if (!map[i].inside) {
            p[0] = p[1] = p[2] = 0;
            continue;
        }
        samplegen::Rgb c = scene.sample(map[i].u, map[i].v, turn);
        p[0] = uint8_t(std::lround(c.r));
        p[1] = uint8_t(std::lround(c.g));
        p[2] = uint8_t(std::lround(c.b));
    }
}

struct Picture {
    std::string name;  // file stem
    int width, height;
    PixelMap map;
    std::string calibText;  // empty: none
    std::string serial;
};

const char* kQuietFfmpeg = "ffmpeg -hide_banner -nostdin -loglevel error -y ";

struct Clip;
void writeVideo(const Options& o, const samplegen::Scene& scene, const Picture& pic, const Clip& clip);

// The scene seen through pic, turning, for duration seconds at fps.
struct Clip {
    std::string file;  // under the output folder
    int fps;
    double duration;
    bool withAudio;
};

const char* kTone = "aevalsrc=0.25*sin(2*PI*440*t)|0.25*sin(2*PI*660*t):s=48000:d=";

void writeVideo(const Options& o, const samplegen::Scene& scene, const Picture& pic) {
    writeVideo(o, scene, pic, Clip{pic.name + ".mp4", o.fps, o.duration, true});
}

void writeVideo(const Options& o, const samplegen::Scene& scene, const Picture& pic, const Clip& clip) {
    const std::string path = o.out + "/" + clip.file;
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", pic.width, pic.height);
    std::string cmd = std::string(kQuietFfmpeg) + "-f rawvideo -pix_fmt rgb24 -s " + size + " -r " +
                      std::to_string(clip.fps) + " -i - ";
    if (clip.withAudio)
        cmd += "-f lavfi -i " + quote(kTone + std::to_string(clip.duration)) +
               " -map 0:v -map 1:a -c:a aac -b:a 128k -shortest -flags:a +bitexact";
    // BT.709, as cameras record HD, tagged so that every decoder agrees.
    cmd += " -vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 -color_primaries bt709"
           " -color_trc bt709 -c:v libx264 -preset veryfast -crf 16 -g " + std::to_string(clip.fps) +
           " -pix_fmt yuv420p -fflags +bitexact -flags:v +bitexact";
    if (!pic.calibText.empty())
        cmd += " -metadata original_format=" + quote(pic.calibText) + " -movflags use_metadata_tags";
    cmd += " " + quote(path);
    FILE* pipe = popen(cmd.c_str(), "w");
    if (!pipe)
        fail("cannot start ffmpeg");
    const int frames = int(std::lround(clip.duration * clip.fps));
    std::vector<uint8_t> rgb;
    for (int f = 0; f < frames; ++f) {
        const double turn = f * o.turnDegPerSecond / clip.fps / 360.0;
        renderFrame(scene, pic.map, turn, rgb);
        if (std::fwrite(rgb.data(), 1, rgb.size(), pipe) != rgb.size())
            break;
    }
    if (pclose(pipe) != 0)
        fail("ffmpeg failed writing " + path);
}

// The first frame as a still (JPEG, or PNG by the extension).
void writeStill(const samplegen::Scene& scene, const Picture& pic, const std::string& path) {
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", pic.width, pic.height);
    std::string cmd = std::string(kQuietFfmpeg) + "-f rawvideo -pix_fmt rgb24 -s " + size +
                      " -i - -frames:v 1 -q:v 2 -fflags +bitexact -flags:v +bitexact " + quote(path);
    FILE* pipe = popen(cmd.c_str(), "w");
    if (!pipe)
        fail("cannot start ffmpeg");
    std::vector<uint8_t> rgb;
    renderFrame(scene, pic.map, 0.0, rgb);
    std::fwrite(rgb.data(), 1, rgb.size(), pipe);
    if (pclose(pipe) != 0)
        fail("ffmpeg failed writing " + path);
    if (!pic.calibText.empty())
        run("exiftool -q -q -overwrite_original -LensModel=" + quote(pic.calibText) +
            " -ExifIFD:SerialNumber=" + quote(pic.serial) + " " + quote(path));
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (!out)
        fail("cannot write " + path);
}

// Points the value offset of the LensModel entry (0xA434) of an EXIF JPEG
// at 0xFFFFFFF0: 32-bit arithmetic on "offset + size" wraps past it.
bool breakLensModelOffset(std::vector<uint8_t>& jpg) {
    size_t i = 2;
    while (i + 1 < jpg.size() && !(jpg[i] == 0xFF && jpg[i + 1] == 0xE1))
        ++i;
    const size_t tiff = i + 10;  // marker, length, "Exif\0\0"
    if (tiff + 8 > jpg.size())
        return false;
    const bool little = jpg[tiff] == 'I';
    auto u16 = [&](size_t p) {
        return little ? jpg[p] | jpg[p + 1] << 8 : jpg[p] << 8 | jpg[p + 1];
    };
    auto u32 = [&](size_t p) {
        return little ? uint32_t(u16(p)) | uint32_t(u16(p + 2)) << 16
                      : uint32_t(u16(p)) << 16 | uint32_t(u16(p + 2));
    };
    auto findEntry = [&](size_t ifd, int tag) -> size_t {
        if (ifd + 2 > jpg.size()) return 0;
        int n = u16(ifd);
        for (int k = 0; k < n; ++k) {
            size_t e = ifd + 2 + 12 * size_t(k);
            if (e + 12 <= jpg.size() && u16(e) == tag)
                return e;
        }
        return 0;
    };
    size_t pointer = findEntry(tiff + u32(tiff + 4), 0x8769);
    if (!pointer) return false;
    size_t lens = findEntry(tiff + u32(pointer + 8), 0xA434);
    if (!lens) return false;
    const uint8_t le[4] = {0xF0, 0xFF, 0xFF, 0xFF}, be[4] = {0xFF, 0xFF, 0xFF, 0xF0};
    std::memcpy(&jpg[lens + 8], little ? le : be, 4);
    return true;
}

void writeDamaged(const Options& o) {
    const std::string dir = o.out + "/damaged";
    mkdir(dir.c_str(), 0755);
    std::vector<uint8_t> mp4 = readFile(o.out + "/twins.mp4");
    writeFile(dir + "/truncated.mp4", mp4.data(), mp4.size() * 3 / 5);
    std::vector<uint8_t> jpg = readFile(o.out + "/twins.jpg");
    if (!breakLensModelOffset(jpg))
        fail("twins.jpg has no LensModel entry to damage");
    writeFile(dir + "/bad-offsets.jpg", jpg.data(), jpg.size());
    std::vector<uint8_t> png = readFile(o.out + "/scene.png");
    writeFile(dir + "/png-named.jpg", png.data(), png.size());
    writeFile(dir + "/empty.jpg", nullptr, 0);
    writeFile(dir + "/empty.mp4", nullptr, 0);
    // The movie header's contents zeroed: the box is there, nothing in it.
    std::vector<uint8_t> zeroed = mp4;
    const uint8_t moov[4] = {'m', 'o', 'o', 'v'};
    for (size_t i = 4; i + 4 <= zeroed.size(); ++i) {
        if (std::memcmp(&zeroed[i], moov, 4) != 0)
            continue;
        const size_t size = size_t(zeroed[i - 4]) << 24 | size_t(zeroed[i - 3]) << 16 |
                            size_t(zeroed[i - 2]) << 8 | zeroed[i - 1];
        std::memset(&zeroed[i + 4], 0, std::min(size - 8, zeroed.size() - i - 4));
        break;
    }
    writeFile(dir + "/zeroed-moov.mp4", zeroed.data(), zeroed.size());
    // Sound and the calibration text, but no picture.
    run(std::string(kQuietFfmpeg) + "-f lavfi -i " + quote(std::string(kTone) + "1") +
        " -c:a aac -b:a 128k -fflags +bitexact -flags:a +bitexact -metadata original_format=" +
        quote(samples::kTwinsCalibText) + " -movflags use_metadata_tags " + quote(dir + "/audio-only.mp4"));
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail("missing value after " + a);
            return argv[++i];
        };
        if (a == "--out") o.out = value();
        else if (a == "--width") o.width = std::atoi(value().c_str());
        else if (a == "--duration") o.duration = std::atof(value().c_str());
        else if (a == "--fps") o.fps = std::atoi(value().c_str());
        else if (a == "--turn") o.turnDegPerSecond = std::atof(value().c_str());
        else fail("unknown option " + a +
                  "\nusage: vistamo-samplegen --out DIR [--width W] [--duration S] [--fps N] [--turn DEG_PER_S]");
    }
    if (o.out.empty()) fail("--out DIR is required");
    if (o.width < 64 || o.width > 8192 || o.width % 4 != 0) fail("--width must be a multiple of 4 in 64..8192");
    if (o.duration <= 0 || o.duration > 600) fail("--duration must be in (0, 600] seconds");
    if (o.fps < 1 || o.fps > 120) fail("--fps must be in 1..120");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parseOptions(argc, argv);
    mkdir(o.out.c_str(), 0755);
    const int w = o.width, h = o.width / 2;
    const samplegen::Scene scene(2 * w);

    Picture standard{"standard", w, h, {}, {}, {}};
    standard.map = makeMap(w, h, [&](double x, double y) {
        return SceneUv{float(x / w), float(y / h), true};
    });

    samplegen::TwinsCalibration twinsCal;
    if (!samplegen::parseTwinsCalibration(samples::kTwinsCalibText, twinsCal))
        fail("bad built-in calibration text");
    Picture twins{"twins", w, h, {}, samples::kTwinsCalibText, samples::kTwinsSerial};
    twins.map = makeMap(w, h, [&](double x, double y) {
        return samplegen::twinsPixelToScene(twinsCal, w, h, x, y);
    });

    // One circle in a square picture, calibrated on that picture itself.
    const int side = h;
    const int centre = side / 2;
    const int radius = side / 2 - 2 - samples::kSphereRim;
    char sphereText[128];
    std::snprintf(sphereText, sizeof sphereText, "5_%d_%d_%d_%d_%d_%g_0_0_0", radius, centre,
                  centre, side, side, double(samples::kSphereFov));
    Picture sphere{"sphere", side, side, {}, sphereText, samples::kTwinsSerial};
    const int effective = samplegen::rendererEffectiveRadius(radius, centre);
    sphere.map = makeMap(side, side, [&](double x, double y) {
        return samplegen::spherePixelToScene(centre, centre, effective, radius + samples::kSphereRim,
                                             samples::kSphereFov, x, y);
    });

    writeStill(scene, standard, o.out + "/scene.png");
    for (const Picture* pic : {&standard, &twins, &sphere}) {
        writeStill(scene, *pic, o.out + "/" + pic->name + ".jpg");
        writeVideo(o, scene, *pic);
    }
    // Other rates, and a clip without sound, for the video export.
    writeVideo(o, scene, twins, Clip{"twins-25fps.mp4", 25, 1.0, true});
    writeVideo(o, scene, twins, Clip{"twins-60fps.mp4", 60, 1.0, true});
    writeVideo(o, scene, twins, Clip{"twins-silent.mp4", o.fps, 1.0, false});
    writeDamaged(o);
    return 0;
}
