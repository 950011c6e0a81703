#include "archive/session_view.h"

#include "archive/text_lines.h"
#include "text/duration.h"
#include "text/number_text.h"

namespace veltra::archive {

namespace {

constexpr int valuePrecision = 6;
constexpr int shortSessionRows = 16;

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

void SessionStats::add(const ArchiveRecord& sample) {
    sum = static_cast<float>(static_cast<double>(sum) + sample.value);
    if (sample.value > maximum) {
        maximum = static_cast<float>(sample.value);
    }
    if (sample.value < minimum) {
        minimum = static_cast<float>(sample.value);
    }
    if (count == 0) {
        firstTime = sample.time;
    }
    lastTime = sample.time;
    ++count;
}

float SessionStats::average() const {
    return count > 0 ? sum / static_cast<float>(count) : 0.0F;
}

QString valueText(double value, QChar separator) {
    return text::fixedText(value, 3, separator, valuePrecision);
}

SampleRow sampleRow(const ArchiveRecord& s, QChar separator) {
    const auto& c = s.clock;
    return {QString::number(s.index + 1),
            QStringLiteral("%1.%2.%3 %4/%5/%6")
                .arg(twoDigits(c.hour), twoDigits(c.minute), twoDigits(c.second), twoDigits(c.day),
                     twoDigits(c.month), twoDigits(c.year - 2000)),
            valueText(s.value, separator)};
}

SessionViewBuilder::SessionViewBuilder(int session, text::Language language, QChar separator)
    : m_language(language), m_separator(separator) {
    m_view.session = session;
}

void SessionViewBuilder::add(const ArchiveRecord& sample) {
    if (m_view.rows.empty()) {
        m_view.header2 = unitText(sample.recordMode, m_language);
    }
    m_view.rows.push_back(sampleRow(sample, m_separator));
    m_view.points.push_back({daySerial(sample), sample.value});
    m_view.stats.add(sample);
}

SessionView SessionViewBuilder::finish(int sessionCount) && {
    SessionView& v = m_view;
    if (v.rows.empty()) {
        return std::move(v);
    }
    const int count = v.stats.count;
    v.rowCount = count <= shortSessionRows ? shortSessionRows + 1 : count + 1;
    v.box = QStringLiteral(" %1%2%3")
                .arg(v.session)
                .arg(text::pick(m_language, " из ", " of "))
                .arg(sessionCount);
    const bool english = m_language == text::Language::english;
    v.statTexts = {
        text::formatDuration(static_cast<std::int32_t>(v.stats.duration()), m_language, !english),
        QString::number(count), valueText(v.stats.maximum, m_separator),
        valueText(v.stats.minimum, m_separator), valueText(v.stats.average(), m_separator)};
    return std::move(v);
}

SessionView buildSessionView(const ArchiveImage& image, int session, text::Language language,
                             QChar separator) {
    SessionViewBuilder builder(session, language, separator);
    const int count = image.sessionCount;
    walkSessions(image, [&](const ArchiveRecord& record, int recordSession) {
        if (record.isSample && recordSession == session) {
            builder.add(record);
        }
    });
    return std::move(builder).finish(count);
}

FirstPass firstDecodingPass(const ArchiveImage& image, text::Language language, QChar separator) {
    FirstPass pass;
    pass.archiveLines.reserve(passRecords);
    SessionViewBuilder builder(1, language, separator);
    // Each record's line counts the samples of session 1 added to the view before it.
    SessionWalk walk;
    for (std::size_t i = 0; i < passRecords; ++i) {
        const ArchiveRecord record = image.record(i);
        pass.archiveLines.push_back(archiveLine(record, builder.count(), language, &pass.unmapped));
        const int session = walk.step(record, image.record(i + 1).isBlank);
        if (record.isSample && session == 1) {
            builder.add(record);
        }
    }
    pass.sessionCount = walk.session();
    pass.session1 = std::move(builder).finish(pass.sessionCount);
    return pass;
}

} // namespace veltra::archive
