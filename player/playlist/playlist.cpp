#include "playlist.h"

#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QTableView>
#include <QTime>
#include <QUrl>

#include <algorithm>

#include "feedback.h"
#include "file_guard.h"
#include "playlist_model.h"
#include "ui_playlist.h"

namespace vistamo::playlist {

PlayList::PlayList(QWidget* parent) : QFrame(parent), form_(new Ui::PlayList), model_(new PlaylistModel(this)) {
    form_->setupUi(this);
    table_ = form_->list_;
    table_->setModel(model_);
    table_->setSortingEnabled(false);
    table_->horizontalHeader()->setMinimumSectionSize(0);  // the style's minimum is wider than 20
    table_->setColumnWidth(0, 20);
    table_->setColumnWidth(1, 210);
    table_->setColumnWidth(2, 70);
    // Every row is 50 pixels: the view never measures a row's contents.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(50);
    QFont small = table_->font();
    small.setPointSize(10);
    model_->setExtraFont(small);
    setAcceptDrops(true);
    connect(form_->add_btn_, &QPushButton::clicked, this, &PlayList::AddBtnClicked);
    connect(form_->remove_btn_, &QPushButton::clicked, this, &PlayList::DeleteItem);
    connect(table_, &QTableView::doubleClicked, this, &PlayList::OnRowDoubleClicked);
    connect(form_->export_btn_, &QPushButton::clicked, this, &PlayList::OnExportClicked);
    form_->export_btn_->setText(tr("Export selected…"));
    form_->export_btn_->setToolTip(tr("Stitch the selected files into panoramas, one after another"));
    form_->export_btn_->setEnabled(false);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { form_->export_btn_->setEnabled(table_->selectionModel()->hasSelection()); });
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, &PlayList::OnContextMenu);
    showMessage_ = [this](const QString& text) {
        ui::Feedback message(this);
        message.setFixedSize(400, 200);
        message.makeMessage();
        message.setMessage(text);
        message.setTitleLine(QStringLiteral("Vistamo Player"));
        if (mainWindow_)
            QMetaObject::invokeMethod(mainWindow_, "showMask", Q_ARG(QWidget*, &message));
        message.exec();
    };
}

PlayList::~PlayList() { delete form_; }

QPushButton* PlayList::addButton() const { return form_->add_btn_; }
QPushButton* PlayList::removeButton() const { return form_->remove_btn_; }
QPushButton* PlayList::exportButton() const { return form_->export_btn_; }

QStringList PlayList::selectedPaths() const {
    QModelIndexList selected = table_->selectionModel()->selectedRows(1);
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& index : selected)
        paths << model_->entry(index.row()).path;
    return paths;
}

void PlayList::OnExportClicked() {
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        emit ExportSelected(paths);
}

void PlayList::OnContextMenu(const QPoint& where) {
    // A right click on a row outside the selection selects that row, as
    // file managers do.
    const QModelIndex at = table_->indexAt(where);
    if (at.isValid() && !table_->selectionModel()->isRowSelected(at.row(), QModelIndex()))
        table_->selectRow(at.row());
    if (!table_->selectionModel()->hasSelection())
        return;
    QMenu menu(this);
    menu.setStyleSheet(QStringLiteral("QMenu{background-color:#212121; color:#ffffff;} "
                                      "QMenu::item:selected{background-color:#ffe200; color:#181818;}"));
    connect(menu.addAction(tr("Export selected…")), &QAction::triggered, this, &PlayList::OnExportClicked);
    connect(menu.addAction(tr("Remove from the list")), &QAction::triggered, this, &PlayList::DeleteItem);
    menu.exec(table_->viewport()->mapToGlobal(where));
}
int PlayList::rowCount() const { return model_->rowCount(); }
int PlayList::currentRow() const { return model_->current(); }
const PlaylistEntry& PlayList::entryAt(int row) const { return model_->entry(row); }

void PlayList::SetListFile(const QString& path) {
    if (isPlaylistPath(path))
        listFile_ = path;
}

void PlayList::fileError(const QString& text) { showMessage_(text); }

bool PlayList::LoadList() {
    if (!isPlaylistPath(listFile_))
        return false;
    QVector<PlaylistEntry> entries;
    switch (readPlaylistFile(listFile_, entries)) {
    case ReadResult::Missing:
    case ReadResult::Malformed:
        return false;
    case ReadResult::CannotOpen:
        fileError(tr("Failed to create play list file. Please check that you have the required access rights."));
        return false;
    case ReadResult::Ok:
        break;
    }
    model_->setEntries(std::move(entries));
    return true;
}

