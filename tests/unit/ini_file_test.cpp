#include "app/app_context.h"
#include "app/archive_tab.h"
#include "app/ini_file.h"
#include "app/settings_file.h"
#include "archive/text_lines.h"
#include "full_disk.h"
#include "link/codecs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/mount.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace veltra::app;
using veltra::fakes::FullDisk;
namespace text = veltra::text;

TEST(IniFile, ReadsValuesCaseInsensitively) {
    const auto ini = IniFile::parse("; settings\r\n[common]\r\nlanguage = 2\r\n"
                                    "Transparent=120\r\nLanguage=1\r\n[Other]\r\nMode=5\r\n");
    EXPECT_EQ(ini.value("Common", "Language"), "2"); // first occurrence wins
    EXPECT_EQ(ini.value("COMMON", "transparent"), "120");
    EXPECT_EQ(ini.value("Other", "Mode"), "5");
    EXPECT_FALSE(ini.value("Common", "Mode"));
    EXPECT_FALSE(ini.value("Missing", "Mode"));
    EXPECT_EQ(ini.keys("Common"), QStringList({"language", "Transparent"}));
}

TEST(IniFile, GarbageReadsAsNothing) {
    const auto ini = IniFile::parse(QByteArray("\x00\xFF[\r\n=\r\n\xC0\xC1", 10));
    EXPECT_TRUE(ini.keys("Common").isEmpty());
    EXPECT_EQ(ini.serialize(), QByteArray("\x00\xFF[\r\n=\r\n\xC0\xC1", 10));
}

TEST(IniFile, SettingValuesKeepsEverythingElseByteForByte) {
    const QByteArray original = "; comment \xEA\xEE\xEC\r\n"
                                "[Ports]\r\nCOM3=/dev/rfcomm0\r\n\r\n"
                                "[Common]\r\nLanguage=1\r\nExtra = keep me\r\n\r\n"
                                "[Tail]\nx=1"; // LF-only line and no final line end
    auto ini = IniFile::parse(original);
    EXPECT_EQ(ini.serialize(), original);

    ini.setValue("Common", "Language", "2");
    ini.setValue("Common", "Mode", "1");
    EXPECT_EQ(ini.serialize(), QByteArray("; comment \xEA\xEE\xEC\r\n"
                                          "[Ports]\r\nCOM3=/dev/rfcomm0\r\n\r\n"
                                          "[Common]\r\nLanguage=2\r\nExtra = keep me\r\n"
                                          "Mode=1\r\n\r\n"
                                          "[Tail]\nx=1"));
}

TEST(IniFile, NewFileGetsASectionWithCrLf) {
    IniFile ini;
    ini.setValue("Common", "Language", "0");
    ini.setValue("Common", "Transparent", "40");
    EXPECT_EQ(ini.serialize(), QByteArray("[Common]\r\nLanguage=0\r\nTransparent=40\r\n"));
}

TEST(SettingsFile, PortPinsFromThePortsSection) {
    const auto ini = IniFile::parse("[Ports]\r\nCOM3=/dev/rfcomm0\r\ncom12 = /dev/ttyUSB1\r\n"
                                    "COM0=/dev/x\r\nCOM256=/dev/y\r\nCOMx=/dev/z\r\nCOM4=\r\n"
                                    "Other=/dev/w\r\n");
    const std::map<int, QString> expected = {{3, "/dev/rfcomm0"}, {12, "/dev/ttyUSB1"}};
    EXPECT_EQ(portPins(ini), expected);
}

