#include "link/qt_serial_port.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace veltra::link {

namespace {

// USB serial adapters (FTDI and the like) hold a short answer for their latency timer, 16 ms
// by default, before they pass it on: the 800 short answers of an archive read then take about
// 13 s instead of 5. Ask the driver for low latency; a device that has no such setting (a
// pseudo-terminal, a built-in port) refuses quietly and nothing changes.
void requestLowLatency([[maybe_unused]] QSerialPort& port) {
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(port.handle());
    serial_struct settings{};
    if (fd >= 0 && ::ioctl(fd, TIOCGSERIAL, &settings) == 0 &&
        (settings.flags & ASYNC_LOW_LATENCY) == 0) {
        settings.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &settings);
    }
#endif
}

#ifdef Q_OS_LINUX
// Which other programs hold the device open, as /proc tells: "pid 4242 minicom"; empty when it
// does not say (another user's processes are hidden from us).
QString holdersOf(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty()) {
        return {};
    }
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QDir proc(QStringLiteral("/proc"));
    QStringList holders;
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid == self || pid.front() < u'0' || pid.front() > u'9') {
            continue;
        }
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        const auto open = fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
        if (std::any_of(open.begin(), open.end(),
                        [&](const QFileInfo& fd) { return fd.symLinkTarget() == target; })) {
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : QString();
            holders << (QStringLiteral("pid ") + pid + (name.isEmpty() ? QString() : u' ' + name));
        }
    }
    return holders.join(QStringLiteral(", "));
}
#endif

// Why an open failed, in words that point to the right fix: a device another program holds
// (its lock, or its exclusive use) is in use, which no group membership changes.
QString openFailure(const QSerialPort& port, const QString& device) {
    const QString system = port.errorString();
    const bool inUse = system.contains(QLatin1String("locking the device")) ||
                       system.contains(QLatin1String("Device or resource busy"));
    if (!inUse) {
        return system.contains(QLatin1String("Inappropriate ioctl"))
                   ? QStringLiteral("not a serial port")
                   : system;
    }
    QString text = QStringLiteral("in use by another program");
#ifdef Q_OS_LINUX
    if (const QString holders = holdersOf(device); !holders.isEmpty()) {
        text += QStringLiteral(" (open in %1)").arg(holders);
    }
#else
    Q_UNUSED(device);
#endif
    return text;
}

} // namespace

std::unique_ptr<SerialPort> makeSystemSerialPort() {
    return std::make_unique<QtSerialPort>();
}

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::open(const QString& deviceName) {
    close();
    m_openError.clear();
    if (deviceName.isEmpty()) {
        return false;
    }
    m_port.setPortName(deviceName);
    // Qt opens the device exclusively (TIOCEXCL on POSIX, share mode 0 on Windows) and fails
    // on a device that does not exist.
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openError = openFailure(m_port, deviceName);
        return false;
    }
    requestLowLatency(m_port);
    return true;
}

void QtSerialPort::close() {
    if (m_port.isOpen()) {
        m_port.close();
    }
    m_port.clearError();
}

bool QtSerialPort::isOpen() const {
    return m_port.isOpen();
}

bool QtSerialPort::readLineSettings() {
    // Qt has read the driver's settings while opening; a device that refused them reports an
    // error here.
    if (m_port.isOpen() && m_port.error() == QSerialPort::NoError) {
        return true;
    }
    m_openError = m_port.errorString();
    return false;
}

bool QtSerialPort::applyLineSettings(const LineSettings& s) {
    if (!m_port.isOpen()) {
        return false;
    }
    const auto dataBits = static_cast<QSerialPort::DataBits>(s.dataBits);
    const auto stopBits = s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    return m_port.setBaudRate(s.baud) && m_port.setDataBits(dataBits) &&
           m_port.setParity(s.parity ? QSerialPort::EvenParity : QSerialPort::NoParity) &&
           m_port.setStopBits(stopBits);
}

std::size_t QtSerialPort::purge() {
    if (!m_port.isOpen()) {
        return 0;
    }
    // What has arrived is read and counted rather than flushed: a byte that came between a look
    // at the driver's queue and the flush would be thrown away unseen, and an answer nobody
    // asked for is the only sign that the line is out of step. Bytes that arrive after the last
    // look stay for the next read, which then sees them. A line that never stops babbling is
    // read for a bounded number of rounds.
    constexpr int rounds = 64;
    std::size_t waiting = 0;
    for (int round = 0; round < rounds; ++round) {
        waiting += static_cast<std::size_t>(m_port.readAll().size());
        if (!m_port.waitForReadyRead(0)) {
            break;
        }
    }
    waiting += static_cast<std::size_t>(m_port.readAll().size());
    m_port.clear(QSerialPort::Output);
    return waiting;
}

std::size_t QtSerialPort::write(std::span<const std::uint8_t> bytes, int timeout_ms) {
    if (!m_port.isOpen() || bytes.empty()) {
        return 0;
    }
    const qint64 queued = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<qint64>(bytes.size()));
    if (queued <= 0) {
        return 0;
    }
    const QDeadlineTimer deadline(timeout_ms);
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
    }
    const qint64 written = queued - m_port.bytesToWrite();
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t QtSerialPort::read(std::span<std::uint8_t> dest, int timeout_ms) {
    if (!m_port.isOpen()) {
        return 0;
    }
    const QDeadlineTimer deadline(timeout_ms);
    std::size_t got = 0;
    bool past = false;
    while (got < dest.size()) {
        const qint64 n = m_port.read(reinterpret_cast<char*>(dest.data() + got),
                                     static_cast<qint64>(dest.size() - got));
        if (n < 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
        if (got >= dest.size() || past) {
            break;
        }
        // Once the time is up the driver is asked once more, without waiting, for what it
        // holds: a read with no time-out takes what has arrived, not only what Qt took in.
        past = deadline.hasExpired();
        if (!m_port.waitForReadyRead(past ? 0 : static_cast<int>(deadline.remainingTime()))) {
            // Time-out, or the device went away (an unplugged adapter): nothing more comes.
            if (m_port.bytesAvailable() == 0) {
                break;
            }
        }
    }
    return got;
}

std::optional<SerialDeviceInfo> describeSerialDevice(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString location = info.systemLocation();
        if (location == path || (!target.isEmpty() && location == target)) {
            return SerialDeviceInfo{location, info.description(), info.manufacturer(),
                                    info.serialNumber()};
        }
    }
    return std::nullopt;
}

QStringList systemSerialDevices() {
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        paths << info.systemLocation();
    }
#ifndef Q_OS_WIN
    // Bluetooth rfcomm ports and some adapters are not always listed by Qt's enumeration.
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& name : dev.entryList(
             {QStringLiteral("rfcomm*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
             QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        paths << dev.filePath(name);
    }
#endif
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

} // namespace veltra::link
