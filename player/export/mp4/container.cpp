#include "container.h"

#include <cstring>

#include "box_io.h"
#include "mp4_log.h"
#include "sa3d_box.h"

namespace mp4 {
namespace {

const char* const kSoundSampleDescriptions[] = {"NONE", "raw ", "twos", "sowt", "fl32", "fl64",
                                                "in24", "in32", "ulaw", "alaw", "lpcm", "mp4a"};

bool isSoundSampleDescription(const char* type) {
    for (const char* t : kSoundSampleDescriptions)
        if (std::memcmp(type, t, 4) == 0)
            return true;
    return false;
}

}  // namespace

bool isContainerType(const char* type) {
    static const char* const kContainers[] = {"mdia", "minf", "moov", "stbl", "stsd", "trak", "udta", "wave"};
    for (const char* t : kContainers)
        if (std::memcmp(type, t, 4) == 0)
            return true;
    return isSoundSampleDescription(type);
}

std::unique_ptr<Box> Container::load(QIODevice& input, uint64_t position, uint64_t end, int depth) {
    BoxHeader h;
    if (!readBoxHeader(input, position, end, h)) {
        reportInvalidSize(h, position);
        return nullptr;
    }
    const bool shortMp4a = std::memcmp(h.type, "mp4a", 4) == 0 && h.size32 == 12;
    if (!isContainerType(h.type) || shortMp4a) {
        if (std::memcmp(h.type, "SA3D", 4) == 0)
            return SA3DBox::load(input, position, end);
        return Box::load(input, position, end);
    }
    if (h.size < h.headerSize) {
        reportInvalidSize(h, position);
        return nullptr;
    }
    if (!io::fitsBefore(position, h.size, end)) {
        error("Error: Container box size exceeds bounds.");
        return nullptr;
    }
    if (depth >= kMaxBoxDepth) {
        error("Error, boxes nested more than " + std::to_string(kMaxBoxDepth) + " deep.");
        return nullptr;
    }

    auto box = std::make_unique<Container>();
    box->setHeader(h, position);
    if (std::memcmp(h.type, "stsd", 4) == 0) {
        box->prefixSize = 8;
    } else if (isSoundSampleDescription(h.type)) {
        // The sample-description version sits 8 bytes into the content.
        uint16_t version = 0;
        if (box->contentSize < 10 || !io::seek(input, box->contentStart() + 8) ||
            !io::readU16(input, version)) {
            reportInvalidSize(h, position);
            return nullptr;
        }
        switch (version) {
        case 0: box->prefixSize = 28; break;
        case 1: box->prefixSize = 44; break;
        case 2: box->prefixSize = 64; break;
        default: error("Unsupported sample description version:" + std::to_string(version)); break;
        }
    }
    if (box->prefixSize > box->contentSize) {
        error("Error: Container box size exceeds bounds.");
        return nullptr;
    }
    box->children = loadChildren(input, box->contentStart() + box->prefixSize, position + h.size, depth + 1);
    if (box->children.empty())
        return nullptr;
    trace("newbox %s %d %d %d %d \r\n", box->boxType, low32(box->position), high32(box->position),
          low32(box->headerSize), high32(box->headerSize));
    return box;
}

std::list<std::unique_ptr<Box>> loadChildren(QIODevice& input, uint64_t start, uint64_t end, int depth) {
    std::list<std::unique_ptr<Box>> boxes;
    uint64_t position = start;
    while (position < end) {
        std::unique_ptr<Box> box = Container::load(input, position, end, depth);
        if (!box) {
            error("Error, failed to load box.");
            return {};
        }
        position = box->position + box->totalSize();  // within end: checked by the load
        boxes.push_back(std::move(box));
    }
    return boxes;
}

bool Container::addChild(std::unique_ptr<Box> box) {
    for (const auto& child : children) {
        if (child->is(box->boxType)) {
            error("Error, cannot merge leafs.");
            return false;
        }
    }
    children.push_back(std::move(box));
    return true;
}

void Container::resize() {
    uint64_t size = prefixSize;
    for (const auto& child : children) {
        if (child->boxKind() == 1)
            static_cast<Container&>(*child).resize();
        size += child->totalSize();
    }
    contentSize = size;
    if (headerSize == 8 && totalSize() > 0xFFFFFFFFu)
        headerSize = 16;
    trace("m_iContentSize %d \r\n", low32(contentSize));
}

void Container::print(const std::string& indent) const {
    trace("{%s} {%s} [{%llu}, {%llu}]\n", indent.c_str(), boxType, (unsigned long long)headerSize,
          (unsigned long long)contentSize);
    printChildren(indent);
}

void Container::printChildren(const std::string& indent) const {
    size_t k = 0;
    for (const auto& child : children)
        child->print(indent + (++k == children.size() ? " └──" : " ├──"));
}

bool Container::save(QIODevice& input, QIODevice& output, int64_t delta) const {
    trace("Container content %s %d %d \r\n", boxType, low32(contentSize), high32(contentSize));
    if (!writeHeader(output))
        return false;
    if (prefixSize != 0) {
        trace("seek  %d\r\n", low32(contentStart()));
        if (!io::seek(input, contentStart()) || !io::copyBytes(input, output, prefixSize))
            return false;
    }
    for (const auto& child : children)
        if (!child->save(input, output, delta))
            return false;
    return true;
}

}  // namespace mp4