bool PlayList::CreateList() {
    if (!isPlaylistPath(listFile_))
        return false;
    // A file that exists here could not be read: keep it for the user, and
    // say where, once.
    const bool damaged = QFileInfo::exists(listFile_) || QFileInfo(listFile_).isSymLink();
    bool kept = false;
    if (damaged) {
        kept = keepDamagedPlaylist(listFile_);
        if (!kept)
            qWarning() << "cannot keep the unreadable playlist" << listFile_;
    }
    if (!writePlaylistFile(listFile_, {})) {
        fileError(tr("Failed to create play list file. Please check that you have the required access rights."));
        return false;
    }
    if (kept)
        fileError(tr("The play list %1 could not be read. It was kept as %2, and a new, empty play list was started.")
                      .arg(QDir::toNativeSeparators(listFile_), QDir::toNativeSeparators(listFile_ + ".bak")));
    return true;
}

bool PlayList::SaveList() {
    if (!isPlaylistPath(listFile_))
        return false;
    if (!writePlaylistFile(listFile_, model_->entries())) {
        fileError(tr("Failed to open play list file. Please check that you have the required access rights."));
        return false;
    }
    return true;
}

void PlayList::saveQuietly() {
    if (!isPlaylistPath(listFile_))
        return;
    QString error;
    if (!writePlaylistFile(listFile_, model_->entries(), &error))
        qWarning() << "cannot save the playlist" << listFile_ << error;
}

bool PlayList::IsEmpty() const { return model_->rowCount() == 0; }

void PlayList::addRow(const PlaylistEntry& entry, bool current) {
    model_->append(entry);
    if (current) {
        model_->setCurrent(model_->rowCount() - 1);
        RefreshHighlight();
    }
}

QString PlayList::extipFor(const QString& path, bool isImage, qint64 durationMs) {
    if (isImage)
        return path.mid(path.lastIndexOf(QLatin1Char('.')) + 1);
    return QTime(0, 0, 0, 0).addMSecs(int(durationMs % (24LL * 3600 * 1000))).toString(QStringLiteral("hh:mm:ss"));
}

void PlayList::AddMedia(const QString& path, bool isImage, qint64 durationMs, bool current) {
    const int existing = FindRow(path);
    if (existing >= 0) {
        if (current) {
            model_->setCurrent(existing);
            RefreshHighlight();
        }
        return;
    }
    const int slash = path.lastIndexOf(QDir::separator());
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    PlaylistEntry entry;
    entry.isImage = isImage;
    entry.name = path.mid(slash + 1, dot > slash ? dot - slash - 1 : -1);
    entry.path = path;
    entry.extip = extipFor(path, isImage, durationMs);
    entry.model = -1;
    for (int k = 0; k < pendingKinds_.size(); ++k) {
        if (pendingKinds_[k].first == path) {
            entry.model = pendingKinds_[k].second;
            pendingKinds_.remove(k);
            break;
        }
    }
    addRow(entry, current);
    saveQuietly();
}

void PlayList::SetModel(const QString& path, int model) {
    const int row = FindRow(path);
    if (row >= 0) {
        model_->setKind(row, model);
        saveQuietly();
        return;
    }
    pendingKinds_.push_back({path, model});
}

int PlayList::FindRow(const QString& path) const { return model_->find(path); }

void PlayList::RemoveRowByPath(const QString& path) {
    const int row = FindRow(path);
    if (row < 0)
        return;
    model_->remove(row);
    saveQuietly();
}

void PlayList::RefreshHighlight() {
    table_->clearSelection();
    if (model_->current() >= 0)
        table_->scrollTo(model_->index(model_->current(), 0), QAbstractItemView::PositionAtCenter);
}

void PlayList::OnRowDoubleClicked(const QModelIndex& index) {
    if (!index.isValid() || index.row() >= model_->rowCount())
        return;
    const int row = index.row();
    const QString path = model_->entry(row).path;
    // The type is looked at without opening: a row may now name a FIFO.
    const std::string problem = files::inputProblem(QFile::encodeName(path).toStdString());
    if (problem.empty()) {
        model_->setCurrent(row);
        emit StartPlay(path, model_->entry(row).model);
        RefreshHighlight();
        return;
    }
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        showMessage_(tr("This file does not exist any more, it will be removed from the play list."));
    else
        showMessage_(tr("Cannot open %1: %2. It will be removed from the play list.")
                         .arg(QDir::toNativeSeparators(path), QString::fromStdString(problem)));
    RemoveRowByPath(path);
}

void PlayList::DeleteItem() {
    QModelIndexList selected = table_->selectionModel()->selectedRows(1);
    if (selected.isEmpty())
        return;
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
    bool stopped = false;
    for (const QModelIndex& index : selected) {
        if (index.row() == model_->current() && !stopped) {
            stopped = true;
            emit StopPlay();
        }
        model_->remove(index.row());
    }
    saveQuietly();
}

void PlayList::enterEvent(QEvent*) { setCursor(Qt::ArrowCursor); }

void PlayList::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void PlayList::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        files << QDir::toNativeSeparators(url.toLocalFile());
    if (!files.isEmpty())
        emit AddFiles(files);
}

}  // namespace vistamo::playlist
