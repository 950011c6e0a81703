#pragma once
// The parameters tab as state: the threshold cells, the selectors with their items, the
// Bluetooth and archive-logging controls with their checked, enabled and visible states, and the
// click rules that keep them consistent. The window shows this state and feeds the user's edits
// into it; the command-line tool edits the same state, so both send the same block.
//
// The tab's operations: readParameters (command 0x30), writeParameters (0x80), resetDose (0xAA)
// and restoreFactorySettings (0x50), each reporting through a host.

#include "app/events.h"
#include "app/status_messages.h"
#include "instrument/outcome.h"
#include "params/instrument_types.h"
#include "params/parameter_block.h"

#include <QChar>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <variant>

namespace veltra::app {

using link::Outcome;

class AppContext;

// The parts of the tab whose checked, enabled or visible state the program changes: each
// setting's selector and its caption, the Bluetooth group and the archive-logging group. The
// window binds each to its control (forms/parameters_binding.h).
enum class TabControl : int {
    modeSelector,
    modeCaption,
    soundSelector,
    soundCaption,
    viewSelector,
    viewCaption,
    languageSelector,
    languageCaption,
    backlightTimeSelector,
    backlightTimeCaption,
    backlightColourSelector,
    backlightColourCaption,
    // Bluetooth: on, "poll constantly", and the switch-on period's caption, slider, its two
    // ends, the minutes it shows and their unit.
    useBluetooth,
    pollConstantly,
    bluetoothPeriodCaption,
    bluetoothPeriodSlider,
    bluetoothPeriodMinimum,
    bluetoothPeriodMaximum,
    bluetoothPeriodMinutes,
    bluetoothPeriodUnit,
    // Archive logging: on, then its options.
    archiveLogging,
    everyMinute,
    everyMeasurement,
    everyHour,
    onChangeOver30Percent,
    onSharpChange,
};
inline constexpr int tabControlCount = 26;

struct Selector {
    QStringList items;
    int index = -1; // -1: no item selected

    // Selects an item; an index outside the list selects nothing.
    void select(int item) { index = item >= 0 && item < items.size() ? item : -1; }
};

class ParametersTab {
public:
    ParametersTab();

    std::array<QString, 3> doseRateCells; // StringGrid1, column 1, rows 1..3
    std::array<QString, 3> doseCells;     // StringGrid4
    // The texts the last read put into the cells: a cell still showing its text was not edited.
    std::array<QString, 3> doseRateCellsAsRead;
    std::array<QString, 3> doseCellsAsRead;
    Selector mode;                // mode (hidden after every read)
    Selector sound;               // sound
    Selector instrumentLanguage;  // instrument language
    Selector backlightTime;       // backlight time
    Selector doseRateThresholdNo; // dose-rate threshold number: "1", "2", "3"
    Selector displayView;         // display view
    Selector doseThresholdNo;     // dose threshold number: "1", "2", "3", ""
    Selector backlightColour;     // backlight colour
    params::BacklightList backlightTimeList = params::BacklightList::none;

    [[nodiscard]] bool checked(TabControl c) const { return m_checked[index(c)]; }
    [[nodiscard]] bool enabled(TabControl c) const { return m_enabled[index(c)]; }
    [[nodiscard]] bool visible(TabControl c) const { return m_visible[index(c)]; }
    // Changes the checked state; a change runs the control's click rule (which may change other
    // controls, running theirs). Checking a radio button unchecks the other two.
    void setChecked(TabControl c, bool checked);
    void setEnabled(TabControl c, bool enabled) { m_enabled[index(c)] = enabled; }
    void setVisible(TabControl c, bool visible) { m_visible[index(c)] = visible; }

    // TrackBar2, 60..3600 s; its change handler writes minutes into Label11.
    [[nodiscard]] int bluetoothPeriodPosition() const { return m_bluetoothPeriodPosition; }
    void setBluetoothPeriodPosition(int position);
    [[nodiscard]] const QString& bluetoothPeriodMinutesText() const {
        return m_bluetoothPeriodMinutesText;
    }
    void setBluetoothPeriodMinutesText(const QString& text) { m_bluetoothPeriodMinutesText = text; }

