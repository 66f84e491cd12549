#include "version_file.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace vistamo::app {

bool parseVersionFile(const QByteArray& body, UpdateOffer& offer) {
    if (body.isEmpty() || body.size() > kVersionFileLimit)
        return false;
    const QString text = QString::fromUtf8(body);
    const QStringList pieces = text.split(QStringLiteral("Orvex="), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (pieces.size() != 2)
        return false;
    const QString rest = pieces[1];
    bool numeric = false;
    const double version = rest.left(6).toDouble(&numeric);
    if (!numeric || !(version >= 0) || version > 100000)
        return false;
    const int equals = rest.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    // The address runs to the end of its ".exe", and never past a blank or
    // a control character.
    QString address = rest.mid(equals + 1).trimmed();
    const int end = address.indexOf(QRegularExpression(QStringLiteral("[\\s\\x{0}-\\x{1f}\\x{7f}]")));
    if (end >= 0)
        address = address.left(end);
    const int exe = address.indexOf(QStringLiteral(".exe"), 0, Qt::CaseInsensitive);
    if (exe >= 0)
        address = address.left(exe + 4);
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    offer.number = int(version * 10000);
    offer.address = url;
    return true;
}

}  // namespace vistamo::app
