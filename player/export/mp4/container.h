// A box whose content is a sequence of boxes, after prefixSize bytes of
// fixed fields that are copied verbatim.
#pragma once

#include <list>

#include "box.h"

namespace mp4 {

// Boxes nested deeper than this are refused: real files nest fewer than
// ten levels, and crafted ones must not exhaust the stack.
constexpr int kMaxBoxDepth = 64;

class Container : public Box {
public:
    int boxKind() const override { return 1; }
    void print(const std::string& indent) const override;
    bool save(QIODevice& input, QIODevice& output, int64_t delta) const override;

    // Reads the box at position (ending at or before end): a Container for
    // the container types, else a leaf Box or an SA3DBox. depth counts the
    // containers above it.
    static std::unique_ptr<Box> load(QIODevice& input, uint64_t position, uint64_t end, int depth = 0);

    // Appends box as the last child; false (tree unchanged) when a child of
    // the same type exists.
    bool addChild(std::unique_ptr<Box> box);
    // Recomputes contentSize from the children, depth first. A box that
    // outgrows the 32-bit size form switches to the 64-bit form.
    void resize();

    uint64_t prefixSize = 0;
    std::list<std::unique_ptr<Box>> children;

protected:
    void printChildren(const std::string& indent) const;
};

// The boxes between start and end; empty when one of them fails to load.
std::list<std::unique_ptr<Box>> loadChildren(QIODevice& input, uint64_t start, uint64_t end, int depth = 0);

bool isContainerType(const char* type);

}  // namespace mp4