    [[nodiscard]] params::ArchiveChecks archiveChecks() const;
    // Shows an options byte in the archive group as the reader does: all six unchecked in turn,
    // then checked by the byte's bits, the click rules running on every change.
    void showArchiveOptions(std::uint8_t options);

private:
    static std::size_t index(TabControl c) { return static_cast<std::size_t>(c); }
    void clickRule(TabControl c, bool checked);

    std::array<bool, tabControlCount> m_checked{};
    std::array<bool, tabControlCount> m_enabled{};
    std::array<bool, tabControlCount> m_visible{};
    int m_bluetoothPeriodPosition = 60;
    QString m_bluetoothPeriodMinutesText;
};

// Fills the lists of the tab in a language and selects their items from the decoded copy: sound,
// language, view and backlight colour; the mode list (no selection) and the backlight-time list
// of the instrument type (selected by value).
void applyLanguageLists(ParametersTab& tab, text::Language language,
                        const params::ParameterBlock& copy);

// A threshold as its cell shows it: two decimals above 0.001, otherwise "-".
[[nodiscard]] QString thresholdCellText(double value, QChar decimalSeparator);

// Reads the readout into the decoded copy and fills the tab. With portAlreadyOpen the port the
// caller just opened is used as it is. True when the readout arrived with a correct CRC; a
// caller that explains a failure gets what the read said in failedRead (portNotOpen when the
// port did not open).
bool readParameters(AppContext& context, Events& host, bool portAlreadyOpen, QChar decimalSeparator,
                    instrument::ReadFacts* failedRead = nullptr);
// The part of readParameters after a good readout: the decoded copy, the flags, and the tab's
// cells, selectors, groups and click rules as the readout says.
void applyReadout(AppContext& context, Events& host, const params::ParameterReadout& readout,
                  QChar decimalSeparator);

// A threshold cell's number: the user's decimal separator and nothing that is not part of a
// number (no group separators); nullopt for anything else, infinity and NaN included.
[[nodiscard]] std::optional<double> parseThresholdCell(const QString& text, QChar decimalSeparator);

// A threshold cell that does not hold a number the instrument can take.
struct CellError {
    bool doseRateGrid = true; // StringGrid1, else StringGrid4
    int row = 1;              // 1..3
    QString text;
};
[[nodiscard]] StatusMessage cellErrorMessage(const CellError& error);

// The block the tab stands for, built from the controls and the decoded copy in offset order.
[[nodiscard]] std::variant<params::BlockToWrite, CellError>
blockFromTab(const ParametersTab& tab, const params::ParameterBlock& copy, QChar decimalSeparator);

// Sends the tab's block with command 0x80 (nothing when a cell holds no number; that cell is
// then told through badCell when given). ok, portNotOpen, noParameters, badCell or writtenShort:
// not every byte went out within the write time-out (an adapter pulled out, say); reported as a
// connection error, not as written.
Outcome writeParameters(AppContext& context, Events& host, QChar decimalSeparator,
                        CellError* badCell = nullptr);

enum class DoseResetButton { resultsTab, parametersTab }; // Button8, Button3
// Sends the dose reset (0xAA, data 03): ok, portNotOpen, noParameters or writtenShort. From the
// results tab it also asks for a redraw. A write that does not get all its bytes out is reported
// as a connection error.
Outcome resetDose(AppContext& context, Events& host, DoseResetButton button);

// The port number the connection dialog's box text stands for: its decimal number, or 0 (no
// port) when the text is not one.
[[nodiscard]] int portBoxNumber(const QString& boxText);

// Sends the factory-settings command (0x50); no message either way. The port is opened with
// openSelectedPort: the selected port, or when none is selected the number typed in the
// connection dialog's box (portBoxNumber of its text). ok, portNotOpen or writtenShort.
Outcome restoreFactorySettings(AppContext& context, int portBoxNumber);

} // namespace veltra::app
