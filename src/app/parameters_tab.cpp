#include "app/parameters_tab.h"

#include "app/app_context.h"
#include "app/text_tables.h"
#include "instrument/transactions.h"
#include "text/number_text.h"

#include <QLocale>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace veltra::app {

namespace {

using C = TabControl;

constexpr const char* controlNames[tabControlCount] = {
    "ComboBox1", "Label16",   "ComboBox2", "Label18",      "ComboBox6",    "Label28",
    "ComboBox3", "Label25",   "ComboBox4", "Label29",      "ComboBox8",    "Label26",
    "CheckBox2", "CheckBox3", "Label8",    "TrackBar2",    "Label9",       "Label10",
    "Label11",   "Label14",   "CheckBox8", "RadioButton1", "RadioButton2", "RadioButton3",
    "CheckBox6", "CheckBox7",
};

constexpr C bluetoothPeriodControls[] = {C::Label8,  C::TrackBar2, C::Label9,
                                         C::Label10, C::Label11,   C::Label14};
constexpr C archiveOptionControls[] = {C::RadioButton1, C::RadioButton2, C::RadioButton3,
                                       C::CheckBox6, C::CheckBox7};
constexpr C radioButtons[] = {C::RadioButton1, C::RadioButton2, C::RadioButton3};

constexpr int trackBar2Minimum = 60;
constexpr int trackBar2Maximum = 3600;

// Largest magnitude a wire float holds.
constexpr double wireFloatMaximum = FLT_MAX;

} // namespace

