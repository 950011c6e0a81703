#pragma once
// Reading the instrument's 800 archive records so that no answer is ever kept under another
// record's number.
//
// The protocol has no sequence numbers: an answer carries no sign of the request it belongs to.
// What it does promise is that answers come in request order, that each answer's length is fixed
// by its request (an archive record's is 7 + 10 + 2 = 19 bytes), that a purge throws away what
// has arrived (and counts it), and the read time-outs. The rule below keeps a record only when the
// line is known to be in step:
//
//  1. A reply counts only when exactly its 19 bytes came, both CRCs check, and nothing was
//     waiting on the line when the request was about to go out (bytes a purge would throw away
//     are an answer nobody asked for: the line is not in step).
//  2. Records are read in batches; a batch counts only once a proof after it passed: a request
//     whose answer has another length came back whole with nothing waiting before it. Were the
//     line one answer or more behind, the proof would be handed a record's 19-byte answer
//     followed by other bytes and fail its CRC, and a record read handed a proof's answer fails
//     the same way. So a passed proof shows that every read since the last proof had its own
//     answer. The proof is the identity probe (command 0x10 at 0x80, 29 bytes); after a proof
//     that got nothing the next is of another kind, in turn the current-data block (58 bytes)
//     and the parameter readout (84 bytes), so that the answer to an earlier proof, held back
//     by a stalled line and let go later, cannot pass for the next (rule 6).
//  3. A record that repeats any answer heard under another record's number during this read
//     (a copy of an answer, however late, is one of these), other than by continuing a run of
//     equal records, has a proof within a few records; so has the first record after such a
//     run, since inside a run an answer one too many looks like the right one. A shift is
//     caught where it starts.
//  4. A proof shows the line in step, not that a repeating record is its own: one answer too
//     many (a copy, or a repeat's answer after the late one) taken where the instrument left a
//     request unanswered passes it. So the record that repeats, the kept ones it repeats, and
//     the last record of a run of equal records (a copy taken there looks like the run going
//     on) are read once more, together right after the next proof passed (so the line was in
//     step when the second hearings began), and kept when two proven hearings agree. Every
//     answer too many repeats one already heard under its own record's number (rule 6 makes a
//     late one so), so a shift that slipped between two proofs starts at a record rule 3 marked.
//     A second hearing that disagrees sends every kept record holding the new answer, and every
//     one holding the old answer (a run of equal records the shift made, say), to be heard
//     again, so the rest of such a shift is undone record by record.
//  5. After any failure or unexpected byte other than a request that got nothing, the records
//     since the last proof are dropped and read again, in short batches that grow back as
//     proofs pass, and the line is first drained until it has been quiet for a full reply
//     time-out, so that nothing an earlier request set going is still on its way. (A purge
//     cannot stand in for the drain: bytes that arrive after it are read as the next answer.)
//  6. A record request that failed (it got nothing, or a reply that was not wholly its answer)
//     may still be answered, however late, and that answer would be taken by whatever record
//     is asked next. So no other record is asked: the failed one is asked again, after the
//     drain of rule 5 when there is one, until an answer to it is heard; a late answer, if it
//     comes, is taken by its own record's request, and every answer heard after it that
//     repeats it is a copy (rule 3). When the reading went back meanwhile, that request is
//     asked before the reading goes on, and its answer is only heard, not kept. A silence
//     alone drops nothing: the next proof still decides. A proof that got nothing is followed
//     by a proof of another kind, which its late answer cannot pass for; a late proof answer
//     taken by a record request fails by its length.
//
// The faults this defeats: an answer later than its time-out (rule 6: taken by the repeated
// request; its repeat's answer is then one too many: rule 1 when it is already there at the
// next purge, else rule 3 and the next proof); an answer sent twice, at once or a few
// milliseconds later (one too many without any failure: rule 1 when the copy is already there at
// the next purge, else rules 3 and 2); one too many that a request the instrument left
// unanswered evens out before the proof (rule 4); a reply header with no data, a short,
// spoiled or garbled answer (rule 1, by its byte count or CRC); a line that stalls for seconds
// and then lets the answers it held go in order (rule 6: they are all answers to the same
// request). None of this looks at the reply header's contents, and none of it relies on the
// purge having seen a byte: a purge that threw a byte away unseen would only make a line one
// answer short, which is rule 4's case.
//
// What it cannot see: the same pair of faults fooling both hearings of a record (an answer
// given twice, taken by an unanswered request, twice, with the same record's answer); and a
// spliced answer whose CRC-16 checks by chance (1 in 65 536).
//
// The failure budget, as the eleventh failure ends a read anywhere, counts the line's faults,
// not every failure the rule finds because of one:
//  - a request that got nothing in its time always counts (a dead line ends after eleven,
//    about 11 s), and opens a window: its answer may still be on its way;
//  - any other failure (a reply cut short, spoiled or garbled, bytes waiting before a request,
//    a proof that fails) counts unless it falls in such a window, where each silence excuses
//    one: the late answer found at the next purge, or the proof it spoiled. The drain after
//    that failure closes the window, and so does a proof that passes. A drain that does not
//    fall quiet always counts;
//  - a second hearing that disagrees counts unless the first hearing was made in a window.
// So every uncounted failure is paired with a counted silence or with a record heard in a
// window of one, which is heard again outside it: a line that keeps failing still spends the
// budget, at worst one failure in two. Behind that, one read makes at most workCap transactions
// (four for each record: a clean read of any archive takes under three), so that no pattern of
// the line can keep it going; past it the read ends as one that spent its budget.

