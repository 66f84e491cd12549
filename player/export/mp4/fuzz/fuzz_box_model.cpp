// Fuzz target: the box model on arbitrary bytes. Loads the tree, adds the
// spherical boxes V1 and V2 to video tracks (which resizes), and saves into
// memory. What it accepts must be right: the saved file loads and saves
// again, and holds the metadata, so that a second injection changes nothing.
#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

#include "mp4_log.h"
#include "spherical_metadata.h"
#include "spherical_v2.h"

namespace {

struct Injection {
    bool loaded = false, saved = false;
    int v2 = 0;
    QByteArray out;
};

Injection inject(const QByteArray& bytes) {
    Injection result;
    QByteArray copy = bytes;
    QBuffer input(&copy);
    input.open(QIODevice::ReadOnly);
    std::unique_ptr<mp4::Mpeg4Container> tree = mp4::Mpeg4Container::load(input);
    if (!tree)
        return result;
    result.loaded = true;
    mp4::addSphericalBoxes(*tree, input);
    result.v2 = mp4::addSphericalV2Boxes(*tree, input);
    tree->print("");
    QBuffer output(&result.out);
    output.open(QIODevice::WriteOnly);
    result.saved = tree->save(input, output);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = [] {
        mp4::setTraceSink(nullptr);
        mp4::setErrorSink(nullptr);
        return true;
    }();
    (void)silenced;
    const Injection first = inject(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    if (!first.saved)
        return 0;
    const Injection second = inject(first.out);
    if (!second.loaded || !second.saved || second.v2 != 0 || second.out != first.out)
        std::abort();  // the written file lost its shape or its metadata
    return 0;
}