std::optional<double> parseThresholdCell(const QString& text, QChar separator) {
    QString t = text.trimmed();
    if (separator != u'.') {
        if (t.contains(u'.')) {
            return std::nullopt;
        }
        t.replace(separator, u'.');
    }
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(t, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

const char* tabControlName(TabControl control) {
    return controlNames[static_cast<std::size_t>(control)];
}

ParametersTab::ParametersTab() {
    m_enabled.fill(true);
    m_visible.fill(true);
    comboBox5.items = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    comboBox7.items = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QString()};
}

void ParametersTab::setChecked(TabControl c, bool checked) {
    if (m_checked[index(c)] == checked) {
        return; // no change, no rule
    }
    if (checked &&
        std::find(std::begin(radioButtons), std::end(radioButtons), c) != std::end(radioButtons)) {
        for (const C other : radioButtons) {
            if (other != c) {
                setChecked(other, false);
            }
        }
    }
    m_checked[index(c)] = checked;
    clickRule(c, checked);
}

void ParametersTab::clickRule(TabControl c, bool checked) {
    switch (c) {
    case C::CheckBox2:
        for (const C control : bluetoothPeriodControls) {
            setEnabled(control, checked);
        }
        break;
    case C::CheckBox8:
        for (const C control : archiveOptionControls) {
            setEnabled(control, checked);
        }
        break;
    case C::RadioButton2:
        if (checked) {
            setChecked(C::CheckBox6, false);
            setChecked(C::CheckBox7, false);
            setChecked(C::CheckBox8, true);
        }
        break;
    case C::CheckBox6:
    case C::CheckBox7:
        if (checked) {
            setChecked(C::RadioButton2, false);
            setChecked(C::CheckBox8, true);
        }
        break;
    case C::RadioButton1:
    case C::RadioButton3:
        if (checked) {
            setChecked(C::CheckBox8, true);
        }
        break;
    default:
        break;
    }
}

void ParametersTab::setTrackBar2(int position) {
    const int limited = std::clamp(position, trackBar2Minimum, trackBar2Maximum);
    if (limited == m_trackBar2) {
        return;
    }
    m_trackBar2 = limited;
    m_label11 = QString::number(limited / 60); // TrackBar2Change
}

params::ArchiveChecks ParametersTab::archiveChecks() const {
    return {checked(C::CheckBox8),    checked(C::RadioButton2), checked(C::RadioButton1),
            checked(C::RadioButton3), checked(C::CheckBox6),    checked(C::CheckBox7)};
}

void ParametersTab::showArchiveOptions(std::uint8_t options) {
    for (const C control : {C::RadioButton2, C::RadioButton1, C::RadioButton3, C::CheckBox6,
                            C::CheckBox7, C::CheckBox8}) {
        setChecked(control, false);
    }
    const auto check = [this](C control) {
        setChecked(control, true);
        setChecked(C::CheckBox8, true);
    };
    if ((options & 0x10) != 0) {
        check(C::RadioButton2);
        return;
    }
    if ((options & 0x01) != 0) {
        check(C::CheckBox6);
    }
    if ((options & 0x02) != 0) {
        check(C::CheckBox7);
    }
    if ((options & 0x04) != 0) {
        check(C::RadioButton1);
    } else if ((options & 0x08) != 0) {
        check(C::RadioButton3);
    }
}

void applyLanguageLists(ParametersTab& tab, text::Language language,
                        const params::ParameterBlock& copy) {
    tab.comboBox2.items = soundItems(language);
    tab.comboBox2.select(copy.sound);
    tab.comboBox3.items = deviceLanguageItems(language);
    tab.comboBox3.select(copy.deviceLanguage);
    tab.comboBox6.items = displayViewItems(language);
    tab.comboBox6.select(copy.displayView);
    tab.comboBox8.items = backlightColourItems(language);
    tab.comboBox8.select(copy.backlightColour);

    tab.comboBox1.items = modeItems(copy.deviceType, language);
    tab.comboBox1.index = -1;
    tab.comboBox4.items = backlightTimeItems(copy.deviceType, language);
    tab.comboBox4List = params::backlightListFor(copy.deviceType, language);
    tab.comboBox4.select(
        params::backlightItemForValue(tab.comboBox4List, copy.backlightTime).value_or(-1));
}

QString thresholdCellText(double value, QChar separator) {
    const double v = value;
    return v > 0.001 ? text::fixedText(v, 2, separator, 10) : QStringLiteral("-");
}

bool readParameters(AppContext& context, ParametersHost& host, bool portAlreadyOpen,
                    QChar separator, instrument::ReadFacts* failedRead) {
    auto& state = context.state;
    auto& tab = context.parametersTab;
    auto& link = context.link;

    state.parametersRead = false;
    tab.doseRateCells.fill(QString());

    if (!portAlreadyOpen && !context.onDevice([&] { return context.ensurePortOpen(); })) {
        if (failedRead != nullptr) {
            *failedRead = {instrument::Outcome::portNotOpen};
        }
        host.showStatus(StatusColour::red, status::portOpenError);
        host.showNoConnection();
        return false;
    }
    const auto readout = context.onDevice([&] { return instrument::readParameterReadout(link); });
    if (!readout.ok()) {
        if (failedRead != nullptr) {
            *failedRead = readout;
        }
        host.showStatus(StatusColour::red, status::connectionError);
        host.showNoConnection();
        return false;
    }
    context.polling.readFailureCount = 0;
    host.showStatus(StatusColour::black, status::readOk);
    state.parametersRead = true;
    applyReadout(context, host, *readout.value, separator);
    return true;
}

void applyReadout(AppContext& context, ParametersHost& host,
                  const params::ParameterReadout& readout, QChar separator) {
    auto& state = context.state;
    auto& tab = context.parametersTab;
    state.parameters = readout;
    const params::ParameterBlock& p = state.parameters.block;

    if (const auto groups = params::visibleGroups(p.deviceType)) {
        const auto show = [&](std::initializer_list<C> controls, bool visible) {
            for (const C control : controls) {
                tab.setVisible(control, visible);
            }
        };
        show({C::ComboBox1, C::Label16}, groups->mode);
        show({C::ComboBox2, C::Label18}, groups->sound);
        show({C::ComboBox6, C::Label28}, groups->view);
        show({C::ComboBox3, C::Label25}, groups->language);
        show({C::ComboBox4, C::Label29}, groups->backlightTime);
        show({C::ComboBox8, C::Label26}, groups->backlight);
        show({C::CheckBox2, C::CheckBox3, C::Label11, C::Label14, C::Label8, C::Label9, C::Label10,
              C::TrackBar2},
             groups->bluetooth);
    }
    if (const auto item = params::modeItemFor(p.deviceType, p.modeSetting)) {
        tab.comboBox1.select(*item);
    }

    state.aboutSuppressed = state.parameters.aboutSuppressed();
    state.bluetoothFitted = state.parameters.bluetoothFitted();
    for (const C control : {C::Label8, C::TrackBar2, C::Label9, C::Label10, C::Label11, C::Label14,
                            C::CheckBox2, C::CheckBox3}) {
        tab.setEnabled(control, state.bluetoothFitted);
    }
    host.setSoftwareVersion(p.softwareVersion);

    for (std::size_t i = 0; i < 3; ++i) {
        tab.doseRateCells[i] = thresholdCellText(p.doseRateThresholds[i], separator);
        tab.doseCells[i] = thresholdCellText(p.doseThresholds[i], separator);
        tab.doseRateCellsAsRead[i] = tab.doseRateCells[i];
        tab.doseCellsAsRead[i] = tab.doseCells[i];
    }
    tab.comboBox2.select(p.sound);
    tab.comboBox3.select(p.deviceLanguage);
    tab.comboBox8.select(p.backlightColour);
    tab.comboBox6.select(p.displayView);

    tab.showArchiveOptions(p.archiveOptions);

    tab.comboBox5.select(p.doseRateThresholdNo - 1);
    tab.comboBox7.select(p.doseThresholdNo - 1);
    if (const auto item = params::backlightItemForValue(tab.comboBox4List, p.backlightTime)) {
        tab.comboBox4.select(*item);
    }

    tab.setTrackBar2(p.bluetoothPeriod);
    tab.setLabel11(QString::number(p.bluetoothPeriod / 60));
    const bool bluetoothUsed = p.bluetoothPeriod != 0;
    for (const C control : bluetoothPeriodControls) {
        tab.setEnabled(control, bluetoothUsed);
    }
    tab.setChecked(C::CheckBox2, bluetoothUsed);
}

StatusMessage cellErrorMessage(const CellError& e) {
    const QString cell =
        QStringLiteral("%1 # %2")
            .arg(e.doseRateGrid ? QStringLiteral("Порог МЭД") : QStringLiteral("Порог ЭД"))
            .arg(e.row);
    const QString cellEnglish =
        QStringLiteral("%1 # %2")
            .arg(e.doseRateGrid ? QStringLiteral("Threshold MED") : QStringLiteral("Threshold ED"))
            .arg(e.row);
    return {QStringLiteral("%1: «%2» — не число").arg(cell, e.text),
            QStringLiteral("%1: \"%2\" is not a number").arg(cellEnglish, e.text)};
}

std::variant<params::BlockToWrite, CellError>
blockFromTab(const ParametersTab& tab, const params::ParameterBlock& copy, QChar separator) {
    params::BlockToWrite w;
    params::ParameterBlock& p = w.fields;
    p = copy;
    const auto itemByte = [](const Selector& s) { return static_cast<std::int8_t>(s.index); };

    // No backlight-time item selected (no list, or a value that matched none): keep the
    // instrument's setting.
    p.backlightTime = static_cast<std::uint8_t>(
        params::backlightValueOfItem(tab.comboBox4List, tab.comboBox4.index)
            .value_or(copy.backlightTime));
    p.sound = itemByte(tab.comboBox2);
    p.deviceLanguage = itemByte(tab.comboBox3);
    p.backlightColour = itemByte(tab.comboBox8);
    p.displayView = itemByte(tab.comboBox6);
    p.doseRateThresholdNo = static_cast<std::int8_t>(tab.comboBox5.index + 1);
    p.doseThresholdNo = static_cast<std::int8_t>(tab.comboBox7.index + 1);

    const auto threshold = [&](const QString& text, bool doseRate,
                               int row) -> std::variant<double, CellError> {
        double value = 0.0;
        if (text != QLatin1String("-")) {
            const auto number = parseThresholdCell(text, separator);
            if (!number) {
                return CellError{doseRate, row, text};
            }
            value = *number;
        }
        // Dose rate: above 0 gains 0.001; dose: 0 and above gains 0.001.
        if (doseRate ? value > 0.0 : value >= 0.0) {
            value += 0.001;
        }
        if (std::fabs(value) > wireFloatMaximum) {
            return CellError{doseRate, row, text};
        }
        return value;
    };
    // A cell the user left as the read showed it, holding a value the wire float cannot (an
    // exponent of 255 from the instrument), goes back as the instrument sent it: a save never
    // fails on a value the user did not edit.
    const auto keptAsSent = [](const QString& text, const QString& asRead, double value) {
        return text == asRead && !params::wireFloatHolds(value);
    };
    for (int i = 0; i < 3; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (keptAsSent(tab.doseRateCells[index], tab.doseRateCellsAsRead[index],
                       copy.doseRateThresholds[index])) {
            w.doseRateAsSent[index] = true;
            continue;
        }
        auto doseRate = threshold(tab.doseRateCells[index], true, i + 1);
        if (auto* error = std::get_if<CellError>(&doseRate)) {
            return *error;
        }
        w.doseRateThresholds[index] = std::get<double>(doseRate);
    }
    for (int i = 0; i < 3; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (keptAsSent(tab.doseCells[index], tab.doseCellsAsRead[index],
                       copy.doseThresholds[index])) {
            w.doseAsSent[index] = true;
            continue;
        }
        auto dose = threshold(tab.doseCells[index], false, i + 1);
        if (auto* error = std::get_if<CellError>(&dose)) {
            return *error;
        }
        w.doseThresholds[index] = std::get<double>(dose);
    }
    p.bluetoothPeriod = tab.checked(C::CheckBox2) ? (tab.trackBar2() / 60) * 60 : 0;
    p.archiveOptions = params::archiveOptionsByte(tab.archiveChecks());
    return w;
}

WriteOutcome writeParameters(AppContext& context, StatusHost& host, QChar separator,
                             CellError* badCell) {
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::connectionError);
        return WriteOutcome::portError;
    }
    if (!context.state.parametersRead) {
        host.showStatus(StatusColour::red, status::noParameters);
        return WriteOutcome::noParameters;
    }
    const auto built =
        blockFromTab(context.parametersTab, context.state.parameters.block, separator);
    if (const auto* error = std::get_if<CellError>(&built)) {
        host.showStatus(StatusColour::red, cellErrorMessage(*error));
        if (badCell != nullptr) {
            *badCell = *error;
        }
        return WriteOutcome::badCell;
    }
    const auto& block = std::get<params::BlockToWrite>(built);
    context.state.parameters.block.bluetoothPeriod = block.fields.bluetoothPeriod;
    const auto sent = context.onDevice([&] {
        return instrument::writeParameterBlock(context.link, params::encodeParameterBlock(block));
    });
    if (!sent.complete()) {
        host.showStatus(StatusColour::red, status::connectionError);
        return WriteOutcome::writtenShort;
    }
    host.showStatus(StatusColour::black, status::writeOk);
    return WriteOutcome::written;
}

