// The update check against version files served from 127.0.0.1, and the
// language switch, in the real main window.
#include <QLabel>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "feedback.h"
#include "main_window.h"
#include "resources.h"
#include "type_bar.h"

using namespace vistamo;

namespace {

// Answers every request with body, or (endless) keeps sending forever.
class VersionServer : public QObject {
public:
    QByteArray body;
    bool endless = false;
    int requests = 0;

    VersionServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = server_.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                ++requests;
                if (endless) {
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
                    auto* feed = new QTimer(socket);
                    connect(feed, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(32 * 1024, 'x')); });
                    feed->start(5);
                    return;
                }
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/install/KestraSoftVersion.txt").arg(server_.serverPort()));
    }

private:
    QTcpServer server_;
};

}  // namespace

class UpdateLanguageTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<app::MainWindow> window_;
    QStringList messages_;
    int answer_ = 1;
    QList<QUrl> opened_;

    app::MainWindow& window() { return *window_; }

    void makeWindow(const QString& locale, const QString& settingsPath) {
        window_ = std::make_unique<app::MainWindow>(nullptr, locale, settingsPath, QSize(800, 500),
                                                    dir_.filePath("p.plist"));
        window().setDialogRunner([this](ui::Feedback& dialog) {
            messages_ << dialog.header()->findChild<QLabel*>()->text() + QLatin1Char('|') + dialog.message();
            return answer_;
        });
        window().setUrlOpener([this](const QUrl& url) { opened_ << url; });
        window().show();
    }

    // One check against body; the messages it gave.
    QStringList check(const QByteArray& body, bool endless = false) {
        VersionServer server;
        server.body = body;
        server.endless = endless;
        messages_.clear();
        opened_.clear();
        window().setUpdateUrl(server.url());
        window().checkForUpdate();
        QElapsedTimer waited;
        waited.start();
        while (server.requests < 1 && waited.elapsed() < 5000)
            QTest::qWait(20);
        if (server.requests != 1)
            return {QStringLiteral("(no request reached the server)")};
        QTest::qWait(endless ? 1500 : 300);
        return messages_;
    }

private slots:
    void initTestCase() { ui::initResources(); }

    void init() {
        messages_.clear();
        opened_.clear();
        answer_ = 1;
        makeWindow(QStringLiteral("en_US"), dir_.filePath("p.ini"));
    }
    void cleanup() { window_.reset(); }

    void offersOnlyANewerVersionAtAWebAddress() {
        const QByteArray tail = "\r\nOther=3\r\n";
        QVERIFY(check("Orvex=1.0140=http://127.0.0.1/setup.exe" + tail).isEmpty());
        QCOMPARE(check("Orvex=1.0150=http://127.0.0.1/dl/setup.exe" + tail),
                 QStringList{"Orvex|A software update is available. Proceed to download the update?"});
        QCOMPARE(opened_, QList<QUrl>{QUrl("http://127.0.0.1/dl/setup.exe")});
        answer_ = 0;
        QCOMPARE(check("Orvex=1.0150=https://127.0.0.1/setup.exe").size(), 1);
        QVERIFY(opened_.isEmpty());  // "Cancel"
        answer_ = 1;
        // The key twice, another scheme, a local file, junk: nothing at all.
        QVERIFY(check("Orvex=1.0150=http://a/x.exe Orvex=1.0150=http://b/y.exe").isEmpty());
        QVERIFY(check("Orvex=1.0150=file:///etc/passwd.exe").isEmpty());
        QVERIFY(check("Orvex=1.0150=javascript:alert(1).exe").isEmpty());
        QVERIFY(check("Orvex=abcdef=http://a/x.exe").isEmpty());
        QVERIFY(check(QByteArray(200 * 1024, 'O')).isEmpty());
        QVERIFY(opened_.isEmpty());
    }

    void endlessAnswersAndADeadServerEndQuietly() {
        QVERIFY(check(QByteArray(), true).isEmpty());
        // Nobody listens there.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        window().setUpdateUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/install/KestraSoftVersion.txt").arg(port)));
        window().checkForUpdate();
        QTest::qWait(500);
        QVERIFY(messages_.isEmpty());
        // Without an address nothing is sent.
        VersionServer server;
        window().setUpdateUrl(QUrl());
        window().checkForUpdate();
        QTest::qWait(300);
        QCOMPARE(server.requests, 0);
    }

    void languageSwitchWritesTheOtherLanguage_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("English") << "en_US" << "zh_CN";
        QTest::newRow("Chinese") << "zh_CN" << "en_US";
        QTest::newRow("French") << "fr_FR" << "zh_CN";
    }
    void languageSwitchWritesTheOtherLanguage() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        const QString ini = dir_.filePath(from + ".ini");
        QSettings(ini, QSettings::IniFormat).setValue("/locale", from);
        window_.reset();
        makeWindow(from, ini);
        QVERIFY(QMetaObject::invokeMethod(&window(), "OnSwitchLanguage"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].endsWith("Please restart Vistamo Player before the language change can take effect."));
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("/locale").toString(), to);
        QVERIFY(!window().isVisible());
    }

    void cancelledOrUnwritableSwitchKeepsTheWindow() {
        const QString ini = dir_.filePath("keep.ini");
        QSettings(ini, QSettings::IniFormat).setValue("/locale", "en_US");
        window_.reset();
        makeWindow("en_US", ini);
        answer_ = 0;
        QVERIFY(QMetaObject::invokeMethod(&window(), "OnSwitchLanguage"));
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("/locale").toString(), QStringLiteral("en_US"));
        QVERIFY(window().isVisible());
        // A settings "file" that is a folder cannot be written.
        const QString folder = dir_.filePath("folder.ini");
        QVERIFY(QDir().mkpath(folder));
        window_.reset();
        makeWindow("en_US", folder);
        answer_ = 1;
        messages_.clear();
        QVERIFY(QMetaObject::invokeMethod(&window(), "OnSwitchLanguage"));
        QCOMPARE(messages_.size(), 2);
        QVERIFY(messages_[1].contains("The language setting cannot be saved"));
        QVERIFY(window().isVisible());
    }
};

QTEST_MAIN(UpdateLanguageTest)
#include "update_language_test.moc"
