#include "spherical_v2.h"

#include <cstring>

#include "box_io.h"
#include "container.h"
#include "mp4_log.h"
#include "spherical_metadata.h"

namespace mp4 {
namespace {

// A sample entry is read whole into memory: real ones are a few hundred
// bytes; a larger one is left as it is.
constexpr uint64_t kMaxSampleEntry = 1 << 20;

void putU32(std::vector<char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(char((v >> shift) & 0xff));
}

uint32_t getU32(const char* p) {
    return uint32_t(uint8_t(p[0])) << 24 | uint32_t(uint8_t(p[1])) << 16 | uint32_t(uint8_t(p[2])) << 8 |
           uint32_t(uint8_t(p[3]));
}

// A box of type around content, with a 32-bit size.
std::vector<char> box(const char* type, const std::vector<char>& content) {
    std::vector<char> out;
    putU32(out, uint32_t(8 + content.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// A full box: version 0 and no flags before the fields.
std::vector<char> fullBox(const char* type, const std::vector<char>& fields) {
    std::vector<char> content(4, '\0');
    content.insert(content.end(), fields.begin(), fields.end());
    return box(type, content);
}

void append(std::vector<char>& out, const std::vector<char>& more) { out.insert(out.end(), more.begin(), more.end()); }

// Calls onBox(type, content, size) for each box in data[0, size); false
// when one runs past the end.
template <typename OnBox>
bool forEachBox(const char* data, size_t size, OnBox onBox) {
    size_t at = 0;
    while (at < size) {
        if (size - at < 8)
            return false;
        const uint32_t length = getU32(data + at);
        if (length < 8 || length > size - at)
            return false;
        if (!onBox(data + at + 4, data + at + 8, size_t(length) - 8))
            return false;
        at += length;
    }
    return true;
}

bool isType(const char* type, const char* expected) { return std::memcmp(type, expected, 4) == 0; }

bool readProjection(const char* data, size_t size, SphericalV2& out) {
    return forEachBox(data, size, [&](const char* type, const char* content, size_t length) {
        if (isType(type, "prhd")) {
            if (length < 16)
                return false;
            out.yaw = int32_t(getU32(content + 4));
            out.pitch = int32_t(getU32(content + 8));
            out.roll = int32_t(getU32(content + 12));
        } else if (isType(type, "equi")) {
            if (length < 20)
                return false;
            out.projection = "equi";
            out.boundsTop = getU32(content + 4);
            out.boundsBottom = getU32(content + 8);
            out.boundsLeft = getU32(content + 12);
            out.boundsRight = getU32(content + 16);
        } else if (isType(type, "cbmp") || isType(type, "mshp")) {
            out.projection = isType(type, "cbmp") ? "cbmp" : "mesh";
        }
        return true;
    });
}

bool readSv3d(const char* data, size_t size, SphericalV2& out) {
    return forEachBox(data, size, [&](const char* type, const char* content, size_t length) {
        if (isType(type, "svhd")) {
            if (length < 4)
                return false;
            out.hasSvhd = true;
            const char* text = content + 4;
            out.metadataSource.assign(text, strnlen(text, length - 4));
        } else if (isType(type, "proj")) {
            return readProjection(content, length, out);
        }
        return true;
    });
}

// The video sample entries of a track: the children of its "stsd".
void sampleEntriesOf(Container& trak, std::vector<std::unique_ptr<Box>*>& out) {
    for (auto& child : trak.children) {
        if (child->boxKind() != 1)
            continue;
        auto& inner = static_cast<Container&>(*child);
        if (inner.is("stsd")) {
            for (auto& entry : inner.children)
                out.push_back(&entry);
        } else if (inner.is("mdia") || inner.is("minf") || inner.is("stbl")) {
            sampleEntriesOf(inner, out);
        }
    }
}

// The visual sample entries of the codecs a video track may hold. Other
// types are left alone: the box model gives some of them meaning (a
// chunk-offset table is rewritten when saved).
bool isVisualSampleEntry(const Box& entry) {
    static const char* const kTypes[] = {"avc1", "avc2", "avc3", "avc4", "hvc1", "hev1", "dvh1", "dvhe",
                                         "mp4v", "av01", "vp08", "vp09", "encv", "mjp2", "jpeg"};
    for (const char* type : kTypes)
        if (entry.is(type))
            return true;
    return false;
}

// The entry's content with the two boxes appended, or empty when it has
// them already, cannot be read, or is not a visual entry.
std::vector<char> withV2Boxes(QIODevice& input, const Box& entry) {
    if (entry.boxKind() != 0 || !isVisualSampleEntry(entry) || entry.contentSize < kVisualSampleEntryFields ||
        entry.contentSize > kMaxSampleEntry)
        return {};
    std::vector<char> content(size_t(entry.contentSize));
    if (entry.payload)
        content = *entry.payload;
    else if (!io::seek(input, entry.contentStart()) || !io::readExact(input, content.data(), content.size()))
        return {};
    SphericalV2 found;
    if (!readSphericalV2(content.data() + kVisualSampleEntryFields, content.size() - kVisualSampleEntryFields,
                         found) ||
        found.hasSt3d || found.hasSv3d)
        return {};
    append(content, makeSt3dBox());
    append(content, makeSv3dBox());
    return content;
}

}  // namespace

std::vector<char> makeSt3dBox() { return fullBox("st3d", {char(0)}); }

std::vector<char> makeSv3dBox(const std::string& metadataSource) {
    std::vector<char> source(metadataSource.begin(), metadataSource.end());
    source.push_back('\0');
    std::vector<char> pose(12, '\0');         // yaw, pitch, roll: 0
    std::vector<char> bounds(16, '\0');       // top, bottom, left, right: 0
    std::vector<char> projection = fullBox("prhd", pose);
    append(projection, fullBox("equi", bounds));
    std::vector<char> content = fullBox("svhd", source);
    append(content, box("proj", projection));
    return box("sv3d", content);
}

bool readSphericalV2(const char* data, size_t size, SphericalV2& out) {
    return forEachBox(data, size, [&](const char* type, const char* content, size_t length) {
        if (isType(type, "st3d")) {
            if (length < 5)
                return false;
            out.hasSt3d = true;
            out.stereoMode = uint8_t(content[4]);
        } else if (isType(type, "sv3d")) {
            out.hasSv3d = true;
            return readSv3d(content, length, out);
        }
        return true;
    });
}

int addSphericalV2Boxes(Mpeg4Container& file, QIODevice& input) {
    int added = 0;
    for (Container* trak : videoTracks(file, input)) {
        std::vector<std::unique_ptr<Box>*> entries;
        sampleEntriesOf(*trak, entries);
        for (std::unique_ptr<Box>* entry : entries) {
            std::vector<char> content = withV2Boxes(input, **entry);
            if (content.empty())
                continue;
            // The entry becomes a leaf with its new content in memory.
            auto replaced = std::make_unique<Box>();
            replaced->setType((*entry)->boxType);
            replaced->position = (*entry)->position;
            replaced->headerSize = 8;
            replaced->contentSize = content.size();
            replaced->inputContentSize = (*entry)->inputContentSize;
            replaced->payload = std::make_unique<std::vector<char>>(std::move(content));
            *entry = std::move(replaced);
            trace("sample entry %s: st3d and sv3d added", (*entry)->boxType);
            ++added;
        }
    }
    file.resize();
    return added;
}

}  // namespace mp4
