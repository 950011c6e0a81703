#include "instrument/archive_reader.h"

#include <algorithm>

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
    if (m_verified == capacity) {
        return Step::done;
    }
    return m_next < m_batchEnd ? Step::readRecord : Step::prove;
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
    if (!answered(read, read.ok())) {
        return;
    }
    m_image.setRecord(static_cast<std::size_t>(m_next), *read.value);
    if (repeatsRecent(m_next)) {
        m_batchEnd = m_next + 1; // prove before going on
    }
    ++m_next;
}

void InStepRule::proofAnswered(const ReadResult<IdentityBlock>& read) {
    ++m_proofs;
    if (!answered(read, read.ok())) {
        return;
    }
    m_verified = m_next;
    m_batch = std::min(cleanBatch, 2 * m_batch);
    m_batchEnd = std::min(capacity, m_next + m_batch);
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
}

void InStepRule::doubt(bool drainFirst) {
    ++m_failures;
    abandon();
    m_batch = doubtBatch;
    m_batchEnd = std::min(capacity, m_verified + m_batch);
    m_settle = m_settle || drainFirst;
}

bool InStepRule::repeatsRecent(int i) const {
    const auto same = [this](int a, int b) {
        const auto x = m_image.recordBytes(static_cast<std::size_t>(a));
        const auto y = m_image.recordBytes(static_cast<std::size_t>(b));
        return std::equal(x.begin(), x.end(), y.begin());
    };
    if (i >= 1 && same(i, i - 1)) {
        return i < 2 || !same(i - 1, i - 2); // the start of a run, not its continuation
    }
    for (int k = std::max(0, i - recentRecords); k <= i - 2; ++k) {
        if (same(i, k)) {
            return true;
        }
    }
    return false;
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
            rule.proofAnswered(probeIdentity(link));
            break;
        case InStepRule::Step::settle:
            rule.settled(link.drain(settleQuiet_ms, settleLimit_ms));
            break;
        case InStepRule::Step::done:
            running = false;
            break;
        case InStepRule::Step::givenUp:
            reading.end = ArchiveReading::End::givenUp;
            running = false;
            break;
        }
        if (running && link.interrupted()) {
            rule.abandon();
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
