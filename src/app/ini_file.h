#pragma once
// A Windows-style INI file kept as its lines, so that changing a few keys writes everything
// else back exactly as it was: other sections, other keys, comments, blank lines, order and
// line ends. Section and key names compare case-insensitively, as the Windows profile
// functions do; the first occurrence of a section or key wins.
//
// The file is 8-bit Windows-1251 text; lines end in CR LF (a lone LF is accepted on reading
// and kept as it was, and new lines take the file's own line end). A UTF-8 byte-order mark that
// some editors put in front is skipped on reading and kept on writing.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace veltra::app {

class IniFile {
public:
    IniFile() = default;
    [[nodiscard]] static IniFile parse(const QByteArray& windows1251Text);

    [[nodiscard]] std::optional<QString> value(const QString& section, const QString& key) const;
    // Keys of a section in file order (first occurrence of each).
    [[nodiscard]] QStringList keys(const QString& section) const;

    // Replaces the first occurrence of the key, or adds it at the end of its section, or adds
    // the section at the end of the file.
    void setValue(const QString& section, const QString& key, const QString& value);

    [[nodiscard]] QByteArray serialize() const;

private:
    struct Line {
        QByteArray raw;    // without its line end
        QByteArray ending; // "\r\n", "\n" or "" for a last line without one
    };
    struct Location {
        std::size_t line = 0;
        QString key;
        QString value;
    };

    [[nodiscard]] std::optional<std::size_t> sectionStart(const QString& section) const;
    [[nodiscard]] std::size_t sectionEnd(std::size_t headerLine) const;
    [[nodiscard]] std::optional<Location> find(const QString& section, const QString& key) const;

    std::vector<Line> m_lines;
    bool m_byteOrderMark = false;
};

} // namespace veltra::app