TEST(SettingsFile, MissingFileIsEmpty) {
    QTemporaryDir dir;
    EXPECT_TRUE(readIniFile(dir.filePath("prog.ini")).serialize().isEmpty());
    QFile file(dir.filePath("prog.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Ports]\r\nCOM2=/dev/ttyS9\r\n");
    file.close();
    EXPECT_EQ(portPins(readIniFile(dir.filePath("prog.ini"))).at(2), "/dev/ttyS9");
}

TEST(SettingsFile, DefaultsForMissingOrNonNumericKeys) {
    const struct {
        const char* text;
        Settings expected;
    } cases[] = {
        {"", {text::Language::none, 40, 0}},
        {"[Common]\r\nLanguage=2\r\nTransparent=120\r\nMode=1\r\n",
         {text::Language::english, 120, 1}},
        {"[Common]\r\nLanguage=en\r\nTransparent=\r\nMode=1.5\r\n", {text::Language::none, 40, 0}},
        {"[Common]\r\nTransparent=300\r\nLanguage=-7\r\n",
         {text::languageFromCode(-7), 300, 0}}, // no range test
        {"[Other]\r\nLanguage=2\r\n", {text::Language::none, 40, 0}},
        {"\xFF\xFE garbage \x00\x01", {text::Language::none, 40, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(loadSettings(IniFile::parse(c.text)), c.expected) << c.text;
    }
}

TEST(SettingsFile, SaveKeepsAForeignSectionByteForByte) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prog.ini");
    const QByteArray foreign = "[Ports]\r\nCOM3=/dev/rfcomm0\r\n; pinned by hand\r\n\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(foreign + "[Common]\r\nLanguage=1\r\nMode=0\r\nOwn=x\r\n");
    }
    ASSERT_EQ(saveSettings(path, {text::Language::english, 120, 1}), SaveOutcome::saved);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.startsWith(foreign));
    EXPECT_EQ(saved, foreign + "[Common]\r\nLanguage=2\r\nMode=1\r\nOwn=x\r\nTransparent=120\r\n");
    EXPECT_EQ(loadSettings(IniFile::parse(saved)), (Settings{text::Language::english, 120, 1}));

    // A new file gets the section.
    const QString fresh = dir.filePath("new.ini");
    ASSERT_EQ(saveSettings(fresh, {text::Language::none, 40, 0}), SaveOutcome::saved);
    EXPECT_EQ(loadSettings(readIniFile(fresh)), (Settings{text::Language::none, 40, 0}));
    EXPECT_EQ(saveSettings(dir.filePath("missing/dir/prog.ini"), {}), SaveOutcome::notWritten);
}

TEST(SettingsFile, AFirstStartSpeaksTheLanguageOfTheUsersLocale) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prog.ini");
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    EXPECT_EQ(startingSettings(path, russian).language, text::Language::russian);
    EXPECT_EQ(startingSettings(path, QLocale::c()).language, text::Language::english);
    EXPECT_EQ(startingSettings(path, QLocale(QLocale::German)).language, text::Language::english);
    // A file that exists keeps every rule, Language=0 too.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Common]\r\nLanguage=0\r\n");
    file.close();
    EXPECT_EQ(startingSettings(path, russian), (Settings{text::Language::none, 40, 0}));
}

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(SettingsFile, AFullDiskLeavesTheOldFileExactlyAsItWas) {
    FullDisk disk;
    if (!disk.mounted()) {
        GTEST_SKIP() << "a full file system needs a tmpfs mount, which needs root";
    }
    const QString path = disk.filePath("prog.ini");
    const QByteArray before = "[Ports]\r\nCOM3=/dev/rfcomm0\r\n\r\n[Common]\r\nLanguage=1\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    disk.fill();
    EXPECT_EQ(saveSettings(path, {text::Language::english, 120, 1}), SaveOutcome::notWritten);
    EXPECT_EQ(contentsOf(path), before);
}

