// The parameter block, the instrument-type rules and the parameters tab's state, without a port.
#include "app/parameters_tab.h"
#include "app/text_tables.h"
#include "link/codecs.h"
#include "params/instrument_types.h"
#include "params/parameter_block.h"

#include <gtest/gtest.h>

using namespace veltra;
using app::TabControl;
using Bytes4 = std::array<std::uint8_t, 4>;
constexpr auto ru = text::Language::russian;
constexpr auto en = text::Language::english;

namespace {

params::ParameterBlock sampleBlock() {
    params::ParameterBlock p;
    p.backlightTime = 60;
    p.sound = 1;
    p.deviceLanguage = 1;
    p.backlightColour = 2;
    p.softwareVersion = -56; // 0xC8
    p.modeSetting = 5;
    p.displayView = 0;
    p.doseRateThresholdNo = 2;
    p.doseRateThresholds = {0.3F, 0.0F, 12.0F};
    p.keptByte = 0x5A;
    p.doseThresholdNo = 4;
    p.bluetoothPeriod = 150;
    p.doseThresholds = {0.0F, 1000.0F, 10000.0F};
    p.keptFloats = {1.0F, -1.0F, 0.5F};
    p.keptFloat = -3.0;
    p.deviceFlags = 0x0C;
    p.deviceType = 7;
    p.archiveOptions = 0x11;
    return p;
}

Bytes4 at(const std::array<std::uint8_t, 55>& b, std::size_t offset) {
    return {b[offset], b[offset + 1], b[offset + 2], b[offset + 3]};
}

} // namespace

TEST(ParameterBlock, DecodesWhatEncodingWrote) {
    params::BlockToWrite w;
    w.fields = sampleBlock();
    w.fields.keptFloats[1] = 2.0; // non-negative kept values go out as they are
    w.fields.keptFloat = 0.25;
    for (std::size_t i = 0; i < 3; ++i) {
        w.doseRateThresholds[i] = w.fields.doseRateThresholds[i];
        w.doseThresholds[i] = w.fields.doseThresholds[i];
    }
    const auto bytes = params::encodeParameterBlock(w);
    EXPECT_EQ(bytes[4], 0xC8);
    EXPECT_EQ(bytes[22], 150);
    EXPECT_EQ(bytes[23], 0);
    auto expected = w.fields;
    expected.bytes = bytes; // a decoded block keeps the bytes it came from
    EXPECT_EQ(params::decodeParameterBlock(bytes), expected);

    std::array<std::uint8_t, 75> readout{};
    readout[0] = 0x34;
    readout[1] = 0x12;
    readout[12] = 0x10;
    std::copy(bytes.begin(), bytes.end(), readout.begin() + 20);
    const auto r = params::decodeReadout(readout);
    EXPECT_EQ(r.readoutWord0, 0x1234);
    EXPECT_EQ(r.readoutValue12, 0x10U);
    EXPECT_EQ(r.block, expected);
    EXPECT_TRUE(r.aboutSuppressed());
    EXPECT_TRUE(r.bluetoothFitted());
}

