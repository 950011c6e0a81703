// prog.ini as a person or an editor may leave it (any bytes), parsed, its three keys saved,
// and parsed again: the file comes back byte for byte when nothing changes, the [Ports] pins
// survive a save, and the keys read back as written.
#include "app/ini_file.h"
#include "app/settings_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    app::IniFile ini = app::IniFile::parse(text);
    if (ini.serialize() != text) {
        __builtin_trap(); // an untouched file must write back exactly
    }
    const auto pins = app::portPins(ini);
    const app::Settings settings = app::loadSettings(ini);
    const app::Settings next{text::languageFromCode(text::languageCode(settings.language) ^ 3),
                             settings.transparency + 1, settings.viewMode ^ 1};
    ini.setValue(QStringLiteral("Common"), QStringLiteral("Language"),
                 QString::number(text::languageCode(next.language)));
    ini.setValue(QStringLiteral("Common"), QStringLiteral("Transparent"),
                 QString::number(next.transparency));
    ini.setValue(QStringLiteral("Common"), QStringLiteral("Mode"), QString::number(next.viewMode));
    const app::IniFile saved = app::IniFile::parse(ini.serialize());
    if (app::portPins(saved) != pins) {
        __builtin_trap();
    }
    if (app::loadSettings(saved) != next) {
        __builtin_trap();
    }
    return 0;
}