#include "archive/archive_image.h"
#include "instrument/transactions.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace veltra::instrument {

inline constexpr int archiveFailureBudget = 10; // faults of the line retried in one whole read

// The failure budget, as the rule's comment counts it.
class FailureBudget {
public:
    explicit FailureBudget(int faults) : m_budget(faults) {}

    // A request that got nothing in its time: counted, and it excuses one later failure.
    void silence() {
        ++m_failures;
        ++m_counted;
        ++m_excused;
    }
    // Any other failure: excused when a silence before it may explain it, else counted.
    void failure() {
        ++m_failures;
        if (m_excused > 0) {
            --m_excused;
        } else {
            ++m_counted;
        }
    }
    // A failure that counts whatever came before it (a line that does not fall quiet).
    void failureAlways() {
        ++m_failures;
        ++m_counted;
    }
    // A failure already paid for (a second hearing that disagrees with one heard in a window).
    void echo() { ++m_failures; }
    // The line is shown to have nothing on its way: a drain fell quiet or a proof passed.
    void clear() { m_excused = 0; }

    // A window is open: an answer to a request that got nothing may still come.
    [[nodiscard]] bool windowOpen() const { return m_excused > 0; }
    [[nodiscard]] bool spent() const { return m_counted > m_budget; }
    [[nodiscard]] int counted() const { return m_counted; }
    [[nodiscard]] int failures() const { return m_failures; }

private:
    int m_budget;
    int m_counted = 0;  // faults spent from the budget
    int m_failures = 0; // every failed transaction and every sign of a shift, echoes included
    int m_excused = 0;
};

// What was heard in one read: for each record number the last answer and whether it was heard
// in a window (a silence's answer could still come), every different answer heard under it
// (dropped passes included), and the records that wait for their second proven hearing
// (rule 4), in order, and those that had it.
class HearingLedger {
public:
    using Answer = archive::RecordBytes;

    // Record i's answer heard.
    void hear(int i, const Answer& answer, bool inWindow);
    // Only added to what was heard under i: a request asked so that a late answer lands there.
    void remember(int i, const Answer& answer);
    [[nodiscard]] const Answer& last(int i) const { return m_last[at(i)]; }
    [[nodiscard]] bool lastInWindow(int i) const { return m_lastInWindow[at(i)]; }
    // Rule 3: the answer was heard under another record's number during this read.
    [[nodiscard]] bool heardUnderAnother(int i, const Answer& answer) const;

    // Rule 4: record i is to be heard once more, unless it had its second hearing.
    void toConfirm(int i);
    // Rule 4: so is every record below `below` whose last hearing is record i's; and every one
    // below it, but `except`, whose last hearing is the answer given.
    void confirmCopiesOf(int i, int below);
    void confirmHolders(const Answer& answer, int except, int below);
    // Rule 4: record i's two proven hearings agreed.
    void confirmed(int i);
    // The records from first on are heard afresh when they are read again.
    void forgetWaitingFrom(int first);
    [[nodiscard]] const std::vector<int>& waiting() const { return m_waiting; }

private:
    static std::size_t at(int i) { return static_cast<std::size_t>(i); }

