// The dose history against real SQLite files: a year of weekly downloads keeps each record once,
// a file that is not ours is never written, a kill or a full disk leaves it whole, two writers
// lose nothing, a changed image is found, and the N42 export validates against the schema.
#include "full_disk.h"
#include "history/n42_export.h"
#include "link/codecs.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace veltra;
using history::HistoryStore;

namespace {

// An archive image whose records first..first+count-1 are samples a minute apart from a start
// minute, in the given mode; the rest blank.
std::vector<std::uint8_t> imageOf(int first, int count, int startMinute = 0,
                                  std::uint8_t mode = 0x00, int day = 1) {
    std::vector<std::uint8_t> image(history::imageSize, 0);
    for (int i = first; i < first + count; ++i) {
        const int minute = startMinute + (i - first);
        std::array<std::uint8_t, 10> r{};
        link::encodeFloat32(r, 0, 0.1 + 0.001 * (minute % 97));
        r[4] = 0;
        r[5] = link::encodeBcd(minute % 60);
        r[6] = link::encodeBcd((minute / 60) % 24);
        r[7] = static_cast<std::uint8_t>(link::encodeBcd(day + minute / 1440) | mode);
        r[8] = link::encodeBcd(3);
        r[9] = link::encodeBcd(26);
        std::copy(r.begin(), r.end(), image.begin() + i * 10);
    }
    return image;
}

history::Download downloadOf(const std::vector<std::uint8_t>& image, int proven = 800) {
    history::Download d;
    d.image = image;
    d.pcTimeUtc = QDateTime(QDate(2026, 3, 2), QTime(12, 0), Qt::UTC);
    d.utcOffset_s = 3 * 3600;
    d.programVersion = QStringLiteral("test");
    d.recordsProven = proven;
    return d;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct Opened {
    HistoryStore store;
    history::Instrument instrument;
};

std::unique_ptr<Opened> openWithInstrument(const QString& path, const QByteArray& identity) {
    auto o = std::make_unique<Opened>();
    if (!o->store.open(path, true)) {
        return nullptr;
    }
    history::Result r;
    const auto i = o->store.instrumentFor(4, identity, history::defaultName("ТР-403", identity), r);
    if (!i) {
        return nullptr;
    }
    o->instrument = *i;
    return o;
}

const QByteArray identityA = QByteArray(20, '\x11');

} // namespace

TEST(History, WeeklyDownloadsKeepEveryRecordOnceAndExtendTheirSession) {
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    auto o = openWithInstrument(path, identityA);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->instrument.name, "ТР-403 1111");
    history::Result r;
    // Week 1: 300 samples of one session. Week 2: the same 300 and 200 more of that session.
    // Week 3: the archive was erased; a new session of 100.
    const auto week1 = imageOf(0, 300);
    const auto week2 = imageOf(0, 500);
    const auto week3 = imageOf(0, 100, 0, 0x00, 20);
    const auto first = o->store.store(o->instrument, downloadOf(week1), r);
    ASSERT_TRUE(first) << r.error.toStdString();
    EXPECT_EQ(first->newRecords, 300);
    EXPECT_EQ(first->newSessions, 1);
    const auto second = o->store.store(o->instrument, downloadOf(week2), r);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->newRecords, 200);
    EXPECT_EQ(second->newSessions, 0); // the same session, extended
    EXPECT_TRUE(o->store.store(o->instrument, downloadOf(week2), r)->alreadyStored);
    const auto third = o->store.store(o->instrument, downloadOf(week3), r);
    EXPECT_EQ(third->newSessions, 1);
    // A partial read stores its proven records only.
    const auto partial = o->store.store(o->instrument, downloadOf(imageOf(0, 700), 600), r);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->samples, 600);
    EXPECT_EQ(partial->newRecords, 100);

    const auto records = o->store.records({}, r);
    ASSERT_EQ(records.size(), 700U);
    EXPECT_EQ(records.front().time, "2026-03-01T00:00:00");
    EXPECT_EQ(records.front().utcOffset_s, 3 * 3600);
    const auto sessions = o->store.sessions({}, r);
    ASSERT_EQ(sessions.size(), 2U);
    EXPECT_EQ(sessions[0].records, 600);
    EXPECT_EQ(sessions[1].records, 100);
    const auto downloads = o->store.downloads({}, r);
    ASSERT_EQ(downloads.size(), 4U);
    EXPECT_TRUE(downloads.back().partial);
    // Which downloads saw a record, at which number.
    const auto seen = o->store.connection().integer(
        "SELECT count(*) FROM sightings s JOIN records r ON r.id = s.record_id WHERE s.number = 0");
    EXPECT_EQ(seen, 4);

    // A range of days on the instrument's clock, and the statistics by day.
    history::Filter march20;
    march20.from = QDate(2026, 3, 20);
    march20.to = QDate(2026, 3, 20);
    EXPECT_EQ(o->store.records(march20, r).size(), 100U);
    const auto byDay = o->store.stats({}, HistoryStore::Period::day, r);
    ASSERT_FALSE(byDay.empty());
    EXPECT_EQ(byDay.front().period, "2026-03-01");
    EXPECT_EQ(byDay.front().count, 600);

    // Renamed, it is still the instrument its identity names.
    ASSERT_TRUE(o->store.rename(o->instrument.name, "Field kit B"));
    EXPECT_EQ(o->store.instrumentFor(4, identityA, "other", r)->name, "Field kit B");
    EXPECT_FALSE(o->store.rename("nobody", "x"));
    EXPECT_TRUE(o->store.verify(r).isEmpty());
}

