#pragma once
// The device link: the one serial port through which the program talks to the instrument and
// the two transactions everything else uses.
//
// readBlock: purge twice (counting what the purge throws away), send the 7-byte Frame, read the
// 7-byte reply header within 2*7 + 1000 ms and check its CRC (a bad header ends the transaction
// with no second read), then read length + 2 bytes from offset 0 of transferBuffer within
// 2*(length+2) + 1000 ms and check the register ends at 0, 0.
// writeBlock: header, data and data CRC in one write (500 ms limit); no purge before, nothing
// read after. The instrument does not acknowledge writes; whatever it answers is thrown away by
// the purge of the next read.
//
// Synchronous: each call blocks until the port's time-outs end it. Nothing is retried here;
// retry policy belongs to the callers.

#include "link/codecs.h"
#include "link/frame.h"
#include "link/outcome.h"
#include "link/port_catalog.h"
#include "link/serial_port.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace veltra::link {

// How a readBlock went (ok, refused, noHeader, headerCrc, dataShort or dataCrc). A reply is
// good only when exactly 7 header bytes and exactly length + 2 data bytes arrived and both CRCs
// check: bytes left in the buffer from before are never part of a reply.
struct ReadReport {
    Outcome outcome = Outcome::ok;
    std::uint32_t received = 0; // reply bytes that arrived, header and data (0: silence)
    std::uint32_t expected = 0; // 7 + length + 2
    // Bytes that had arrived before the request went out and that its purge threw away: an
    // answer nobody was waiting for (late, doubled) or noise. The protocol has no sequence
    // numbers, so they are the only sign that answers and requests are no longer in step.
    std::uint32_t stale = 0;

    [[nodiscard]] bool ok() const { return outcome == Outcome::ok; }
    explicit operator bool() const { return ok(); }
};

// What a drain of the line threw away, and whether the line fell quiet.
struct DrainReport {
    std::size_t bytes = 0;
    bool quiet = false;
};

class DeviceLink {
public:
    // At least 1000 bytes, as every caller expects; a transaction whose data and CRC do not fit
    // is refused without touching the port.
    static constexpr std::size_t transferBufferSize = 1024;
    static constexpr int writeTimeout_ms = 500;

    // The read time-out rule of the instrument's line: 2 ms per byte plus 1000 ms.
    [[nodiscard]] static constexpr int readTimeout_ms(std::size_t bytes) {
        return static_cast<int>(2 * bytes + 1000);
    }

    explicit DeviceLink(PortCatalog catalog,
                        std::unique_ptr<SerialPort> port = makeSystemSerialPort());

    // Opens port `number` with the instrument's line settings: the program's selected port, or,
    // when none is selected, the number typed in the connection dialog's box (the caller reads
    // it). Closes the previous port first; a number that stands for no device (0 included)
    // opens nothing.
    bool openSelectedPort(int number);
    // Opens port n and records the outcome in portOpenedByNumber.
    bool openPortNumber(std::uint8_t n);
    // Reopens the selected port portNumber, with one retry. False at once when it is 0 (none).
    bool ensurePortOpen(std::uint8_t portNumber);
    // Closes the port (the program is ending).
    void close() { m_port->close(); }
    // See SerialPort::handOver.
    void handOver(QThread* to) { m_port->handOver(to); }

    // A question asked while the link waits (a signal arrived): once it says yes, every wait
    // ends within a tenth of a second and the transaction fails as a time-out would. The
    // callers ask interrupted() between transactions and stop.
    void setInterruption(std::function<bool()> interrupted) {
        m_interrupted = std::move(interrupted);
    }
    [[nodiscard]] bool interrupted() const { return m_interrupted && m_interrupted(); }

    ReadReport readBlock(std::uint8_t command, std::uint16_t length, std::uint16_t address);
    // Reads and throws away whatever arrives until the line has been quiet for quiet_ms, or
    // until limit_ms have passed: answers still on their way to requests given up on.
    DrainReport drain(int quiet_ms, int limit_ms);
    std::uint32_t writeBlock(std::uint8_t command, std::uint16_t length, std::uint16_t address);

    [[nodiscard]] std::span<std::uint8_t> transferBuffer() { return m_transferBuffer; }
    [[nodiscard]] std::span<const std::uint8_t> transferBuffer() const { return m_transferBuffer; }
    // Bytes moved by the most recent port read or write (length + 2 after a complete read).
    [[nodiscard]] std::uint32_t lastTransferCount() const { return m_lastTransferCount; }
    [[nodiscard]] std::uint8_t crcLo() const { return m_crc.lo; }
    [[nodiscard]] std::uint8_t crcHi() const { return m_crc.hi; }
    [[nodiscard]] bool portOpenedByNumber() const { return m_portOpenedByNumber; }
    [[nodiscard]] bool isOpen() const { return m_port->isOpen(); }
    // The device path or name of the port opened last (empty before any open).
    [[nodiscard]] const QString& openedDevice() const { return m_openedDevice; }
    // Why the last open failed, as the system says it (empty when it succeeded, or when the
    // number stands for no device).
    [[nodiscard]] const QString& openErrorText() const { return m_openError; }

    [[nodiscard]] PortCatalog& catalog() { return m_catalog; }
    [[nodiscard]] const PortCatalog& catalog() const { return m_catalog; }

private:
    bool openDevice(int number);
    // The port's read, in slices while an interruption can come.
    std::size_t readWithin(std::span<std::uint8_t> dest, int timeout_ms);

    PortCatalog m_catalog;
    std::unique_ptr<SerialPort> m_port;

    std::array<std::uint8_t, transferBufferSize> m_transferBuffer{};
    std::uint32_t m_lastTransferCount = 0;
    Crc m_crc;
    bool m_portOpenedByNumber = false;
    QString m_openedDevice;
    QString m_openError;
    std::function<bool()> m_interrupted;
};

} // namespace veltra::link
