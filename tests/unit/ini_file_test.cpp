#include "app/ini_file.h"
#include "app/settings_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veltra::app;
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
    ASSERT_TRUE(saveSettings(path, {text::Language::english, 120, 1}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.startsWith(foreign));
    EXPECT_EQ(saved, foreign + "[Common]\r\nLanguage=2\r\nMode=1\r\nOwn=x\r\nTransparent=120\r\n");
    EXPECT_EQ(loadSettings(IniFile::parse(saved)), (Settings{text::Language::english, 120, 1}));

    // A new file gets the section.
    const QString fresh = dir.filePath("new.ini");
    ASSERT_TRUE(saveSettings(fresh, {text::Language::none, 40, 0}));
    EXPECT_EQ(loadSettings(readIniFile(fresh)), (Settings{text::Language::none, 40, 0}));
    EXPECT_FALSE(saveSettings(dir.filePath("missing/dir/prog.ini"), {}));
}
