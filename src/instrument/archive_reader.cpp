#include "instrument/archive_reader.h"

#include <algorithm>
#include <utility>

namespace veltra::instrument {

namespace {

constexpr int capacity = static_cast<int>(archive::recordCapacity);

// A request that got nothing at all in its time.
bool silent(const ReadFacts& read) {
    return read.outcome == Outcome::noHeader && read.received == 0;
}

} // namespace

void HearingLedger::remember(int i, const Answer& answer) {
    auto& all = m_all[at(i)];
    if (std::find(all.begin(), all.end(), answer) == all.end()) {
        all.push_back(answer);
    }
}

void HearingLedger::hear(int i, const Answer& answer, bool inWindow) {
    m_last[at(i)] = answer;
    m_lastInWindow[at(i)] = inWindow;
    remember(i, answer);
}

bool HearingLedger::heardUnderAnother(int i, const Answer& answer) const {
    for (int k = 0; k < capacity; ++k) {
        const auto& all = m_all[at(k)];
        if (k != i && std::find(all.begin(), all.end(), answer) != all.end()) {
            return true;
        }
    }
    return false;
}

void HearingLedger::toConfirm(int i) {
    const auto place = std::lower_bound(m_waiting.begin(), m_waiting.end(), i);
    if (!m_confirmed[at(i)] && (place == m_waiting.end() || *place != i)) {
        m_waiting.insert(place, i);
    }
}

void HearingLedger::confirmCopiesOf(int i, int below) {
    confirmHolders(m_last[at(i)], i, below);
}

void HearingLedger::confirmHolders(const Answer& answer, int except, int below) {
    for (int k = 0; k < below; ++k) {
        if (k != except && m_last[at(k)] == answer) {
            toConfirm(k);
        }
    }
}

void HearingLedger::confirmed(int i) {
    m_confirmed[at(i)] = true;
    m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), i));
}

void HearingLedger::forgetWaitingFrom(int first) {
    m_waiting.erase(std::lower_bound(m_waiting.begin(), m_waiting.end(), first), m_waiting.end());
}

void ProofSchedule::proveWithin(int next) {
    m_batchEnd = std::min({m_batchEnd, next + proofWithin, records});
}

void ProofSchedule::silence(int next) {
    m_batch = doubtBatch;
    proveWithin(next);
}

void ProofSchedule::restart(int verified) {
    m_batch = doubtBatch;
    m_batchEnd = std::min(records, verified + m_batch);
}

void ProofSchedule::passed(int next) {
    m_batch = std::min(m_failedBefore ? faultyBatch : longestBatch, 2 * m_batch);
    m_batchEnd = std::min(records, next + m_batch);
}

ProofSchedule::Proof ProofSchedule::proof() const {
    constexpr std::array turns{Proof::identity, Proof::currentData, Proof::parameters};
    return turns[static_cast<std::size_t>(m_proofTurn) % turns.size()];
}

InStepRule::InStepRule(archive::ArchiveImage& image, int failureBudget)
    : m_image(image), m_budget(failureBudget) {}

InStepRule::Step InStepRule::next() const {
    if (m_budget.spent() || overWorked()) {
        return Step::givenUp;
    }
    if (m_settle) {
        return Step::settle;
    }
    if (m_verified == capacity && m_ledger.waiting().empty() && !m_owed) {
        return Step::done;
    }
    if (owedApart() || confirming() || !m_schedule.due(m_next)) {
        return Step::readRecord;
    }
    return Step::prove;
}

bool InStepRule::answered(const ReadFacts& read, bool ok) {
    ++m_transactions;
    // Rule 1: its own bytes exactly, both CRCs right, and nothing waiting before the request.
    const bool staleBefore = m_started && read.stale > 0;
    m_started = true;
    if (ok && !staleBefore) {
        return true;
    }
    m_schedule.failed();
    if (silent(read)) {
        // Rule 6: nothing is dropped and nothing else is asked; a proof within a few records.
        m_budget.silence();
        m_schedule.silence(m_next);
        if (!staleBefore) {
            return false;
        }
    }
    m_budget.failure();
    doubt(); // rule 5
    return false;
}

