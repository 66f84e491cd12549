#include "playlist_model.h"

#include <QBrush>

namespace vistamo::playlist {

PlaylistModel::PlaylistModel(QObject* parent)
    : QAbstractTableModel(parent), playIcon_(QStringLiteral(":/images/play_highlight.png")) {}

int PlaylistModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_.size(); }
int PlaylistModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const PlaylistEntry& entry = rows_[index.row()];
    const bool current = index.row() == current_;
    switch (index.column()) {
    case 0:
        if (role == Qt::DecorationRole && current)
            return playIcon_;
        return {};
    case 1:
        if (role == Qt::DisplayRole)
            return entry.name;
        if (role == Qt::ToolTipRole)
            return entry.path;
        if (role == Qt::ForegroundRole)
            return QBrush(QColor(current ? kHighlight : kWhite));
        return {};
    case 2:
        if (role == Qt::DisplayRole)
            return entry.extip.toLower();
        if (role == Qt::ForegroundRole)
            return QBrush(QColor(current ? kHighlight : kGrey));
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::FontRole)
            return extraFont_;  // "00:00:00" at the table's 12 pt does not fit the column
        return {};
    default: return {};
    }
}

void PlaylistModel::setEntries(QVector<PlaylistEntry> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    current_ = -1;
    endResetModel();
}

void PlaylistModel::append(const PlaylistEntry& entry) {
    beginInsertRows({}, rows_.size(), rows_.size());
    rows_.push_back(entry);
    endInsertRows();
}

void PlaylistModel::remove(int row) {
    if (row < 0 || row >= rows_.size())
        return;
    beginRemoveRows({}, row, row);
    rows_.remove(row);
    if (current_ == row)
        current_ = -1;
    else if (current_ > row)
        --current_;
    endRemoveRows();
}

void PlaylistModel::setKind(int row, int model) {
    if (row >= 0 && row < rows_.size())
        rows_[row].model = model;
}

int PlaylistModel::find(const QString& path) const {
    for (int row = 0; row < rows_.size(); ++row)
        if (rows_[row].path == path)
            return row;
    return -1;
}

void PlaylistModel::setCurrent(int row) {
    const int before = current_;
    current_ = row >= 0 && row < rows_.size() ? row : -1;
    rowChanged(before);
    rowChanged(current_);
}

void PlaylistModel::rowChanged(int row) {
    if (row >= 0 && row < rows_.size())
        emit dataChanged(index(row, 0), index(row, 2));
}

}  // namespace vistamo::playlist
