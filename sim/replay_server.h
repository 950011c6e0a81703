#pragma once
// A replayed serial trace (the program's --trace FILE): the instrument answers as the trace says
// it did. Each request the program sends is taken as the next one the trace recorded, and what
// the program read after that request in the trace (answers, late or doubled ones, garbage, and
// the bytes a purge threw away) is sent again at the same time after it. So a fault a user
// recorded becomes a test.

#include "protocol_server.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace veltra::sim {

class ReplayServer final : public Responder {
public:
    // Reads the trace; error() says why when it cannot (then every request goes unanswered).
    explicit ReplayServer(const std::string& tracePath);

    std::vector<Response> receive(std::span<const std::uint8_t> bytes) override;

    [[nodiscard]] const std::string& error() const { return m_error; }
    [[nodiscard]] std::size_t exchanges() const { return m_exchanges.size(); }
    // Requests that were not the ones the trace recorded (answered as recorded all the same).
    [[nodiscard]] std::size_t mismatches() const;
    [[nodiscard]] std::size_t replayed() const;

private:
    struct Answer {
        std::chrono::microseconds after;
        std::vector<std::uint8_t> bytes;
    };
    struct Exchange {
        std::vector<std::uint8_t> request;
        std::vector<Answer> answers;
    };

    std::vector<Exchange> m_exchanges;
    std::string m_error;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_next = 0;
    std::size_t m_mismatches = 0;
};

} // namespace veltra::sim
