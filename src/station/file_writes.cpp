#include "station/file_writes.h"

#include <QSaveFile>

#include <cerrno>
#include <optional>

#include <QFileInfo>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltra::station {

namespace {

#ifndef _WIN32
// What stands at a path instead of a regular file, or nothing when it is one.
std::optional<QString> notRegular(mode_t mode) {
    if (S_ISREG(mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(mode)) {
        return QStringLiteral("it is a directory");
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("it is a FIFO, not a regular file");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QStringLiteral("it is a device, not a regular file");
    }
    return QStringLiteral("it is not a regular file");
}
#endif

bool syncToDisk(QFile& file) {
#ifdef _WIN32
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

FileResult appendWhole(QFile& file, const QByteArray& bytes, bool durable) {
    const qint64 before = file.size();
    errno = 0;
    if (file.write(bytes) == bytes.size() && file.flush() && (!durable || syncToDisk(file))) {
        return {};
    }
    // A write cut short is no error to Qt; the system said why in errno.
    FileResult failed{false, file.error() != QFileDevice::NoError || errno == 0
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

FileResult openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode) {
#ifdef _WIN32
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        return {false, QStringLiteral("it is not a regular file")};
    }
    file.setFileName(path);
    if (!file.open(mode)) {
        return {false, file.errorString()};
    }
    return {};
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) == 0) {
        if (const auto what = notRegular(info.st_mode)) {
            return {false, *what};
        }
    }
    // Opened without blocking, and looked at once more: what was checked above may have been
    // swapped for a FIFO meanwhile.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (mode.testFlag(QIODevice::WriteOnly)) {
        flags |= O_WRONLY | O_CREAT | (mode.testFlag(QIODevice::Append) ? O_APPEND : 0);
    } else {
        flags |= O_RDONLY;
    }
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        return {false, qt_error_string(errno)};
    }
    if (::fstat(fd, &info) != 0 || notRegular(info.st_mode)) {
        const QString what = notRegular(info.st_mode).value_or(qt_error_string(errno));
        ::close(fd);
        return {false, what};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {false, file.errorString()};
    }
    return {};
#endif
}

FileResult replaceable(const QString& path) {
#ifdef _WIN32
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        return {false, QStringLiteral("it is not a regular file")};
    }
#else
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (const auto what = notRegular(info.st_mode)) {
            return {false, *what};
        }
    }
#endif
    return {};
}

FileResult appendToFile(const QString& path, const QByteArray& bytes) {
    QFile file;
    if (FileResult opened = openRegularFile(
            file, path, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        !opened) {
        return opened;
    }
    FileResult result = appendWhole(file, bytes);
    file.close();
    if (result && file.error() != QFileDevice::NoError) {
        result = {false, file.errorString()};
    }
    return result;
}

FileResult replaceFile(const QString& path, const QByteArray& bytes) {
    if (FileResult target = replaceable(path); !target) {
        return target;
    }
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

} // namespace veltra::station
