// Fuzz target: the playlist reader on arbitrary bytes. What it accepts must
// survive a round trip: written as a document and read again, the same rows.
#include <cstdint>
#include <cstdlib>

#include "playlist_file.h"

using namespace vistamo::playlist;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QVector<PlaylistEntry> rows;
    if (!parsePlaylist(QByteArray(reinterpret_cast<const char*>(data), int(size)), rows))
        return 0;
    QVector<PlaylistEntry> again;
    if (!parsePlaylist(playlistDocument(rows), again) || again.size() != rows.size())
        std::abort();
    for (int k = 0; k < rows.size(); ++k) {
        const PlaylistEntry &a = rows[k], &b = again[k];
        if (a.isImage != b.isImage || a.name != b.name || a.path != b.path || a.extip != b.extip || a.model != b.model)
            std::abort();
    }
    return 0;
}
