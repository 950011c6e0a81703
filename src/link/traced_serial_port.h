#pragma once
// A serial trace for a bug report: a SerialPort that writes every byte sent and received, with
// the time since the trace began in microseconds and the direction, and every open, close,
// purge and time-out, one line each, to a text file:
//
//   # veltra serial trace 1, began 2026-12-09T15:20:01.123456+01:00
//   0.000112 open /dev/ttyUSB0
//   0.004817 purge 0
//   0.004901 > 10 00 31 00 00 b4 0c
//   0.016233 < 10 00 31 00 00 b4 0c
//   0.024950 < 01 00 ... (the data, as the reads got them)
//   1.031877 timeout 0 of 19 within 1038 ms
//   1.031990 <~ 25 00 0a 00 00 49 c5   (bytes a purge threw away, read first to be seen)
//   1.032001 purge 7
//   2.000000 close
//
// veltra-sim --replay answers a program as such a trace says the instrument did. Without a trace
// the link has no such port in between: tracing off costs nothing.

#include "link/serial_port.h"

#include <QElapsedTimer>
#include <QFile>

#include <memory>

namespace veltra::link {

class TracedSerialPort final : public SerialPort {
public:
    // Opens (replaces) the trace file; error() says why when it cannot.
    TracedSerialPort(std::unique_ptr<SerialPort> port, const QString& tracePath);
    ~TracedSerialPort() override;

    [[nodiscard]] bool traceOpen() const { return m_trace.isOpen(); }
    [[nodiscard]] QString traceError() const { return m_trace.errorString(); }

    bool open(const QString& deviceName) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_port->isOpen(); }
    [[nodiscard]] QString openErrorText() const override { return m_port->openErrorText(); }
    bool readLineSettings() override { return m_port->readLineSettings(); }
    void handOver(QThread* to) override { m_port->handOver(to); }
    bool applyLineSettings(const LineSettings& settings) override;
    std::size_t purge() override;
    std::size_t write(std::span<const std::uint8_t> bytes, int timeout_ms) override;
    std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) override;
    [[nodiscard]] std::chrono::steady_clock::time_point now() const override {
        return m_port->now();
    }

private:
    void line(const QString& text);
    void bytesLine(const char* direction, std::span<const std::uint8_t> bytes);

    std::unique_ptr<SerialPort> m_port;
    QFile m_trace;
    QElapsedTimer m_clock;
};

} // namespace veltra::link
