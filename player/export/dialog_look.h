// The look the export dialogs share: dark fields and buttons, the header's
// yellow on hover and in the progress bar.
#pragma once

namespace vistamo::exporting {

inline constexpr const char* kExportDialogLook =
    "QDialog{background-color:#121212;} QLabel{color:#ffffff;} "
    "QLineEdit{color:#eeeeee; background-color:#212121; border:1px solid #888888;} "
    "QComboBox{color:#eeeeee; background-color:#212121; border:1px solid #888888;} "
    "QPushButton{color:#ffffff; background-color:#212121; border:1px solid #888888; min-height:30px;} "
    "QPushButton:hover{color:#181818; background-color:#ffe200;} "
    "QProgressBar{color:#808080; background-color:#212121; border:1px solid #888888; text-align:center;} "
    "QProgressBar::chunk{background-color:#ffe200;}";

}  // namespace vistamo::exporting
