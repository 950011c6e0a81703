#pragma once
// A serial port that answers from a script: every call is logged as a line, each read takes the
// next reply of the script (or nothing), every write is kept. For tests of the link's and the
// device operations' call sequences without a peer.

#include "link/codecs.h"
#include "link/frame.h"
#include "link/serial_port.h"

#include <QStringList>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace veltra::link {

// The script and the log are shared, so a test keeps them after the link took the port.
struct ScriptedPort final : SerialPort {
    struct Shared {
        std::vector<std::string> calls;
        std::deque<std::vector<std::uint8_t>> replies; // one per read call
        std::vector<std::vector<std::uint8_t>> written;
        QStringList openable;
        int failOpens = 0;          // the next opens that fail
        std::size_t writeLimit = 0; // when not 0, a write gets at most this many bytes out
        std::size_t waiting = 0;    // received bytes the next purge throws away
    };
    explicit ScriptedPort(std::shared_ptr<Shared> s) : shared(std::move(s)) {}

    bool open(const QString& name) override {
        shared->calls.push_back("open " + name.toStdString());
        if (shared->failOpens > 0) {
            --shared->failOpens;
            return false;
        }
        opened = shared->openable.contains(name);
        return opened;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    bool readLineSettings() override { return opened; }
    bool applyLineSettings(const LineSettings& s) override {
        shared->calls.push_back("settings " + std::to_string(s.baud) + " " +
                                std::to_string(s.dataBits) + (s.parity ? "E" : "N") +
                                std::to_string(s.stopBits));
        return opened;
    }
    std::size_t purge() override {
        shared->calls.push_back("purge");
        return std::exchange(shared->waiting, 0);
    }
    std::size_t write(std::span<const std::uint8_t> bytes, int timeout_ms) override {
        shared->calls.push_back("write " + std::to_string(bytes.size()) + " within " +
                                std::to_string(timeout_ms));
        shared->written.emplace_back(bytes.begin(), bytes.end());
        return shared->writeLimit != 0 ? std::min(bytes.size(), shared->writeLimit) : bytes.size();
    }
    std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) override {
        shared->calls.push_back("read " + std::to_string(dest.size()) + " within " +
                                std::to_string(timeout_ms));
        if (shared->replies.empty()) {
            return 0;
        }
        const auto reply = shared->replies.front();
        shared->replies.pop_front();
        const std::size_t n = std::min(reply.size(), dest.size());
        std::copy_n(reply.begin(), n, dest.begin());
        return n;
    }

    std::shared_ptr<Shared> shared;
    bool opened = false;
};

inline std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> data) {
    const auto crc = crc16Modbus(data);
    data.push_back(crc.lo);
    data.push_back(crc.hi);
    return data;
}

inline std::vector<std::uint8_t> replyHeader(std::uint8_t command, std::uint16_t length,
                                             std::uint16_t address) {
    const auto h = Frame{command, length, address}.bytes();
    return {h.begin(), h.end()};
}

} // namespace veltra::link
