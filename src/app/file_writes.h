#pragma once
// Writing the program's files (prog.ini, the archive's text files, the tool's exports and logs):
// every write and the flush are checked, a failure is reported with the system's reason, never
// hidden, and no file is ever left with a cut line.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace veltra::app {

struct FileWrite {
    bool ok = true;
    QString reason; // the system's, when not ok ("No space left on device")

    explicit operator bool() const { return ok; }
};

// Appends the bytes to a file open for appending without Qt's buffer (QIODevice::Unbuffered, so
// nothing of a failed write lingers to be written later), whole or not at all: when the write or
// (with durable) the sync to the disk fails, the file is cut back to its length before.
[[nodiscard]] FileWrite appendWhole(QFile& file, const QByteArray& bytes, bool durable = false);
// Opens the file for appending (created when missing), appends the bytes whole or not at all,
// and closes it.
[[nodiscard]] FileWrite appendToFile(const QString& path, const QByteArray& bytes);
// Written whole to a temporary file first; the old file is replaced only once the new content
// is wholly written, and stays as it was otherwise.
[[nodiscard]] FileWrite replaceFile(const QString& path, const QByteArray& bytes);

} // namespace veltra::app