// A logged reading is kept once, with its instrument or, when none could be told, without one;
// a second instrument whose identity begins as the first's does not take its name.
TEST(History, ReadingsAreKeptOnceAndTwoInstrumentsNeverShareAName) {
    QTemporaryDir dir;
    auto o = openWithInstrument(dir.filePath("history.sqlite"), identityA);
    ASSERT_TRUE(o);
    history::Result r;
    QByteArray identityB = identityA;
    identityB[19] = '\x22';
    const auto b =
        o->store.instrumentFor(4, identityB, history::defaultName("ТР-403", identityB), r);
    ASSERT_TRUE(b) << r.error.toStdString();
    EXPECT_EQ(b->name, "ТР-403 1111 (2)");
    EXPECT_NE(b->id, o->instrument.id);

    history::Reading reading{
        "2026-03-02T12:00:01+03:00", "2026-03-02T11:59:58", 1026, 0, 0.133, "uSv/h", 3.75};
    for (const std::int64_t who : {o->instrument.id, b->id, std::int64_t{0}}) {
        EXPECT_EQ(o->store.storeReading(who, reading, r), std::optional(true));
        reading.computerTime = "2026-03-02T12:00:02+03:00"; // logged again after a restart
        EXPECT_EQ(o->store.storeReading(who, reading, r), std::optional(false));
    }
    ++reading.measurementCount;
    EXPECT_EQ(o->store.storeReading(0, reading, r), std::optional(true));
    EXPECT_EQ(o->store.connection().integer("SELECT count(*) FROM readings"), 4);
    EXPECT_EQ(o->store.connection().integer("SELECT count(*) FROM readings WHERE instrument_id "
                                            "IS NULL"),
              2);
}

TEST(History, AFileThatIsNotAHistoryIsRefusedAndLeftAsItWas) {
    QTemporaryDir dir;
    const auto make = [&](const QString& name, auto&& fill) {
        const QString path = dir.filePath(name);
        fill(path);
        return path;
    };
    const QString text = make("notes.txt", [](const QString& p) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a database\n");
    });
    const auto withSql = [](const char* sql) {
        return [sql](const QString& p) {
            history::sql::Connection c;
            ASSERT_TRUE(c.open(p, true, 100).ok());
            ASSERT_TRUE(c.exec(sql).ok());
        };
    };
    const QString foreign =
        make("other.db", withSql("CREATE TABLE contacts(name TEXT); INSERT INTO contacts "
                                 "VALUES('x')"));
    const QString newer =
        make("newer.sqlite", withSql("PRAGMA application_id=1447382100; PRAGMA user_version=99; "
                                     "CREATE TABLE t(x)"));
    QStringList paths{text, foreign, newer, dir.path()};
#ifndef _WIN32
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    paths << fifo;
#endif
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QByteArray before = info.isFile() ? contentsOf(path) : QByteArray();
        HistoryStore store;
        const history::Result r = store.open(path, true);
        EXPECT_FALSE(r) << path.toStdString();
        EXPECT_TRUE(r.error.startsWith(path)) << r.error.toStdString();
        if (info.isFile()) {
            EXPECT_EQ(contentsOf(path), before) << path.toStdString();
            EXPECT_FALSE(QFile::exists(path + "-wal")) << path.toStdString();
        }
    }
    // An empty file is a history not yet begun; a missing one is made only when writing.
    HistoryStore store;
    EXPECT_FALSE(store.open(dir.filePath("missing.sqlite"), false));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.sqlite")));
    const QString empty = make("empty.sqlite", [](const QString& p) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    });
    ASSERT_TRUE(store.open(empty, false));
    EXPECT_EQ(store.connection().integer("PRAGMA user_version"), history::schemaVersion);
    EXPECT_EQ(store.connection().integer("PRAGMA application_id"), history::applicationId);
}

TEST(History, VerifyFindsAnImageChangedAfterItWasStored) {
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    auto o = openWithInstrument(path, identityA);
    ASSERT_TRUE(o);
    history::Result r;
    ASSERT_TRUE(o->store.store(o->instrument, downloadOf(imageOf(0, 50)), r));
    ASSERT_TRUE(o->store.store(o->instrument, downloadOf(imageOf(0, 80)), r));
    EXPECT_TRUE(o->store.verify(r).isEmpty());
    // One byte of the second image changed behind the program's back.
    ASSERT_TRUE(o->store.connection()
                    .exec("UPDATE downloads SET image = substr(image, 1, 99) || x'FF' || "
                          "substr(image, 101) WHERE id = 2")
                    .ok());
    const QStringList problems = o->store.verify(r);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("download 2")) << problems[0].toStdString();
}

