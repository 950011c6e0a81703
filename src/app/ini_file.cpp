#include "app/ini_file.h"

#include "text/windows1251.h"

#include <algorithm>

namespace veltra::app {

using text::fromWindows1251;
using text::toWindows1251;

namespace {

// "[name]" -> name, trimmed; nullopt for any other line.
std::optional<QString> sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(u'[')) {
        return std::nullopt;
    }
    const qsizetype close = t.indexOf(u']');
    if (close < 0) {
        return std::nullopt;
    }
    return t.mid(1, close - 1).trimmed();
}

struct KeyValue {
    QString key;
    QString value;
};

std::optional<KeyValue> keyValue(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'[')) {
        return std::nullopt;
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0) {
        return std::nullopt;
    }
    QString value = t.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
        value = value.mid(1, value.size() - 2);
    }
    return KeyValue{t.left(eq).trimmed(), value};
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile IniFile::parse(const QByteArray& text) {
    IniFile ini;
    qsizetype start = 0;
    if (text.startsWith("\xEF\xBB\xBF")) {
        ini.m_byteOrderMark = true;
        start = 3;
    }
    while (start < text.size()) {
        const qsizetype lf = text.indexOf('\n', start);
        if (lf < 0) {
            ini.m_lines.push_back({text.mid(start), {}});
            break;
        }
        const bool cr = lf > start && text[lf - 1] == '\r';
        ini.m_lines.push_back({text.mid(start, lf - start - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
        start = lf + 1;
    }
    return ini;
}

QByteArray IniFile::serialize() const {
    QByteArray out = m_byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    for (const Line& line : m_lines) {
        out += line.raw;
        out += line.ending;
    }
    return out;
}

std::optional<std::size_t> IniFile::sectionStart(const QString& section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = sectionName(fromWindows1251(m_lines[i].raw));
        if (name && sameName(*name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t IniFile::sectionEnd(std::size_t headerLine) const {
    std::size_t i = headerLine + 1;
    while (i < m_lines.size() && !sectionName(fromWindows1251(m_lines[i].raw))) {
        ++i;
    }
    return i;
}

std::optional<IniFile::Location> IniFile::find(const QString& section, const QString& key) const {
    const auto start = sectionStart(section);
    if (!start) {
        return std::nullopt;
    }
    const std::size_t end = sectionEnd(*start);
    for (std::size_t i = *start + 1; i < end; ++i) {
        const auto kv = keyValue(fromWindows1251(m_lines[i].raw));
        if (kv && sameName(kv->key, key)) {
            return Location{i, kv->key, kv->value};
        }
    }
    return std::nullopt;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const auto found = find(section, key);
    if (!found) {
        return std::nullopt;
    }
    return found->value;
}

QStringList IniFile::keys(const QString& section) const {
    QStringList out;
    const auto start = sectionStart(section);
    if (!start) {
        return out;
    }
    const std::size_t end = sectionEnd(*start);
    for (std::size_t i = *start + 1; i < end; ++i) {
        const auto kv = keyValue(fromWindows1251(m_lines[i].raw));
        const bool seen = kv && std::any_of(out.begin(), out.end(),
                                            [&](const QString& k) { return sameName(k, kv->key); });
        if (kv && !seen) {
            out << kv->key;
        }
    }
    return out;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray newLine = toWindows1251(key + u'=' + value);
    if (const auto found = find(section, key)) {
        m_lines[found->line].raw = newLine;
        return;
    }
    // New lines take the file's own line end; CR LF for a new file.
    const QByteArray ending = m_lines.empty() || m_lines.front().ending.isEmpty()
                                  ? QByteArray("\r\n")
                                  : m_lines.front().ending;
    const auto endLastLine = [&] {
        if (!m_lines.empty() && m_lines.back().ending.isEmpty()) {
            m_lines.back().ending = ending;
        }
    };
    if (const auto start = sectionStart(section)) {
        // After the section's last non-blank line, so a blank separator stays in place.
        std::size_t at = sectionEnd(*start);
        while (at > *start + 1 && m_lines[at - 1].raw.trimmed().isEmpty()) {
            --at;
        }
        if (at == m_lines.size()) {
            endLastLine();
        }
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{newLine, ending});
        return;
    }
    endLastLine();
    m_lines.push_back({toWindows1251(u'[' + section + u']'), ending});
    m_lines.push_back({newLine, ending});
}

} // namespace veltra::app