CommandOutcome resetDose(AppContext& context, StatusHost& host, DoseResetButton button) {
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::portOpenError);
        return CommandOutcome::portError;
    }
    if (!context.state.parametersRead) {
        host.showStatus(StatusColour::red, status::noParameters);
        return CommandOutcome::noParameters;
    }
    if (!context.onDevice([&] { return instrument::writeDoseReset(context.link).complete(); })) {
        host.showStatus(StatusColour::red, status::connectionError);
        return CommandOutcome::writtenShort;
    }
    context.state.parameters.readoutValue12 = 0;
    if (button == DoseResetButton::resultsTab) {
        context.polling.redrawRequested = true;
    }
    return CommandOutcome::sent;
}

int portBoxNumber(const QString& boxText) {
    bool ok = false;
    const int number = boxText.trimmed().toInt(&ok, 10);
    return ok ? number : 0;
}

CommandOutcome restoreFactorySettings(AppContext& context, int boxNumber) {
    const int number = context.state.portNumber != 0 ? context.state.portNumber : boxNumber;
    if (!context.onDevice([&] { return context.link.openSelectedPort(number); })) {
        return CommandOutcome::portError;
    }
    if (!context.state.parametersRead) {
        return CommandOutcome::noParameters;
    }
    const auto sent =
        context.onDevice([&] { return instrument::writeFactorySettings(context.link); });
    return sent.complete() ? CommandOutcome::sent : CommandOutcome::writtenShort;
}

} // namespace veltra::app
