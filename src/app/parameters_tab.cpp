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

constexpr C bluetoothPeriodControls[] = {C::bluetoothPeriodCaption, C::bluetoothPeriodSlider,
                                         C::bluetoothPeriodMinimum, C::bluetoothPeriodMaximum,
                                         C::bluetoothPeriodMinutes, C::bluetoothPeriodUnit};
constexpr C archiveOptionControls[] = {C::everyMinute, C::everyMeasurement, C::everyHour,
                                       C::onChangeOver30Percent, C::onSharpChange};
constexpr C radioButtons[] = {C::everyMinute, C::everyMeasurement, C::everyHour};

constexpr int periodMinimum_s = 60;
constexpr int periodMaximum_s = 3600;

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

ParametersTab::ParametersTab() {
    m_enabled.fill(true);
    m_visible.fill(true);
    doseRateThresholdNo.items = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    doseThresholdNo.items = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                             QString()};
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
    case C::useBluetooth:
        for (const C control : bluetoothPeriodControls) {
            setEnabled(control, checked);
        }
        break;
    case C::archiveLogging:
        for (const C control : archiveOptionControls) {
            setEnabled(control, checked);
        }
        break;
    case C::everyMeasurement:
        if (checked) {
            setChecked(C::onChangeOver30Percent, false);
            setChecked(C::onSharpChange, false);
            setChecked(C::archiveLogging, true);
        }
        break;
    case C::onChangeOver30Percent:
    case C::onSharpChange:
        if (checked) {
            setChecked(C::everyMeasurement, false);
            setChecked(C::archiveLogging, true);
        }
        break;
    case C::everyMinute:
    case C::everyHour:
        if (checked) {
            setChecked(C::archiveLogging, true);
        }
        break;
    default:
        break;
    }
}

void ParametersTab::setBluetoothPeriodPosition(int position) {
    const int limited = std::clamp(position, periodMinimum_s, periodMaximum_s);
    if (limited == m_bluetoothPeriodPosition) {
        return;
    }
    m_bluetoothPeriodPosition = limited;
    m_bluetoothPeriodMinutesText = QString::number(limited / 60); // TrackBar2Change
}

params::ArchiveChecks ParametersTab::archiveChecks() const {
    return {checked(C::archiveLogging),        checked(C::everyMeasurement),
            checked(C::everyMinute),           checked(C::everyHour),
            checked(C::onChangeOver30Percent), checked(C::onSharpChange)};
}

void ParametersTab::showArchiveOptions(std::uint8_t options) {
    for (const C control : {C::everyMeasurement, C::everyMinute, C::everyHour,
                            C::onChangeOver30Percent, C::onSharpChange, C::archiveLogging}) {
        setChecked(control, false);
    }
    const auto check = [this](C control) {
        setChecked(control, true);
        setChecked(C::archiveLogging, true);
    };
    if ((options & 0x10) != 0) {
        check(C::everyMeasurement);
        return;
    }
    if ((options & 0x01) != 0) {
        check(C::onChangeOver30Percent);
    }
    if ((options & 0x02) != 0) {
        check(C::onSharpChange);
    }
    if ((options & 0x04) != 0) {
        check(C::everyMinute);
    } else if ((options & 0x08) != 0) {
        check(C::everyHour);
    }
}

void applyLanguageLists(ParametersTab& tab, text::Language language,
                        const params::ParameterBlock& copy) {
    tab.sound.items = soundItems(language);
    tab.sound.select(copy.sound);
    tab.instrumentLanguage.items = deviceLanguageItems(language);
    tab.instrumentLanguage.select(copy.deviceLanguage);
    tab.displayView.items = displayViewItems(language);
    tab.displayView.select(copy.displayView);
    tab.backlightColour.items = backlightColourItems(language);
    tab.backlightColour.select(copy.backlightColour);

    tab.mode.items = modeItems(copy.deviceType, language);
    tab.mode.index = -1;
    tab.backlightTime.items = backlightTimeItems(copy.deviceType, language);
    tab.backlightTimeList = params::backlightListFor(copy.deviceType, language);
    tab.backlightTime.select(
        params::backlightItemForValue(tab.backlightTimeList, copy.backlightTime).value_or(-1));
}

QString thresholdCellText(double value, QChar separator) {
    const double v = value;
    return v > 0.001 ? text::fixedText(v, 2, separator, 10) : QStringLiteral("-");
}

