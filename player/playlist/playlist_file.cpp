#include "playlist_file.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace vistamo::playlist {
namespace {

// The file's own layout is three levels deep (plist, item, child); anything
// far deeper is no playlist of ours, and would only cost stack and time.
constexpr int kMaxDepth = 32;

// The text of the element the reader has just entered, its descendants'
// text included, as a DOM element's text() reads it. False when the
// document turns out malformed or too deep.
bool elementText(QXmlStreamReader& reader, int depth, QString& text) {
    text.clear();
    int inner = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth + ++inner > kMaxDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            if (inner-- == 0)
                return true;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text += reader.text();
            break;
        default: break;
        }
    }
    return false;
}

// Skips the element the reader has just entered; false when malformed or too deep.
bool skipElement(QXmlStreamReader& reader, int depth) {
    QString ignored;
    return elementText(reader, depth, ignored);
}

// Calls child() on each child element of the element the reader has just
// entered, with the reader on the child's start; child() must read the
// child to its end and say whether that went well. False when a child
// failed or the element did not end.
template <typename Child>
bool forEachChild(QXmlStreamReader& reader, Child child) {
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement)
            return true;
        if (token == QXmlStreamReader::StartElement && !child())
            return false;
    }
    return false;
}

bool readItem(QXmlStreamReader& reader, PlaylistEntry& entry) {
    entry.isImage = reader.attributes().value(QLatin1String("type")) != QLatin1String("video");
    bool seenName = false, seenPath = false, seenExtip = false, seenModel = false;
    QString modelText;
    const bool read = forEachChild(reader, [&] {
        // The first child of each name counts, as the file was always read.
        const QStringRef tag = reader.name();
        QString* target = nullptr;
        bool* seen = nullptr;
        if (tag == QLatin1String("name")) target = &entry.name, seen = &seenName;
        else if (tag == QLatin1String("path")) target = &entry.path, seen = &seenPath;
        else if (tag == QLatin1String("extip")) target = &entry.extip, seen = &seenExtip;
        else if (tag == QLatin1String("model")) target = &modelText, seen = &seenModel;
        QString text;
        if (!elementText(reader, 3, text))
            return false;
        if (target && !*seen) {
            *target = text;
            *seen = true;
        }
        return true;
    });
    if (!read && !reader.atEnd())
        return false;
    bool ok = false;
    const int model = modelText.toInt(&ok, 10);
    entry.model = ok ? model : 0;
    return !reader.hasError();
}

}  // namespace

bool isPlaylistPath(const QString& path) {
    return !path.isEmpty() && path.endsWith(QLatin1String(".plist"), Qt::CaseInsensitive);
}

bool parsePlaylist(const QByteArray& bytes, QVector<PlaylistEntry>& rows) {
    // A stream reader: rows are made as they are read, the depth is bounded
    // and entity expansion is limited (a "billion laughs" file is an error).
    QXmlStreamReader reader(bytes);
    QVector<PlaylistEntry> read;
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
    }
    if (reader.hasError() || reader.atEnd() || reader.name() != QLatin1String("plist"))
        return false;
    const bool itemsRead = forEachChild(reader, [&] {
        if (reader.name() != QLatin1String("item"))
            return skipElement(reader, 2);
        PlaylistEntry entry;
        if (!readItem(reader, entry))
            return false;
        read.push_back(std::move(entry));
        return true;
    });
    if (!itemsRead && !reader.atEnd())
        return false;
    // Whatever follows the root must still be well formed.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.error() != QXmlStreamReader::NoError)
        return false;
    rows = std::move(read);
    return true;
}

QByteArray playlistDocument(const QVector<PlaylistEntry>& rows) {
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("plist"));
    for (const PlaylistEntry& entry : rows) {
        writer.writeStartElement(QStringLiteral("item"));
        writer.writeAttribute(QStringLiteral("type"), entry.isImage ? QStringLiteral("image") : QStringLiteral("video"));
        writer.writeTextElement(QStringLiteral("name"), entry.name);
        writer.writeTextElement(QStringLiteral("path"), entry.path);
        writer.writeTextElement(QStringLiteral("extip"), entry.extip);
        writer.writeTextElement(QStringLiteral("model"), QString::number(entry.model));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return bytes;
}

ReadResult readPlaylistFile(const QString& path, QVector<PlaylistEntry>& rows) {
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return ReadResult::CannotOpen;
    return parsePlaylist(file.readAll(), rows) ? ReadResult::Ok : ReadResult::Malformed;
}

bool writePlaylistFile(const QString& path, const QVector<PlaylistEntry>& rows, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = playlistDocument(rows);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool keepDamagedPlaylist(const QString& path) {
    const QByteArray from = QFile::encodeName(path), to = QFile::encodeName(path + QStringLiteral(".bak"));
    // rename() replaces an older copy in one step.
    return std::rename(from.constData(), to.constData()) == 0;
}

}  // namespace vistamo::playlist
