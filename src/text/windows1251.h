#pragma once
// The program's files are 8-bit Windows-1251 text: prog.ini and the archive's text files.

#include <QByteArray>
#include <QString>

namespace veltra::text {

[[nodiscard]] QString fromWindows1251(const QByteArray& bytes);
// Characters the code page does not have become '?'.
[[nodiscard]] QByteArray toWindows1251(const QString& text);

} // namespace veltra::text