TEST(ParameterBlock, NegativeKeptFloatsStayErased) {
    params::BlockToWrite w;
    w.fields = sampleBlock();
    const auto bytes = params::encodeParameterBlock(w);
    EXPECT_EQ(at(bytes, 36), (Bytes4{0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(at(bytes, 40), (Bytes4{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(at(bytes, 48), (Bytes4{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(link::decodeFloat32(at(bytes, 48)), 0.0); // reads back as 0.0
}

TEST(InstrumentTypes, VisibleGroupsByType) {
    using G = params::VisibleGroups;
    EXPECT_EQ(params::visibleGroups(1), (G{false, false, false, false, true, false, false}));
    EXPECT_EQ(params::visibleGroups(2), (G{false, false, false, false, false, false, true}));
    EXPECT_EQ(params::visibleGroups(3), (G{false, true, true, true, true, true, false}));
    EXPECT_EQ(params::visibleGroups(6), (G{false, true, true, true, true, false, false}));
    EXPECT_EQ(params::visibleGroups(7), (G{false, true, false, true, true, false, true}));
    EXPECT_FALSE(params::visibleGroups(0));
    EXPECT_FALSE(params::visibleGroups(8));
}

TEST(InstrumentTypes, BacklightListsAndModeItems) {
    using L = params::BacklightList;
    EXPECT_EQ(params::backlightListFor(5, ru), L::none);
    EXPECT_EQ(params::backlightListFor(5, en), L::longList);
    EXPECT_EQ(params::backlightListFor(7, ru), L::longList);
    EXPECT_EQ(params::backlightListFor(2, en), L::none);
    EXPECT_EQ(params::backlightItemForValue(L::shortList, 10), 0);
    EXPECT_EQ(params::backlightItemForValue(L::longList, 10), 1);
    EXPECT_EQ(params::backlightItemForValue(L::longList, 0), 0);
    EXPECT_FALSE(params::backlightItemForValue(L::shortList, 0));
    EXPECT_FALSE(params::backlightItemForValue(L::longList, 120));
    EXPECT_EQ(params::backlightValueOfItem(L::longList, 3), 180);
    EXPECT_FALSE(params::backlightValueOfItem(L::shortList, -1));

    const std::tuple<int, int, std::optional<int>> modes[] = {{6, 0, 0},
                                                              {6, 4, 4},
                                                              {6, 5, 5},
                                                              {6, 6, 5},
                                                              {6, 7, 6},
                                                              {6, -1, 5},
                                                              {6, 9, 5},
                                                              {7, 6, 6},
                                                              {7, 7, 6},
                                                              {7, -3, 6},
                                                              {3, 2, std::nullopt},
                                                              {1, 0, std::nullopt}};
    for (const auto& [type, code, item] : modes) {
        EXPECT_EQ(params::modeItemFor(type, code), item) << type << " " << code;
    }
}

TEST(InstrumentTypes, ArchiveOptionsByte) {
    using C = params::ArchiveChecks;
    EXPECT_EQ(params::archiveOptionsByte(C{false, true, true, false, true, true}), 0x00);
    EXPECT_EQ(params::archiveOptionsByte(C{true, true, false, false, true, false}), 0x10);
    EXPECT_EQ(params::archiveOptionsByte(C{true, false, false, true, true, false}), 0x09);
    EXPECT_EQ(params::archiveOptionsByte(C{true, false, true, true, false, true}), 0x06);
    EXPECT_EQ(params::archiveOptionsByte(C{true, false, false, false, false, false}), 0x00);
}

TEST(ParametersTab, ClickRulesCascade) {
    app::ParametersTab tab;
    tab.setChecked(TabControl::onChangeOver30Percent,
                   true); // checks CheckBox8, which enables the five
    EXPECT_TRUE(tab.checked(TabControl::archiveLogging));
    tab.setChecked(TabControl::onSharpChange, true);
    tab.setChecked(TabControl::everyMeasurement, true); // every measurement excludes both changes
    EXPECT_FALSE(tab.checked(TabControl::onChangeOver30Percent));
    EXPECT_FALSE(tab.checked(TabControl::onSharpChange));
    tab.setChecked(TabControl::onChangeOver30Percent,
                   true); // and a change excludes every measurement
    EXPECT_FALSE(tab.checked(TabControl::everyMeasurement));
    tab.setChecked(TabControl::everyMinute, true);
    tab.setChecked(TabControl::everyHour, true); // the radio buttons exclude one another
    EXPECT_FALSE(tab.checked(TabControl::everyMinute));
    EXPECT_EQ(params::archiveOptionsByte(tab.archiveChecks()), 0x09);

    tab.setChecked(TabControl::archiveLogging, false);
    for (const auto c :
         {TabControl::everyMinute, TabControl::everyMeasurement, TabControl::everyHour,
          TabControl::onChangeOver30Percent, TabControl::onSharpChange}) {
        EXPECT_FALSE(tab.enabled(c));
    }
    EXPECT_EQ(params::archiveOptionsByte(tab.archiveChecks()), 0x00);

    tab.setChecked(TabControl::useBluetooth, false);
    tab.setChecked(TabControl::useBluetooth, true);
    EXPECT_TRUE(tab.enabled(TabControl::bluetoothPeriodSlider));
    tab.setChecked(TabControl::useBluetooth, false);
    EXPECT_FALSE(tab.enabled(TabControl::bluetoothPeriodMinutes));
}

TEST(ParametersTab, OptionsByteShownAsTheReaderShowsIt) {
    const struct {
        std::uint8_t options;
        std::uint8_t sentBack;
    } cases[] = {{0x11, 0x10}, {0x0C, 0x04}, {0x0B, 0x0B}, {0x03, 0x03}, {0x00, 0x00}};
    for (const auto& c : cases) {
        app::ParametersTab tab;
        tab.showArchiveOptions(c.options);
        EXPECT_EQ(params::archiveOptionsByte(tab.archiveChecks()), c.sentBack) << int(c.options);
    }
    app::ParametersTab first;
    first.showArchiveOptions(0x00); // CheckBox8 never changed: the options stay enabled
    EXPECT_TRUE(first.enabled(TabControl::everyMinute));
    first.showArchiveOptions(0x04);
    first.showArchiveOptions(0x00); // now it was unchecked: they are disabled
    EXPECT_FALSE(first.enabled(TabControl::everyMinute));
}

TEST(ParametersTab, ListsFollowTypeAndLanguage) {
    params::ParameterBlock copy = sampleBlock();
    app::ParametersTab tab;

    copy.deviceType = 5;
    app::applyLanguageLists(tab, ru, copy);
    EXPECT_TRUE(tab.backlightTime.items.isEmpty());
    EXPECT_EQ(tab.backlightTime.index, -1);
    app::applyLanguageLists(tab, en, copy);
    EXPECT_EQ(tab.backlightTime.items, QStringList({"Off", "10 s", "1 min", "3 min"}));
    EXPECT_EQ(tab.backlightTime.index, 2); // 60 s

    copy.deviceType = 3;
    copy.backlightTime = 0;
    copy.displayView = 0;
    app::applyLanguageLists(tab, ru, copy);
    EXPECT_EQ(tab.backlightTime.index, -1); // "off" is not in the short list
    EXPECT_EQ(tab.displayView.items.at(tab.displayView.index), "Кратко");
    app::applyLanguageLists(tab, en, copy);
    EXPECT_EQ(tab.displayView.items.at(tab.displayView.index), "Short");
    EXPECT_EQ(tab.mode.items.size(), 5);
    EXPECT_EQ(tab.mode.index, -1);

    copy.deviceType = 0;
    app::applyLanguageLists(tab, ru, copy);
    EXPECT_TRUE(tab.mode.items.isEmpty());
    EXPECT_TRUE(tab.backlightTime.items.isEmpty());
}

TEST(ParametersTab, ThresholdCellTexts) {
    EXPECT_EQ(app::thresholdCellText(0.0F, '.'), "-");
    EXPECT_EQ(app::thresholdCellText(0.3F, '.'), "0.30");
    EXPECT_EQ(app::thresholdCellText(0.3F, ','), "0,30");
    EXPECT_EQ(app::thresholdCellText(0.001F, '.'), "0.00"); // a float 0.001 is just above it
    EXPECT_EQ(app::thresholdCellText(-2.0F, '.'), "-");
    EXPECT_EQ(app::thresholdCellText(12345.678F, '.'), "12345.68");
}

namespace {

app::ParametersTab tabShowing(const params::ParameterBlock& copy, QChar separator = '.') {
    app::ParametersTab tab;
    app::applyLanguageLists(tab, ru, copy);
    for (std::size_t i = 0; i < 3; ++i) {
        tab.doseRateCells[i] = app::thresholdCellText(copy.doseRateThresholds[i], separator);
        tab.doseCells[i] = app::thresholdCellText(copy.doseThresholds[i], separator);
    }
    tab.doseRateThresholdNo.select(copy.doseRateThresholdNo - 1);
    tab.doseThresholdNo.select(copy.doseThresholdNo - 1);
    tab.showArchiveOptions(copy.archiveOptions);
    tab.setChecked(TabControl::useBluetooth, copy.bluetoothPeriod != 0);
    tab.setBluetoothPeriodPosition(copy.bluetoothPeriod);
    return tab;
}

std::array<std::uint8_t, 55> sentBlock(const app::ParametersTab& tab,
                                       const params::ParameterBlock& copy, QChar separator = '.') {
    const auto built = app::blockFromTab(tab, copy, separator);
    EXPECT_TRUE(std::holds_alternative<params::BlockToWrite>(built));
    return params::encodeParameterBlock(std::get<params::BlockToWrite>(built));
}

} // namespace

TEST(WriteParameters, SavingRightAfterAReadSendsTheBlockWithTheThresholdRule) {
    const params::ParameterBlock copy = sampleBlock();
    const auto bytes = sentBlock(tabShowing(copy), copy);
    EXPECT_EQ(at(bytes, 8), (Bytes4{0xAC, 0x1C, 0x9A, 0x3E}));  // 0.30 + 0.001
    EXPECT_EQ(at(bytes, 12), (Bytes4{0x00, 0x00, 0x00, 0x00})); // dose-rate "-"
    EXPECT_EQ(at(bytes, 24), (Bytes4{0x6E, 0x12, 0x83, 0x3A})); // dose "-" gains 0.001 too
    EXPECT_EQ(at(bytes, 40), (Bytes4{0xFF, 0xFF, 0xFF, 0xFF})); // negative kept float
    EXPECT_EQ(at(bytes, 48), (Bytes4{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bytes[22], 120); // 150 s rounded down to whole minutes
    EXPECT_EQ(bytes[23], 0);
    EXPECT_EQ(bytes[54], 0x10); // 0x11 shows as "every measurement" alone
    EXPECT_EQ(bytes[21], 4);    // the empty fourth item of the dose number
    EXPECT_EQ(bytes[0], 60);
    EXPECT_EQ(bytes[4], 0xC8);
    EXPECT_EQ(bytes[5], 5);
    EXPECT_EQ(bytes[20], 0x5A);
    EXPECT_EQ(bytes[52], 0x0C);
    EXPECT_EQ(bytes[53], 7);
}

TEST(WriteParameters, UnselectedItemsAndUncheckedBluetooth) {
    params::ParameterBlock copy = sampleBlock();
    copy.deviceType = 5; // Russian tables: no backlight-time list
    copy.backlightTime = 180;
    auto tab = tabShowing(copy);
    tab.sound.index = -1;
    tab.doseRateThresholdNo.index = -1;
    tab.setChecked(TabControl::useBluetooth, false);
    const auto bytes = sentBlock(tab, copy);
    EXPECT_EQ(bytes[0], 180); // the instrument's own setting is kept
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[7], 0x00);
    EXPECT_EQ(bytes[22], 0);
    EXPECT_EQ(bytes[23], 0);

    copy.deviceType = 7; // long list: "Выкл" is 0, "3 мин" 180
    tab = tabShowing(copy);
    tab.backlightTime.index = 0;
    EXPECT_EQ(sentBlock(tab, copy)[0], 0);
    tab.backlightTime.index = 3;
    EXPECT_EQ(sentBlock(tab, copy)[0], 180);
}

TEST(WriteParameters, CellsThatHoldNoNumberStopTheWrite) {
    const params::ParameterBlock copy = sampleBlock();
    const struct {
        bool doseRate;
        int row;
        const char* text;
        QChar separator;
    } cases[] = {
        {true, 2, "abc", '.'},    {false, 3, "1e39", '.'}, {true, 1, "nan", '.'},
        {false, 1, "inf", '.'},   {true, 3, "0.5", ','},   {true, 1, "", '.'},
        {false, 2, "1,000", '.'},
    };
    for (const auto& c : cases) {
        auto tab = tabShowing(copy, c.separator);
        auto& cells = c.doseRate ? tab.doseRateCells : tab.doseCells;
        cells[static_cast<std::size_t>(c.row - 1)] = c.text;
        const auto built = app::blockFromTab(tab, copy, c.separator);
        const auto* error = std::get_if<app::CellError>(&built);
        ASSERT_NE(error, nullptr) << c.text;
        EXPECT_EQ(error->doseRateGrid, c.doseRate);
        EXPECT_EQ(error->row, c.row);
        EXPECT_EQ(error->text, c.text);
    }
    const auto message = app::cellErrorMessage({true, 2, "abc"});
    EXPECT_EQ(message.english, "Threshold MED # 2: \"abc\" is not a number");
    EXPECT_EQ(message.russian, "Порог МЭД # 2: «abc» — не число");

    auto tab = tabShowing(copy, ',');
    tab.doseRateCells[0] = " 0,5 ";
    EXPECT_EQ(at(sentBlock(tab, copy, ','), 8), link::encodeFloat32Bytes(0.501));
    tab.doseRateCells[0] = "-3";
    EXPECT_EQ(at(sentBlock(tab, copy, ','), 8), link::encodeFloat32Bytes(-3.0)); // as it is
}

TEST(TextTables, TheSystemsOwnQuirksAreKept) {
    const auto find = [](const char* control) {
        for (const auto& row : app::mainWindowTexts()) {
            if (std::string_view(row.control) == control) {
                return row;
            }
        }
        return app::TextRow{control, "", ""};
    };
    EXPECT_EQ(QString::fromUtf8(find("Label13").english).front(), QChar(0x0421));
    EXPECT_EQ(QString::fromUtf8(find("Label15").english).front(), QChar(0x0421));
    EXPECT_STREQ(find("Button7").russian, "Стереть архив");
    EXPECT_EQ(app::modelCaption(6, ru), "ТР-403");
    EXPECT_EQ(app::modelCaption(6, en), "TR-404");
    EXPECT_EQ(app::modelCaption(2, ru), "ТР-401");
    EXPECT_FALSE(app::modelCaption(0, ru));
    // Each stored view is named the same view in both languages.
    EXPECT_EQ(app::displayViewItems(ru), QStringList({"Кратко", "Подробно"}));
    EXPECT_EQ(app::displayViewItems(en), QStringList({"Short", "Detailed"}));
    bool twoSpaces = false;
    for (const auto& h : app::gridHeadings()) {
        twoSpaces |= std::string_view(h.english) == "Value,  uSv/h";
    }
    EXPECT_TRUE(twoSpaces);
    EXPECT_EQ(app::mainValueUnitLeft(ru), 192);
    EXPECT_EQ(app::mainValueUnitLeft(en), 153);
}

TEST(ParametersTab, TheDialogsBoxTextNamesAPortOnlyWhenItIsADecimalNumber) {
    // Without a selected port, the factory-settings command opens the port typed in the box.
    const std::pair<const char*, int> cases[] = {
        {" 2 ", 2}, {"17", 17}, {"", 0},    {"two", 0},
        {"2x", 0},  {"0x2", 0}, {"-1", -1}, {"300", 300},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(app::portBoxNumber(QString::fromLatin1(text)), number) << text;
    }
}
