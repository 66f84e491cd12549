#include "playlist.h"

#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QTableWidget>
#include <QTime>
#include <QUrl>

#include "feedback.h"
#include "media_file_item.h"
#include "ui_playlist.h"

namespace vistamo::playlist {

PlayList::PlayList(QWidget* parent) : QFrame(parent), form_(new Ui::PlayList) {
    form_->setupUi(this);
    table_ = form_->list_;
    table_->setSortingEnabled(false);
    table_->setColumnCount(3);
    table_->horizontalHeader()->setMinimumSectionSize(0);  // the style's minimum is wider than 20
    table_->setColumnWidth(0, 20);
    table_->setColumnWidth(1, 210);
    table_->setColumnWidth(2, 70);
    table_->verticalHeader()->setDefaultSectionSize(50);
    setAcceptDrops(true);
    connect(form_->add_btn_, &QPushButton::clicked, this, &PlayList::AddBtnClicked);
    connect(form_->remove_btn_, &QPushButton::clicked, this, &PlayList::DeleteItem);
    connect(table_, &QTableWidget::itemDoubleClicked, this, &PlayList::OnRowDoubleClicked);
    connect(table_, &QTableWidget::itemClicked, this, &PlayList::OnRowClicked);
    showMessage_ = [this](const QString& text) {
        ui::Feedback message(this);
        message.setFixedSize(400, 200);
        message.hideLeftButton();
        message.hideRightButton();
        message.makeNonModal();
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
    loading_ = true;
    table_->setRowCount(0);
    for (const PlaylistEntry& entry : entries)
        addRow(entry, false);
    loading_ = false;
    return true;
}

bool PlayList::CreateList() {
    if (!isPlaylistPath(listFile_))
        return false;
    // A file that exists here could not be read: keep it for the user.
    if (QFile::exists(listFile_) && !keepDamagedPlaylist(listFile_))
        qWarning() << "cannot keep the unreadable playlist" << listFile_;
    if (!writePlaylistFile(listFile_, {})) {
        fileError(tr("Failed to create play list file. Please check that you have the required access rights."));
        return false;
    }
    return true;
}

bool PlayList::SaveList() {
    if (!isPlaylistPath(listFile_))
        return false;
    if (!writePlaylistFile(listFile_, rows())) {
        fileError(tr("Failed to open play list file. Please check that you have the required access rights."));
        return false;
    }
    return true;
}

void PlayList::saveQuietly() {
    if (loading_ || !isPlaylistPath(listFile_))
        return;
    QString error;
    if (!writePlaylistFile(listFile_, rows(), &error))
        qWarning() << "cannot save the playlist" << listFile_ << error;
}

QVector<PlaylistEntry> PlayList::rows() const {
    QVector<PlaylistEntry> out;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (const MediaFileItem* item = itemAt(row))
            out.push_back({item->isImage() != 0, item->name(), item->path(), item->extip(), item->model()});
    }
    return out;
}

MediaFileItem* PlayList::itemAt(int row) const { return dynamic_cast<MediaFileItem*>(table_->item(row, 1)); }

bool PlayList::IsEmpty() const { return table_->rowCount() == 0; }

void PlayList::addRow(const PlaylistEntry& entry, bool current) {
    const int type = entry.isImage ? 1 : 0;
    auto* name = new MediaFileItem(type, entry.name, entry.path, entry.extip, entry.model);
    auto* extra = new QTableWidgetItem(entry.extip.toLower(), type);
    extra->setForeground(grey_);
    extra->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // "00:00:00" at the table's 12 pt does not fit the 70-pixel column.
    QFont small = table_->font();
    small.setPointSize(10);
    extra->setFont(small);
    auto* icon = new QTableWidgetItem(type);
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setRowHeight(row, 50);
    table_->setItem(row, 0, icon);
    table_->setItem(row, 1, name);
    table_->setItem(row, 2, extra);
    if (current) {
        currentRow_ = row;
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
            currentRow_ = existing;
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
        itemAt(row)->setModel(model);
        saveQuietly();
        return;
    }
    pendingKinds_.push_back({path, model});
}

int PlayList::FindRow(const QString& path) const {
    for (int row = 0; row < table_->rowCount(); ++row) {
        const MediaFileItem* item = itemAt(row);
        if (!item)
            return -1;
        if (item->path() == path)
            return row;
    }
    return -1;
}

void PlayList::RemoveRowByPath(const QString& path) {
    const int row = FindRow(path);
    if (row < 0)
        return;
    table_->removeRow(row);
    saveQuietly();
}

void PlayList::RefreshHighlight() {
    table_->clearSelection();
    if (QTableWidgetItem* item = table_->item(currentRow_, 0))
        table_->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    const QIcon play(QStringLiteral(":/images/play_highlight.png"));
    for (int row = 0; row < table_->rowCount(); ++row) {
        QTableWidgetItem *icon = table_->item(row, 0), *name = table_->item(row, 1), *extra = table_->item(row, 2);
        if (!icon || !name || !extra)
            continue;
        const bool current = row == currentRow_;
        name->setForeground(current ? highlight_ : white_);
        extra->setForeground(current ? highlight_ : grey_);
        icon->setIcon(current ? play : QIcon());
    }
}

void PlayList::OnRowDoubleClicked(QTableWidgetItem* item) {
    if (!item)
        return;
    currentRow_ = item->row();
    const MediaFileItem* media = itemAt(currentRow_);
    if (!media)
        return;
    const QString path = media->path();
    if (QFileInfo::exists(path)) {
        emit StartPlay(path, media->model());
        RefreshHighlight();
        return;
    }
    showMessage_(tr("This file does not exist any more, it will be removed from the play list."));
    RemoveRowByPath(path);
}

void PlayList::OnRowClicked(QTableWidgetItem*) {}

void PlayList::DeleteItem() {
    bool removed = false;
    for (int row = 0; row < table_->rowCount();) {
        QTableWidgetItem* item = table_->item(row, 1);
        if (!item || !item->isSelected()) {
            ++row;
            continue;
        }
        if (item->foreground() == QBrush(highlight_)) {
            currentRow_ = -1;
            emit StopPlay();
        }
        table_->removeRow(row);
        removed = true;
    }
    if (removed)
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
