#pragma once
// Reading the instrument's 800 archive records so that no answer is ever kept under another
// record's number.
//
// The protocol has no sequence numbers: an answer carries no sign of the request it belongs to.
// What it does promise is that answers come in request order, that each answer's length is fixed
// by its request (an archive record's is 7 + 10 + 2 = 19 bytes), that a purge throws away what
// has arrived, and the read time-outs. The rule below keeps a record only when the line is known
// to be in step:
//
//  1. A reply counts only when exactly its 19 bytes came, both CRCs check, and nothing was
//     waiting on the line when the request was about to go out (bytes a purge would throw away
//     are an answer nobody asked for: the line is not in step).
//  2. Records are read in batches; a batch counts only once a proof after it passed: the identity
//     probe (command 0x10 at 0x80), whose answer is 29 bytes long, came back whole with nothing
//     waiting before it. Were the line one answer or more behind, the probe would be handed a
//     record's 19-byte answer followed by other bytes and fail its CRC, and a record read handed
//     a probe's answer fails the same way. So a passed proof shows that every read since the
//     last proof had its own answer.
//  3. A record that repeats one of the few records read just before it (other than by
//     continuing a run of equal records) is proven at once: an answer one too many repeats the
//     record before, so a shift is caught where it starts.
//  4. After any failure or unexpected byte, the records since the last proof are dropped and read
//     again, in short batches that grow back as proofs pass; when the failed reply had started
//     to arrive, the line is first drained until it has been quiet for a full reply time-out. A
//     request that got nothing at all is repeated at once: its own wait was that quiet time.
//
// The faults this defeats: an answer later than its time-out (the request is repeated, the late
// answer and the repeat's own both come, one too many: rule 3 or the next proof); an answer sent
// twice, at once or a few milliseconds later (one too many without any failure: rule 1 when the
// copy is already there at the next purge, else rules 3 and 2); a reply header with no data, a
// short, spoiled or garbled answer (rule 1, by its byte count or CRC). None of this looks at the
// reply header's contents.
//
// What it cannot see: a shift that undoes itself between two proofs, that is an answer one too
// many that does not repeat one of the records just before it (a copy that comes more than eight
// requests late, or a late answer after the line was quiet for a full time-out) and then a
// request the instrument leaves unanswered before the next proof; after a failure the proofs
// come every four records, so this takes two faults within a few records. And a spliced answer
// whose CRC-16 checks by chance (1 in 65 536).
//
// The budget of failed transactions holds for the whole read: the eleventh failure anywhere ends
// it. A proof that fails, and a reply with unexpected bytes before it, count as failures.

#include "archive/archive_image.h"
#include "instrument/transactions.h"

#include <functional>

namespace veltra::instrument {

inline constexpr int archiveFailureBudget = 10; // failed transactions for one whole read

class InStepRule {
public:
    enum class Step { readRecord, prove, settle, done, givenUp };

    static constexpr int cleanBatch = 100; // records between two proofs on a clean line
    static constexpr int doubtBatch = 4;   // the first batch after a failure; doubles back up
    static constexpr int recentRecords = 8;

    // Records go into the image as they arrive; the unproven ones are zeroed when they are
    // dropped, so the image only ever holds right records and, after them, zeros or records
    // still to be proven.
    explicit InStepRule(archive::ArchiveImage& image, int failureBudget = archiveFailureBudget);

    [[nodiscard]] Step next() const;
    // The record to ask for when next() is readRecord.
    [[nodiscard]] std::uint16_t record() const { return static_cast<std::uint16_t>(m_next); }

    void recordAnswered(const ReadResult<archive::RecordBytes>& read);
    void proofAnswered(const ReadResult<IdentityBlock>& read);
    void settled(const link::DrainReport& drain);
    // The read ends early: the unproven records go.
    void abandon();

    [[nodiscard]] int verified() const { return m_verified; } // records 0..verified-1 are right
    [[nodiscard]] int position() const { return m_next; }     // read so far, unproven included
    [[nodiscard]] int failures() const { return m_failures; }
    [[nodiscard]] int transactions() const { return m_transactions; }
    [[nodiscard]] int proofs() const { return m_proofs; }

private:
    // Counts a transaction; false, after doubting, when it brought no good answer or bytes were
    // waiting before it.
    bool answered(const ReadFacts& read, bool ok);
    // A failed or doubtful transaction: one failure, the unproven records go.
    void doubt(bool drainFirst);
    // Whether record i repeats one of the records just before it, other than by continuing a run.
    [[nodiscard]] bool repeatsRecent(int i) const;

    archive::ArchiveImage& m_image;
    int m_budget;
    int m_verified = 0;
    int m_next = 0;
    int m_batch = cleanBatch;
    int m_batchEnd = cleanBatch;
    bool m_settle = false;
    bool m_started = false; // a transaction was made: bytes waiting before the first are old
    int m_failures = 0;
    int m_transactions = 0;
    int m_proofs = 0;
};

// The quiet time and its limit when the line is drained after a failure.
inline constexpr int settleQuiet_ms = link::DeviceLink::readTimeout_ms(link::Frame::size);
inline constexpr int settleLimit_ms = 3 * settleQuiet_ms;

struct ArchiveReading {
    enum class End { read, givenUp, interrupted };
    End end = End::read;
    int recordsRead = 0; // records 0..recordsRead-1 are in the image and right; zeros after
    int failures = 0;
    int transactions = 0; // record reads and proofs
    int proofs = 0;
};

// Reads the whole archive into the image on the port the caller opened, by the rule above.
// progress is told the records read so far after every step (it can go back when unproven
// records are dropped). An interruption of the link (a signal) ends the read after the step
// under way, with the proven records kept.
ArchiveReading readArchiveRecords(link::DeviceLink& link, archive::ArchiveImage& image,
                                  const std::function<void(int recordsRead)>& progress);

} // namespace veltra::instrument
