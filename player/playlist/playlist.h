// PlayList: the panel of files the user has played or added. One row per
// file (name and duration or suffix), the playing one highlighted; double
// click starts a file, "-" removes the selected rows, files dropped on it
// are offered to the main window. The rows are kept in the playlist file,
// which is written whole and replaced atomically whenever they change.
#pragma once

#include <QColor>
#include <QDomDocument>
#include <QFrame>
#include <QPair>
#include <QVector>

#include <functional>

#include "playlist_file.h"

namespace Ui {
class PlayList;
}
class QTableWidget;
class QTableWidgetItem;
class QPushButton;

namespace vistamo::playlist {

class MediaFileItem;

class PlayList : public QFrame {
    Q_OBJECT
public:
    explicit PlayList(QWidget* parent = nullptr);
    ~PlayList() override;

    void SetMainWindow(QWidget* window) { mainWindow_ = window; }
    void SetListFile(const QString& path);
    QString listFile() const { return listFile_; }
    bool LoadList();
    // A new, empty playlist file; an existing (unreadable) one is kept as
    // "….plist.bak" first.
    bool CreateList();
    bool SaveList();

    bool IsEmpty() const;
    void AddMedia(const QString& path, bool isImage, qint64 durationMs, bool current);
    void SetModel(const QString& path, int model);
    int FindRow(const QString& path) const;
    void RemoveRowByPath(const QString& path);
    void RefreshHighlight();

    QTableWidget* table() const { return table_; }
    QPushButton* addButton() const;
    QPushButton* removeButton() const;
    int currentRow() const { return currentRow_; }
    MediaFileItem* itemAt(int row) const;
    // How message dialogs are run (tests answer them; the default execs a
    // Feedback).
    void setMessageRunner(std::function<void(const QString&)> runner) { showMessage_ = std::move(runner); }

    // The extra text of a row: the suffix of a still, "hh:mm:ss" of a video.
    static QString extipFor(const QString& path, bool isImage, qint64 durationMs);

signals:
    void AddBtnClicked();
    void StopPlay();
    void StartPlay(QString path, int model);
    void AddFiles(QStringList files);

public slots:
    void DeleteItem();

private slots:
    void OnRowDoubleClicked(QTableWidgetItem* item);
    void OnRowClicked(QTableWidgetItem* item);

protected:
    void enterEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void addRow(const PlaylistEntry& entry, bool current);
    QVector<PlaylistEntry> rows() const;
    // Keeps the file in step with the rows; failures are reported at close.
    void saveQuietly();
    void fileError(const QString& text);

    Ui::PlayList* form_;
    QString listFile_;
    QDomDocument document_;
    QTableWidget* table_;
    int currentRow_ = 0;
    QColor grey_{102, 102, 102};
    QColor white_{255, 255, 255};
    QColor highlight_{255, 232, 7};
    QVector<QPair<QString, int>> pendingKinds_;
    QWidget* mainWindow_ = nullptr;
    bool loading_ = false;
    std::function<void(const QString&)> showMessage_;
};

}  // namespace vistamo::playlist
