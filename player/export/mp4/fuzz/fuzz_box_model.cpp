// Fuzz target: the box model on arbitrary bytes. Loads the tree, adds the
// spherical box to video tracks (which resizes), and saves into memory.
#include <QBuffer>
#include <QByteArray>

#include <cstdint>

#include "mp4_log.h"
#include "spherical_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = [] {
        mp4::setTraceSink(nullptr);
        mp4::setErrorSink(nullptr);
        return true;
    }();
    (void)silenced;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    std::unique_ptr<mp4::Mpeg4Container> tree = mp4::Mpeg4Container::load(input);
    if (!tree)
        return 0;
    mp4::addSphericalBoxes(*tree, input);
    tree->print("");
    QByteArray out;
    QBuffer output(&out);
    output.open(QIODevice::WriteOnly);
    tree->save(input, output);
    return 0;
}