bool readParameters(AppContext& context, Events& host, bool portAlreadyOpen, QChar separator,
                    instrument::ReadFacts* failedRead) {
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

void applyReadout(AppContext& context, Events& host, const params::ParameterReadout& readout,
                  QChar separator) {
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
        show({C::modeSelector, C::modeCaption}, groups->mode);
        show({C::soundSelector, C::soundCaption}, groups->sound);
        show({C::viewSelector, C::viewCaption}, groups->view);
        show({C::languageSelector, C::languageCaption}, groups->language);
        show({C::backlightTimeSelector, C::backlightTimeCaption}, groups->backlightTime);
        show({C::backlightColourSelector, C::backlightColourCaption}, groups->backlight);
        show({C::useBluetooth, C::pollConstantly, C::bluetoothPeriodMinutes, C::bluetoothPeriodUnit,
              C::bluetoothPeriodCaption, C::bluetoothPeriodMinimum, C::bluetoothPeriodMaximum,
              C::bluetoothPeriodSlider},
             groups->bluetooth);
    }
    if (const auto item = params::modeItemFor(p.deviceType, p.modeSetting)) {
        tab.mode.select(*item);
    }

    state.aboutSuppressed = state.parameters.aboutSuppressed();
    state.bluetoothFitted = state.parameters.bluetoothFitted();
    for (const C control :
         {C::bluetoothPeriodCaption, C::bluetoothPeriodSlider, C::bluetoothPeriodMinimum,
          C::bluetoothPeriodMaximum, C::bluetoothPeriodMinutes, C::bluetoothPeriodUnit,
          C::useBluetooth, C::pollConstantly}) {
        tab.setEnabled(control, state.bluetoothFitted);
    }
    host.setSoftwareVersion(p.softwareVersion);

    for (std::size_t i = 0; i < 3; ++i) {
        tab.doseRateCells[i] = thresholdCellText(p.doseRateThresholds[i], separator);
        tab.doseCells[i] = thresholdCellText(p.doseThresholds[i], separator);
        tab.doseRateCellsAsRead[i] = tab.doseRateCells[i];
        tab.doseCellsAsRead[i] = tab.doseCells[i];
    }
    tab.sound.select(p.sound);
    tab.instrumentLanguage.select(p.deviceLanguage);
    tab.backlightColour.select(p.backlightColour);
    tab.displayView.select(p.displayView);

    tab.showArchiveOptions(p.archiveOptions);

    tab.doseRateThresholdNo.select(p.doseRateThresholdNo - 1);
    tab.doseThresholdNo.select(p.doseThresholdNo - 1);
    if (const auto item = params::backlightItemForValue(tab.backlightTimeList, p.backlightTime)) {
        tab.backlightTime.select(*item);
    }

    tab.setBluetoothPeriodPosition(p.bluetoothPeriod);
    tab.setBluetoothPeriodMinutesText(QString::number(p.bluetoothPeriod / 60));
    const bool bluetoothUsed = p.bluetoothPeriod != 0;
    for (const C control : bluetoothPeriodControls) {
        tab.setEnabled(control, bluetoothUsed);
    }
    tab.setChecked(C::useBluetooth, bluetoothUsed);
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
        params::backlightValueOfItem(tab.backlightTimeList, tab.backlightTime.index)
            .value_or(copy.backlightTime));
    p.sound = itemByte(tab.sound);
    p.deviceLanguage = itemByte(tab.instrumentLanguage);
    p.backlightColour = itemByte(tab.backlightColour);
    p.displayView = itemByte(tab.displayView);
    p.doseRateThresholdNo = static_cast<std::int8_t>(tab.doseRateThresholdNo.index + 1);
    p.doseThresholdNo = static_cast<std::int8_t>(tab.doseThresholdNo.index + 1);

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
    p.bluetoothPeriod =
        tab.checked(C::useBluetooth) ? (tab.bluetoothPeriodPosition() / 60) * 60 : 0;
    p.archiveOptions = params::archiveOptionsByte(tab.archiveChecks());
    return w;
}

Outcome writeParameters(AppContext& context, Events& host, QChar separator, CellError* badCell) {
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::connectionError);
        return Outcome::portNotOpen;
    }
    if (!context.state.parametersRead) {
        host.showStatus(StatusColour::red, status::noParameters);
        return Outcome::noParameters;
    }
    const auto built =
        blockFromTab(context.parametersTab, context.state.parameters.block, separator);
    if (const auto* error = std::get_if<CellError>(&built)) {
        host.showStatus(StatusColour::red, cellErrorMessage(*error));
        if (badCell != nullptr) {
            *badCell = *error;
        }
        return Outcome::badCell;
    }
    const auto& block = std::get<params::BlockToWrite>(built);
    context.state.parameters.block.bluetoothPeriod = block.fields.bluetoothPeriod;
    const auto sent = context.onDevice([&] {
        return instrument::writeParameterBlock(context.link, params::encodeParameterBlock(block));
    });
    if (!sent.complete()) {
        host.showStatus(StatusColour::red, status::connectionError);
        return Outcome::writtenShort;
    }
    host.showStatus(StatusColour::black, status::writeOk);
    return Outcome::ok;
}

Outcome resetDose(AppContext& context, Events& host, DoseResetButton button) {
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::portOpenError);
        return Outcome::portNotOpen;
    }
    if (!context.state.parametersRead) {
        host.showStatus(StatusColour::red, status::noParameters);
        return Outcome::noParameters;
    }
    if (!context.onDevice([&] { return instrument::writeDoseReset(context.link).complete(); })) {
        host.showStatus(StatusColour::red, status::connectionError);
        return Outcome::writtenShort;
    }
    context.state.parameters.readoutValue12 = 0;
    if (button == DoseResetButton::resultsTab) {
        context.polling.redrawRequested = true;
    }
    return Outcome::ok;
}

int portBoxNumber(const QString& boxText) {
    bool ok = false;
    const int number = boxText.trimmed().toInt(&ok, 10);
    return ok ? number : 0;
}

Outcome restoreFactorySettings(AppContext& context, int boxNumber) {
    const int number = context.state.portNumber != 0 ? context.state.portNumber : boxNumber;
    if (!context.onDevice([&] { return context.link.openSelectedPort(number); })) {
        return Outcome::portNotOpen;
    }
    if (!context.state.parametersRead) {
        return Outcome::noParameters;
    }
    const auto sent =
        context.onDevice([&] { return instrument::writeFactorySettings(context.link); });
    return sent.complete() ? Outcome::ok : Outcome::writtenShort;
}

} // namespace veltra::app