void InStepRule::recordAnswered(const ReadResult<archive::RecordBytes>& read) {
    const int asked = record();
    const bool apart = owedApart();
    const bool confirmingNow = !apart && confirming();
    const bool inWindow = m_budget.windowOpen();
    if (!answered(read, read.ok())) {
        m_owed = asked; // rule 6: its answer may still come; asked again before another
        return;
    }
    if (m_owed == asked) {
        m_owed.reset();
    }
    if (apart) {
        // Rule 6: asked only so that a late answer to it lands here: heard, not kept.
        m_ledger.remember(asked, *read.value);
        return;
    }
    if (confirmingNow) {
        // Rule 4: a second hearing, weighed once the proof after the group passed.
        m_seconds.push_back(*read.value);
        m_secondsInWindow.push_back(inWindow);
        return;
    }
    // Rule 2: in the image at once, dropped again unless the proof after its batch passes.
    const auto i = static_cast<std::size_t>(m_next);
    m_image.setRecord(i, *read.value);
    const Check check = checkAt(m_next, *read.value);
    m_ledger.hear(m_next, *read.value, inWindow);
    // Rule 4: what rule 3 marked is heard a second time after the next proof.
    if (check.copy) {
        // This record and every one it repeats that is kept or about to be proven with it.
        m_ledger.toConfirm(m_next);
        m_ledger.confirmCopiesOf(m_next, m_next);
    }
    if (check.confirmPrevious) {
        m_ledger.toConfirm(m_next - 1); // a copy taken where the next record's answer was lost
    }
    if (check.confirmThis) {
        m_ledger.toConfirm(m_next);
    }
    if (check.prove) { // rule 3
        m_schedule.proveWithin(m_next);
    }
    ++m_next;
}

InStepRule::Proof InStepRule::proof() const {
    return m_schedule.proof();
}

bool InStepRule::proofAnswered(const ReadFacts& read, bool ok) {
    ++m_proofs;
    m_schedule.proofHeard(silent(read)); // rule 6
    if (!answered(read, ok)) {
        // A silence keeps the second hearings for the next proof; a doubt drops them.
        return false;
    }
    // Rule 2: every record read since the last proof had its own answer; the batches grow back
    // (rule 5).
    m_budget.clear();
    m_verified = m_next;
    m_schedule.passed(m_next);
    applySeconds(std::exchange(m_group, {}), std::exchange(m_seconds, {}),
                 std::exchange(m_secondsInWindow, {}));
    // Rule 4: every record still waiting is heard now, right after the proof, and proven soon,
    // so that a read ending early keeps as much as it knows to be right.
    m_group = m_ledger.waiting();
    if (!m_group.empty()) {
        m_schedule.proveWithin(m_next);
    }
    return true;
}

void InStepRule::applySeconds(const std::vector<int>& heardAgain,
                              const std::vector<archive::RecordBytes>& seconds,
                              const std::vector<bool>& secondsInWindow) {
    // Rule 4: a record is kept once two proven hearings agree.
    // The records whose hearings disagreed, with what each held before.
    std::vector<std::pair<int, archive::RecordBytes>> disagreed;
    for (std::size_t n = 0; n < seconds.size(); ++n) {
        const int i = heardAgain[n];
        if (seconds[n] == m_ledger.last(i)) {
            m_ledger.confirmed(i);
        } else {
            // The two hearings disagree: one of them was not this record's answer. The newer
            // one is kept and heard once more, and so is any kept record that holds it. Paid
            // for already when either hearing was made while a silence's answer could come.
            if (m_ledger.lastInWindow(i) || secondsInWindow[n]) {
                m_budget.echo();
            } else {
                m_budget.failure();
            }
            m_schedule.failed();
            disagreed.emplace_back(i, m_ledger.last(i));
            m_image.setRecord(static_cast<std::size_t>(i), seconds[n]);
            m_ledger.hear(i, seconds[n], secondsInWindow[n]);
        }
    }
    // Rule 4: the rest of such a shift is undone. The first hearing was an answer that is not
    // this record's: every kept record holding it is heard again too (a run of equal records
    // that the shift made is one), as is every one holding the new answer.
    for (const auto& [i, first] : disagreed) {
        m_ledger.confirmCopiesOf(i, m_verified);
        m_ledger.confirmHolders(first, i, m_verified);
    }
}

