// veltra-cli's parameter commands: params, params save, dose-reset, factory-reset. They run the
// parameters tab's own operations on the core's tab state, so they send what the window sends.
#include "command.h"

#include "app/text_tables.h"
#include "text/number_text.h"

#include <QJsonArray>
#include <QRegularExpression>

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
        return QStringLiteral("%1: \"%2\" is not an item of the list (0..%3, or -1 for none)")
            .arg(name, value)
            .arg(selector.items.size() - 1);
    }
    selector.index = item;
    return std::nullopt;
}

// A threshold number as the block holds it: 1..the list's size; 0 selects none.
std::optional<QString> selectNumber(app::Selector& selector, const QString& name,
                                    const QString& value) {
    bool ok = false;
    const int number = value.toInt(&ok, 10);
    if (!ok || number < 0 || number > selector.items.size()) {
        return QStringLiteral("%1: \"%2\" is not a threshold number (1..%3, or 0 for none)")
            .arg(name, value)
            .arg(selector.items.size());
    }
    selector.index = number - 1;
    return std::nullopt;
}

// The backlight time in seconds, among the values the instrument's list offers.
std::optional<QString> selectBacklightTime(app::ParametersTab& tab, const QString& value) {
    QStringList offered;
    for (const int v : params::backlightValues(tab.backlightTimeList)) {
        offered << QString::number(v);
    }
    bool ok = false;
    const int seconds = value.toInt(&ok, 10);
    const auto item =
        ok ? params::backlightItemForValue(tab.backlightTimeList, seconds) : std::nullopt;
    if (!item) {
        return offered.isEmpty()
                   ? QStringLiteral("backlightTime: this instrument has no backlight-time list in "
                                    "these tables (try --language en)")
                   : QStringLiteral("backlightTime: \"%1\" is not one of %2 (seconds)")
                         .arg(value, offered.join(QStringLiteral(", ")));
    }
    tab.backlightTime.index = *item;
    return std::nullopt;
}

// A threshold cell's text: the user's decimal separator, or a point as the tool prints numbers.
QString cellText(const QString& value) {
    const QChar separator = userDecimalSeparator();
    QString text = value.trimmed();
    if (separator != u'.' && !text.contains(separator)) {
        text.replace(u'.', separator);
    }
    return text;
}

// "0.300000012 1.20000005 12", "[0.3,1.2,12]": three thresholds as params prints them.
std::optional<QString> setThresholds(std::array<QString, 3>& cells, const QString& name,
                                     const QString& value) {
    static const QRegularExpression separators(QStringLiteral("[\\s,\\[\\]]+"));
    const QStringList parts = value.split(separators, Qt::SkipEmptyParts);
    if (parts.size() != 3) {
        return QStringLiteral("%1: \"%2\" is not three numbers (as params prints them)")
            .arg(name, value);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        cells[i] = cellText(parts[static_cast<qsizetype>(i)]);
    }
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
        {"CheckBox8", TabControl::archiveLogging},        {"RadioButton1", TabControl::everyMinute},
        {"RadioButton2", TabControl::everyMeasurement},   {"RadioButton3", TabControl::everyHour},
        {"CheckBox6", TabControl::onChangeOver30Percent}, {"CheckBox7", TabControl::onSharpChange},
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
            tab.doseRateCells[index] = cellText(value);
            return std::nullopt;
        }
        if (name == QStringLiteral("doseThreshold%1").arg(row)) {
            tab.doseCells[index] = cellText(value);
            return std::nullopt;
        }
    }
    if (name == QLatin1String("doseRateThresholds")) {
        return setThresholds(tab.doseRateCells, name, value);
    }
    if (name == QLatin1String("doseThresholds")) {
        return setThresholds(tab.doseCells, name, value);
    }
    if (name == QLatin1String("doseRateThresholdNo")) {
        return selectNumber(tab.doseRateThresholdNo, name, value);
    }
    if (name == QLatin1String("doseThresholdNo")) {
        return selectNumber(tab.doseThresholdNo, name, value);
    }
    if (name == QLatin1String("backlightTime")) {
        if (auto error = offered(TabControl::backlightTimeSelector)) {
            return error;
        }
        return selectBacklightTime(tab, value);
    }
    const struct {
        const char* name;
        app::Selector* selector;
        TabControl control;
    } selectors[] = {
        {"sound", &tab.sound, TabControl::soundSelector},
        {"deviceLanguage", &tab.instrumentLanguage, TabControl::languageSelector},
        {"displayView", &tab.displayView, TabControl::viewSelector},
        {"backlightColour", &tab.backlightColour, TabControl::backlightColourSelector},
    };
    for (const auto& selector : selectors) {
        if (name == QLatin1String(selector.name)) {
            if (auto error = offered(selector.control)) {
                return error;
            }
            return selectItem(*selector.selector, name, value);
        }
    }
    if (name == QLatin1String("bluetoothPeriod")) {
        if (auto error = offered(TabControl::useBluetooth)) {
            return error;
        }
        bool ok = false;
        const int seconds = value.toInt(&ok, 10);
        if (!ok || seconds < 0 || (seconds > 0 && seconds < 60) || seconds > 3600) {
            return QStringLiteral("bluetoothPeriod: \"%1\" is not 0 (off) or 60..3600 seconds")
                .arg(value);
        }
        tab.setChecked(TabControl::useBluetooth, seconds != 0);
        if (seconds != 0) {
            tab.setBluetoothPeriodPosition(seconds);
        }
        return std::nullopt;
    }
    if (name == QLatin1String("archiveOptions")) {
        return setArchiveOptions(tab, value);
    }
    return QStringLiteral("\"%1\" is no parameter that can be set (see 'veltra-cli params --help')")
        .arg(name);
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

