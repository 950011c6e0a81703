#include "app/file_writes.h"

#include <QSaveFile>

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace veltra::app {

namespace {

bool syncToDisk(QFile& file) {
#ifdef _WIN32
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

FileWrite appendWhole(QFile& file, const QByteArray& bytes, bool durable) {
    const qint64 before = file.size();
    errno = 0;
    if (file.write(bytes) == bytes.size() && file.flush() && (!durable || syncToDisk(file))) {
        return {};
    }
    // A write cut short is no error to Qt; the system said why in errno.
    FileWrite failed{false, file.error() != QFileDevice::NoError || errno == 0
                                ? file.errorString()
                                : qt_error_string(errno)};
    // Whatever part of the bytes reached the file goes again, so the next append never continues
    // a cut line.
    file.unsetError();
    if (!file.resize(before)) {
        failed.reason += QStringLiteral("; the file could not be cut back: ") + file.errorString();
    }
    return failed;
}

FileWrite appendToFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return {false, file.errorString()};
    }
    FileWrite result = appendWhole(file, bytes);
    file.close();
    if (result && file.error() != QFileDevice::NoError) {
        result = {false, file.errorString()};
    }
    return result;
}

FileWrite replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {false, file.errorString()};
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting(); // the temporary file goes; the old one stays
        return {false, reason};
    }
    if (!file.commit()) {
        return {false, file.errorString()};
    }
    return {};
}

} // namespace veltra::app
