#include "spherical_metadata.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QTemporaryFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include <cstring>

#include "box_io.h"
#include "mp4_log.h"

namespace mp4 {
namespace {

// The UUID that the Spherical Video V1 format gives its box.
const unsigned char kSphericalUuid[16] = {0xff, 0xcc, 0x82, 0x63, 0xf8, 0x55, 0x4a, 0x93,
                                          0x88, 0x14, 0x58, 0x7a, 0x02, 0x52, 0x1f, 0xdd};

// The four-character handler type of an "hdlr" box, empty when unreadable.
std::string handlerType(QIODevice& input, const Box& hdlr) {
    char type[4];
    if (hdlr.contentSize < 12 || !io::seek(input, hdlr.contentStart() + 8) ||
        !io::readExact(input, type, 4))
        return {};
    return std::string(type, 4);
}

bool isVideoTrack(QIODevice& input, Container& trak) {
    for (auto& child : trak.children) {
        if (!child->is("mdia") || child->boxKind() != 1)
            continue;
        trace("element.name %s", child->boxType);
        for (auto& grandChild : static_cast<Container&>(*child).children)
            if (grandChild->is("hdlr") && handlerType(input, *grandChild) == "vide")
                return true;
    }
    return false;
}

// True when both names lead to one file (also through links).
bool sameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    if (stat(QFile::encodeName(a).constData(), &sa) != 0 || stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The permissions a new file gets (what an existing output has, else the
// usual 0666 less the umask), instead of the temporary file's 0600.
void givePermissions(QTemporaryFile& file, const QString& outputPath) {
    struct stat existing;
    mode_t mode;
    if (stat(QFile::encodeName(outputPath).constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(file.handle(), mode);
}

}  // namespace

std::string sphericalXml() {
    const std::string header =
        "<?xml version=\"1.0\"?><rdf:SphericalVideo\n"
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\n"
        "xmlns:GSpherical=\"http://ns.google.com/videos/1.0/spherical/\">";
    const std::string body =
        "<GSpherical:Spherical>true</GSpherical:Spherical>"
        "<GSpherical:Stitched>true</GSpherical:Stitched>"
        "<GSpherical:StitchingSoftware>Spherical Metadata Tool</GSpherical:StitchingSoftware>"
        "<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>";
    const std::string footer = "</rdf:SphericalVideo>";
    return header + body + footer;
}

std::unique_ptr<Box> makeSphericalBox() {
    const std::string xml = sphericalXml();
    auto box = std::make_unique<Box>();
    box->setType("uuid");
    box->headerSize = 8;
    box->payload = std::make_unique<std::vector<char>>();
    box->payload->insert(box->payload->end(), reinterpret_cast<const char*>(kSphericalUuid),
                         reinterpret_cast<const char*>(kSphericalUuid) + 16);
    box->payload->insert(box->payload->end(), xml.begin(), xml.end());
    box->contentSize = box->payload->size();
    return box;
}

int addSphericalBoxes(Mpeg4Container& file, QIODevice& input) {
    int added = 0;
    auto& moov = static_cast<Container&>(*file.moov);
    for (auto& child : moov.children) {
        trace("element.name %s", child->boxType);
        if (!child->is("trak") || child->boxKind() != 1)
            continue;
        auto& trak = static_cast<Container&>(*child);
        if (isVideoTrack(input, trak) && trak.addChild(makeSphericalBox())) {
            trace("ele_metadata add");
            ++added;
        }
    }
    file.resize();
    trace("mpeg4_file resize \r\n");
    return added;
}

InjectResult injectSpherical(const QString& inputPath, const QString& outputPath) {
    InjectResult result;
    if (sameFile(inputPath, outputPath)) {
        result.status = InjectStatus::SameFile;
        result.detail = QStringLiteral("the output is the input file");
        return result;
    }
    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly)) {
        result.status = InjectStatus::CannotOpenInput;
        result.detail = input.errorString();
        return result;
    }
    if (QFileInfo(inputPath).isDir()) {
        result.status = InjectStatus::CannotOpenInput;
        result.detail = QStringLiteral("is a directory");
        return result;
    }

    ErrorCapture errors;
    std::unique_ptr<Mpeg4Container> tree = Mpeg4Container::load(input);
    if (!tree) {
        trace("Error file could not be opened.\n");
        result.status = InjectStatus::NotMp4;
        result.detail = QString::fromStdString(errors.first());
        return result;
    }
    result.boxesAdded = addSphericalBoxes(*tree, input);
    tree->print("");

    trace(" save file start \r\n");
    // Written beside the output under a temporary name and renamed over it
    // when complete, so that OUT is never seen half-written. Like cp, it is
    // not forced to disk: the input, untouched, still holds everything.
    const QFileInfo target(outputPath);
    QTemporaryFile output(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(target.fileName())));
    if (!output.open()) {
        result.status = InjectStatus::CannotWrite;
        result.detail = target.absoluteDir().exists() ? output.errorString() : QStringLiteral("the folder does not exist");
        return result;
    }
    io::clearFailureReason();
    bool saved = tree->save(input, output) && output.flush();
    if (!saved) {
        const std::string io = io::lastFailureReason();
        if (output.error() != QFileDevice::NoError) {
            result.status = InjectStatus::CannotWrite;
            result.detail = output.errorString();
        } else if (io.rfind("write", 0) == 0 || io.rfind("copy", 0) == 0) {
            result.status = InjectStatus::CannotWrite;
            result.detail = QString::fromStdString(io);
        } else {
            result.status = InjectStatus::CannotMoveOffsets;
            result.detail = errors.first().empty() ? QStringLiteral("the input could not be read back")
                                                   : QString::fromStdString(errors.first());
        }
        return result;  // the temporary file is removed with output
    }
    givePermissions(output, outputPath);
    if (std::rename(QFile::encodeName(output.fileName()).constData(), QFile::encodeName(outputPath).constData()) != 0) {
        result.status = InjectStatus::CannotWrite;
        result.detail = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    output.setAutoRemove(false);
    trace(" save file end \r\n");
    return result;
}

}  // namespace mp4

int injectSphericalMetadata(const std::string& inputPath, const std::string& outputPath) {
    const mp4::InjectResult result = mp4::injectSpherical(QString::fromLocal8Bit(inputPath.c_str()),
                                                          QString::fromLocal8Bit(outputPath.c_str()));
    return result.status == mp4::InjectStatus::Ok ? 0 : -1;
}
