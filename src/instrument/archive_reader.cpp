#include "instrument/archive_reader.h"

#include <algorithm>
#include <utility>

namespace veltra::instrument {

namespace {

constexpr int capacity = static_cast<int>(archive::recordCapacity);

// Whether what the failed transaction left may still be arriving: the reply had started to come
// but not all of it, or bytes were waiting before it. A reply that came whole with a bad CRC,
// and a request that got nothing at all, leave nothing behind.
bool mayLeaveBytes(const ReadFacts& read) {
    return read.stale > 0 || (read.received > 0 && read.outcome != Outcome::dataCrc);
}

} // namespace

InStepRule::InStepRule(archive::ArchiveImage& image, int failureBudget)
    : m_image(image), m_budget(failureBudget) {}

InStepRule::Step InStepRule::next() const {
    if (m_failures > m_budget) {
        return Step::givenUp;
    }
    if (m_settle) {
        return Step::settle;
    }
    if (m_verified == capacity && m_toConfirm.empty()) {
        return Step::done;
    }
    if (confirming() || !proofDue()) {
        return Step::readRecord;
    }
    return Step::prove;
}

bool InStepRule::answered(const ReadFacts& read, bool ok) {
    ++m_transactions;
    const bool staleBefore = m_started && read.stale > 0;
    m_started = true;
    if (!ok || staleBefore) {
        doubt(mayLeaveBytes(read));
        return false;
    }
    return true;
}

void InStepRule::recordAnswered(const ReadResult<archive::RecordBytes>& read) {
    if (confirming()) {
        if (answered(read, read.ok())) {
            m_seconds.push_back(*read.value);
        }
        return;
    }
    if (!answered(read, read.ok())) {
        return;
    }
    const auto i = static_cast<std::size_t>(m_next);
    m_image.setRecord(i, *read.value);
    const Check check = checkAt(m_next, *read.value);
    hear(m_next, *read.value);
    if (check.copy) {
        // This record and every one it repeats that is kept or about to be proven with it.
        toConfirm(m_next);
        confirmCopiesOf(m_next, m_next);
    }
    if (check.confirmPrevious) {
        toConfirm(m_next - 1); // a copy taken where the next record's answer was lost
    }
    if (check.confirmThis) {
        toConfirm(m_next);
    }
    if (check.prove) {
        m_batchEnd = std::min({m_batchEnd, m_next + proofWithin, capacity});
    }
    ++m_next;
}

void InStepRule::hear(int i, const archive::RecordBytes& answer) {
    const auto k = static_cast<std::size_t>(i);
    m_heard[k] = answer;
    if (std::find(m_history[k].begin(), m_history[k].end(), answer) == m_history[k].end()) {
        m_history[k].push_back(answer);
    }
}

void InStepRule::confirmCopiesOf(int i, int below) {
    const auto& answer = m_heard[static_cast<std::size_t>(i)];
    for (int k = 0; k < below; ++k) {
        if (k != i && m_heard[static_cast<std::size_t>(k)] == answer) {
            toConfirm(k);
        }
    }
}

void InStepRule::toConfirm(int i) {
    const auto at = std::lower_bound(m_toConfirm.begin(), m_toConfirm.end(), i);
    if (!m_confirmed[static_cast<std::size_t>(i)] && (at == m_toConfirm.end() || *at != i)) {
        m_toConfirm.insert(at, i);
    }
}

InStepRule::Proof InStepRule::proof() const {
    if (m_proofsSinceFailure < 0) {
        return Proof::identity;
    }
    constexpr std::array turns{Proof::currentData, Proof::parameters, Proof::identity};
    return turns[static_cast<std::size_t>(m_proofsSinceFailure) % turns.size()];
}

void InStepRule::proofAnswered(const ReadFacts& read, bool ok) {
    ++m_proofs;
    if (m_proofsSinceFailure >= 0) {
        ++m_proofsSinceFailure;
    }
    const std::vector<int> group = std::exchange(m_group, {});
    const std::vector<archive::RecordBytes> seconds = std::exchange(m_seconds, {});
    if (!answered(read, ok)) {
        return;
    }
    m_verified = m_next;
    m_batch = std::min(longestBatch, 2 * m_batch);
    m_batchEnd = std::min(capacity, m_next + m_batch);
    applySeconds(group, seconds);
    // Every record still waiting is kept now: the group is heard at once, and proven soon, so
    // that a read ending early keeps as much as it knows to be right.
    m_group = m_toConfirm;
    if (!m_group.empty()) {
        m_batchEnd = std::min(m_batchEnd, m_next + proofWithin);
    }
}

void InStepRule::applySeconds(const std::vector<int>& heardAgain,
                              const std::vector<archive::RecordBytes>& seconds) {
    std::vector<int> disagreed;
    for (std::size_t n = 0; n < seconds.size(); ++n) {
        const auto i = static_cast<std::size_t>(heardAgain[n]);
        if (seconds[n] == m_heard[i]) {
            m_confirmed[i] = true;
            m_toConfirm.erase(std::find(m_toConfirm.begin(), m_toConfirm.end(), heardAgain[n]));
        } else {
            // The two hearings disagree: one of them was not this record's answer. The newer
            // one is kept and heard once more, and so is any kept record that holds it.
            ++m_failures;
            m_proofsSinceFailure = std::max(m_proofsSinceFailure, 0);
            m_image.setRecord(i, seconds[n]);
            hear(heardAgain[n], seconds[n]);
            disagreed.push_back(heardAgain[n]);
        }
    }
    for (const int i : disagreed) {
        confirmCopiesOf(i, m_verified);
    }
}

void InStepRule::settled(const link::DrainReport& drain) {
    if (drain.quiet) {
        m_settle = false;
    } else {
        ++m_failures; // a line that does not fall quiet: the settle is tried again
    }
}

void InStepRule::abandon() {
    for (int i = m_verified; i < m_next; ++i) {
        m_image.setRecord(static_cast<std::size_t>(i), archive::RecordBytes{});
    }
    m_next = m_verified;
    m_group.clear();
    m_seconds.clear();
    // Unproven records are heard afresh when they are read again.
    m_toConfirm.erase(std::lower_bound(m_toConfirm.begin(), m_toConfirm.end(), m_verified),
                      m_toConfirm.end());
}

void InStepRule::endEarly() {
    abandon();
    if (!m_toConfirm.empty()) {
        m_verified = m_toConfirm.front();
        abandon();
    }
}

void InStepRule::doubt(bool drainFirst) {
    ++m_failures;
    m_proofsSinceFailure = std::max(m_proofsSinceFailure, 0);
    abandon();
    m_batch = doubtBatch;
    m_batchEnd = std::min(capacity, m_verified + m_batch);
    m_settle = m_settle || drainFirst;
}

InStepRule::Check InStepRule::checkAt(int i, const archive::RecordBytes& record) const {
    const auto heard = [this](int k) -> const archive::RecordBytes& {
        return m_heard[static_cast<std::size_t>(k)];
    };
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
    for (int k = 0; k < capacity; ++k) {
        const auto& history = m_history[static_cast<std::size_t>(k)];
        if (k != i && std::find(history.begin(), history.end(), record) != history.end()) {
            // What another record's request brought, now or in a dropped pass.
            check.prove = check.copy = true;
            break;
        }
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
                rule.proofAnswered(probeIdentity(link));
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
            rule.endEarly();
            reading.end = ArchiveReading::End::givenUp;
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
    reading.failures = rule.failures();
    reading.transactions = rule.transactions();
    reading.proofs = rule.proofs();
    return reading;
}

} // namespace veltra::instrument
