#include "cli_params.h"

#include "app/parameters_tab.h"
#include "cli.h"

#include "live/number_text.h"

#include <QLocale>

#include <optional>

namespace veltra::cli {

namespace {

using live::userDecimalSeparator;

using app::TabControl;

// Keeps the last status message; the reset of the readings means nothing here.
class QuietHost final : public app::ParametersHost {
public:
    void showStatus(app::StatusColour, const app::StatusMessage& message) override {
        last = message.english;
    }
    void showNoConnection() override {}
    void setSoftwareVersion(int) override {}
    QString last;
};

QString portText(const app::AppContext& context) {
    return QStringLiteral("port %1 (%2)")
        .arg(context.state.portNumber)
        .arg(context.link.catalog().deviceName(context.state.portNumber));
}

QString number9(double v) {
    return QString::number(v, 'g', 9);
}

QString floats(const std::array<float, 3>& values, bool json) {
    QStringList parts;
    for (const float v : values) {
        parts << number9(v);
    }
    return json ? u'[' + parts.join(u',') + u']' : parts.join(u' ');
}

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
        if (!ok || seconds < 0 || seconds > 3600) {
            return QStringLiteral("bluetoothPeriod: \"%1\" is not 0..3600 seconds").arg(value);
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

void printParameters(const app::AppContext& context, bool json, QTextStream& out) {
    const params::ParameterReadout& r = context.state.parameters;
    const params::ParameterBlock& p = r.block;
    const std::pair<QString, QString> fields[] = {
        {"readoutWord0", QString::number(r.readoutWord0)},
        {"readoutValue4", QString::number(r.readoutValue4)},
        {"readoutValue8", QString::number(r.readoutValue8)},
        {"readoutValue12", QString::number(r.readoutValue12)},
        {"readoutFloat16", number9(r.readoutFloat16)},
        {"backlightTime", QString::number(p.backlightTime)},
        {"sound", QString::number(p.sound)},
        {"deviceLanguage", QString::number(p.deviceLanguage)},
        {"backlightColour", QString::number(p.backlightColour)},
        {"softwareVersion", QString::number(p.softwareVersion)},
        {"modeSetting", QString::number(p.modeSetting)},
        {"displayView", QString::number(p.displayView)},
        {"doseRateThresholdNo", QString::number(p.doseRateThresholdNo)},
        {"doseRateThresholds", floats(p.doseRateThresholds, json)},
        {"keptByte", QString::number(p.keptByte)},
        {"doseThresholdNo", QString::number(p.doseThresholdNo)},
        {"bluetoothPeriod", QString::number(p.bluetoothPeriod)},
        {"doseThresholds", floats(p.doseThresholds, json)},
        {"keptFloats", floats(p.keptFloats, json)},
        {"keptFloat", number9(p.keptFloat)},
        {"deviceFlags", QString::number(p.deviceFlags)},
        {"deviceType", QString::number(p.deviceType)},
        {"archiveOptions", QString::number(p.archiveOptions)},
        {"aboutSuppressed", context.state.aboutSuppressed ? "1" : "0"},
        {"bluetoothFitted", context.state.bluetoothFitted ? "1" : "0"},
    };
    if (json) {
        QStringList parts;
        for (const auto& [name, value] : fields) {
            parts << QStringLiteral("\"%1\":%2").arg(name, value);
        }
        out << u'{' << parts.join(u',') << "}\n";
    } else {
        for (const auto& [name, value] : fields) {
            out << name.leftJustified(21) << value << '\n';
        }
    }
}

} // namespace

bool readParametersFor(app::AppContext& context, QTextStream& err, QChar separator) {
    QuietHost host;
    if (app::readParameters(context, host, false, separator)) {
        return true;
    }
    err << "veltra-cli: the parameter read failed on " << portText(context) << ": " << host.last
        << '\n';
    return false;
}

int commandParams(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                  QTextStream& err) {
    if (!readParametersFor(context, err, userDecimalSeparator())) {
        return exitFailure;
    }
    printParameters(context, options.json, out);
    return exitOk;
}

int commandParamsSave(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                      QTextStream& err) {
    const QChar separator = userDecimalSeparator();
    // As the program starts: a read tells the type, the tables fill the lists, a second read
    // selects the items in them.
    if (!readParametersFor(context, err, separator)) {
        return exitFailure;
    }
    app::applyLanguageLists(context.parametersTab, options.language,
                            context.state.parameters.block);
    if (!readParametersFor(context, err, separator)) {
        return exitFailure;
    }
    for (const QString& edit : options.edits) {
        if (const auto error = applyEdit(context, edit)) {
            err << "veltra-cli: " << *error << "; nothing was sent\n";
            return exitUsage;
        }
    }
    QuietHost host;
    app::CellError cell;
    const auto outcome = app::writeParameters(context, host, separator, &cell);
    if (outcome == app::WriteOutcome::badCell) {
        err << "veltra-cli: " << (cell.doseRateGrid ? "doseRateThreshold" : "doseThreshold")
            << cell.row << ": \"" << cell.text
            << "\" is not a number the instrument can take; nothing was sent\n";
        return exitUsage;
    }
    if (outcome != app::WriteOutcome::written) {
        err << "veltra-cli: the parameter write failed on " << portText(context) << ": "
            << host.last << '\n';
        return exitFailure;
    }
    out << "parameters written\n";
    return exitOk;
}

int commandDoseReset(app::AppContext& context, QTextStream& out, QTextStream& err) {
    if (!readParametersFor(context, err, userDecimalSeparator())) {
        return exitFailure;
    }
    QuietHost host;
    if (!app::resetDose(context, host, app::DoseResetButton::parametersTab)) {
        err << "veltra-cli: the dose reset failed on " << portText(context) << ": " << host.last
            << '\n';
        return exitFailure;
    }
    out << "dose reset sent\n";
    return exitOk;
}

int commandFactoryReset(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                        QTextStream& err) {
    if (!options.confirmed) {
        err << "veltra-cli: factory-reset replaces all of the instrument's settings; add --yes\n";
        return exitUsage;
    }
    if (!readParametersFor(context, err, userDecimalSeparator())) {
        return exitFailure;
    }
    if (!app::restoreFactorySettings(context)) {
        err << "veltra-cli: cannot open " << portText(context) << '\n';
        return exitFailure;
    }
    out << "factory settings command sent\n";
    return exitOk;
}

QString paramsUsage() {
    return QStringLiteral(
        "  params           read the instrument's parameters and print every field\n"
        "  params save      read, apply the --set edits as the parameters tab would, and write\n"
        "                   the block the tab stands for (without --set: what \"Save\" sends\n"
        "                   right after a read)\n"
        "  dose-reset       reset the accumulated dose (after a parameter read)\n"
        "  factory-reset --yes  restore the instrument's factory settings\n"
        "  --set NAME=VALUE an edit for params save, in order:\n"
        "      doseRateThreshold1..3, doseThreshold1..3  the cell's text, as typed (\"-\" for "
        "none)\n"
        "      sound, deviceLanguage, displayView, backlightColour, backlightTime,\n"
        "      doseRateThresholdNo, doseThresholdNo       item index (-1: none); the threshold\n"
        "                                                 numbers' item 0 is threshold 1\n"
        "      bluetoothPeriod                            seconds, 0 (off) or 60..3600\n"
        "      archiveOptions                             a byte (0x11) or the checked controls,\n"
        "                                                 e.g. CheckBox8,RadioButton1,CheckBox6\n");
}

} // namespace veltra::cli
