#include "link/device_link.h"

#include <algorithm>
#include <chrono>

namespace veltra::link {

DeviceLink::DeviceLink(PortCatalog catalog, std::unique_ptr<SerialPort> port)
    : m_catalog(std::move(catalog)), m_port(std::move(port)) {}

bool DeviceLink::openDevice(int number) {
    m_port->close();
    m_openError.clear();
    m_openedDevice = m_catalog.deviceName(number);
    if (m_openedDevice.isEmpty()) {
        return false;
    }
    if (!m_port->open(m_openedDevice)) {
        m_openError = m_port->openErrorText();
        return false;
    }
    if (!m_port->readLineSettings() || !m_port->applyLineSettings(LineSettings{})) {
        m_openError = m_port->openErrorText();
        m_port->close();
        return false;
    }
    return true;
}

bool DeviceLink::openSelectedPort(int number) {
    return openDevice(number);
}

bool DeviceLink::openPortNumber(std::uint8_t n) {
    m_portOpenedByNumber = openDevice(n);
    return m_portOpenedByNumber;
}

bool DeviceLink::ensurePortOpen(std::uint8_t portNumber) {
    if (portNumber == 0) {
        return false;
    }
    if (openSelectedPort(portNumber)) {
        return true;
    }
    return openSelectedPort(portNumber);
}

ReadReport DeviceLink::readBlock(std::uint8_t command, std::uint16_t length,
                                 std::uint16_t address) {
    const std::size_t dataAndCrc = std::size_t{length} + 2;
    if (dataAndCrc > m_transferBuffer.size()) {
        return {Outcome::refused, 0, 0, 0};
    }
    const auto header = Frame{command, length, address}.bytes();

    ReadReport report;
    report.expected = static_cast<std::uint32_t>(Frame::size + dataAndCrc);
    report.stale = static_cast<std::uint32_t>(m_port->purge());
    report.stale += static_cast<std::uint32_t>(m_port->purge());
    m_port->write(header, writeTimeout_ms);

    const auto replyHeader = std::span(m_transferBuffer).first(Frame::size);
    m_lastTransferCount =
        static_cast<std::uint32_t>(readWithin(replyHeader, readTimeout_ms(Frame::size)));
    report.received = m_lastTransferCount;
    m_crc = crc16Modbus(replyHeader);
    if (m_lastTransferCount < Frame::size) {
        report.outcome = Outcome::noHeader;
        return report;
    }
    if (!m_crc.isZero()) {
        report.outcome = Outcome::headerCrc;
        return report;
    }

    const auto data = std::span(m_transferBuffer).first(dataAndCrc);
    m_lastTransferCount = static_cast<std::uint32_t>(readWithin(data, readTimeout_ms(dataAndCrc)));
    report.received += m_lastTransferCount;
    m_crc = crc16Modbus(data);
    if (m_lastTransferCount < dataAndCrc) {
        // Whatever the register says: the bytes after the last one received are left over from
        // before, and a header followed by cleared bytes would check.
        report.outcome = Outcome::dataShort;
    } else if (!m_crc.isZero()) {
        report.outcome = Outcome::dataCrc;
    }
    return report;
}

DrainReport DeviceLink::drain(int quiet_ms, int limit_ms) {
    std::array<std::uint8_t, 64> scratch{};
    DrainReport report;
    const auto deadline = m_port->now() + std::chrono::milliseconds(limit_ms);
    while (m_port->now() < deadline && !interrupted()) {
        const std::size_t n = readWithin(scratch, quiet_ms);
        if (n == 0) {
            report.quiet = !interrupted();
            break;
        }
        report.bytes += n;
    }
    return report;
}

std::size_t DeviceLink::readWithin(std::span<std::uint8_t> dest, int timeout_ms) {
    if (!m_interrupted) {
        return m_port->read(dest, timeout_ms);
    }
    constexpr std::chrono::milliseconds::rep slice_ms = 100;
    const auto deadline = m_port->now() + std::chrono::milliseconds(timeout_ms);
    std::size_t got = 0;
    while (got < dest.size() && !m_interrupted()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - m_port->now()).count();
        if (left <= 0) {
            break;
        }
        got += m_port->read(dest.subspan(got), static_cast<int>(std::min(left, slice_ms)));
    }
    return got;
}

std::uint32_t DeviceLink::writeBlock(std::uint8_t command, std::uint16_t length,
                                     std::uint16_t address) {
    const std::size_t dataAndCrc = std::size_t{length} + 2;
    if (dataAndCrc > m_transferBuffer.size()) {
        m_lastTransferCount = 0;
        return 0;
    }
    m_crc = crc16Modbus(std::span(m_transferBuffer).first(length));
    m_transferBuffer[length] = m_crc.lo;
    m_transferBuffer[length + 1U] = m_crc.hi;

    std::array<std::uint8_t, Frame::size + transferBufferSize> out{};
    const auto header = Frame{command, length, address}.bytes();
    std::copy(header.begin(), header.end(), out.begin());
    std::copy_n(m_transferBuffer.begin(), dataAndCrc, out.begin() + Frame::size);

    m_lastTransferCount = static_cast<std::uint32_t>(
        m_port->write(std::span(out).first(Frame::size + dataAndCrc), writeTimeout_ms));
    return m_lastTransferCount;
}

} // namespace veltra::link