#ifndef _WIN32
TEST(History, AKilledImportLeavesTheHistoryWholeAndTwoWritersLoseNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    {
        auto o = openWithInstrument(path, identityA);
        ASSERT_TRUE(o);
        history::Result r;
        ASSERT_TRUE(o->store.store(o->instrument, downloadOf(imageOf(0, 100)), r));
    }
    // A child killed in the middle of its download's transaction.
    const pid_t killed = ::fork();
    if (killed == 0) {
        auto o = openWithInstrument(path, identityA);
        history::Result r;
        const auto big = imageOf(0, 799, 5000);
        o->store.store(o->instrument, downloadOf(big), r, [](int stored) {
            if (stored == 400) {
                ::raise(SIGKILL);
            }
        });
        ::_exit(3); // not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ASSERT_TRUE(WIFSIGNALED(status));
    {
        HistoryStore store;
        ASSERT_TRUE(store.open(path, false));
        history::Result r;
        EXPECT_TRUE(store.verify(r).isEmpty());
        EXPECT_EQ(store.downloads({}, r).size(), 1U);
        EXPECT_EQ(store.records({}, r).size(), 100U);
    }

    // Two programs importing at once, ten downloads each, of two instruments.
    std::vector<pid_t> writers;
    for (int w = 0; w < 2; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            auto o = openWithInstrument(path, QByteArray(20, static_cast<char>('A' + w)));
            int stored = 0;
            for (int n = 0; o && n < 10; ++n) {
                history::Result r;
                const auto image = imageOf(0, 50 + n * 10, 100 * w);
                stored += o->store.store(o->instrument, downloadOf(image), r) ? 1 : 0;
            }
            ::_exit(stored == 10 ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HistoryStore store;
    ASSERT_TRUE(store.open(path, false));
    history::Result r;
    EXPECT_EQ(store.downloads({}, r).size(), 21U);
    EXPECT_EQ(store.instruments(r).size(), 3U);
    EXPECT_TRUE(store.verify(r).isEmpty());
}
#endif

TEST(History, AFullDiskLeavesTheHistoryAsItWas) {
    fakes::FullDisk disk("size=256k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "a full file system needs a tmpfs mount, which needs root";
    }
    const QString path = disk.filePath("history.sqlite");
    auto o = openWithInstrument(path, identityA);
    ASSERT_TRUE(o);
    history::Result r;
    int stored = 0;
    for (int n = 0; n < 200; ++n) {
        const auto image = imageOf(0, 799, 1000 * n);
        if (!o->store.store(o->instrument, downloadOf(image), r)) {
            break;
        }
        ++stored;
    }
    ASSERT_FALSE(r);
    EXPECT_TRUE(r.full) << r.error.toStdString();
    EXPECT_TRUE(r.error.contains("full")) << r.error.toStdString();
    o.reset();
    HistoryStore again;
    ASSERT_TRUE(again.open(path, false));
    EXPECT_TRUE(again.verify(r).isEmpty());
    EXPECT_EQ(again.downloads({}, r).size(), static_cast<std::size_t>(stored));
}

TEST(History, TheN42ExportValidatesAgainstTheSchema) {
    QTemporaryDir dir;
    auto o = openWithInstrument(dir.filePath("history.sqlite"), identityA);
    ASSERT_TRUE(o);
    history::Result r;
    auto image = imageOf(0, 30);
    const auto beta = imageOf(30, 20, 100, 0x80);
    std::copy(beta.begin() + 300, beta.begin() + 500, image.begin() + 300);
    ASSERT_TRUE(o->store.store(o->instrument, downloadOf(image), r));
    history::N42Source source{o->instrument, "ТР-403", "Veltra test",
                              "0e2a4b6c-1d3f-4a5b-8c7d-9e0f1a2b3c4d", o->store.records({}, r)};
    QByteArray xml;
    QBuffer buffer(&xml);
    buffer.open(QIODevice::WriteOnly);
    history::N42Report report;
    ASSERT_TRUE(history::writeN42(buffer, source, report));
    EXPECT_EQ(report.measurements, 30);
    EXPECT_EQ(report.leftOut, 20);
    EXPECT_TRUE(xml.contains("<StartDateTime>2026-03-01T00:00:00+03:00</StartDateTime>"));
    EXPECT_TRUE(xml.contains("<RealTimeDuration>PT60S</RealTimeDuration>"));

    const QString xmllint = QStandardPaths::findExecutable("xmllint");
    if (xmllint.isEmpty()) {
        GTEST_SKIP() << "xmllint (libxml2-utils) is not installed: the schema check is skipped";
    }
    const QString file = dir.filePath("history.n42");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(xml);
    out.close();
    QProcess check;
    check.start(xmllint, {"--noout", "--schema", VELTRA_TEST_DATA "/n42/n42.xsd", file});
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
}
