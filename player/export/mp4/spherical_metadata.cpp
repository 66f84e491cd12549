#include "spherical_metadata.h"

#include <QFile>

#include <unistd.h>

#include "atomic_output.h"
#include "box_io.h"
#include "file_guard.h"
#include "mp4_log.h"
#include "spherical_v2.h"

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

// Movie fragments carry absolute offsets of their own (base data offsets
// in "tfhd", fragment positions in "tfra"), which the box model does not
// move: such a file is refused rather than written with broken offsets.
bool isFragmented(const Mpeg4Container& file) {
    for (const auto& child : file.children)
        if (child->is("moof") || child->is("mfra"))
            return true;
    if (file.moov && file.moov->boxKind() == 1)
        for (const auto& child : static_cast<const Container&>(*file.moov).children)
            if (child->is("mvex"))
                return true;
    return false;
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

std::vector<Container*> videoTracks(Mpeg4Container& file, QIODevice& input) {
    std::vector<Container*> tracks;
    auto& moov = static_cast<Container&>(*file.moov);
    for (auto& child : moov.children) {
        trace("element.name %s", child->boxType);
        if (child->is("trak") && child->boxKind() == 1 && isVideoTrack(input, static_cast<Container&>(*child)))
            tracks.push_back(static_cast<Container*>(child.get()));
    }
    return tracks;
}

int addSphericalBoxes(Mpeg4Container& file, QIODevice& input) {
    int added = 0;
    for (Container* trak : videoTracks(file, input)) {
        if (trak->addChild(makeSphericalBox())) {
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
    const std::string in = QFile::encodeName(inputPath).toStdString();
    const std::string out = QFile::encodeName(outputPath).toStdString();
    // The input's type is checked before it is opened: a FIFO would block.
    std::string reason;
    const int inputFd = vistamo::files::openInput(in, reason);
    QFile input;
    if (inputFd < 0 || !input.open(inputFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (inputFd >= 0)
            ::close(inputFd);
        result.status = InjectStatus::CannotOpenInput;
        result.detail = QString::fromLocal8Bit(reason.empty() ? "cannot open" : reason.c_str());
        return result;
    }
    // The output is checked before any work: never a device, a FIFO or the
    // input itself (any name of it).
    const std::string outputProblem = vistamo::files::outputProblem(out, {in});
    if (!outputProblem.empty()) {
        result.status = outputProblem.rfind("is the input file", 0) == 0 ? InjectStatus::SameFile
                                                                          : InjectStatus::CannotWrite;
        result.detail = result.status == InjectStatus::SameFile ? QStringLiteral("the output is the input file")
                                                                : QString::fromLocal8Bit(outputProblem.c_str());
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
    if (isFragmented(*tree)) {
        result.status = InjectStatus::Fragmented;
        result.detail = QStringLiteral("fragmented MP4 (movie fragments) cannot be rewritten; "
                                       "remux it without fragments first");
        return result;
    }
    result.boxesAdded = addSphericalBoxes(*tree, input);
    result.v2EntriesAdded = addSphericalV2Boxes(*tree, input);
    tree->print("");

    trace(" save file start \r\n");
    // Written into a file with no name in the output's folder, named when
    // complete, so that OUT is never seen half-written and nothing is left
    // behind even when the process is killed.
    vistamo::files::AtomicOutput target;
    QFile output;
    if (!target.open(out, {in}, vistamo::files::AtomicOutput::Naming::Unnamed, reason) ||
        !output.open(target.fd(), QIODevice::ReadWrite, QFileDevice::DontCloseHandle)) {
        result.status = InjectStatus::CannotWrite;
        result.detail = QString::fromLocal8Bit(reason.c_str());
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
        return result;  // the unfinished file goes with target
    }
    output.close();
    if (!target.commit(reason)) {
        result.status = InjectStatus::CannotWrite;
        result.detail = QString::fromLocal8Bit(reason.c_str());
        return result;
    }
    trace(" save file end \r\n");
    return result;
}

}  // namespace mp4

int injectSphericalMetadata(const std::string& inputPath, const std::string& outputPath) {
    const mp4::InjectResult result = mp4::injectSpherical(QString::fromLocal8Bit(inputPath.c_str()),
                                                          QString::fromLocal8Bit(outputPath.c_str()));
    return result.status == mp4::InjectStatus::Ok ? 0 : -1;
}
