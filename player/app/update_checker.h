// UpdateChecker: asks the version file at the update address (empty by
// default: then nothing is sent) and, when it offers a newer version than
// this build, asks the user and opens the download in the browser. Lives
// on the GUI thread; the network's answers come there.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

namespace vistamo::ui {
class Feedback;
}

namespace vistamo::app {

class UpdateChecker : public QObject {
    Q_OBJECT
public:
    // Dialogs are made over window and run through runDialog.
    UpdateChecker(QWidget* window, std::function<int(ui::Feedback&)> runDialog);

    void setUrl(const QString& url) { url_ = url; }
    const QString& url() const { return url_; }
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // Sends the request (nothing without an address); the answer comes to answered().
    void check();
    // This build's version number: a file's number must exceed it.
    static constexpr int kVersionNumber = 10140;

public slots:
    void answered(QNetworkReply* reply);

private:
    QWidget* window_;
    std::function<int(ui::Feedback&)> runDialog_;
    std::function<void(const QUrl&)> openUrl_;
    QString url_;
    QNetworkAccessManager* network_ = nullptr;
};

}  // namespace vistamo::app
