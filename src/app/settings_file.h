#pragma once
// The settings file prog.ini in the current directory. Besides the program's own keys it may
// hold a [Ports] section that pins port numbers to devices (COM3=/dev/rfcomm0); that section
// is the user's and is kept as it is.

#include "app/ini_file.h"
#include "text/language.h"

#include <QLocale>
#include <QString>

#include <map>

namespace veltra::app {

// "<current directory>/prog.ini", taken at the moment of the call.
[[nodiscard]] QString settingsFilePath();
// The folder of the user's own for the program's files when it is started from the desktop
// menu: ~/Veltra, or Documents\Veltra on Windows.
[[nodiscard]] QString userFolder();

// Whether a file could be read: missing (a first start), read, or there but not readable (no
// permission, a directory, a FIFO or a device of that name, which is never opened for reading).
// A file that could not be read is never overwritten.
enum class IniState { missing, read, unreadable };
struct LoadedIni {
    IniFile ini;
    IniState state = IniState::missing;
    QString reason; // why it could not be read ("it is a FIFO")
};
[[nodiscard]] LoadedIni loadIniFile(const QString& path);
// The file's contents; an empty document when it is missing or unreadable.
[[nodiscard]] IniFile readIniFile(const QString& path);

// The three keys of section Common.
struct Settings {
    text::Language language = text::Language::none; // Language
    int transparency = 40;                          // Transparent
    int viewMode = 0;                               // Mode
    friend bool operator==(const Settings&, const Settings&) = default;
};

// Reads [Common] Language, Transparent and Mode; a key that is missing or not a decimal integer
// keeps its default. No range test: the values are used as they are.
[[nodiscard]] Settings loadSettings(const IniFile& ini);
// The settings the program starts with: those of the file at path; when there is no file the
// program can read (a first start), the defaults with the language of the user's locale
// (Russian for a Russian locale, English otherwise), so the windows do not start without texts.
// A file that exists keeps every rule, Language=0 included.
[[nodiscard]] Settings startingSettings(const QString& path, const QLocale& userLocale);

// Writes the three keys into the file at path, keeping every other line of it as it was. The
// new content goes to a temporary file first and replaces the old file only once every byte of
// it is written and flushed: a full disk, a read-only directory or a failing device leave the
// old file exactly as it was. A file that exists but cannot be read is left alone (saving would
// lose what it holds).
enum class SaveOutcome { saved, unreadable, notWritten };
SaveOutcome saveSettings(const QString& path, const Settings& settings);
// What the user is told when the settings could not be saved.
[[nodiscard]] text::Bilingual settingsNotSavedText(const QString& path);

// The window's measurement log, in a section of its own ([Log]; [Common] and its rules are not
// touched): Readings=1 turns it on, Folder= names its folder (default: readings beside
// prog.ini).
struct LogSettings {
    bool enabled = false;
    QString folder; // as written; empty for the default
    friend bool operator==(const LogSettings&, const LogSettings&) = default;
};
[[nodiscard]] LogSettings loadLogSettings(const IniFile& ini);
// The folder the log writes to, for the settings file at settingsPath.
[[nodiscard]] QString logFolder(const LogSettings& settings, const QString& settingsPath);
// Writes [Log] Readings (and keeps Folder and everything else), as saveSettings does.
SaveOutcome saveLogSettings(const QString& path, const LogSettings& settings);

// [Ports] COMn=device entries with n in 1..255 and a non-empty device. Other keys are ignored.
[[nodiscard]] std::map<int, QString> portPins(const IniFile& ini);

} // namespace veltra::app