// One field of the readout: as params prints it, what it means to a user, and whether
// 'params save --set' takes it back (under the same name, in the same numbers and units).
struct ParameterLine {
    Field field;
    QString meaning;
    bool settable = false;
};

QString itemText(const QStringList& items, int index) {
    return index >= 0 && index < items.size() ? items[index] : QStringLiteral("none");
}

QString archiveOptionsText(std::uint8_t options) {
    if (options == 0) {
        return QStringLiteral("no logging");
    }
    if ((options & 0x10U) != 0) {
        return QStringLiteral("every measurement");
    }
    QStringList parts;
    if ((options & 0x01U) != 0) {
        parts << QStringLiteral("on a change of more than 30 %");
    }
    if ((options & 0x02U) != 0) {
        parts << QStringLiteral("on a sharp change");
    }
    if ((options & 0x04U) != 0) {
        parts << QStringLiteral("every minute");
    } else if ((options & 0x08U) != 0) {
        parts << QStringLiteral("every hour");
    }
    return parts.join(QStringLiteral(", "));
}

// Every field of the readout: the settable ones first, in the tab's order, then the
// instrument's own, which are written back as they were read.
std::vector<ParameterLine> parameterLines(const app::AppContext& context) {
    const params::ParameterReadout& r = context.state.parameters;
    const params::ParameterBlock& p = r.block;
    const auto en = text::Language::english;
    const auto view = app::displayViewItems(en);
    const QString model = app::modelCaption(p.deviceType, en).value_or(QStringLiteral("unknown"));
    const QStringList modes = app::modeItems(p.deviceType, en);
    return {
        {integerField("doseRateThresholdNo", p.doseRateThresholdNo),
         QStringLiteral("dose-rate threshold in effect, 1..3"), true},
        {floatsField("doseRateThresholds", p.doseRateThresholds),
         QStringLiteral("dose-rate thresholds 1, 2, 3, uSv/h"), true},
        {integerField("doseThresholdNo", p.doseThresholdNo),
         QStringLiteral("dose threshold in effect, 1..3"), true},
        {floatsField("doseThresholds", p.doseThresholds),
         QStringLiteral("dose thresholds 1, 2, 3, uSv"), true},
        {integerField("sound", p.sound),
         QStringLiteral("sound: %1").arg(itemText(app::soundItems(en), p.sound)), true},
        {integerField("deviceLanguage", p.deviceLanguage),
         QStringLiteral("display language: %1")
             .arg(itemText(app::deviceLanguageItems(en), p.deviceLanguage)),
         true},
        {integerField("displayView", p.displayView),
         QStringLiteral("display view: %1").arg(itemText(view, p.displayView)), true},
        {integerField("backlightColour", p.backlightColour),
         QStringLiteral("backlight: %1")
             .arg(itemText(app::backlightColourItems(en), p.backlightColour)),
         true},
        {integerField("backlightTime", p.backlightTime), QStringLiteral("backlight time, s"), true},
        {integerField("bluetoothPeriod", p.bluetoothPeriod),
         QStringLiteral("Bluetooth switch-on period, s (0: Bluetooth off)"), true},
        {integerField("archiveOptions", p.archiveOptions),
         QStringLiteral("archive logging: %1").arg(archiveOptionsText(p.archiveOptions)), true},
        {integerField("deviceType", p.deviceType),
         QStringLiteral("instrument type: %1").arg(model)},
        {integerField("softwareVersion", p.softwareVersion),
         QStringLiteral("the instrument's software version")},
        {integerField("modeSetting", p.modeSetting),
         QStringLiteral("measuring mode: %1").arg(itemText(modes, p.modeSetting))},
        {integerField("deviceFlags", p.deviceFlags), QStringLiteral("instrument flags")},
        {integerField("aboutSuppressed", context.state.aboutSuppressed ? 1 : 0),
         QStringLiteral("flag 0x04 of deviceFlags")},
        {integerField("bluetoothFitted", context.state.bluetoothFitted ? 1 : 0),
         QStringLiteral("flag 0x08 of deviceFlags: Bluetooth fitted")},
        {integerField("keptByte", p.keptByte), QStringLiteral("kept as the instrument sent it")},
        {floatsField("keptFloats", p.keptFloats),
         QStringLiteral("kept as the instrument sent them")},
        {realField("keptFloat", p.keptFloat), QStringLiteral("kept as the instrument sent it")},
        {integerField("readoutWord0", r.readoutWord0), QStringLiteral("readout, kept")},
        {integerField("readoutValue4", r.readoutValue4), QStringLiteral("readout, kept")},
        {integerField("readoutValue8", r.readoutValue8), QStringLiteral("readout, kept")},
        {integerField("readoutValue12", r.readoutValue12), QStringLiteral("readout, kept")},
        {realField("readoutFloat16", r.readoutFloat16), QStringLiteral("readout, kept")},
    };
}

