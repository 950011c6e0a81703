// veltra-cli's parameter commands: params, params save, dose-reset, factory-reset. They run the
// parameters tab's own operations on the core's tab state, so they send what the window sends.
#include "command.h"

#include "text/number_text.h"

#include <QJsonArray>

#include <algorithm>

namespace veltra::cli {

namespace {

using app::TabControl;
using text::userDecimalSeparator;

// A selector's item index; -1 clears the selection.
std::optional<QString> selectItem(app::Selector& selector, const QString& name,
                                  const QString& value) {
    bool ok = false;
    const int item = value.toInt(&ok, 10);
    if (!ok || item < -1 || item >= selector.items.size()) {
        return QStringLiteral("%1: item \"%2\" is not in the list (0..%3, or -1 for none)")
            .arg(name, value)
            .arg(selector.items.size() - 1);
    }
    selector.index = item;
    return std::nullopt;
}

std::optional<QString> setArchiveOptions(app::ParametersTab& tab, const QString& value) {
    bool ok = false;
    const uint byte = value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? value.mid(2).toUInt(&ok, 16)
                          : value.toUInt(&ok, 10);
    if (ok && byte <= 0xFF) {
        tab.showArchiveOptions(static_cast<std::uint8_t>(byte));
        return std::nullopt;
    }
    // The group's checked controls by name, checked in the order given.
    static const std::pair<const char*, TabControl> names[] = {
        {"CheckBox8", TabControl::CheckBox8},       {"RadioButton1", TabControl::RadioButton1},
        {"RadioButton2", TabControl::RadioButton2}, {"RadioButton3", TabControl::RadioButton3},
        {"CheckBox6", TabControl::CheckBox6},       {"CheckBox7", TabControl::CheckBox7},
    };
    std::vector<TabControl> toCheck;
    for (const QString& part : value.split(u',', Qt::SkipEmptyParts)) {
        const auto it = std::find_if(std::begin(names), std::end(names), [&](const auto& n) {
            return part.trimmed() == QLatin1String(n.first);
        });
        if (it == std::end(names)) {
            return QStringLiteral("archiveOptions: \"%1\" is neither a byte nor a list of "
                                  "CheckBox8, RadioButton1..3, CheckBox6, CheckBox7")
                .arg(value);
        }
        toCheck.push_back(it->second);
    }
    tab.showArchiveOptions(0);
    for (const TabControl control : toCheck) {
        tab.setChecked(control, true);
    }
    return std::nullopt;
}

// Applies one NAME=VALUE edit as the user would make it on the tab; an error text otherwise.
std::optional<QString> applyEdit(app::AppContext& context, const QString& edit) {
    auto& tab = context.parametersTab;
    const qsizetype eq = edit.indexOf(u'=');
    if (eq <= 0) {
        return QStringLiteral("\"%1\" is not NAME=VALUE").arg(edit);
    }
    const QString name = edit.left(eq).trimmed();
    const QString value = edit.mid(eq + 1);
    const auto offered = [&](TabControl control) -> std::optional<QString> {
        if (!tab.visible(control) || !tab.enabled(control)) {
            return QStringLiteral("%1: not offered on this instrument").arg(name);
        }
        return std::nullopt;
    };

    for (int row = 1; row <= 3; ++row) {
        const auto index = static_cast<std::size_t>(row - 1);
        if (name == QStringLiteral("doseRateThreshold%1").arg(row)) {
            tab.doseRateCells[index] = value;
            return std::nullopt;
        }
        if (name == QStringLiteral("doseThreshold%1").arg(row)) {
            tab.doseCells[index] = value;
            return std::nullopt;
        }
    }
    const struct {
        const char* name;
        app::Selector* selector;
        std::optional<TabControl> control;
    } selectors[] = {
        {"sound", &tab.comboBox2, TabControl::ComboBox2},
        {"deviceLanguage", &tab.comboBox3, TabControl::ComboBox3},
        {"displayView", &tab.comboBox6, TabControl::ComboBox6},
        {"backlightColour", &tab.comboBox8, TabControl::ComboBox8},
        {"backlightTime", &tab.comboBox4, TabControl::ComboBox4},
        {"doseRateThresholdNo", &tab.comboBox5, std::nullopt},
        {"doseThresholdNo", &tab.comboBox7, std::nullopt},
    };
    for (const auto& s : selectors) {
        if (name == QLatin1String(s.name)) {
            if (s.control) {
                if (auto error = offered(*s.control)) {
                    return error;
                }
            }
            return selectItem(*s.selector, name, value);
        }
    }
    if (name == QLatin1String("bluetoothPeriod")) {
        if (auto error = offered(TabControl::CheckBox2)) {
            return error;
        }
        bool ok = false;
        const int seconds = value.toInt(&ok, 10);
        if (!ok || seconds < 0 || (seconds > 0 && seconds < 60) || seconds > 3600) {
            return QStringLiteral("bluetoothPeriod: \"%1\" is not 0 (off) or 60..3600 seconds")
                .arg(value);
        }
        tab.setChecked(TabControl::CheckBox2, seconds != 0);
        if (seconds != 0) {
            tab.setTrackBar2(seconds);
        }
        return std::nullopt;
    }
    if (name == QLatin1String("archiveOptions")) {
        return setArchiveOptions(tab, value);
    }
    return QStringLiteral("unknown parameter \"%1\"").arg(name);
}

Field floatsField(const char* name, const std::array<double, 3>& values) {
    QStringList parts;
    QJsonArray array;
    for (const double v : values) {
        parts << number9(v);
        array.append(json9(v));
    }
    return {QString::fromLatin1(name), parts.join(u' '), array};
}

// Every field of the readout, in the block's order.
std::vector<Field> parameterFields(const app::AppContext& context) {
    const params::ParameterReadout& r = context.state.parameters;
    const params::ParameterBlock& p = r.block;
    return {
        integerField("readoutWord0", r.readoutWord0),
        integerField("readoutValue4", r.readoutValue4),
        integerField("readoutValue8", r.readoutValue8),
        integerField("readoutValue12", r.readoutValue12),
        realField("readoutFloat16", r.readoutFloat16),
        integerField("backlightTime", p.backlightTime),
        integerField("sound", p.sound),
        integerField("deviceLanguage", p.deviceLanguage),
        integerField("backlightColour", p.backlightColour),
        integerField("softwareVersion", p.softwareVersion),
        integerField("modeSetting", p.modeSetting),
        integerField("displayView", p.displayView),
        integerField("doseRateThresholdNo", p.doseRateThresholdNo),
        floatsField("doseRateThresholds", p.doseRateThresholds),
        integerField("keptByte", p.keptByte),
        integerField("doseThresholdNo", p.doseThresholdNo),
        integerField("bluetoothPeriod", p.bluetoothPeriod),
        floatsField("doseThresholds", p.doseThresholds),
        floatsField("keptFloats", p.keptFloats),
        realField("keptFloat", p.keptFloat),
        integerField("deviceFlags", p.deviceFlags),
        integerField("deviceType", p.deviceType),
        integerField("archiveOptions", p.archiveOptions),
        integerField("aboutSuppressed", context.state.aboutSuppressed ? 1 : 0),
        integerField("bluetoothFitted", context.state.bluetoothFitted ? 1 : 0),
    };
}

} // namespace

int commandParams(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!readParametersFor(*context, io.err, userDecimalSeparator())) {
        return exitFailure;
    }
    const auto fields = parameterFields(*context);
    if (call.json) {
        printJson(io.out, jsonObject(fields));
    } else {
        printFields(io.out, fields, 21);
    }
    return exitOk;
}

