// PlayList: the panel of files the user has played or added. One row per
// file (name and duration or suffix), the playing one highlighted; double
// click starts a file, "-" removes the selected rows, "Export selected…"
// (a button and the rows' context menu) offers them for a batch export,
// files dropped on it are offered to the main window. The rows live in a PlaylistModel shown by
// a QTableView, and are kept in the playlist file, which is written whole
// and replaced atomically whenever they change. GUI thread only.
#pragma once

#include <QFrame>
#include <QPair>
#include <QVector>

#include <functional>

#include "playlist_file.h"

namespace Ui {
class PlayList;
}
class QModelIndex;
class QPushButton;
class QTableView;

namespace vistamo::playlist {

class PlaylistModel;

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
    // "….plist.bak" first, and the user is told where.
    bool CreateList();
    bool SaveList();

    bool IsEmpty() const;
    void AddMedia(const QString& path, bool isImage, qint64 durationMs, bool current);
    void SetModel(const QString& path, int model);
    int FindRow(const QString& path) const;
    void RemoveRowByPath(const QString& path);
    void RefreshHighlight();

    QTableView* table() const { return table_; }
    PlaylistModel* model() const { return model_; }
    QPushButton* addButton() const;
    QPushButton* removeButton() const;
    QPushButton* exportButton() const;
    // The selected rows' files, in the list's order.
    QStringList selectedPaths() const;
    int rowCount() const;
    int currentRow() const;
    // The row's entry; row must be below rowCount().
    const PlaylistEntry& entryAt(int row) const;
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
    void ExportSelected(QStringList files);

public slots:
    void DeleteItem();

private slots:
    void OnRowDoubleClicked(const QModelIndex& index);
    void OnExportClicked();
    void OnContextMenu(const QPoint& where);

protected:
    void enterEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void addRow(const PlaylistEntry& entry, bool current);
    // Keeps the file in step with the rows; failures are reported at close.
    void saveQuietly();
    void fileError(const QString& text);

    Ui::PlayList* form_;
    QString listFile_;
    QTableView* table_;
    PlaylistModel* model_;
    QVector<QPair<QString, int>> pendingKinds_;
    QWidget* mainWindow_ = nullptr;
    std::function<void(const QString&)> showMessage_;
};

}  // namespace vistamo::playlist
