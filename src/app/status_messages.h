#pragma once
// Status-line messages: each a Russian and an English text, shown in the current language
// (1 Russian, 2 English; any other language shows nothing).

#include "text/language.h"

#include <QString>

#include <optional>
#include <utility>

namespace veltra::app {

enum class StatusColour { black, red };

// A status-line message in both languages, and the tool's words for the same thing (what it
// puts on stderr after "veltra-cli: "; empty for a message the tool never says). Both come from
// the table below: neither is made from the other.
struct StatusMessage : text::Bilingual {
    QString tool;

    StatusMessage() = default;
    StatusMessage(QString ru, QString en, QString toolText = {})
        : Bilingual(std::move(ru), std::move(en)), tool(std::move(toolText)) {}
    // A window-only message (the tool does not say it).
    StatusMessage(text::Bilingual texts) // NOLINT(google-explicit-constructor)
        : Bilingual(std::move(texts)) {}

    // All three texts with the same arguments in their %1, %2, ...
    template <class... Args> [[nodiscard]] StatusMessage arg(const Args&... args) const {
        return {russian.arg(args...), english.arg(args...), tool.arg(args...)};
    }

    friend bool operator==(const StatusMessage&, const StatusMessage&) = default;
};

namespace status {
inline const StatusMessage noInstrument{QStringLiteral("Прибор не обнаружен"),
                                        QStringLiteral("Connection error"),
                                        QStringLiteral("no instrument found")};
inline const StatusMessage portOpenError{QStringLiteral("Невозможно открыть порт"),
                                         QStringLiteral("Error opening port"),
                                         QStringLiteral("cannot open the port")};
inline const StatusMessage connectionError{QStringLiteral("Ошибка связи"),
                                           QStringLiteral("Connection error"),
                                           QStringLiteral("connection error")};
inline const StatusMessage reading{QStringLiteral("Чтение"), QStringLiteral("Reading")};
inline const StatusMessage readOk{QStringLiteral("Прочитано"), QStringLiteral("Read OK")};
// The user stopped the archive read ("Отмена", Esc).
inline const StatusMessage readCancelled{QStringLiteral("Чтение прервано"),
                                         QStringLiteral("Read cancelled")};
inline const StatusMessage writeOk{QStringLiteral("Записано"), QStringLiteral("Write OK")};
inline const StatusMessage noParameters{QStringLiteral("Параметры не прочитаны!"),
                                        QStringLiteral("No parameters!")};
// The archive's operations say it their own way in English.
inline const StatusMessage archivePortOpenError{QStringLiteral("Невозможно открыть порт"),
                                                QStringLiteral("Port opening error"),
                                                QStringLiteral("cannot open the port")};
// A text file of the archive that could not be written: the file's name in %1, the system's
// reason in %2.
inline const StatusMessage fileNotWritten{QStringLiteral("Не удалось записать файл %1: %2"),
                                          QStringLiteral("Cannot write the file %1: %2"),
                                          QStringLiteral("cannot write the file %1: %2")};
// Lines of "archive.txt" that could not be appended (each is appended whole or not at all): the
// file's name in %1, the lines lost in %2 of %3, the system's reason in %4.
inline const StatusMessage linesNotWritten{
    QStringLiteral("Не записано строк в файл %1: %2 из %3 (%4)"),
    QStringLiteral("%2 of %3 lines not written to %1 (%4)"),
    QStringLiteral("%2 of %3 lines not written to %1 (%4)")};
// The measurement log: where it writes (%1), that it is off, that a line could not be written
// (the file in %1, the system's reason in %2).
inline const StatusMessage logOn{QStringLiteral("Журнал измерений: %1"),
                                 QStringLiteral("Logging readings to %1")};
inline const StatusMessage logOff{QStringLiteral("Журнал измерений выключен"),
                                  QStringLiteral("Readings log off")};
inline const StatusMessage logNotWritten{QStringLiteral("Не удалось записать журнал %1: %2"),
                                         QStringLiteral("Cannot write the log %1: %2"),
                                         QStringLiteral("cannot write %1: %2")};
// The dose history could not take a download or a reading: %1 names the file and the reason.
inline const StatusMessage historyNotWritten{QStringLiteral("История не сохранена: %1"),
                                             QStringLiteral("History not saved: %1"),
                                             QStringLiteral("history not saved: %1")};
// Characters Windows-1251 cannot hold, written to a file as '?': the file's name in %1, the
// count in %2.
inline const StatusMessage charactersReplaced{
    QStringLiteral("В файле %1 знаков, которых нет в кодировке Windows-1251, заменено на «?»: %2"),
    QStringLiteral("%2 characters Windows-1251 cannot hold were written to %1 as \"?\""),
    QStringLiteral("%2 characters Windows-1251 cannot hold were written to %1 as \"?\"")};
} // namespace status

// The text of the language, or nothing for a language other than 1 and 2.
[[nodiscard]] inline std::optional<QString> statusText(const StatusMessage& m,
                                                       text::Language language) {
    return m.shownIn(language);
}

} // namespace veltra::app
