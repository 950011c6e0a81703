// The archive's rules without a port: record decoding, the session walk, the statistics in
// single precision, the session view, the lines of the two text files and the navigation
// arithmetic of the chart.
#include "archive/archive_image.h"
#include "archive/navigation.h"
#include "archive/session_view.h"
#include "archive/text_lines.h"
#include "link/codecs.h"
#include "link/frame.h"
#include "text/windows1251.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using namespace veltra;
using namespace veltra::archive;
using text::Language;

namespace {

constexpr auto ru = Language::russian;
constexpr auto en = Language::english;

struct At {
    int hour = 12, minute = 0, second = 0, day = 1, month = 3, year = 2007;
};

RecordBytes sample(double value, At t = {}, ArchiveMode mode = ArchiveMode::doseRate) {
    RecordBytes r{};
    link::encodeFloat32(r, 0, value);
    r[4] = link::encodeBcd(t.second);
    r[5] = link::encodeBcd(t.minute);
    r[6] = link::encodeBcd(t.hour);
    r[7] = static_cast<std::uint8_t>(link::encodeBcd(t.day) | static_cast<std::uint8_t>(mode));
    r[8] = link::encodeBcd(t.month);
    r[9] = link::encodeBcd(t.year - 2000);
    return r;
}

const RecordBytes blank{};
const RecordBytes erased{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// An image whose first records are these, the rest blank; every sample a minute after the last.
ArchiveImage imageOf(const std::vector<RecordBytes>& records) {
    ArchiveImage image;
    for (std::size_t i = 0; i < records.size(); ++i) {
        image.setRecord(i, records[i]);
    }
    image.loaded = true;
    image.currentSession = 1;
    return image;
}

At minute(int m) {
    return {10, m, 0, 5, 4, 2024};
}

// The session of each sample, in archive order, and the session count.
std::pair<std::vector<int>, int> sessionsOf(const ArchiveImage& image) {
    std::vector<int> sessions;
    const int count = walkSessions(image, [&](const ArchiveRecord& r, int s) {
        if (r.isSample) {
            sessions.push_back(s);
        }
    });
    return {sessions, count};
}

std::string s(const QString& q) {
    return q.toStdString();
}

} // namespace

TEST(ArchiveRecord, DecodesValueClockAndMode) {
    const auto r = decodeRecord(sample(0.12, {9, 5, 7, 14, 3, 2007}, ArchiveMode::beta), 41);
    EXPECT_EQ(r.index, 41);
    EXPECT_FLOAT_EQ(static_cast<float>(r.value), 0.12F);
    EXPECT_EQ(r.clock, (text::ClockFields{7, 5, 9, 14, 3, 2007}));
    EXPECT_EQ(r.recordMode, ArchiveMode::beta);
    EXPECT_TRUE(r.isSample);
    EXPECT_FALSE(r.isBlank);
    EXPECT_EQ(r.time, text::chartSeconds(r.clock));
    // The chart's x is the live chart's time of the same clock fields.
    EXPECT_DOUBLE_EQ(daySerial(r), text::chartTime(r.clock));

    for (const auto& [bytes, isSample, isBlank] :
         {std::tuple{erased, false, false}, std::tuple{blank, false, true},
          std::tuple{sample(0.0), false, false}, std::tuple{sample(-1.5), false, false}}) {
        const auto d = decodeRecord(bytes, 0);
        EXPECT_EQ(d.isSample, isSample);
        EXPECT_EQ(d.isBlank, isBlank);
        EXPECT_EQ(d.time, 0);
    }
    EXPECT_EQ(decodeRecord(erased, 0).value, 0.0);
    EXPECT_EQ(s(unitText(ArchiveMode::volumetricActivity, ru)), "ОА, Бк/г");
    EXPECT_EQ(s(unitText(ArchiveMode::alpha, en)), "Alpha, 1/(min*cm2)");
    EXPECT_EQ(s(unitText(ArchiveMode::doseRate, Language::none)), "МЭД, мкЗв/ч");
}

TEST(ArchiveRecord, RequestsOfTheFirstAndLastRecord) {
    const auto first = link::Frame{0x25, 10, 0}.bytes();
    const auto last = link::Frame{0x25, 10, 799}.bytes();
    EXPECT_EQ(first, (std::array<std::uint8_t, 7>{0x25, 0x00, 0x0A, 0x00, 0x00, 0x49, 0xC5}));
    EXPECT_EQ(last, (std::array<std::uint8_t, 7>{0x25, 0x00, 0x0A, 0x03, 0x1F, 0x08, 0xFD}));
}

TEST(SessionWalk, TheThreeRules) {
    const struct {
        const char* name;
        std::vector<RecordBytes> records;
        std::vector<int> sessions;
        int count;
    } cases[] = {
        {"sample, blank, sample", {sample(1, minute(0)), blank, sample(1, minute(1))}, {1, 2}, 2},
        {"sample, blank, blank, sample",
         {sample(1, minute(0)), blank, blank, sample(1, minute(1))},
         {1, 2},
         2},
        {"sample, FF, blank, sample",
         {sample(1, minute(0)), erased, blank, sample(1, minute(1))},
         {1, 1},
         1},
        {"time runs backwards",
         {sample(1, minute(10)), sample(1, minute(9)), sample(1, minute(30))},
         {1, 2, 2},
         2},
        {"a zero reading does not split",
         {sample(1, minute(0)), sample(0, minute(1)), sample(1, minute(2))},
         {1, 1},
         1},
        {"a leading blank", {blank, sample(1, minute(0)), sample(1, minute(1))}, {2, 2}, 2},
        {"all blank", {}, {}, 1},
    };
    for (const auto& c : cases) {
        const auto [sessions, count] = sessionsOf(imageOf(c.records));
        EXPECT_EQ(sessions, c.sessions) << c.name;
        EXPECT_EQ(count, c.count) << c.name;
    }
}

TEST(SessionWalk, SessionsCanFallBelowOne) {
    // FF before a blank takes a boundary away; with no blank before it, session 0.
    auto image = imageOf({erased, blank, sample(1, minute(0))});
    EXPECT_EQ(sessionsOf(image).first, (std::vector<int>{1}));
    image = imageOf({erased, sample(1, minute(0)), erased, blank, erased, blank, erased});
    EXPECT_EQ(sessionsOf(image).second, 0);
}

TEST(SessionWalk, Record799IsOnlyTheLookAhead) {
    auto image = imageOf({sample(1, minute(0))});
    image.setRecord(799, sample(5, minute(1)));
    const auto pass = firstDecodingPass(image, ru, '.');
    EXPECT_EQ(pass.archiveLines.size(), 799U);
    EXPECT_EQ(pass.session1.stats.count, 1);
    // Record 798 (blank) is followed by a non-blank record: the boundary counts.
    EXPECT_EQ(pass.sessionCount, 2);
}

TEST(SessionView, StatisticsInSinglePrecisionAndTheirTexts) {
    const auto image =
        imageOf({sample(0.5, minute(0)), sample(1.5, minute(1)), sample(1.0, minute(2))});
    const SessionView v = buildSessionView(image, 1, ru, '.');
    EXPECT_EQ(v.statTexts[1], "3");
    EXPECT_EQ(v.statTexts[2], "1.500");
    EXPECT_EQ(v.statTexts[3], "0.500");
    EXPECT_EQ(v.statTexts[4], "1.000");
    EXPECT_EQ(v.statTexts[0], " 2 мин");
    EXPECT_EQ(v.rowCount, 17);
    EXPECT_EQ(*v.header2, "МЭД, мкЗв/ч");
    EXPECT_EQ(v.rows[1], (SampleRow{"2", "10.01.00 05/04/24", "1.500"}));
    EXPECT_EQ(v.points.size(), 3U);
    EXPECT_EQ(buildSessionView(image, 1, ru, ',').rows[0].value, "0,500");

    // The sum is held in single precision: ten times 0.1 is not exactly 1.
    std::vector<RecordBytes> tenths;
    for (int m = 0; m < 10; ++m) {
        tenths.push_back(sample(0.1, minute(m)));
    }
    const auto tenth = buildSessionView(imageOf(tenths), 1, ru, '.');
    const double tenthValue = decodeRecord(sample(0.1), 0).value; // as the wire float holds it
    float expected = 0.0F;
    for (int i = 0; i < 10; ++i) {
        expected = static_cast<float>(static_cast<double>(expected) + tenthValue);
    }
    EXPECT_NE(static_cast<double>(expected), 10 * tenthValue); // the single-precision sum shows
    EXPECT_EQ(tenth.stats.sum, expected);
    EXPECT_EQ(tenth.stats.average(), expected / 10.0F);
}

TEST(SessionView, DurationsRowCountsAndTheBox) {
    // Two samples `seconds` apart, from a fixed wall-clock moment.
    const auto span = [](std::int64_t seconds, Language language) {
        const auto at = [](std::int64_t t) {
            using namespace std::chrono;
            const sys_seconds moment{std::chrono::seconds{t}};
            const auto day = floor<days>(moment);
            const year_month_day date{day};
            const hh_mm_ss time{moment - day};
            return At{
                static_cast<int>(time.hours().count()),   static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(unsigned(date.day())),
                static_cast<int>(unsigned(date.month())), static_cast<int>(date.year())};
        };
        const std::int64_t start = 1'000'000'000; // 2001-09-09 01:46:40
        const auto image = imageOf({sample(1, at(start)), sample(1, at(start + seconds))});
        return s(buildSessionView(image, 1, language, '.').statTexts[0]);
    };
    EXPECT_EQ(span(86400 + 3600 + 61, ru), " 1 день 1 ч 1 мин");
    EXPECT_EQ(span(86400 + 3600 + 61, en), "1 day 1 h 1 min");
    EXPECT_EQ(span(4 * 86400 + 300, ru), " 4 дня 0 ч 5 мин");
    EXPECT_EQ(span(59, ru), " 0 мин");
    EXPECT_EQ(span(59, en), "0 min");
    EXPECT_EQ(span(7200, ru), " 2 ч 0 мин");

    for (const auto& [samples, rows] : {std::pair{3, 17}, {16, 17}, {17, 18}}) {
        std::vector<RecordBytes> records;
        for (int m = 0; m < samples; ++m) {
            records.push_back(sample(1, minute(m)));
        }
        EXPECT_EQ(buildSessionView(imageOf(records), 1, ru, '.').rowCount, rows) << samples;
    }

    auto image =
        imageOf({sample(1, minute(0)), blank, sample(2, minute(1)), blank, sample(3, minute(2))});
    image.sessionCount = 3;
    EXPECT_EQ(buildSessionView(image, 2, ru, '.').box, " 2 из 3");
    EXPECT_EQ(buildSessionView(image, 2, en, '.').box, " 2 of 3");
    // The number column shows the record's number, not the row's.
    EXPECT_EQ(buildSessionView(image, 3, ru, '.').rows[0].number, "5");
    const auto empty = buildSessionView(image, 7, ru, '.');
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(empty.header2);
    EXPECT_TRUE(empty.box.isEmpty());
}

TEST(TextLines, TheArchiveFileLine) {
    const auto r = decodeRecord(sample(0.12, {9, 5, 7, 14, 3, 2007}), 2);
    const QByteArray line = archiveLine(r, 2, ru);
    EXPECT_EQ(text::fromWindows1251(line), "2 9:5:7 0.12 МЭД, мкЗв/ч\r\n");
    EXPECT_EQ(static_cast<unsigned char>(line[13]), 0xCC); // М in Windows-1251
    // All 0xFF: the value reads as 0, each BCD field as 15 * 10 + 15, the mode bits as alpha.
    EXPECT_EQ(archiveLine(decodeRecord(erased, 0), 0, en),
              "0 165:165:165 0 Alpha, 1/(min*cm2)\r\n");
    for (const auto& [value, text] : {std::pair{0.25, "0.25"},
                                      {1234.567, "1234.57"},
                                      {1e-05, "1e-05"},
                                      {12.5, "12.5"},
                                      {0.0, "0"},
                                      {123456789.0, "1.23457e+08"}}) {
        EXPECT_EQ(s(streamNumber(value)), text);
    }
}

TEST(TextLines, TheSessionFileLineComesFromTheCells) {
    EXPECT_EQ(sessionFileLine({"12", "14.05.09 21/03/07", "0.123"}, '.'),
              "12 14:05:09 21/03/07 0.123\r\n");
    EXPECT_EQ(sessionFileLine({"3", "09.07.00 01/12/25", "0,250"}, ','),
              "3 09:07:00 01/12/25 0.25\r\n");
    EXPECT_EQ(sessionFileLine({"1", "00.00.00 01/01/00", "1.500"}, '.'),
              "1 00:00:00 01/01/00 1.5\r\n");
    EXPECT_EQ(sessionFileLine({"1", "00.00.00 01/01/00", "1234.570"}, '.'),
              "1 00:00:00 01/01/00 1234.57\r\n");
    // 7 minutes: "07" from the table's cell, "7" in archive.txt.
    const auto r = decodeRecord(sample(1, {9, 7, 0, 1, 12, 2025}), 0);
    EXPECT_TRUE(sessionFileLine(sampleRow(r, '.'), '.').startsWith("1 09:07:00"));
    EXPECT_TRUE(archiveLine(r, 0, ru).startsWith("0 9:7:0 "));
    EXPECT_EQ(sessionFileName(3), QStringLiteral("сеанс3.txt"));
}

TEST(Navigation, TheButtonsRowByRow) {
    using B = NavigationButton;
    const AxisRange time{100.0, 101.0};
    const auto in = navigate(B::timeZoomIn, time);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->min, 100.0);
    EXPECT_NEAR(in->max, 100.9, 1e-6);
    const auto out = navigate(B::timeZoomOut, *in);
    EXPECT_NEAR(out->max, 100.99, 1e-6);
    const auto later = navigate(B::timeLater, time);
    EXPECT_NEAR(later->min, 100.1, 1e-6);
    EXPECT_NE(later->min, 100.1); // the single-precision step shows in the last digits
    EXPECT_EQ(later->max - later->min, 1.0);
    const auto earlier = navigate(B::timeEarlier, time);
    EXPECT_NEAR(earlier->min, 99.9, 1e-6);

