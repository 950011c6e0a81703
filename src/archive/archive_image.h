#pragma once
// The local copy of the instrument's archive and the session walk over it.
//
// Sessions: the session walk (assignSessions) gives every sample a session number, walking the
// records in order with three rules: a sample whose time is earlier than the latest sample's
// before it starts a new session (the clock was set back); a blank record adds a boundary; a
// record that is not a sample and is directly followed by a blank record takes one away. So a
// run of blanks counts once, and the session number can fall below 1 (such samples are never
// shown). A session has no stored form: every operation that needs one walks the image again.

#include "archive/archive_record.h"

#include <array>
#include <cstdint>
#include <optional>

namespace veltra::archive {

struct ArchiveImage {
    static constexpr std::size_t size = recordCapacity * recordSize + recordSize; // 8010
    std::array<std::uint8_t, size> bytes{}; // record i at 10*i; the last 10 bytes stay 0
    bool loaded = false;                    // a complete read; false after a failed one
    int sessionCount = 1;                   // sessions found by the last complete read
    int currentSession = 0;                 // the session on view, 1-based (0 after an erase)

    [[nodiscard]] std::span<const std::uint8_t, recordSize> recordBytes(std::size_t i) const {
        return std::span<const std::uint8_t, size>(bytes)
            .subspan(i * recordSize)
            .first<recordSize>();
    }
    [[nodiscard]] ArchiveRecord record(std::size_t i) const {
        return decodeRecord(recordBytes(i), static_cast<int>(i));
    }
    void setRecord(std::size_t i, const RecordBytes& record);
    void clear() { bytes.fill(0); }
};

// assignSessions, one step per record in order 0..798.
class SessionWalk {
public:
    // Steps over record i, given whether record i + 1 is blank (record 799 for i = 798). Returns
    // the session number of the record; meaningful for samples only.
    int step(const ArchiveRecord& record, bool nextIsBlank);
    // The session number reached; after record 798 it is the session count.
    [[nodiscard]] int session() const { return m_session; }

private:
    int m_session = 1;
    std::int64_t m_lastTime = 0;
    std::int64_t m_prevTime = 0;
};

// Walks records 0..798 of the image, calling visit(record, session) for each.
template <class Visit> int walkSessions(const ArchiveImage& image, Visit&& visit) {
    SessionWalk walk;
    for (std::size_t i = 0; i < passRecords; ++i) {
        const ArchiveRecord record = image.record(i);
        const bool nextIsBlank = image.record(i + 1).isBlank;
        const int session = walk.step(record, nextIsBlank);
        visit(record, session);
    }
    return walk.session();
}

} // namespace veltra::archive
