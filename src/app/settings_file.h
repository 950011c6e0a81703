#pragma once
// The settings file prog.ini in the current directory. Besides the program's own keys it may
// hold a [Ports] section that pins port numbers to devices (COM3=/dev/rfcomm0); that section
// is the user's and is kept as it is.

#include "app/ini_file.h"

#include <QString>

#include <map>

namespace veltra::app {

// "<current directory>/prog.ini", taken at the moment of the call.
[[nodiscard]] QString settingsFilePath();

// The file's contents; an empty document when it is missing or unreadable.
[[nodiscard]] IniFile readIniFile(const QString& path);

// [Ports] COMn=device entries with n in 1..255 and a non-empty device. Other keys are ignored.
[[nodiscard]] std::map<int, QString> portPins(const IniFile& ini);

} // namespace veltra::app