    const AxisRange value{0.0, 10.0};
    EXPECT_EQ(navigate(B::valueZoomIn, value), (AxisRange{0.0, 9.0}));
    EXPECT_EQ(navigate(B::valueZoomOut, value), (AxisRange{0.0, 11.0}));
    const auto down = navigate(B::valueDown, value);
    EXPECT_EQ(down, (AxisRange{-1.0, 9.0}));
    EXPECT_FALSE(navigate(B::valueDown, *down)); // the minimum is below 0 now
    EXPECT_EQ(navigate(B::valueUp, value), (AxisRange{1.0, 11.0}));
    for (const B b : {B::valueZoomIn, B::valueZoomOut, B::valueUp, B::valueDown}) {
        EXPECT_FALSE(navigate(b, {0.0, 0.0})); // an empty range
    }
    EXPECT_FALSE(navigate(B::valueUp, {-5.0, -1.0}));
    EXPECT_FALSE(navigate(B::timeEarlier, {-1.0, 1.0}));

    ChartAxes axes;
    axes.apply(B::timeZoomIn, *in);
    EXPECT_FALSE(axes.timeAutomatic);
    EXPECT_TRUE(axes.valueAutomaticMax);
    axes.apply(B::valueDown, *down);
    EXPECT_FALSE(axes.valueAutomaticMax);
    axes.reset();
    EXPECT_TRUE(axes.timeAutomatic && axes.valueAutomaticMax);
    EXPECT_EQ(axes.value.min, 0.0);
}
