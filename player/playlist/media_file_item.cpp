#include "media_file_item.h"

namespace vistamo::playlist {

MediaFileItem::MediaFileItem(int isImage, const QString& name, const QString& path, const QString& extip, int model)
    : QTableWidgetItem(name, isImage), name_(name), isImage_(isImage), path_(path), extip_(extip), model_(model) {
    setToolTip(name);
    setForeground(QColor(255, 255, 255));
}

}  // namespace vistamo::playlist
