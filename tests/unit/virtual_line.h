#pragma once
// A serial line in virtual time: the simulated instrument (or a replayed trace) behind a port
// whose clock moves only as the program waits on it. Answers are scheduled as the pseudo-
// terminal endpoint schedules them (in request order, a turnaround after the request is in, a
// late one holding up those behind it, copies on their own), and a read that waits 1014 ms for
// nothing costs no real time. So the archive reader's fault cases run by the hundred in a
// second, each the same on every run.
//
// The purge sees every byte it throws away unless a blind spot is asked for: then bytes that
// arrive within that time after its look are thrown away unseen, as a look-then-flush purge
// of a real driver can do.

#include "link/serial_port.h"
#include "protocol_server.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <utility>

namespace veltra::fakes {

struct VirtualLineOptions {
    std::chrono::microseconds turnaround{0};
    bool wireTiming = false; // 57600 baud 8N1: 10 bits a byte, both ways
    // The program's own time between two calls on the port.
    std::chrono::microseconds perCall{20};
    std::chrono::microseconds purgeBlindSpot{0};
};

inline const QString virtualLineDevice = QStringLiteral("/dev/ttyVIRT0");

class VirtualLine final : public link::SerialPort {
public:
    using Duration = std::chrono::nanoseconds;

    explicit VirtualLine(sim::Responder& responder, VirtualLineOptions options = {})
        : m_responder(responder), m_options(options),
          m_byte(options.wireTiming ? Duration(std::chrono::seconds(10)) / 57600 : Duration{0}) {}

    bool open(const QString& name) override {
        m_open = !m_dropped && name == virtualLineDevice;
        return m_open;
    }
    void close() override { m_open = false; }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool readLineSettings() override { return m_open; }
    bool applyLineSettings(const link::LineSettings&) override { return m_open; }

    std::size_t purge() override {
        step();
        arriveUntil(m_now + m_options.purgeBlindSpot);
        std::size_t seen = 0;
        while (!m_arrived.empty() && m_arrived.front().first <= m_now) {
            m_arrived.pop_front();
            ++seen;
        }
        while (!m_arrived.empty() && m_arrived.front().first <= m_now + m_options.purgeBlindSpot) {
            m_arrived.pop_front();
            ++m_unseen;
        }
        return seen;
    }

    std::size_t write(std::span<const std::uint8_t> bytes, int) override {
        step();
        if (!m_open) {
            return 0;
        }
        // The instrument takes up a request once its last byte is in.
        m_inboundFree = std::max(m_now, m_inboundFree) + m_byte * static_cast<long>(bytes.size());
        const Duration requestIn = m_options.wireTiming ? m_inboundFree : m_now;
        for (const sim::Response& r : m_responder.receive(bytes)) {
            if (r.dropPort) {
                m_dropped = true;
                m_open = false;
                break;
            }
            if (r.bytes.empty()) {
                continue;
            }
            if (r.onTime) {
                m_outgoing.emplace(requestIn + r.delay, r.bytes);
                continue;
            }
            const Duration start =
                std::max(requestIn, m_answersFree) + m_options.turnaround + r.delay;
            m_answersFree = start + m_byte * static_cast<long>(r.bytes.size());
            m_outgoing.emplace(start, r.bytes);
            if (r.copyAfter) {
                m_outgoing.emplace(m_answersFree + *r.copyAfter, r.bytes);
            }
        }
        return bytes.size();
    }

    std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) override {
        step();
        const Duration deadline = m_now + std::chrono::milliseconds(timeout_ms);
        arriveUntil(deadline);
        std::size_t got = 0;
        while (got < dest.size() && m_open && !m_arrived.empty() &&
               m_arrived.front().first <= deadline) {
            m_now = std::max(m_now, m_arrived.front().first);
            dest[got++] = m_arrived.front().second;
            m_arrived.pop_front();
        }
        if (got < dest.size()) {
            m_now = deadline;
        }
        return got;
    }

    [[nodiscard]] std::chrono::steady_clock::time_point now() const override {
        return std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(m_now));
    }

    [[nodiscard]] Duration elapsed() const { return m_now; }
    [[nodiscard]] std::size_t unseen() const { return m_unseen; } // thrown away unseen

private:
    void step() { m_now += m_options.perCall; }

    // Whatever is due by t starts down the line, one transmission after another.
    void arriveUntil(Duration t) {
        while (!m_outgoing.empty() && m_outgoing.begin()->first <= t) {
            auto node = m_outgoing.extract(m_outgoing.begin());
            const Duration start = std::max(node.key(), m_lineFree);
            const auto& bytes = node.mapped();
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                m_arrived.emplace_back(start + m_byte * static_cast<long>(i + 1), bytes[i]);
            }
            m_lineFree = start + m_byte * static_cast<long>(bytes.size());
        }
    }

    sim::Responder& m_responder;
    VirtualLineOptions m_options;
    Duration m_byte;
    Duration m_now{0};
    Duration m_inboundFree{0};
    Duration m_answersFree{0};
    Duration m_lineFree{0};
    std::multimap<Duration, std::vector<std::uint8_t>> m_outgoing;
    std::deque<std::pair<Duration, std::uint8_t>> m_arrived;
    std::size_t m_unseen = 0;
    bool m_open = false;
    bool m_dropped = false;
};

} // namespace veltra::fakes
