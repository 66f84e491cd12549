// The playlist file: one XML document of "item" rows under a "plist" root,
// read tolerantly and written whole. Plain data and Qt Core/Xml only, so
// that the format is tested and fuzzed without a widget.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace vistamo::playlist {

// One row as the file keeps it.
struct PlaylistEntry {
    bool isImage = false;
    QString name;   // file name without folder and extension
    QString path;   // full path in native separators: the row's identity
    QString extip;  // "hh:mm:ss" for a video, the suffix for a still
    int model = -1; // the MediaKind last used, -1 when none was recorded
};

// A playlist path is kept only when it is not empty and ends in ".plist"
// (any letter case).
bool isPlaylistPath(const QString& path);

// The rows of a playlist document: false when the bytes are not XML or the
// root is not "plist". A missing "type" or any type other than "video" is a
// still, a missing child an empty text, a "model" that is not a decimal
// integer 0.
bool parsePlaylist(const QByteArray& bytes, QVector<PlaylistEntry>& rows);

// The document for rows: the XML declaration, the "plist" root and one
// "item" per row (type attribute, then name, path, extip, model), indented
// by 4.
QByteArray playlistDocument(const QVector<PlaylistEntry>& rows);

enum class ReadResult { Ok, Missing, CannotOpen, Malformed };
ReadResult readPlaylistFile(const QString& path, QVector<PlaylistEntry>& rows);

// Writes the document for rows as path through a file that replaces the old
// one only when complete (QSaveFile): a failed write keeps the previous
// file as it was. error gets the reason.
bool writePlaylistFile(const QString& path, const QVector<PlaylistEntry>& rows, QString* error = nullptr);

// Keeps a file that cannot be read as path + ".bak" (replacing an older
// one) so that a new playlist does not destroy it; false when it cannot.
bool keepDamagedPlaylist(const QString& path);

}  // namespace vistamo::playlist
