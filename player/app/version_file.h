// The update check's version file: "Orvex=" once, then the version as a
// number with four decimals, "=", and the download address (up to its
// ".exe", in any case, when it has one; never past a blank or a control
// character). Outside data: whatever it holds, only an http or https
// address with a host comes out.
#pragma once

#include <QByteArray>
#include <QUrl>

namespace vistamo::app {

struct UpdateOffer {
    int number = 0;  // the version × 10000, truncated
    QUrl address;    // http or https, with a host
};

// The most of a version file that is read.
constexpr int kVersionFileLimit = 64 * 1024;

// False (offer untouched) for a file that offers nothing usable: too long,
// no key or the key twice, no number, or an address that is not a web one.
bool parseVersionFile(const QByteArray& body, UpdateOffer& offer);

}  // namespace vistamo::app
