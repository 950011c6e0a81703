#include "link/device_link.h"

#include <algorithm>

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

bool DeviceLink::readBlock(std::uint8_t command, std::uint16_t length, std::uint16_t address) {
    const std::size_t dataAndCrc = std::size_t{length} + 2;
    if (dataAndCrc > m_transferBuffer.size()) {
        m_lastReadOutcome = ReadOutcome::refused;
        return false;
    }
    const auto header = Frame{command, length, address}.bytes();

    m_port->purge();
    m_port->purge();
    m_port->write(header, writeTimeout_ms);

    const auto replyHeader = std::span(m_transferBuffer).first(Frame::size);
    m_lastTransferCount =
        static_cast<std::uint32_t>(m_port->read(replyHeader, readTimeout_ms(Frame::size)));
    m_crc = crc16Modbus(replyHeader);
    if (!m_crc.isZero()) {
        m_lastReadOutcome =
            m_lastTransferCount < Frame::size ? ReadOutcome::noHeader : ReadOutcome::headerCrc;
        return false;
    }

    const auto data = std::span(m_transferBuffer).first(dataAndCrc);
    m_lastTransferCount =
        static_cast<std::uint32_t>(m_port->read(data, readTimeout_ms(dataAndCrc)));
    m_crc = crc16Modbus(data);
    if (m_crc.isZero()) {
        m_lastReadOutcome = ReadOutcome::ok;
        return true;
    }
    m_lastReadOutcome =
        m_lastTransferCount < dataAndCrc ? ReadOutcome::dataShort : ReadOutcome::dataCrc;
    return false;
}

std::size_t DeviceLink::discardPending(int quiet_ms) {
    constexpr std::size_t limit = 1000 / 16 + 1; // rounds of up to 16 bytes: about 1 s in all
    std::array<std::uint8_t, 16> scratch{};
    std::size_t discarded = 0;
    for (std::size_t round = 0; round < limit; ++round) {
        const std::size_t n = m_port->read(scratch, quiet_ms);
        if (n == 0) {
            break;
        }
        discarded += n;
    }
    return discarded;
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
