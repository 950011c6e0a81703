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
//  2. Records are read in batches; a batch counts only once a proof after it passed: a request
//     whose answer has another length came back whole with nothing waiting before it. Were the
//     line one answer or more behind, the proof would be handed a record's 19-byte answer
//     followed by other bytes and fail its CRC, and a record read handed a proof's answer fails
//     the same way. So a passed proof shows that every read since the last proof had its own
//     answer. The proof is the identity probe (command 0x10 at 0x80, 29 bytes) until the read
//     has had a failure; from then on proofs take turns among the current-data block (58
//     bytes), the parameter readout (84 bytes) and the identity probe, so that the answer to an
//     earlier proof, held back by a stalled line and let go later, cannot pass for the next.
//  3. A record that repeats any answer heard under another record's number during this read
//     (a copy of an answer, however late, is one of these), other than by continuing a run of
//     equal records, has a proof within a few records; so has the first record after such a
//     run, since inside a run an answer one too many looks like the right one. A shift is
//     caught where it starts.
//  4. A proof shows the line in step, not that a repeating record is its own: a late answer
//     taken by a request the instrument left unanswered passes it. So the record that repeats,
//     the kept ones it repeats, and the last record of a run of equal records (a copy taken
//     there looks like the run going on) are read once more, together right after the next
//     proof passed (so the line was in step when the second hearings began), and kept when
//     two proven hearings agree. Every record is heard in the end, so a late answer kept under
//     a wrong number always meets its own record's answer, whichever came first. A second
//     hearing that disagrees sends every kept record holding the new answer to be heard again,
//     so a shift that slipped between two proofs (a late answer, then an unanswered request)
//     is undone record by record.
//  5. After any failure or unexpected byte, the records since the last proof are dropped and read
//     again, in short batches that grow back as proofs pass; when the failed reply had started
//     to arrive, the line is first drained until it has been quiet for a full reply time-out. A
//     request that got nothing at all is repeated at once: its own wait was that quiet time.
//
// The faults this defeats: an answer later than its time-out (the request is repeated, the late
// answer and the repeat's own both come, one too many: rule 3 or the next proof; or a later
// request goes unanswered and its record takes the late answer: rule 4); an answer sent
// twice, at once or a few milliseconds later (one too many without any failure: rule 1 when the
// copy is already there at the next purge, else rules 3 and 2); a reply header with no data, a
// short, spoiled or garbled answer (rule 1, by its byte count or CRC); a line that stalls for
// seconds and then lets the answers it held go in order (rules 2 and 4). None of this looks at
// the reply header's contents.
//
// What it cannot see: the same pair of faults fooling both hearings of a record (a late answer
// taken by an unanswered request, twice, with the same record's answer); a stall that holds back
// the answers to three or more proofs and lets them go just where the same kinds are asked again in
// the same order with as many records between; and a spliced answer whose CRC-16 checks by chance
// (1 in 65 536).
//
// The budget of failed transactions holds for the whole read: the eleventh failure anywhere ends
// it. A proof that fails, a reply with unexpected bytes before it, and a second hearing that
// disagrees with the first count as failures.

#include "archive/archive_image.h"
#include "instrument/transactions.h"

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace veltra::instrument {

inline constexpr int archiveFailureBudget = 10; // failed transactions for one whole read

class InStepRule {
public:
    enum class Step { readRecord, prove, settle, done, givenUp };
    // What a proof asks: each answer has a length of its own (29, 58 and 84 bytes).
    enum class Proof { identity, currentData, parameters };

    static constexpr int cleanBatch = 100;   // the first batch of a read
    static constexpr int longestBatch = 200; // batches double up to this while proofs pass
    static constexpr int doubtBatch = 4;     // the first batch after a failure
    // A record that asks for a proof has it within this many records, so that neighbours that
    // ask too (a repeat, a run that starts and ends) share one.
    static constexpr int proofWithin = 4;

    // Records go into the image as they arrive; the unproven ones are zeroed when they are
    // dropped, so the image only ever holds right records and, after them, zeros or records
    // still to be proven.
    explicit InStepRule(archive::ArchiveImage& image, int failureBudget = archiveFailureBudget);

    [[nodiscard]] Step next() const;
    // The record to ask for when next() is readRecord.
    [[nodiscard]] std::uint16_t record() const {
        return static_cast<std::uint16_t>(confirming() ? m_group[m_seconds.size()] : m_next);
    }

    void recordAnswered(const ReadResult<archive::RecordBytes>& read);
    // The proof to ask when next() is prove.
    [[nodiscard]] Proof proof() const;
    void proofAnswered(const ReadFacts& read, bool ok);
    template <class Record> void proofAnswered(const ReadResult<Record>& read) {
        proofAnswered(read, read.ok());
    }
    void settled(const link::DrainReport& drain);
    // The unproven records go.
    void abandon();
    // The read ends early: the unproven records go, and so do those from the first record still
    // to be heard a second time on, so the image holds only records known to be right.
    void endEarly();

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
    struct Check {
        bool prove = false;           // prove the line before going on
        bool copy = false;            // record i repeats another record's heard answer
        bool confirmPrevious = false; // a run of equal records ended at i: hear its last again
        bool confirmThis = false;     // a run reaches the archive's end at i: hear i again
    };
    // What record i, just heard, asks for: a proof when it repeats what another record's request
    // brought (other than by continuing a run) or a run ends at it.
    [[nodiscard]] Check checkAt(int i, const archive::RecordBytes& record) const;
    void hear(int i, const archive::RecordBytes& answer);
    // Every record below `below` whose last hearing is record i's is to be heard once more.
    void confirmCopiesOf(int i, int below);
    [[nodiscard]] bool proofDue() const { return m_next >= m_batchEnd; }
    // Right after a passed proof, the kept records waiting for a second hearing are read as a
    // group, before the next batch: the line was in step when the group began, so a shift that
    // fooled the first hearings cannot repeat itself in the second. A proof within a few
    // records covers them.
    [[nodiscard]] bool confirming() const { return m_seconds.size() < m_group.size(); }
    void toConfirm(int i);
    // What the second hearings found, once the proof after them passed.
    void applySeconds(const std::vector<int>& group,
                      const std::vector<archive::RecordBytes>& seconds);

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
    int m_proofsSinceFailure = -1; // counted from the read's first failure
    // The last answer heard for each record number in this read, and every different answer
    // heard for it, dropped passes included.
    std::array<archive::RecordBytes, archive::recordCapacity> m_heard{};
    std::array<std::vector<archive::RecordBytes>, archive::recordCapacity> m_history;
    // Records whose second proven hearing is still to come, in order; and those that had it.
    std::vector<int> m_toConfirm;
    std::array<bool, archive::recordCapacity> m_confirmed{};
    std::vector<int> m_group;                    // the records being heard a second time
    std::vector<archive::RecordBytes> m_seconds; // what they brought, awaiting the next proof
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
