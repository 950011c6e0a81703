#include "archive/archive_image.h"

#include <algorithm>

namespace veltra::archive {

void ArchiveImage::setRecord(std::size_t i, const RecordBytes& record) {
    if (i < recordCapacity) {
        std::copy(record.begin(), record.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(i * recordSize));
    }
}

int SessionWalk::step(const ArchiveRecord& record, bool nextIsBlank) {
    if (record.isSample) {
        m_lastTime = record.time;
    }
    // Rule 1: time runs backwards.
    if (m_lastTime < m_prevTime) {
        ++m_session;
    }
    m_prevTime = m_lastTime;
    const int session = m_session;
    if (!record.isSample) {
        if (record.isBlank) {
            ++m_session; // rule 2
        }
        if (nextIsBlank) {
            --m_session; // rule 3
        }
    }
    return session;
}

} // namespace veltra::archive
