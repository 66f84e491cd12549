#include "update_checker.h"

#include <QDebug>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "feedback.h"
#include "version_file.h"

namespace vistamo::app {

UpdateChecker::UpdateChecker(QWidget* window, std::function<int(ui::Feedback&)> runDialog)
    : QObject(nullptr), window_(window), runDialog_(std::move(runDialog)) {
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

void UpdateChecker::check() {
    if (url_.isEmpty())
        return;  // no update address in this build: nothing is sent
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
        connect(network_, &QNetworkAccessManager::finished, this, &UpdateChecker::answered);
    }
    QNetworkRequest request(QUrl(url_, QUrl::TolerantMode));
    request.setTransferTimeout(15000);
    QNetworkReply* reply = network_->get(request);
    // A version file is a few lines: a longer answer is no version file.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kVersionFileLimit)
            reply->abort();
    });
}

void UpdateChecker::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    UpdateOffer offer;
    if (!parseVersionFile(reply->read(kVersionFileLimit + 1), offer))
        return;
    qDebug() << "lastest version:" << offer.number << offer.address;
    if (offer.number <= kVersionNumber)
        return;
    ui::Feedback dialog(window_);
    dialog.setFixedSize(400, 250);
    dialog.makeQuestion(tr("A software update is available. Proceed to download the update?"), QStringLiteral("Orvex"),
                        QStringLiteral("OK"), QStringLiteral("Cancel"));
    if (runDialog_(dialog) == 1)
        openUrl_(offer.address);
}

}  // namespace vistamo::app
