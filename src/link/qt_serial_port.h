#pragma once
// SerialPort over Qt SerialPort: Windows COM ports, Linux ttys (USB adapters, ACM devices,
// rfcomm Bluetooth ports) and pseudo-terminals. Blocking use on the calling thread; no event
// loop is needed.

#include "link/serial_port.h"

#include <QSerialPort>
#include <QStringList>
#include <QThread>

namespace veltra::link {

class QtSerialPort final : public SerialPort {
public:
    QtSerialPort() = default;
    ~QtSerialPort() override;

    bool open(const QString& deviceName) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;
    [[nodiscard]] QString openErrorText() const override { return m_openError; }
    bool readLineSettings() override;
    bool applyLineSettings(const LineSettings& settings) override;
    std::size_t purge() override;
    std::size_t write(std::span<const std::uint8_t> bytes, int timeout_ms) override;
    std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) override;
    void handOver(QThread* to) override { m_port.moveToThread(to); }

private:
    QSerialPort m_port;
    QString m_openError;
};

} // namespace veltra::link
