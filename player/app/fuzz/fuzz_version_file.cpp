// Fuzz target: the update check's version file on arbitrary bytes. What it
// accepts must be a web address with a host, and must read back the same
// from the file it would be written as.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "version_file.h"

using namespace vistamo::app;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UpdateOffer offer;
    if (!parseVersionFile(QByteArray(reinterpret_cast<const char*>(data), int(size)), offer))
        return 0;
    const QString scheme = offer.address.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || offer.address.host().isEmpty() ||
        offer.number < 0)
        std::abort();
    // Written back as a version file of the usual form, it reads the same.
    if (offer.number < 100000) {
        char version[16];
        std::snprintf(version, sizeof version, "%d.%04d", offer.number / 10000, offer.number % 10000);
        const QByteArray file = QByteArray("Orvex=") + QByteArray(version) + "=" + offer.address.toEncoded() + "\n";
        UpdateOffer again;
        // (Four decimals times 10000 may truncate one below.)
        if (!parseVersionFile(file, again) || again.address.toEncoded() != offer.address.toEncoded() || std::abs(again.number - offer.number) > 1)
            std::abort();
    }
    return 0;
}