// The values each settable name takes on the instrument whose lists the tab holds.
std::vector<std::pair<QString, QString>> settableValues(const app::AppContext& context) {
    const app::ParametersTab& tab = context.parametersTab;
    const auto items = [&tab](const app::Selector& selector, TabControl control) {
        if (!tab.visible(control) || !tab.enabled(control)) {
            return QStringLiteral("not offered on this instrument");
        }
        QStringList parts;
        for (qsizetype i = 0; i < selector.items.size(); ++i) {
            parts << QStringLiteral("%1 %2").arg(i).arg(selector.items[i]);
        }
        return parts.join(QStringLiteral(", ")) + QStringLiteral("; -1 none");
    };
    QStringList backlight;
    for (const int v : params::backlightValues(tab.backlightTimeList)) {
        backlight << QString::number(v);
    }
    const bool bluetooth =
        tab.visible(TabControl::useBluetooth) && tab.enabled(TabControl::useBluetooth);
    return {
        {"doseRateThresholdNo", QStringLiteral("1, 2, 3; 0 none")},
        {"doseRateThresholds", QStringLiteral("three numbers in uSv/h, \"-\" for none (e.g. "
                                              "\"0.3 1.2 12\")")},
        {"doseRateThreshold1..3", QStringLiteral("one number in uSv/h, \"-\" for none")},
        {"doseThresholdNo", QStringLiteral("1, 2, 3, 4 (the empty item); 0 none")},
        {"doseThresholds", QStringLiteral("three numbers in uSv, \"-\" for none")},
        {"doseThreshold1..3", QStringLiteral("one number in uSv, \"-\" for none")},
        {"sound", items(tab.sound, TabControl::soundSelector)},
        {"deviceLanguage", items(tab.instrumentLanguage, TabControl::languageSelector)},
        {"displayView", items(tab.displayView, TabControl::viewSelector)},
        {"backlightColour", items(tab.backlightColour, TabControl::backlightColourSelector)},
        {"backlightTime", !tab.visible(TabControl::backlightTimeSelector)
                              ? QStringLiteral("not offered on this instrument")
                          : backlight.isEmpty()
                              ? QStringLiteral("no list in these tables (try --language en)")
                              : backlight.join(QStringLiteral(", ")) + QStringLiteral(" (s)")},
        {"bluetoothPeriod", bluetooth ? QStringLiteral("0 (off), or 60..3600 s in whole minutes")
                                      : QStringLiteral("not offered on this instrument")},
        {"archiveOptions",
         QStringLiteral("a byte (16 every measurement; or 1 a change over 30 %, 2 a sharp "
                        "change, plus 4 every minute or 8 every hour; 0 none), or the checked "
                        "controls: CheckBox8,RadioButton1..3,CheckBox6,CheckBox7")},
    };
}

} // namespace

int commandParams(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!readParametersFor(*context, io.err, userDecimalSeparator())) {
        return failedOrInterrupted(io.environment);
    }
    const auto lines = parameterLines(*context);
    if (call.json) {
        std::vector<Field> fields;
        for (const auto& line : lines) {
            fields.push_back(line.field);
        }
        printJson(io.out, jsonObject(fields));
        return exitOk;
    }
    // Name, value, and what it is: the names and values are what 'params save --set' takes.
    int width = 0;
    for (const auto& line : lines) {
        width = std::max(width, static_cast<int>(line.field.text.size()));
    }
    for (const auto& line : lines) {
        if (&line == &lines.front() || line.settable != (&line)[-1].settable) {
            io.out << (line.settable ? "# settable with 'params save --set NAME=VALUE'\n"
                                     : "# the instrument's own, written back as read\n");
        }
        io.out << line.field.name.leftJustified(21) << ' ' << line.field.text.leftJustified(width)
               << "  " << line.meaning << '\n';
    }
    return exitOk;
}