// Rule 5: the drain ends once the line has been quiet for a full reply time-out.
void InStepRule::settled(const link::DrainReport& drain) {
    if (drain.quiet) {
        m_settle = false;
        m_budget.clear();
    } else {
        m_budget.failureAlways(); // a line that does not fall quiet: the settle is tried again
    }
}

void InStepRule::abandon() {
    for (int i = m_verified; i < m_next; ++i) {
        m_image.setRecord(static_cast<std::size_t>(i), archive::RecordBytes{});
    }
    m_next = m_verified;
    m_group.clear();
    m_seconds.clear();
    m_secondsInWindow.clear();
    // Unproven records are heard afresh when they are read again.
    m_ledger.forgetWaitingFrom(m_verified);
}

void InStepRule::endEarly() {
    abandon();
    if (!m_ledger.waiting().empty()) {
        m_verified = m_ledger.waiting().front();
        abandon();
    }
}

// Rule 5: the records since the last proof go, short batches, the line drained first.
void InStepRule::doubt() {
    abandon();
    m_schedule.restart(m_verified);
    m_settle = true;
}

// Rule 3.
InStepRule::Check InStepRule::checkAt(int i, const archive::RecordBytes& record) const {
    const auto heard = [this](int k) -> const archive::RecordBytes& { return m_ledger.last(k); };
    const bool last = i == capacity - 1;
    const bool same = i >= 1 && record == heard(i - 1);
    Check check;
    if (i >= 2 && heard(i - 1) == heard(i - 2)) {
        // Inside a run of equal records one answer more or less looks the same; where the run
        // ends (or at the archive's end) its last record is heard once more, and the line is
        // proven before anything else is kept.
        if (same) {
            check.confirmThis = last;
            return check;
        }
        check.prove = check.confirmPrevious = true;
    } else if (same) {
        check.prove = true; // the start of a run: or an answer given twice
        check.confirmThis = last;
        return check;
    }
    if (m_ledger.heardUnderAnother(i, record)) {
        // What another record's request brought, now or in a dropped pass.
        check.prove = check.copy = true;
    }
    return check;
}

ArchiveReading readArchiveRecords(link::DeviceLink& link, archive::ArchiveImage& image,
                                  const std::function<void(int)>& progress) {
    prepareArchiveRead(link);
    image.clear();
    InStepRule rule(image);
    ArchiveReading reading;
    for (bool running = true; running;) {
        switch (rule.next()) {
        case InStepRule::Step::readRecord:
            rule.recordAnswered(readArchiveRecord(link, rule.record()));
            break;
        case InStepRule::Step::prove:
            switch (rule.proof()) {
            case InStepRule::Proof::identity:
                if (const auto answer = probeIdentity(link); rule.proofAnswered(answer)) {
                    reading.identity = answer.value;
                }
                break;
            case InStepRule::Proof::currentData:
                rule.proofAnswered(readCurrentDataBlock(link));
                break;
            case InStepRule::Proof::parameters:
                rule.proofAnswered(readParameterReadout(link));
                break;
            }
            break;
        case InStepRule::Step::settle:
            rule.settled(link.drain(settleQuiet_ms, settleLimit_ms));
            break;
        case InStepRule::Step::done:
            running = false;
            break;
        case InStepRule::Step::givenUp:
            reading.end =
                rule.overWorked() ? ArchiveReading::End::overWorked : ArchiveReading::End::givenUp;
            rule.endEarly();
            running = false;
            break;
        }
        if (running && link.interrupted()) {
            rule.endEarly();
            reading.end = ArchiveReading::End::interrupted;
            running = false;
        }
        if (running && progress) {
            progress(rule.position());
        }
    }
    reading.recordsRead = rule.verified();
    reading.faults = rule.faults();
    reading.failures = rule.failures();
    reading.transactions = rule.transactions();
    reading.proofs = rule.proofs();
    return reading;
}

} // namespace veltra::instrument
