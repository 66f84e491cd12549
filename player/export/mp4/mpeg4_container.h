// The whole MP4 file as a box tree. load() reads the structure, a caller
// may add boxes, and save() writes a new file that copies every untouched
// payload from the input and moves the chunk offsets by the growth in front
// of the media data. The input must stay open and unchanged in between.
#pragma once

#include "container.h"

namespace mp4 {

class Mpeg4Container : public Container {
public:
    void print(const std::string& indent) const override;

    // The file's tree, or null (with an error line) when it is not a
    // well-formed MP4 with "moov" and "mdat".
    static std::unique_ptr<Mpeg4Container> load(QIODevice& input);

    // Writes the new file to output; false on any read or write failure, or
    // when an offset table cannot be moved. On failure the output holds an
    // unfinished file that the caller must discard.
    using Container::save;
    bool save(QIODevice& input, QIODevice& output);

    // Where the first media data's content starts in the output, minus where
    // it started in the input, once the tree is resized.
    int64_t mdatShift();

    // Top-level boxes of interest (owned by children).
    Box* moov = nullptr;
    Box* free = nullptr;
    Box* mdat = nullptr;  // the first "mdat"
    Box* ftyp = nullptr;
    uint64_t firstMdatPosition = 0;  // in the input

private:
    bool planChunkOffsets(QIODevice& input, int64_t& delta);
};

}  // namespace mp4
