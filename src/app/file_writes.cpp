#include "app/file_writes.h"

#include <QFile>
#include <QSaveFile>

namespace veltra::app {

bool appendToFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    const bool written = file.write(bytes) == bytes.size();
    const bool flushed = file.flush();
    file.close();
    return written && flushed && file.error() == QFileDevice::NoError;
}

bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting(); // the temporary file goes; the old one stays
        return false;
    }
    return file.commit();
}

} // namespace veltra::app