int commandParamsSave(const Invocation& call, Streams io) {
    const auto owned = contextFor(call, io);
    if (!owned) {
        return exitUsage;
    }
    app::AppContext& context = *owned;
    const QChar separator = userDecimalSeparator();
    const text::Language tables = call.language == text::Language::english
                                      ? text::Language::english
                                      : text::Language::russian;
    // As the program starts: a read tells the type, the tables fill the lists, a second read
    // selects the items in them.
    if (!readParametersFor(context, io.err, separator)) {
        return exitFailure;
    }
    app::applyLanguageLists(context.parametersTab, tables, context.state.parameters.block);
    if (!readParametersFor(context, io.err, separator)) {
        return exitFailure;
    }
    for (const QString& edit : call.edits) {
        if (const auto error = applyEdit(context, edit)) {
            io.err << "veltra-cli: " << *error << "; nothing was sent\n";
            return exitUsage;
        }
    }
    QuietHost host;
    app::CellError cell;
    switch (app::writeParameters(context, host, separator, &cell)) {
    case app::WriteOutcome::written:
        io.out << "parameters written\n";
        return exitOk;
    case app::WriteOutcome::badCell:
        io.err << "veltra-cli: " << (cell.doseRateGrid ? "doseRateThreshold" : "doseThreshold")
               << cell.row << ": \"" << cell.text
               << "\" is not a number the instrument can take; nothing was sent\n";
        return exitUsage;
    case app::WriteOutcome::writtenShort:
        io.err << "veltra-cli: the parameter block did not go out on " << portName(context) << '\n';
        return exitFailure;
    case app::WriteOutcome::portError:
    case app::WriteOutcome::noParameters:
        break;
    }
    io.err << "veltra-cli: the parameter write failed on " << portName(context) << ": " << host.last
           << '\n';
    return exitFailure;
}

int commandDoseReset(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!readParametersFor(*context, io.err, userDecimalSeparator())) {
        return exitFailure;
    }
    QuietHost host;
    const auto outcome = app::resetDose(*context, host, app::DoseResetButton::parametersTab);
    if (outcome != app::CommandOutcome::sent) {
        io.err << "veltra-cli: the dose reset failed on " << portName(*context) << ": "
               << (outcome == app::CommandOutcome::writtenShort
                       ? QStringLiteral("the command did not go out")
                       : host.last)
               << '\n';
        return exitFailure;
    }
    io.out << "dose reset sent\n";
    return exitOk;
}

int commandFactoryReset(const Invocation& call, Streams io) {
    if (!call.yes) {
        io.err << "veltra-cli: factory-reset replaces all of the instrument's settings; add "
                  "--yes\n";
        return exitUsage;
    }
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!readParametersFor(*context, io.err, userDecimalSeparator())) {
        return exitFailure;
    }
    switch (app::restoreFactorySettings(*context, 0)) {
    case app::CommandOutcome::sent:
        io.out << "factory settings command sent\n";
        return exitOk;
    case app::CommandOutcome::writtenShort:
        io.err << "veltra-cli: the factory settings command did not go out on "
               << portName(*context) << '\n';
        return exitFailure;
    case app::CommandOutcome::portError:
    case app::CommandOutcome::noParameters:
        break;
    }
    io.err << "veltra-cli: cannot open " << portName(*context) << '\n';
    return exitFailure;
}

} // namespace veltra::cli
