#include "mpeg4_container.h"

#include <cstring>
#include <limits>
#include <map>

#include "box_io.h"
#include "mp4_log.h"

namespace mp4 {
namespace {

// Calls f on every leaf below container, depth first.
template <typename F>
void forEachLeaf(Container& container, F&& f) {
    for (auto& child : container.children) {
        if (child->boxKind() == 1)
            forEachLeaf(static_cast<Container&>(*child), f);
        else
            f(*child);
    }
}

struct OffsetRange {
    uint32_t count = 0;
    uint64_t smallest = std::numeric_limits<uint64_t>::max();
    uint64_t largest = 0;
};

// The smallest and largest entry of a chunk-offset table in the input.
bool scanChunkOffsets(QIODevice& input, const Box& box, OffsetRange& range) {
    if (!io::seek(input, box.contentStart()))
        return false;
    uint32_t versionFlags;
    return readChunkOffsets(input, box, versionFlags, range.count, [&range](const uint64_t* offsets, uint32_t n) {
        for (uint32_t k = 0; k < n; ++k) {
            range.smallest = std::min(range.smallest, offsets[k]);
            range.largest = std::max(range.largest, offsets[k]);
        }
        return true;
    });
}

}  // namespace

std::unique_ptr<Mpeg4Container> Mpeg4Container::load(QIODevice& input) {
    auto file = std::make_unique<Mpeg4Container>();
    file->setType("    ");
    const qint64 size = input.size();
    if (size > 0)
        file->children = loadChildren(input, 0, uint64_t(size));
    if (file->children.empty()) {
        error("Error, failed to load .mp4 file.");
        return nullptr;
    }
    for (const auto& child : file->children) {
        if (child->is("moov")) file->moov = child.get();
        else if (child->is("free")) file->free = child.get();
        else if (child->is("ftyp")) file->ftyp = child.get();
        else if (child->is("mdat") && !file->mdat) file->mdat = child.get();
    }
    if (!file->moov) {
        error("Error, file does not contain moov box.");
        return nullptr;
    }
    if (!file->mdat) {
        error("Error, file does not contain mdat box.");
        return nullptr;
    }
    file->firstMdatPosition = file->mdat->contentStart();
    uint64_t total = 0;
    for (const auto& child : file->children)
        total += child->totalSize();  // each lies inside the file: no wrap
    file->contentSize = total;
    trace("mdat %d,%d,%d \r\n", low32(file->firstMdatPosition), high32(file->firstMdatPosition),
          low32(file->mdat->headerSize));
    return file;
}

void Mpeg4Container::print(const std::string& indent) const {
    (void)indent;  // the file itself has no header line to indent
    trace("mpeg4 [%llu]\n", (unsigned long long)contentSize);
    printChildren("");
}

int64_t Mpeg4Container::mdatShift() {
    resize();
    uint64_t newPosition = 0;
    for (const auto& child : children) {
        if (child.get() == mdat)
            break;
        newPosition += child->totalSize();
    }
    newPosition += mdat->headerSize;
    return int64_t(newPosition - firstMdatPosition);
}

bool Mpeg4Container::planChunkOffsets(QIODevice& input, int64_t& delta) {
    std::map<const Box*, OffsetRange> ranges;
    bool scanFailed = false;
    forEachLeaf(*this, [&](Box& box) {
        if (box.payload || !box.isChunkOffsetTable())
            return;
        OffsetRange range;
        if (!scanChunkOffsets(input, box, range))
            scanFailed = true;
        ranges[&box] = range;
    });
    if (scanFailed) {
        error("Error, chunk offset table is larger than its box.");
        return false;
    }
    // Widening a table grows "moov", which moves the media data further:
    // repeat until no further table needs it (each round widens one or more).
    for (;;) {
        delta = mdatShift();
        bool widened = false;
        for (auto& [constBox, range] : ranges) {
            Box& box = const_cast<Box&>(*constBox);
            if (range.count == 0)
                continue;
            int64_t moved;
            if (range.largest > uint64_t(std::numeric_limits<int64_t>::max()) ||
                __builtin_add_overflow(int64_t(range.largest), delta, &moved) ||
                int64_t(range.smallest) + delta < 0) {
                error("Error, chunk offsets cannot be moved by " + std::to_string(delta) + ".");
                return false;
            }
            if (box.is("stco") && uint64_t(moved) > 0xFFFFFFFFu) {
                box.setType("co64");
                box.widenOffsets = true;
                box.contentSize = box.inputContentSize + 4 * uint64_t(range.count);
                widened = true;
            }
        }
        if (!widened)
            return true;
    }
}

bool Mpeg4Container::save(QIODevice& input, QIODevice& output) {
    int64_t delta = 0;
    if (!planChunkOffsets(input, delta))
        return false;
    for (const auto& child : children)
        if (!child->save(input, output, delta))
            return false;
    return true;
}

}  // namespace mp4
