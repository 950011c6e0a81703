#pragma once
// The serial transport behind the device link: a small interface so that the link's
// transaction logic is independent of the platform's serial API. The real implementations are
// QtSerialPort (qt_serial_port.h, Linux and other POSIX systems) and the Windows backend on the
// system's communications calls (win_serial_port.cpp); TracedSerialPort wraps either to write a
// trace, and the tests put loopback, scripted and virtual-time ports in its place.

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class QThread;

namespace veltra::link {

// The instrument's line: 57600 baud, 8 data bits, no parity, one stop bit.
struct LineSettings {
    std::int32_t baud = 57600;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
};

class SerialPort {
public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    virtual ~SerialPort() = default;

    // Opens the device for reading and writing, not shared with other programs; an existing
    // device only. Closes whatever was open before.
    virtual bool open(const QString& deviceName) = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    // Why the last open failed ("Permission denied", "Device or resource busy"), or empty.
    [[nodiscard]] virtual QString openErrorText() const { return {}; }

    // Reads the line settings the driver reports; false when the device is not a serial line.
    virtual bool readLineSettings() = 0;
    // Applies baud rate, data bits, parity and stop bits; every other line setting stays as the
    // driver reported it.
    virtual bool applyLineSettings(const LineSettings& settings) = 0;

    // Discards everything pending in both directions. Returns how many received bytes were
    // waiting and are now thrown away: bytes nobody asked for yet, a sign the line is not in
    // step with the requests. Every byte thrown away is counted: one that arrives while the
    // purge runs is either counted or left for the next read, never dropped unseen.
    virtual std::size_t purge() = 0;

    // Writes the bytes, giving up after timeout_ms. Returns the count actually written.
    virtual std::size_t write(std::span<const std::uint8_t> bytes, int timeout_ms) = 0;

    // Reads until dest is full or timeout_ms has passed since the call. Returns the count read.
    virtual std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) = 0;

    // The clock the port's time-outs run on: the system's steady clock, or a simulated line's
    // own, so that whoever times a wait on the port (a drain) measures it on the same clock.
    [[nodiscard]] virtual std::chrono::steady_clock::time_point now() const {
        return std::chrono::steady_clock::now();
    }

    // The port is used from another thread from now on (the device worker, and back): a port
    // whose backend has thread affinity (Qt's) moves with it. Called on the thread that used it
    // last, while nothing else uses it.
    virtual void handOver(QThread* /*to*/) {}
};

// The platform's serial port (QtSerialPort backend).
[[nodiscard]] std::unique_ptr<SerialPort> makeSystemSerialPort();

// The serial devices the system lists, by path (Linux: USB adapters, ACM devices, rfcomm
// Bluetooth ports, built-in ports; Windows: COM names), sorted, without duplicates. The lister
// a port catalogue is built with.
[[nodiscard]] QStringList systemSerialDevices();

// What the system tells of a serial device, so a person can tell two adapters apart.
struct SerialDeviceInfo {
    QString path;         // /dev/ttyUSB0, COM3
    QString description;  // "FT232R USB UART", "USB-Serial Controller"
    QString manufacturer; // "FTDI"
    QString serialNumber; // "A50285BI"
};
// The description of the device at path (a symbolic link is followed); nullopt when the system
// lists no such serial device (a pseudo-terminal, a device that was unplugged).
[[nodiscard]] std::optional<SerialDeviceInfo> describeSerialDevice(const QString& path);

} // namespace veltra::link
