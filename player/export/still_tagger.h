// Tags an exported panorama still so that photo viewers show it as a
// sphere: the GPano set, the maker and model, and the source camera's
// serial number, written in place by exiftool.
#pragma once

#include <QString>
#include <QStringList>

namespace vistamo::exporting {

// exiftool next to the player, else on PATH; empty when there is none.
QString findExiftool(const QString& programFolder);

// The arguments for one still of width × height: every value is its own
// argument, and "--" ends the options before the file, so no serial number
// can become an option or a second file.
QStringList tagArguments(const QString& stillPath, int width, int height, const QString& serial);

// Runs exiftool on stillPath (at most timeoutMs). False, with reason, when
// the tool is missing, fails or takes too long; the still is then left as
// the converter wrote it.
bool tagImage(const QString& exiftool, const QString& stillPath, const QString& sourcePath, QString& reason,
              int timeoutMs = 60000);

}  // namespace vistamo::exporting
