#include "app/settings_file.h"

#include "station/file_writes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace veltra::app {

QString settingsFilePath() {
    return QDir::current().filePath(QStringLiteral("prog.ini"));
}

QString userFolder() {
#ifdef _WIN32
    const QString base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#else
    const QString base = QDir::homePath();
#endif
    return QDir(base).filePath(QStringLiteral("Veltra"));
}

LoadedIni loadIniFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        return {};
    }
    // A FIFO or a device named prog.ini is never opened for reading (that would wait for a
    // writer for good) and never replaced: it reads as unreadable.
    QFile file;
    if (const station::FileResult opened =
            station::openRegularFile(file, path, QIODevice::ReadOnly);
        !opened) {
        return {{}, IniState::unreadable, opened.reason};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {{}, IniState::unreadable, file.errorString()};
    }
    return {IniFile::parse(bytes), IniState::read, {}};
}

IniFile readIniFile(const QString& path) {
    return loadIniFile(path).ini;
}

namespace {

const QString commonSection = QStringLiteral("Common");

int integerOr(const IniFile& ini, const QString& key, int fallback) {
    const auto text = ini.value(commonSection, key);
    if (!text) {
        return fallback;
    }
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok ? value : fallback;
}

} // namespace

Settings loadSettings(const IniFile& ini) {
    const Settings defaults;
    return {text::languageFromCode(
                integerOr(ini, QStringLiteral("Language"), text::languageCode(defaults.language))),
            integerOr(ini, QStringLiteral("Transparent"), defaults.transparency),
            integerOr(ini, QStringLiteral("Mode"), defaults.viewMode)};
}

SaveOutcome saveSettings(const QString& path, const Settings& settings) {
    LoadedIni loaded = loadIniFile(path);
    if (loaded.state == IniState::unreadable) {
        return SaveOutcome::unreadable;
    }
    IniFile& ini = loaded.ini;
    ini.setValue(commonSection, QStringLiteral("Language"),
                 QString::number(text::languageCode(settings.language)));
    ini.setValue(commonSection, QStringLiteral("Transparent"),
                 QString::number(settings.transparency));
    ini.setValue(commonSection, QStringLiteral("Mode"), QString::number(settings.viewMode));
    // A failed write (a full disk) never leaves half a file: the old one stays as it was.
    return station::replaceFile(path, ini.serialize()) ? SaveOutcome::saved
                                                       : SaveOutcome::notWritten;
}

Settings startingSettings(const QString& path, const QLocale& userLocale) {
    const LoadedIni loaded = loadIniFile(path);
    Settings settings = loadSettings(loaded.ini);
    if (loaded.state != IniState::read) {
        settings.language = userLocale.language() == QLocale::Russian ? text::Language::russian
                                                                      : text::Language::english;
    }
    return settings;
}

LogSettings loadLogSettings(const IniFile& ini) {
    const QString section = QStringLiteral("Log");
    return {ini.value(section, QStringLiteral("Readings")).value_or(QString()).trimmed() ==
                QLatin1String("1"),
            ini.value(section, QStringLiteral("Folder")).value_or(QString()).trimmed()};
}

QString logFolder(const LogSettings& settings, const QString& settingsPath) {
    const QDir beside = QFileInfo(settingsPath).absoluteDir();
    return QDir::cleanPath(beside.absoluteFilePath(
        settings.folder.isEmpty() ? QStringLiteral("readings") : settings.folder));
}

SaveOutcome saveLogSettings(const QString& path, const LogSettings& settings) {
    LoadedIni loaded = loadIniFile(path);
    if (loaded.state == IniState::unreadable) {
        return SaveOutcome::unreadable;
    }
    loaded.ini.setValue(QStringLiteral("Log"), QStringLiteral("Readings"),
                        settings.enabled ? QStringLiteral("1") : QStringLiteral("0"));
    return station::replaceFile(path, loaded.ini.serialize()) ? SaveOutcome::saved
                                                              : SaveOutcome::notWritten;
}

text::Bilingual settingsNotSavedText(const QString& path) {
    return {QStringLiteral("Не удалось сохранить настройки в файле %1.").arg(path),
            QStringLiteral("The settings could not be saved to %1.").arg(path)};
}

std::map<int, QString> portPins(const IniFile& ini) {
    std::map<int, QString> pins;
    const QString section = QStringLiteral("Ports");
    for (const QString& key : ini.keys(section)) {
        if (!key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
            continue;
        }
        bool ok = false;
        const int number = key.mid(3).toInt(&ok, 10);
        const QString device = ini.value(section, key).value_or(QString());
        if (ok && number >= 1 && number <= 255 && !device.isEmpty()) {
            pins.emplace(number, device);
        }
    }
    return pins;
}

} // namespace veltra::app
