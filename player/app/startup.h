// What the player prepares before its window exists: the per-user folder
// with "Dump" and the settings file, the interface language, the first
// window size. Plain functions, tested without a window.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QTranslator;

namespace vistamo::app {

struct UserFiles {
    QString folder;        // <data>/VistamoPlayer, no trailing separator
    QString dumpFolder;    // folder + "/Dump"
    QString settingsPath;  // folder + "/VistamoPlayer.ini"
};

// The per-user folder: the generic data location + "/VistamoPlayer"
// (~/.local/share/VistamoPlayer here, the profile's AppData/Local on
// Windows), cleaned.
QString userFolderPath();

// Creates the folder (with its parents), "Dump" (failure ignored) and an
// empty settings file when missing. False when the folder or the settings
// file cannot be made: the player then shows its failure dialog and ends.
bool prepareUserFiles(const QString& folder, UserFiles& files);

// "/locale" from the settings file; when empty, systemLocale is written
// there and returned.
QString readLocale(const QString& settingsPath, const QString& systemLocale);

enum class Language { Chinese, English, Source };
// "zh_CN" sets the default locale and installs the translator (loaded from
// "orvex_zh.qm" in programFolder, or not: it is installed either way);
// "en_US" sets the default locale only; anything else changes nothing.
Language applyLanguage(const QString& locale, QTranslator& translator, const QString& programFolder);

// The "Open with" check: when no desktop entry runs the VistamoPlayer in
// programFolder, RegistVistamoOpen from that folder is started detached
// (not waited for). True when the tool was started.
bool registrationNeeded(const QString& programFolder);
bool runRegistrationCheck(const QString& programFolder);

// Three quarters of each side of the screen's available area.
QSize initialWindowSize(const QRect& available);

// The command line's answer on the terminal, before any window: for
// --help (-h) the usage, for --version the version, for any other "--"
// option one line and the usage (single-dash options are Qt's); out gets the text and the result is the exit
// status. −1: nothing to answer, the player starts (with the file named,
// if any; "--" ends the options, so that a file may be called "--help").
int answerCommandLine(const QStringList& arguments, QString& out, bool& toStderr);
// The file the command line names ("" for none), once it is not answered.
QString commandLineFile(const QStringList& arguments);

// The failure message of a folder or settings file that cannot be made.
extern const char* const kConfigurationFailure;

}  // namespace vistamo::app
