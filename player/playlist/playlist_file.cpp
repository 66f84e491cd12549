#include "playlist_file.h"

#include <QDomDocument>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace vistamo::playlist {
namespace {

QString childText(const QDomElement& item, const QString& name) {
    return item.firstChildElement(name).text();
}

}  // namespace

bool isPlaylistPath(const QString& path) {
    return !path.isEmpty() && path.endsWith(QLatin1String(".plist"), Qt::CaseInsensitive);
}

bool parsePlaylist(const QByteArray& bytes, QVector<PlaylistEntry>& rows) {
    QDomDocument document;
    if (!document.setContent(QString::fromUtf8(bytes), true))
        return false;
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("plist"))
        return false;
    rows.clear();
    for (QDomElement item = root.firstChildElement(QStringLiteral("item")); !item.isNull();
         item = item.nextSiblingElement(QStringLiteral("item"))) {
        PlaylistEntry entry;
        entry.isImage = item.attribute(QStringLiteral("type")) != QLatin1String("video");
        entry.name = childText(item, QStringLiteral("name"));
        entry.path = childText(item, QStringLiteral("path"));
        entry.extip = childText(item, QStringLiteral("extip"));
        bool ok = false;
        const int model = childText(item, QStringLiteral("model")).toInt(&ok, 10);
        entry.model = ok ? model : 0;
        rows.push_back(entry);
    }
    return true;
}

QByteArray playlistDocument(const QVector<PlaylistEntry>& rows) {
    QDomDocument document;
    document.appendChild(document.createProcessingInstruction(QStringLiteral("xml"),
                                                              QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
    QDomElement root = document.createElement(QStringLiteral("plist"));
    for (const PlaylistEntry& entry : rows) {
        QDomElement item = document.createElement(QStringLiteral("item"));
        item.setAttribute(QStringLiteral("type"), entry.isImage ? QStringLiteral("image") : QStringLiteral("video"));
        const QPair<QString, QString> children[] = {{QStringLiteral("name"), entry.name},
                                                    {QStringLiteral("path"), entry.path},
                                                    {QStringLiteral("extip"), entry.extip},
                                                    {QStringLiteral("model"), QString::number(entry.model)}};
        for (const auto& [tag, text] : children) {
            QDomElement child = document.createElement(tag);
            child.appendChild(document.createTextNode(text));
            item.appendChild(child);
        }
        root.appendChild(item);
    }
    document.appendChild(root);
    return document.toByteArray(4);
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
