#pragma once
// Writing the program's files (prog.ini, the archive's text files, the tool's exports): every
// write and the flush are checked, and a failure is reported, never hidden.

#include <QByteArray>
#include <QString>

namespace veltra::app {

// Opens, appends and closes.
[[nodiscard]] bool appendToFile(const QString& path, const QByteArray& bytes);
// Written whole to a temporary file first; the old file is replaced only once the new content
// is wholly written, and stays as it was otherwise.
[[nodiscard]] bool replaceFile(const QString& path, const QByteArray& bytes);

} // namespace veltra::app