    std::array<Answer, archive::recordCapacity> m_last{};
    std::array<bool, archive::recordCapacity> m_lastInWindow{};
    std::array<std::vector<Answer>, archive::recordCapacity> m_all;
    std::vector<int> m_waiting;
    std::array<bool, archive::recordCapacity> m_confirmed{};
};

// When to prove (rule 2): the batch the next proof closes, how long batches grow, and the kind
// of the next proof.
class ProofSchedule {
public:
    // What a proof asks: each answer has a length of its own (29, 58 and 84 bytes).
    enum class Proof { identity, currentData, parameters };

    // The first batch is short, so that a read that ends in its first records keeps what it
    // proved; batches double up to the longest while proofs pass.
    static constexpr int cleanBatch = 8;
    static constexpr int longestBatch = 200;
    // Once the read has had a failure they grow only to this, so that a failure costs few
    // records read again.
    static constexpr int faultyBatch = 24;
    static constexpr int doubtBatch = 4; // the first batch after a failure (rule 5)
    // A record that asks for a proof (rule 3) has it within this many records, so that
    // neighbours that ask too (a repeat, a run that starts and ends) share one.
    static constexpr int proofWithin = 4;

    // A proof is due before record `next` is read.
    [[nodiscard]] bool due(int next) const { return next >= m_batchEnd; }
    // Rule 3: a proof within a few records of `next`.
    void proveWithin(int next);
    // The read had a failure: batches stay short from now on.
    void failed() { m_failedBefore = true; }
    // Rule 6: a request that got nothing; short batches and a proof soon.
    void silence(int next);
    // Rule 5: the records since the last proof went; a short batch from the last proven one.
    void restart(int verified);
    // Rule 2: a proof passed with `next` records read; the batches grow back.
    void passed(int next);
    [[nodiscard]] Proof proof() const;
    // Rule 6: the proof after one that got nothing is of another kind; any answer brings the
    // identity probe back.
    void proofHeard(bool silent) { m_proofTurn = silent ? m_proofTurn + 1 : 0; }

private:
    static constexpr int records = static_cast<int>(archive::recordCapacity);
    int m_batch = cleanBatch;
    int m_batchEnd = cleanBatch;
    bool m_failedBefore = false;
    int m_proofTurn = 0;
};

class InStepRule {
public:
    enum class Step { readRecord, prove, settle, done, givenUp };
    using Proof = ProofSchedule::Proof;
    static constexpr int cleanBatch = ProofSchedule::cleanBatch;
    static constexpr int doubtBatch = ProofSchedule::doubtBatch;
    static constexpr int proofWithin = ProofSchedule::proofWithin;
    // The most transactions one read makes (record reads, second hearings and proofs).
    static constexpr int workCap = 4 * static_cast<int>(archive::recordCapacity);

    // Records go into the image as they arrive; the unproven ones are zeroed when they are
    // dropped, so the image only ever holds right records and, after them, zeros or records
    // still to be proven.
    explicit InStepRule(archive::ArchiveImage& image, int failureBudget = archiveFailureBudget);

    [[nodiscard]] Step next() const;
    // The record to ask for when next() is readRecord.
    [[nodiscard]] std::uint16_t record() const {
        return static_cast<std::uint16_t>(owedApart() ? *m_owed : naturalRecord());
    }

    void recordAnswered(const ReadResult<archive::RecordBytes>& read);
    // The proof to ask when next() is prove.
    [[nodiscard]] Proof proof() const;
    // True when the proof passed.
    bool proofAnswered(const ReadFacts& read, bool ok);
    template <class Record> bool proofAnswered(const ReadResult<Record>& read) {
        return proofAnswered(read, read.ok());
    }
    void settled(const link::DrainReport& drain);
    // The unproven records go.
    void abandon();
    // The read ends early: the unproven records go, and so do those from the first record still
    // to be heard a second time on, so the image holds only records known to be right.
    void endEarly();

