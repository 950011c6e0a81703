#pragma once
// A serial port with the simulated instrument's protocol server behind it, in the same thread:
// what is written goes to the server at once, and its answers are there to read. No pseudo-
// terminal and no time-outs, so the core's cycles run fast and deterministically. A read that
// finds fewer bytes than asked returns what there is, as a real read does at its time-out.

#include "link/serial_port.h"
#include "protocol_server.h"

#include <deque>

namespace veltra::fakes {

class LoopbackPort final : public link::SerialPort {
public:
    struct Control {
        QStringList devices{QStringLiteral("/dev/ttySIM0")};
        int failOpens = 0;        // the next opens that fail
        int opens = 0;            // opens asked for
        std::size_t writes = 0;   // write calls
        bool shortWrites = false; // every write gets only half its bytes out
    };

    LoopbackPort(sim::ProtocolServer& server, std::shared_ptr<Control> control)
        : m_server(server), m_control(std::move(control)) {}

    bool open(const QString& name) override {
        ++m_control->opens;
        m_open = false;
        if (m_control->failOpens > 0) {
            --m_control->failOpens;
            return false;
        }
        m_open = m_control->devices.contains(name);
        return m_open;
    }
    void close() override { m_open = false; }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool readLineSettings() override { return m_open; }
    bool applyLineSettings(const link::LineSettings&) override { return m_open; }
    std::size_t purge() override {
        const std::size_t waiting = m_received.size();
        m_received.clear();
        return waiting;
    }

    std::size_t write(std::span<const std::uint8_t> bytes, int) override {
        ++m_control->writes;
        if (!m_open) {
            return 0;
        }
        const std::size_t sent = m_control->shortWrites ? bytes.size() / 2 : bytes.size();
        for (const sim::Response& r : m_server.receive(bytes.first(sent))) {
            if (r.dropPort) {
                m_open = false;
                m_control->devices.clear();
                return sent;
            }
            m_received.insert(m_received.end(), r.bytes.begin(), r.bytes.end());
        }
        return sent;
    }

    std::size_t read(std::span<std::uint8_t> dest, int) override {
        const std::size_t n = std::min(dest.size(), m_received.size());
        std::copy_n(m_received.begin(), n, dest.begin());
        m_received.erase(m_received.begin(), m_received.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

private:
    sim::ProtocolServer& m_server;
    std::shared_ptr<Control> m_control;
    std::deque<std::uint8_t> m_received;
    bool m_open = false;
};

} // namespace veltra::fakes
