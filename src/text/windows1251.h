#pragma once
// The program's files are 8-bit Windows-1251 text: prog.ini and the archive's text files. The
// code page is built in (its upper half is a fixed table), so the files are the same byte for
// byte on every platform, whether or not the Qt at hand can convert it (Qt for Windows often
// cannot, without ICU).

#include <QByteArray>
#include <QString>

namespace veltra::text {

[[nodiscard]] QString fromWindows1251(const QByteArray& bytes);
// Characters the code page does not have become '?', and are counted in unmapped when it is
// given (the program's own texts have none; a user's locale, its decimal separator say, could
// bring one).
[[nodiscard]] QByteArray toWindows1251(const QString& text, int* unmapped = nullptr);

} // namespace veltra::text
