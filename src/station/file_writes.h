#pragma once
// Reading and writing the program's files (prog.ini, the archive's text files, the tool's images,
// exports and logs): nothing ever blocks on a FIFO or a device that stands where a file should
// be, every write and the flush are checked, a failure is reported with the system's reason,
// never hidden, and no file is ever left with a cut line.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace veltra::station {

struct FileResult {
    bool ok = true;
    QString reason; // the system's, when not ok ("No space left on device")

    explicit operator bool() const { return ok; }
};

// Opens a file for reading (QIODevice::ReadOnly) or for appending (WriteOnly | Append, created
// when missing; add Unbuffered for appendWhole) without ever blocking: anything that is not a
// regular file (a FIFO, a device, a directory) is refused, with what it is as the reason.
[[nodiscard]] FileResult openRegularFile(QFile& file, const QString& path,
                                         QIODevice::OpenMode mode);
// Whether a file may be put at path: nothing is there yet, or a regular file.
[[nodiscard]] FileResult replaceable(const QString& path);

// Appends the bytes to a file open for appending without Qt's buffer (QIODevice::Unbuffered, so
// nothing of a failed write lingers to be written later), whole or not at all: when the write or
// (with durable) the sync to the disk fails, the file is cut back to its length before.
[[nodiscard]] FileResult appendWhole(QFile& file, const QByteArray& bytes, bool durable = false);
// Opens the file for appending (created when missing), appends the bytes whole or not at all,
// and closes it.
[[nodiscard]] FileResult appendToFile(const QString& path, const QByteArray& bytes);
// Written whole to a temporary file first; the old file is replaced only once the new content
// is wholly written, and stays as it was otherwise. Something that is not a regular file is
// never replaced.
[[nodiscard]] FileResult replaceFile(const QString& path, const QByteArray& bytes);

} // namespace veltra::station
