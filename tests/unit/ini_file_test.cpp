#include "app/ini_file.h"
#include "app/settings_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veltra::app;

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
