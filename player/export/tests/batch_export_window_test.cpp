// The playlist's batch export from the real main window under a display:
// rows selected, "Export selected…" from the button and from the context
// menu, the queue running one file at a time while the window stays
// usable, a missing file listed as failed, and a cancel in the middle that
// keeps the finished panorama and leaves no temporary.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>

#include "batch_export_dialog.h"
#include "feedback.h"
#include "main_window.h"
#include "playlist.h"
#include "playlist_model.h"
#include "resources.h"
#include "title_bar.h"

using namespace vistamo;

namespace {

const QString kSamples = QStringLiteral(VISTAMO_SAMPLES_DIR);

QString probe(const QString& file, const QString& entries) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v", "-show_entries", entries, "-of",
                                        "default=nw=1:nk=1", file});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList listing(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

class BatchExportWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<app::MainWindow> window_;
    QStringList messages_;

    app::MainWindow& window() { return *window_; }
    playlist::PlayList& list() { return *window().playList(); }

    // Three rows: a still, a clip gone from the disk, and a clip.
    void addThreeRows() {
        const QString gone = dir_.filePath("gone.mp4");
        QVERIFY(QFile::copy(kSamples + "/twins.mp4", gone));
        list().AddMedia(QDir::toNativeSeparators(dir_.filePath("in/twins.jpg")), true, 0, false);
        list().AddMedia(QDir::toNativeSeparators(gone), false, 3000, false);
        list().AddMedia(QDir::toNativeSeparators(dir_.filePath("in/twins.mp4")), false, 3000, false);
        QVERIFY(QFile::remove(gone));
        QCOMPARE(list().rowCount(), 3);
    }

    exporting::BatchExportDialog* openBatchFromButton() {
        list().table()->selectAll();
        if (!list().exportButton()->isEnabled())
            return nullptr;
        list().exportButton()->click();
        return window().batchExportDialog();
    }

    // Waits for the run's end; false after three minutes.
    bool waitForEnd(exporting::BatchExportDialog* dialog) {
        QElapsedTimer waited;
        waited.start();
        while (!dialog->ended() && waited.elapsed() < 180000)
            QTest::qWait(20);
        return dialog->ended();
    }

    QStringList problems(exporting::BatchExportDialog* dialog) {
        QStringList rows;
        for (int k = 0; k < dialog->problemList()->count(); ++k)
            rows << dialog->problemList()->item(k)->text();
        return rows;
    }

private slots:
    void initTestCase() {
        ui::initResources();
        QDir(dir_.path()).mkpath("in");
        QVERIFY(QFile::copy(kSamples + "/twins.jpg", dir_.filePath("in/twins.jpg")));
        QVERIFY(QFile::copy(kSamples + "/twins.mp4", dir_.filePath("in/twins.mp4")));
    }

    void init() {
        window_ = std::make_unique<app::MainWindow>(nullptr, QStringLiteral("en_US"), dir_.filePath("p.ini"),
                                                    QSize(1000, 600), dir_.filePath("p.plist"));
        window().setDialogRunner([this](ui::Feedback& dialog) {
            messages_ << dialog.message();
            return 0;
        });
        window().setExportTools(QStringLiteral(CONVERTER_PATH), QString());
        window().initPlayList();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void cleanup() {
        if (window_)
            window().close();
        window_.reset();
        QFile::remove(dir_.filePath("p.plist"));
    }

    void nothingSelectedOffersNoExport() {
        addThreeRows();
        list().table()->clearSelection();
        QVERIFY(!list().exportButton()->isEnabled());
        list().table()->selectRow(2);
        QVERIFY(list().exportButton()->isEnabled());
        QCOMPARE(list().selectedPaths(), QStringList{QDir::toNativeSeparators(dir_.filePath("in/twins.mp4"))});
    }

    void threeRowsExportTwoAndListTheMissingOne() {
        addThreeRows();
        const QString out = dir_.filePath("out-all");
        QDir(dir_.path()).mkpath("out-all");
        auto* dialog = openBatchFromButton();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->files().size(), 3);
        // A wrong folder is said in the form, and nothing starts.
        dialog->folderEdit()->setText(dir_.filePath("no-such-folder"));
        dialog->startButton()->click();
        QVERIFY(dialog->problemLabel()->text().endsWith("is not a folder."));
        QVERIFY(!dialog->running());

        dialog->folderEdit()->setText(out);
        dialog->widthButton()->setChecked(true);
        dialog->widthSpin()->setValue(640);
        QSet<int> percents, lefts;
        QStringList currents;
        connect(dialog->progressBar(), &QProgressBar::valueChanged, this, [&](int v) { percents << v; });
        QTimer sampler;
        int clicksSeen = 0;
        connect(&sampler, &QTimer::timeout, this, [&] {
            lefts << dialog->leftLabel()->text().section(' ', -1).toInt();
            if (!currents.contains(dialog->currentLabel()->text()))
                currents << dialog->currentLabel()->text();
            // The window stays usable: nothing modal, and its playlist answers.
            if (!QApplication::activeModalWidget() && dialog->running()) {
                list().table()->selectRow(clicksSeen++ % 3);
            }
        });
        dialog->startButton()->click();
        sampler.start(25);
        QVERIFY(waitForEnd(dialog));
        sampler.stop();

        QCOMPARE(dialog->summaryLabel()->text(), QStringLiteral("2 exported, 1 failed, 0 skipped"));
        const QStringList rows = problems(dialog);
        QCOMPARE(rows.size(), 1);
        QVERIFY2(rows[0].startsWith("gone.mp4: "), qPrintable(rows[0]));
        QVERIFY(clicksSeen > 10);
        QVERIFY(currents.contains("Exporting twins.jpg (1 of 3)"));
        QVERIFY(currents.contains("Exporting twins.mp4 (3 of 3)"));
        QVERIFY(lefts.contains(1));
        QVERIFY(percents.size() >= 4);
        QCOMPARE(listing(out), (QStringList{"twins_pano.jpg", "twins_pano.mp4"}));
        QCOMPARE(probe(out + "/twins_pano.mp4", "stream=width"), QStringLiteral("640"));
        // Nothing is left beside the sources either.
        QCOMPARE(listing(dir_.filePath("in")), (QStringList{"twins.jpg", "twins.mp4"}));
        QCOMPARE(messages_, QStringList());
        dialog->cancelButton()->click();  // now "Close"
        QTRY_VERIFY(window().batchExportDialog() == nullptr);
    }

    void cancellingKeepsTheFinishedFileAndRemovesThePartialOne() {
        addThreeRows();
        const QString out = dir_.filePath("out-cancel");
        QDir(dir_.path()).mkpath("out-cancel");
        // From the rows' context menu this time.
        list().table()->selectAll();
        QTimer::singleShot(300, this, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu)
                menu->actions().value(0)->trigger();
            if (menu)
                menu->close();
        });
        const QRect row = list().table()->visualRect(list().model()->index(0, 1));
        emit list().table()->customContextMenuRequested(row.center());
        auto* dialog = window().batchExportDialog();
        QVERIFY(dialog);
        dialog->folderEdit()->setText(out);
        dialog->formatCombo()->setCurrentIndex(2);  // H.265
        bool cancelled = false;
        // Hidden while it runs, the run goes on; cancelled once the clip is well under way.
        connect(dialog->progressBar(), &QProgressBar::valueChanged, this, [&](int v) {
            if (!cancelled && v >= 10 && dialog->currentLabel()->text().contains("twins.mp4")) {
                cancelled = true;
                QTimer::singleShot(0, this, [&] {
                    // A temporary of the running clip is there now.
                    QVERIFY(listing(out).join(' ').contains(".twins_pano.vistamo-player-"));
                    // The playlist's button brings the hidden dialog back.
                    list().exportButton()->click();
                    QVERIFY(dialog->isVisible());
                    dialog->cancelButton()->click();
                });
            }
        });
        dialog->startButton()->click();
        QTest::qWait(50);
        dialog->reject();  // Escape or the close button: hidden, not stopped
        QVERIFY(!dialog->isVisible());
        QVERIFY(dialog->running());
        QVERIFY(waitForEnd(dialog));
        QVERIFY(cancelled);
        QVERIFY(dialog->isVisible());  // its end shows it again
        QCOMPARE(dialog->summaryLabel()->text(), QStringLiteral("1 exported, 1 failed, 0 skipped"));
        QCOMPARE(dialog->leftLabel()->text(), QStringLiteral("Not exported: 1"));
        QCOMPARE(dialog->currentLabel()->text(), QStringLiteral("Stopped during twins.mp4"));
        QCOMPARE(problems(dialog).size(), 1);
        QVERIFY(problems(dialog)[0].startsWith("gone.mp4: "));
        QTRY_COMPARE_WITH_TIMEOUT(listing(out), QStringList{"twins_pano.jpg"}, 5000);
        QCOMPARE(QProcess().execute("exiftool", {"-q", "-q", "-ProjectionType", out + "/twins_pano.jpg"}), 0);
    }

    void closingTheWindowStopsTheBatch() {
        addThreeRows();
        const QString out = dir_.filePath("out-close");
        QDir(dir_.path()).mkpath("out-close");
        auto* dialog = openBatchFromButton();
        QVERIFY(dialog);
        dialog->folderEdit()->setText(out);
        dialog->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->currentLabel()->text().contains("twins.mp4"), 60000);
        // The close question is answered "Close" by the runner: everything stops.
        window().setDialogRunner([this](ui::Feedback& question) {
            messages_ << question.message();
            return int(QDialog::Accepted);
        });
        window().titleBar()->closeButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window().isVisible(), 5000);
        QVERIFY(messages_.value(0).startsWith("Exporting now"));
        QCOMPARE(listing(out), QStringList{"twins_pano.jpg"});
        window_.reset();
    }
};

QTEST_MAIN(BatchExportWindowTest)
#include "batch_export_window_test.moc"
