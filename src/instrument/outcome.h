#pragma once
// What a device operation reports: the decoded record, or what failed. Every operation of this
// floor runs on the port as its caller left it; the caller opens it first (ensurePortOpen) and
// reports a failed open itself, as portNotOpen.

#include "link/device_link.h"
#include "link/outcome.h"

#include <cstdint>
#include <optional>

namespace veltra::instrument {

using link::Outcome;

// How a read transaction went.
struct ReadFacts {
    Outcome outcome = Outcome::ok;
    std::uint32_t received = 0; // reply bytes that arrived, header and data (0: silence)
    std::uint32_t expected = 0; // 7 + length + 2
    std::uint32_t stale = 0;    // bytes waiting before the request, thrown away by its purge
};

// A read transaction: the decoded record when it arrived as asked, else what failed.
template <class Record> struct ReadResult : ReadFacts {
    std::optional<Record> value;

    [[nodiscard]] bool ok() const { return value.has_value(); }
};

// The outcome of the link's read, carried over; the value is the caller's to fill.
template <class Record> [[nodiscard]] ReadResult<Record> resultOf(const link::ReadReport& read) {
    return {{read.outcome, read.received, read.expected, read.stale}, std::nullopt};
}

// A write transaction. The instrument does not acknowledge writes: done means every byte of
// header, data and CRC went out.
struct WriteResult {
    std::uint32_t written = 0;
    std::uint32_t expected = 0; // 7 + length + 2

    [[nodiscard]] bool complete() const { return expected != 0 && written == expected; }
    [[nodiscard]] Outcome outcome() const {
        return complete() ? Outcome::ok
                          : (expected == 0 ? Outcome::refused : Outcome::writtenShort);
    }
};

} // namespace veltra::instrument
