#include "link/traced_serial_port.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <chrono>

namespace veltra::link {

TracedSerialPort::TracedSerialPort(std::unique_ptr<SerialPort> port, const QString& tracePath)
    : m_port(std::move(port)), m_trace(tracePath) {
    m_clock.start();
    if (m_trace.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        const QDateTime now = QDateTime::currentDateTime();
        m_trace.write(
            "# veltra serial trace 1, began " +
            now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8() + '\n');
        m_trace.flush();
    }
}

TracedSerialPort::~TracedSerialPort() = default;

void TracedSerialPort::line(const QString& text) {
    if (!m_trace.isOpen()) {
        return;
    }
    const qint64 us = m_clock.nsecsElapsed() / 1000;
    m_trace.write(QStringLiteral("%1.%2 %3\n")
                      .arg(us / 1000000)
                      .arg(us % 1000000, 6, 10, QLatin1Char('0'))
                      .arg(text)
                      .toUtf8());
    // Flushed as written: a trace of a run that crashed or hung is the one worth sending.
    m_trace.flush();
}

void TracedSerialPort::bytesLine(const char* direction, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<qsizetype>(bytes.size()))
                               .toHex(' ');
    line(QLatin1String(direction) + u' ' + QString::fromLatin1(hex));
}

bool TracedSerialPort::open(const QString& deviceName) {
    const bool opened = m_port->open(deviceName);
    line(opened ? QStringLiteral("open %1").arg(deviceName)
                : QStringLiteral("open %1 failed: %2").arg(deviceName, m_port->openErrorText()));
    return opened;
}

void TracedSerialPort::close() {
    if (m_port->isOpen()) {
        line(QStringLiteral("close"));
    }
    m_port->close();
}

bool TracedSerialPort::applyLineSettings(const LineSettings& s) {
    const bool applied = m_port->applyLineSettings(s);
    line(QStringLiteral("settings %1 %2%3%4%5")
             .arg(s.baud)
             .arg(s.dataBits)
             .arg(QChar(s.parity ? u'E' : u'N'))
             .arg(s.stopBits)
             .arg(applied ? QString() : QStringLiteral(" failed")));
    return applied;
}

std::size_t TracedSerialPort::purge() {
    // What is waiting is read first, so the trace shows what the purge throws away.
    std::size_t seen = 0;
    std::array<std::uint8_t, 256> waiting{};
    for (;;) {
        const std::size_t n = m_port->read(waiting, 0);
        bytesLine("<~", std::span(waiting).first(n));
        seen += n;
        if (n < waiting.size()) {
            break;
        }
    }
    const std::size_t purged = seen + m_port->purge();
    line(QStringLiteral("purge %1").arg(purged));
    return purged;
}

std::size_t TracedSerialPort::write(std::span<const std::uint8_t> bytes, int timeout_ms) {
    const std::size_t written = m_port->write(bytes, timeout_ms);
    bytesLine(">", bytes.first(written));
    if (written < bytes.size()) {
        line(QStringLiteral("write short %1 of %2 within %3 ms")
                 .arg(written)
                 .arg(bytes.size())
                 .arg(timeout_ms));
    }
    return written;
}

std::size_t TracedSerialPort::read(std::span<std::uint8_t> dest, int timeout_ms) {
    // Read in short slices, so that each byte's line carries the time it came within a few
    // milliseconds rather than the time a long wait ended: a replay sends it when it came.
    constexpr int slice_ms = 5;
    const auto deadline = m_port->now() + std::chrono::milliseconds(timeout_ms);
    std::size_t got = 0;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - m_port->now());
        const int wait_ms =
            static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, slice_ms));
        const std::size_t n = m_port->read(dest.subspan(got), wait_ms);
        bytesLine("<", dest.subspan(got, n));
        got += n;
        if (got == dest.size() || wait_ms == 0 || !m_port->isOpen()) {
            break;
        }
    }
    if (got < dest.size() && timeout_ms > 0) {
        line(QStringLiteral("timeout %1 of %2 within %3 ms")
                 .arg(got)
                 .arg(dest.size())
                 .arg(timeout_ms));
    }
    return got;
}

} // namespace veltra::link
