// MediaFileItem: the data of one playlist row, kept in its name column.
#pragma once

#include <QTableWidgetItem>

namespace vistamo::playlist {

class MediaFileItem : public QTableWidgetItem {
public:
    // isImage is also the item's type (0 video, 1 still).
    MediaFileItem(int isImage, const QString& name, const QString& path, const QString& extip, int model);

    const QString& name() const { return name_; }
    int isImage() const { return isImage_; }
    const QString& path() const { return path_; }
    const QString& extip() const { return extip_; }
    int model() const { return model_; }
    void setModel(int model) { model_ = model; }

private:
    QString name_;
    int isImage_;
    QString path_;
    QString extip_;
    int model_;
};

}  // namespace vistamo::playlist