TEST(FileWrites, AFullDiskNeverLeavesACutLineInArchiveTxt) {
    FullDisk disk;
    if (!disk.mounted()) {
        GTEST_SKIP() << "a full file system needs a tmpfs mount, which needs root";
    }
    struct Host final : Events {
        void showStatus(StatusColour, const StatusMessage& m) override { last = m.english; }
        void showNoConnection() override {}
        void showReadProgress(int) override {}
        void showArchiveTab() override {}
        bool confirmErase() override { return false; }
        void resetMemoryFill() override {}
        QString last;
    } host;
    AppContext context(veltra::link::PortCatalog({}, {}));
    context.state.language = text::Language::english;
    for (std::size_t i = 0; i < 799; ++i) { // one sample a second
        veltra::archive::RecordBytes r{};
        veltra::link::encodeFloat32(r, 0, 0.125);
        r[4] = veltra::link::encodeBcd(static_cast<int>(i % 60));
        r[5] = veltra::link::encodeBcd(static_cast<int>(i / 60));
        r[7] = 0x01;
        r[8] = 0x01;
        r[9] = 0x26;
        context.archive.setRecord(i, r);
    }
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(disk.filePath(".")));
    const QByteArray before = "120 14:54:30 6.9 Dose rate, uSv/h\r\n";
    {
        QFile file(veltra::archive::archiveFileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    disk.fill(); // the file's last page keeps room for some of the lines, not for all
    runFirstDecodingPass(context, host, '.', true);
    const QByteArray after = contentsOf(veltra::archive::archiveFileName);
    QDir::setCurrent(old);

    EXPECT_TRUE(after.startsWith(before));
    EXPECT_TRUE(after.endsWith("\r\n")) << after.right(40).toStdString();
    const auto written = static_cast<int>(after.count("\r\n")) - 1;
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 799);
    EXPECT_EQ(host.last.toStdString(),
              QStringLiteral("%1 of 799 lines not written to archive.txt (No space left on device)")
                  .arg(799 - written)
                  .toStdString());
}

TEST(SettingsFile, AFileThatCannotBeReadIsNeverOverwritten) {
#ifdef _WIN32
    GTEST_SKIP() << "a file's mode cannot make it unreadable on Windows (a directory can: below)";
#else
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file whatever its mode";
    }
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath("prog.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Ports]\r\nCOM3=/dev/rfcomm0\r\n");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    EXPECT_EQ(loadIniFile(path).state, IniState::unreadable);
    EXPECT_EQ(saveSettings(path, {text::Language::english, 120, 1}), SaveOutcome::unreadable);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(contentsOf(path), "[Ports]\r\nCOM3=/dev/rfcomm0\r\n");
}

TEST(SettingsFile, AnUnreadableFileIsToldApartFromAMissingOne) {
    QTemporaryDir dir;
    EXPECT_EQ(loadIniFile(dir.filePath("none.ini")).state, IniState::missing);
    // A directory where the file should be cannot be read as one either.
    ASSERT_TRUE(QDir(dir.path()).mkdir("prog.ini"));
    EXPECT_EQ(loadIniFile(dir.filePath("prog.ini")).state, IniState::unreadable);
    EXPECT_EQ(saveSettings(dir.filePath("prog.ini"), {}), SaveOutcome::unreadable);
}

TEST(SettingsFile, AByteOrderMarkIsSkippedAndKept) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const auto ini = IniFile::parse(bom + "[Common]\r\nLanguage=2\r\nMode=1\r\n");
    EXPECT_EQ(loadSettings(ini), (Settings{text::Language::english, 40, 1}));
    QTemporaryDir dir;
    const QString path = dir.filePath("prog.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bom + "[Common]\r\nLanguage=2\r\n");
    }
    ASSERT_EQ(saveSettings(path, {text::Language::russian, 200, 0}), SaveOutcome::saved);
    EXPECT_EQ(contentsOf(path), bom + "[Common]\r\nLanguage=1\r\nTransparent=200\r\nMode=0\r\n");
}

TEST(SettingsFile, NewLinesTakeTheFilesOwnLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prog.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Ports]\nCOM3=/dev/rfcomm0"); // LF, and no end on the last line
    }
    ASSERT_EQ(saveSettings(path, {text::Language::russian, 40, 0}), SaveOutcome::saved);
    EXPECT_EQ(contentsOf(path),
              "[Ports]\nCOM3=/dev/rfcomm0\n[Common]\nLanguage=1\nTransparent=40\nMode=0\n");
    const QString fresh = dir.filePath("fresh.ini");
    ASSERT_EQ(saveSettings(fresh, {text::Language::russian, 40, 0}), SaveOutcome::saved);
    EXPECT_EQ(contentsOf(fresh), "[Common]\r\nLanguage=1\r\nTransparent=40\r\nMode=0\r\n");
}