// As 'params save' prepares the tab before the edits: a read tells the type, the tables fill the
// lists, a second read selects the items in them.
bool prepareTab(Context& context, const Invocation& call, QTextStream& err) {
    const QChar separator = userDecimalSeparator();
    const text::Language tables = call.language == text::Language::english
                                      ? text::Language::english
                                      : text::Language::russian;
    if (!readParametersFor(context, err, separator)) {
        return false;
    }
    app::applyLanguageLists(context.parametersTab, tables, context.state.parameters.block);
    return readParametersFor(context, err, separator);
}

int commandParamsHelp(const Invocation& call, Streams io, const QString& help) {
    io.out << help;
    if (call.port.isEmpty()) {
        io.out << "\n  With --port, the values each name takes on that instrument are listed.\n";
        return exitOk;
    }
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!prepareTab(*context, call, io.err)) {
        return failedOrInterrupted(io.environment);
    }
    const int type = context->state.parameters.block.deviceType;
    io.out << "\n  On " << portName(*context) << ": "
           << app::modelCaption(type, text::Language::english).value_or(QStringLiteral("unknown"))
           << " (type " << type << "), with the "
           << (call.language == text::Language::english ? "English" : "Russian") << " tables:\n";
    for (const auto& [name, values] : settableValues(*context)) {
        io.out << "    " << name.leftJustified(22) << ' ' << values << '\n';
    }
    return exitOk;
}

int commandParamsSave(const Invocation& call, Streams io) {
    const auto owned = contextFor(call, io);
    if (!owned) {
        return exitUsage;
    }
    Context& context = *owned;
    const QChar separator = userDecimalSeparator();
    if (!prepareTab(context, call, io.err)) {
        return failedOrInterrupted(io.environment);
    }
    for (const QString& edit : call.edits) {
        if (const auto error = applyEdit(context, edit)) {
            io.err << "veltra-cli: --set " << *error << "; nothing was sent\n";
            return exitUsage;
        }
    }
    QuietHost host;
    app::CellError cell;
    switch (const app::Outcome written = app::writeParameters(context, host, separator, &cell)) {
    case app::Outcome::ok:
        io.out << "parameters written\n";
        return exitOk;
    case app::Outcome::badCell:
        io.err << "veltra-cli: --set "
               << (cell.doseRateGrid ? "doseRateThreshold" : "doseThreshold") << cell.row << ": \""
               << cell.text << "\" is not a number the instrument can take; nothing was sent\n";
        return exitUsage;
    case app::Outcome::writtenShort:
        io.err << "veltra-cli: " << portName(context)
               << ": the parameter block did not go out whole\n";
        return exitFailure;
    case app::Outcome::portNotOpen:
        io.err << "veltra-cli: " << cannotOpen(context) << '\n';
        return failedOrInterrupted(io.environment);
    case app::Outcome::noParameters:
        break;
    default: // none other comes from the write
        io.err << "veltra-cli: " << portName(context) << ": " << failureText(written, 0, 0) << '\n';
        return exitFailure;
    }
    io.err << "veltra-cli: " << portName(context) << ": no parameters were read\n";
    return exitFailure;
}

int commandDoseReset(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!readParametersFor(*context, io.err, userDecimalSeparator())) {
        return failedOrInterrupted(io.environment);
    }
    QuietHost host;
    switch (const app::Outcome sent =
                app::resetDose(*context, host, app::DoseResetButton::parametersTab)) {
    case app::Outcome::ok:
        break;
    case app::Outcome::portNotOpen:
        io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
        return failedOrInterrupted(io.environment);
    case app::Outcome::writtenShort:
    case app::Outcome::noParameters:
        io.err << "veltra-cli: " << portName(*context)
               << ": the dose reset command did not go out whole\n";
        return exitFailure;
    default: // none other comes from the reset
        io.err << "veltra-cli: " << portName(*context) << ": " << failureText(sent, 0, 0) << '\n';
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
        return failedOrInterrupted(io.environment);
    }
    switch (const app::Outcome sent = app::restoreFactorySettings(*context, 0)) {
    case app::Outcome::ok:
        io.out << "factory settings command sent\n";
        return exitOk;
    case app::Outcome::writtenShort:
    case app::Outcome::noParameters:
        io.err << "veltra-cli: " << portName(*context)
               << ": the factory settings command did not go out whole\n";
        return exitFailure;
    case app::Outcome::portNotOpen:
        break;
    default: // none other comes from the command
        io.err << "veltra-cli: " << portName(*context) << ": " << failureText(sent, 0, 0) << '\n';
        return exitFailure;
    }
    io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
    return failedOrInterrupted(io.environment);
}

} // namespace veltra::cli
