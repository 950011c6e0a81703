#pragma once
// The instrument's side of the serial protocol: takes the bytes the program sends, frames them
// (7-byte request header with its CRC, then for writes the data and their CRC), answers reads
// with a 7-byte reply header and the data with their CRC, and applies writes. Requests with a
// bad CRC, an unknown command, or a length or address the instrument does not serve get no
// answer, as a real instrument stays silent.
//
// Faults can be queued for the next read replies, or drawn at a seeded rate, to reproduce a
// failing link: silence, a short reply, a bad header or data CRC, garbage, a delay, or the
// port disappearing.

#include "instrument_model.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <utility>
#include <vector>

namespace veltra::sim {

enum class FaultKind {
    silence,      // no answer at all
    truncated,    // the header and half of the data, no CRC
    badHeaderCrc, // the whole answer, with the reply header's CRC spoiled
    badDataCrc,   // the whole answer, with the data CRC spoiled
    garbage,      // random bytes instead of the answer
    delay,        // the right answer, late by delay_ms; the answers after it wait for it
    dropPort,     // the device disappears, as an unplugged adapter does
    headerOnly,   // the reply header and nothing after it
    repeat,       // the right answer, and a copy of it delay_ms after it ended (0: at once)
};

struct Fault {
    FaultKind kind = FaultKind::silence;
    int count = 1;     // read requests it applies to
    int delay_ms = 0;  // for delay
    int skipReads = 0; // read answers that go out untouched before the fault applies
};

// One to three faults of a slow or bursty line (a Bluetooth serial port, a busy USB hub), each
// after up to 300 untouched read answers: an answer 1.1 to 5 s late, an answer sent twice (at
// once, or up to 40 ms later), a reply header with no data, a cut, garbled or spoiled answer, or
// none at all. The same generator gives the same faults, for tests on any kind of line.
[[nodiscard]] std::vector<Fault> randomLineFaults(std::mt19937& rng);

// What the endpoint must do after a request: send bytes (after a delay), or drop the port.
struct Response {
    std::vector<std::uint8_t> bytes;
    std::chrono::microseconds delay{0};
    bool dropPort = false;
    // The same bytes once more, this long after the first ones ended; the instrument answers
    // the next requests meanwhile.
    std::optional<std::chrono::milliseconds> copyAfter;
    // Sent exactly delay after the request arrived, whatever else is on its way (a replayed
    // trace says when every byte came); otherwise after the answers ahead of it and a turnaround.
    bool onTime = false;
};

// What answers the program's bytes: the simulated instrument, or a replayed trace.
class Responder {
public:
    Responder() = default;
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;
    virtual ~Responder() = default;
    // Feeds received bytes; returns what to send back, in order.
    virtual std::vector<Response> receive(std::span<const std::uint8_t> bytes) = 0;
};

struct ServerStats {
    std::uint64_t bytesReceived = 0;
    std::uint64_t reads = 0;    // read requests answered (or faulted)
    std::uint64_t writes = 0;   // write requests applied
    std::uint64_t rejected = 0; // frames ignored: bad CRC, unknown command, bad length
    std::uint64_t faultsApplied = 0;
};

struct ServerOptions {
    std::uint32_t seed = 1;
    double faultRate = 0.0;            // probability of a random fault on each read
    bool answerWritesWithJunk = false; // a peer that babbles after every write
    // The reply header repeats the request's command, length and address; without it, its
    // first five bytes are arbitrary (with a CRC that checks), since nothing is promised.
    bool echoHeader = true;
    // The kinds a random fault is drawn from (empty: all but dropping the port).
    std::vector<FaultKind> randomKinds = {};
    // How late a random delay's answer comes, and how long after its answer a random repeat's
    // copy follows: drawn evenly from each range, in milliseconds.
    std::pair<int, int> randomDelay_ms{200, 200};
    std::pair<int, int> randomCopy_ms{200, 200};
};

class ProtocolServer final : public Responder {
public:
    explicit ProtocolServer(InstrumentModel& model, ServerOptions options = {});

    std::vector<Response> receive(std::span<const std::uint8_t> bytes) override;

    void injectFault(Fault fault);
    void clearFaults();
    [[nodiscard]] ServerStats stats() const;
    // Every complete request frame as received (header, data and CRC), oldest first.
    [[nodiscard]] std::vector<std::vector<std::uint8_t>> requestLog() const;
    void clearRequestLog();

private:
    // One frame out of m_pending, if complete; called with m_mutex held.
    bool takeFrame(std::vector<Response>& out);
    std::vector<std::uint8_t> answerRead(std::uint8_t command, std::uint16_t length,
                                         std::uint16_t address, bool& served);
    void applyWrite(std::uint8_t command, std::span<const std::uint8_t> data);
    Response withFault(std::vector<std::uint8_t> reply);
    std::vector<std::uint8_t> randomBytes(std::size_t n);

    InstrumentModel& m_model;
    ServerOptions m_options;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_pending;
    std::deque<Fault> m_faults;
    std::mt19937 m_rng;
    ServerStats m_stats;
    std::vector<std::vector<std::uint8_t>> m_log;
};

} // namespace veltra::sim