    [[nodiscard]] int verified() const { return m_verified; } // records 0..verified-1 are right
    [[nodiscard]] int position() const { return m_next; }     // read so far, unproven included
    [[nodiscard]] int failures() const { return m_budget.failures(); }
    [[nodiscard]] int faults() const { return m_budget.counted(); } // spent from the budget
    [[nodiscard]] int transactions() const { return m_transactions; }
    [[nodiscard]] int proofs() const { return m_proofs; }
    [[nodiscard]] bool overWorked() const { return m_transactions >= workCap; }

private:
    // The record the reading itself asks for next: a second hearing or the next in order.
    [[nodiscard]] int naturalRecord() const {
        return confirming() ? m_group[m_seconds.size()] : m_next;
    }
    // A record whose request failed is owed, and is asked before another when the reading went
    // back meanwhile.
    [[nodiscard]] bool owedApart() const { return m_owed && *m_owed != naturalRecord(); }
    // Counts a transaction and what it found: false when it brought no good answer or bytes
    // were waiting before it. A request that got nothing leaves the reading where it is.
    bool answered(const ReadFacts& read, bool ok);
    // A failed or doubtful transaction (rule 5): the unproven records go, the line is drained.
    void doubt();
    struct Check {
        bool prove = false;           // prove the line before going on
        bool copy = false;            // record i repeats another record's heard answer
        bool confirmPrevious = false; // a run of equal records ended at i: hear its last again
        bool confirmThis = false;     // a run reaches the archive's end at i: hear i again
    };
    // What record i, just heard, asks for: a proof when it repeats what another record's request
    // brought (other than by continuing a run) or a run ends at it.
    [[nodiscard]] Check checkAt(int i, const archive::RecordBytes& record) const;
    // Right after a passed proof, the kept records waiting for a second hearing are read as a
    // group, before the next batch: the line was in step when the group began, so a shift that
    // fooled the first hearings cannot repeat itself in the second. A proof within a few
    // records covers them.
    [[nodiscard]] bool confirming() const { return m_seconds.size() < m_group.size(); }
    // What the second hearings found, once the proof after them passed.
    void applySeconds(const std::vector<int>& group,
                      const std::vector<archive::RecordBytes>& seconds,
                      const std::vector<bool>& secondsInWindow);

    archive::ArchiveImage& m_image;
    FailureBudget m_budget;
    HearingLedger m_ledger;
    ProofSchedule m_schedule;
    int m_verified = 0;
    int m_next = 0;
    bool m_settle = false;
    bool m_started = false; // a transaction was made: bytes waiting before the first are old
    int m_transactions = 0;
    int m_proofs = 0;
    std::optional<int> m_owed;                   // a record whose request failed, not heard since
    std::vector<int> m_group;                    // the records being heard a second time
    std::vector<archive::RecordBytes> m_seconds; // what they brought, awaiting the next proof
    std::vector<bool> m_secondsInWindow;         // whether each was heard in a window
};

// The quiet time and its limit when the line is drained after a failure.
inline constexpr int settleQuiet_ms = link::DeviceLink::readTimeout_ms(link::Frame::size);
inline constexpr int settleLimit_ms = 3 * settleQuiet_ms;

struct ArchiveReading {
    // givenUp: the budget was spent; overWorked: the line never let the read finish within
    // the rule's cap on work. Both end as a failed read.
    enum class End { read, givenUp, overWorked, interrupted };
    End end = End::read;
    int recordsRead = 0;  // records 0..recordsRead-1 are in the image and right; zeros after
    int faults = 0;       // spent from the budget
    int failures = 0;     // failed transactions and signs of a shift, echoes included
    int transactions = 0; // record reads and proofs
    int proofs = 0;
    // The instrument's identity (command 0x10 at 0x80), as an identity proof that passed
    // brought it: the same instrument whose records these are.
    std::optional<IdentityBlock> identity;
};

// Reads the whole archive into the image on the port the caller opened, by the rule above.
// progress is told the records read so far after every step (it can go back when unproven
// records are dropped). An interruption of the link (a signal) ends the read after the step
// under way, with the proven records kept.
ArchiveReading readArchiveRecords(link::DeviceLink& link, archive::ArchiveImage& image,
                                  const std::function<void(int recordsRead)>& progress);

} // namespace veltra::instrument
