#pragma once
// A small file system of its own that can be filled to the last byte: only root can mount one.

#include <QFile>
#include <QTemporaryDir>

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace veltra::fakes {

class FullDisk {
public:
    explicit FullDisk([[maybe_unused]] const char* size = "size=64k") {
#ifdef __linux__
        if (::geteuid() != 0 || !m_dir.isValid()) {
            return;
        }
        const QByteArray path = QFile::encodeName(m_dir.path());
        if (::mount("tmpfs", path.constData(), "tmpfs", 0, size) == 0) {
            m_mounted = true;
        }
#endif
    }
    ~FullDisk() {
#ifdef __linux__
        if (m_mounted) {
            ::umount(QFile::encodeName(m_dir.path()).constData());
        }
#endif
    }
    [[nodiscard]] bool mounted() const {
        return m_mounted;
    }
    [[nodiscard]] QString filePath(const QString& name) const {
        return m_dir.filePath(name);
    }
    // Writes until the file system has no room left.
    void fill() const {
        QFile filler(filePath("filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            return;
        }
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
        QByteArray one(1, 'x');
        while (filler.write(one) == 1) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace veltra::fakes
