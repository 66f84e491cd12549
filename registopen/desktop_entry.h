// The desktop entry that offers "Open with Vistamo Player" for the media the
// player opens: its text, where it lives, and whether an existing one runs
// this installation's player.
#pragma once

#include <QString>

namespace vistamo::registopen {

// $XDG_DATA_HOME/applications (default ~/.local/share/applications).
QString applicationsFolder();
QString entryPath();  // applicationsFolder() + "/vistamo-player.desktop"

// playerPath as one argument of an Exec line: quoted where the format
// asks for it (blanks and reserved characters), with '"', '`', '$' and '\'
// escaped inside the quotes and '%' doubled, then escaped again as the
// string value it is.
QString execArgument(const QString& playerPath);
// The whole entry for the player at playerPath.
QString entryText(const QString& playerPath);
// Whether the entry at path exists and runs playerPath.
bool entryRuns(const QString& path, const QString& playerPath);

}  // namespace vistamo::registopen
