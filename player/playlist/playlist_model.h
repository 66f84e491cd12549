// PlaylistModel: the playlist's rows as a table model for a QTableView.
// Cells are made only when the view asks for them, so a list of 100 000
// rows costs its entries and nothing more. Columns: 0 the play icon of the
// current row, 1 the name, 2 the duration or suffix. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QVector>

#include "playlist_file.h"

namespace vistamo::playlist {

class PlaylistModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PlaylistModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const QVector<PlaylistEntry>& entries() const { return rows_; }
    const PlaylistEntry& entry(int row) const { return rows_[row]; }
    void setEntries(QVector<PlaylistEntry> rows);
    void append(const PlaylistEntry& entry);
    void remove(int row);
    void setKind(int row, int model);
    // The row of path, or -1.
    int find(const QString& path) const;

    // The highlighted (playing) row, -1 for none.
    int current() const { return current_; }
    void setCurrent(int row);
    // The extra column's smaller font (the table's own at 10 pt).
    void setExtraFont(const QFont& font) { extraFont_ = font; }

    static constexpr QRgb kGrey = qRgb(102, 102, 102);
    static constexpr QRgb kWhite = qRgb(255, 255, 255);
    static constexpr QRgb kHighlight = qRgb(255, 232, 7);

private:
    void rowChanged(int row);

    QVector<PlaylistEntry> rows_;
    int current_ = -1;
    QFont extraFont_;
    QIcon playIcon_;
};

}  // namespace vistamo::playlist
