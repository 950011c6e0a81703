// Reading, browsing and erasing the archive against the simulated instrument through a
// pseudo-terminal, in a temporary working directory (the text files go there).
#include "app/archive_tab.h"
#include "archive/text_lines.h"
#include "cli.h"
#include "sim_fixture.h"
#include "text/windows1251.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace veltra;
using sim::FaultKind;

namespace {

class RecordingArchiveHost final : public app::Events {
public:
    void showStatus(app::StatusColour colour, const app::StatusMessage& m) override {
        last = m.russian;
        lastColour = colour;
    }
    void showNoConnection() override {}
    void showReadProgress(int records) override { progress.push_back(records); }
    void showArchiveTab() override { ++shown; }
    bool confirmErase() override {
        ++asked;
        return answer;
    }
    void resetMemoryFill() override { ++memoryFillReset; }

    QString last;
    app::StatusColour lastColour = app::StatusColour::black;
    std::vector<int> progress;
    int shown = 0;
    int asked = 0;
    bool answer = true;
    int memoryFillReset = 0;
};

class ArchiveSimTest : public e2e::SimFixture {
protected:
    void SetUp() override {
        e2e::SimFixture::SetUp();
        m_old = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        context->state.language = app::Language::russian;
    }
    void TearDown() override { QDir::setCurrent(m_old); }

    app::ArchiveReadResult read() { return app::readArchive(*context, host, '.'); }

    // The image's records as the simulated instrument holds them.
    bool imageMatchesTheInstrument(int records = 800) {
        for (int i = 0; i < records; ++i) {
            const auto want = simulator->model().archiveRecord(static_cast<std::size_t>(i));
            const auto got = context->archive.recordBytes(static_cast<std::size_t>(i));
            if (!std::equal(want.begin(), want.end(), got.begin())) {
                ADD_FAILURE() << "record " << i << " differs";
                return false;
            }
        }
        return true;
    }

    static QByteArray fileContents(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_old;
    RecordingArchiveHost host;
};

} // namespace

TEST_F(ArchiveSimTest, ACompleteReadKeepsEveryRecordShowsSessionOneAndAppendsTheLines) {
    const auto result = read();
    ASSERT_EQ(result.outcome, app::Outcome::ok);
    // Seven records heard twice: 481 and 120 (blanks), 482 (the end of the run 481..482), 641
    // and 261 (all 0xFF), 642 (a blank again), 799 (the end of the blank tail), in a group right
    // after the proof that follows their first hearing. Proofs after 8, 24, 56 and 120 records
    // (batches that double from eight, so a read that ends early keeps what it proved), within
    // four records of 481..483 and of 641..643 (repeats, runs that start and end), within four
    // records of each group, at the end, and after the last group.
    EXPECT_EQ(result.transactions, 807 + result.proofs);
    EXPECT_EQ(result.proofs, 12);
    EXPECT_EQ(result.failures, 0);
    EXPECT_TRUE(imageMatchesTheInstrument());
    const auto& image = context->archive;
    EXPECT_TRUE(image.loaded);
    EXPECT_EQ(image.currentSession, 1);
    EXPECT_EQ(image.sessionCount, 3); // the all-0xFF record before the blank tail takes one away
    EXPECT_EQ(host.last, "Прочитано");
    EXPECT_EQ(context->polling.readFailureCount, 0);

    const auto log = simulator->server().requestLog();
    ASSERT_EQ(log.size(), static_cast<std::size_t>(result.transactions));
    const std::vector<std::uint8_t> probe{0x10, 0x00, 0x14, 0x00, 0x80, 0xA4, 0x67};
    EXPECT_EQ(log.front(), (std::vector<std::uint8_t>{0x25, 0x00, 0x0A, 0x00, 0x00, 0x49, 0xC5}));
    EXPECT_EQ(log[8], probe); // the line proven in step after the first eight records
    EXPECT_EQ(log[log.size() - 2],
              (std::vector<std::uint8_t>{0x25, 0x00, 0x0A, 0x03, 0x1F, 0x08, 0xFD}));
    EXPECT_EQ(log.back(), probe);
    // The progress went through every record, then the indicator went away.
    ASSERT_GE(host.progress.size(), 802U);
    EXPECT_EQ(host.progress[host.progress.size() - 2], 800);
    EXPECT_EQ(host.progress.back(), -1);

    const auto& tab = context->archiveTab;
    EXPECT_EQ(tab.box, " 1 из 3");
    EXPECT_EQ(tab.sampleRows().size(), 120U);
    EXPECT_EQ(tab.rowCount, 121);
    EXPECT_EQ(tab.header[2], "МЭД, мкЗв/ч");
    EXPECT_EQ(tab.points.size(), 120U);
    EXPECT_FALSE(tab.decodingProgressVisible);

    const QByteArray once = fileContents(archive::archiveFileName);
    EXPECT_EQ(once.count("\r\n"), 799);
    EXPECT_TRUE(text::fromWindows1251(once).startsWith("0 9:0:0 "));
    ASSERT_EQ(read().outcome, app::Outcome::ok);
    const QByteArray twice = fileContents(archive::archiveFileName);
    EXPECT_EQ(twice.count("\r\n"), 2 * 799);
    EXPECT_EQ(twice, once + once);
}

TEST_F(ArchiveSimTest, TenFailuresAreRetriedAndTheEleventhAnywhereEndsTheRead) {
    // Spread over the read: four at record 0, three some 300 answers later, three some 300
    // after those (each fault's skip counts from the end of the one before).
    simulator->server().injectFault({FaultKind::badHeaderCrc, 4, 0, 0});
    simulator->server().injectFault({FaultKind::badDataCrc, 3, 0, 300});
    simulator->server().injectFault({FaultKind::garbage, 3, 0, 300});
    const auto ok = read();
    ASSERT_EQ(ok.outcome, app::Outcome::ok);
    EXPECT_EQ(ok.failures, 10);
    EXPECT_TRUE(imageMatchesTheInstrument());
    EXPECT_EQ(host.last, "Прочитано");

    QFile::remove(archive::archiveFileName);
    simulator->server().injectFault({FaultKind::silence, 5, 0, 0});
    simulator->server().injectFault({FaultKind::badDataCrc, 6, 0, 200});
    const auto aborted = read();
    EXPECT_EQ(aborted.outcome, app::Outcome::gaveUp);
    EXPECT_EQ(aborted.failures, 11);
    EXPECT_FALSE(context->archive.loaded);
    EXPECT_EQ(host.last, "Ошибка связи");
    EXPECT_EQ(host.lastColour, app::StatusColour::red);
    EXPECT_FALSE(QFile::exists(archive::archiveFileName)); // nothing written
    EXPECT_TRUE(context->archiveTab.sampleRows().empty());
    EXPECT_TRUE(context->archiveTab.points.empty());
    // The records read before the end are kept, zeros after them.
    EXPECT_GT(aborted.recordsRead, 0);
    EXPECT_TRUE(imageMatchesTheInstrument(aborted.recordsRead));
    EXPECT_EQ(context->archive.record(799).isBlank, true);
}

TEST_F(ArchiveSimTest, LateAnswersAreNeverKeptUnderAnotherRecordsNumber) {
    // An instrument that takes 2 ms to turn a request around, and one answer that comes after
    // the reply header's 1014 ms time-out: the request is counted as failed and repeated, the
    // late answer is taken for the repeat, and the repeat's own answer then arrives after the
    // next request's purge, one answer behind for as long as nothing stops it.
    auto options = e2e::quietOptions();
    options.endpoint.turnaround = std::chrono::milliseconds(2);
    startSimulator(options);
    context->state.language = app::Language::russian;
    simulator->server().injectFault({FaultKind::delay, 1, 1100, 57});
    const auto result = read();
    ASSERT_EQ(result.outcome, app::Outcome::ok);
    // The time-out, and what found the answers one too many: the proof, a reply cut short.
    EXPECT_LE(result.failures, 3);
    EXPECT_TRUE(imageMatchesTheInstrument());
    // Back in step at once: the records since the last proof read again, and no more (the
    // archive's own repeats cost ten more transactions).
    EXPECT_LT(result.transactions, 800 + 60 + 40);
}

TEST_F(ArchiveSimTest, APortThatCannotBeOpenedLeavesALoadedArchiveBrowsable) {
    ASSERT_EQ(read().outcome, app::Outcome::ok);
    context->state.portNumber = 9; // stands for no device
    EXPECT_EQ(read().outcome, app::Outcome::portNotOpen);
    EXPECT_EQ(host.last, "Невозможно открыть порт");
    EXPECT_TRUE(context->archive.loaded);
    EXPECT_EQ(context->archiveTab.sampleRows().size(), 120U);

    app::stepSession(*context, host, app::SessionStep::previous, '.'); // 1 wraps to 3
    EXPECT_EQ(context->archive.currentSession, 3);
    EXPECT_EQ(context->archiveTab.box, " 3 из 3");
    EXPECT_EQ(context->archiveTab.header[2], "Альфа, 1/(мин*см2)");
    app::stepSession(*context, host, app::SessionStep::next, '.'); // 3 wraps to 1
    EXPECT_EQ(context->archive.currentSession, 1);
}

TEST_F(ArchiveSimTest, SteppingWritesTheSessionFileWhenAsked) {
    ASSERT_EQ(read().outcome, app::Outcome::ok);
    const QString file2 = archive::sessionFileName(2);
    app::stepSession(*context, host, app::SessionStep::next, '.');
    EXPECT_FALSE(QFile::exists(file2)); // not ticked
    context->archiveTab.saveToFile = true;
    app::stepSession(*context, host, app::SessionStep::previous, '.');
    app::stepSession(*context, host, app::SessionStep::next, '.');
    const QByteArray written = fileContents(file2);
    const auto rows = context->archiveTab.sampleRows();
    EXPECT_EQ(written.count("\r\n"), static_cast<qsizetype>(rows.size()));
    EXPECT_TRUE(written.startsWith("122 14:00:00 03/11/26 ")) << written.left(40).toStdString();
    EXPECT_TRUE(QFile::exists(archive::sessionFileName(1)));

    // A file that cannot be written is told, in red, by name.
    QDir().mkdir(archive::sessionFileName(3)); // a directory where the file should go
    app::stepSession(*context, host, app::SessionStep::next, '.');
    EXPECT_TRUE(host.last.startsWith("Не удалось записать файл сеанс3.txt: ")) // and why
        << host.last.toStdString();
    EXPECT_EQ(host.lastColour, app::StatusColour::red);
}

TEST_F(ArchiveSimTest, EraseAsksSendsNineBytesAndClearsTheTab) {
    ASSERT_EQ(read().outcome, app::Outcome::ok);
    simulator->server().clearRequestLog();
    host.answer = false;
    EXPECT_EQ(app::eraseArchive(*context, host), app::Outcome::declined);
    EXPECT_EQ(simulator->server().stats().writes, 0U);
    EXPECT_TRUE(context->archive.loaded);

    context->state.portNumber = 9;
    host.answer = true;
    EXPECT_EQ(app::eraseArchive(*context, host), app::Outcome::portNotOpen);
    EXPECT_EQ(host.last, "Невозможно открыть порт");
    EXPECT_TRUE(context->archive.loaded); // nothing local is cleared
    EXPECT_FALSE(context->archiveTab.points.empty());

    context->state.portNumber = 1;
    EXPECT_EQ(app::eraseArchive(*context, host), app::Outcome::ok);
    ASSERT_TRUE(sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 1; },
                                        std::chrono::seconds(5)));
    EXPECT_EQ(simulator->server().requestLog().back(),
              (std::vector<std::uint8_t>{0x55, 0x00, 0x00, 0x00, 0x00, 0x28, 0x0C, 0xFF, 0xFF}));
    EXPECT_TRUE(simulator->model().archiveRecord(0)[0] == 0);
    const auto& tab = context->archiveTab;
    EXPECT_FALSE(context->archive.loaded);
    EXPECT_EQ(context->archive.currentSession, 0);
    EXPECT_EQ(tab.box, " ");
    EXPECT_TRUE(tab.sampleRows().empty());
    EXPECT_EQ(tab.stats, (std::array<QString, 5>{}));
    EXPECT_EQ(tab.statLabels[0], "Время работы"); // the labels stay
    EXPECT_EQ(tab.header[0], "№");
    EXPECT_EQ(host.memoryFillReset, 1);
    EXPECT_TRUE(context->archive.record(79).isBlank);
    // The arrows do nothing now.
    app::stepSession(*context, host, app::SessionStep::next, '.');
    EXPECT_EQ(context->archive.currentSession, 0);
}

TEST_F(ArchiveSimTest, TheToolSavesTheImageAndWhatWasReadBeforeAnEnd) {
    const QString path = QString::fromStdString(simulator->devicePath());
    const auto run = [](const QStringList& args, QString* out = nullptr, QString* err = nullptr) {
        QString o;
        QString e;
        QTextStream os(&o);
        QTextStream es(&e);
        const int status = cli::run(args, os, es, {.serialDevices = [] { return QStringList(); }});
        os.flush();
        es.flush();
        if (out != nullptr) {
            *out = o;
        }
        if (err != nullptr) {
            *err = e;
        }
        return status;
    };
    ASSERT_EQ(run({"--port", path, "archive", "read", "image.bin"}), cli::exitOk);
    const QByteArray image = fileContents("image.bin");
    ASSERT_EQ(image.size(), 8000);
    EXPECT_EQ(static_cast<unsigned char>(image[1200]), 0); // the blank separator, record 120

    simulator->server().injectFault({FaultKind::silence, 11, 0, 500});
    EXPECT_EQ(run({"--port", path, "archive", "read", "cut.bin"}), cli::exitFailure);
    EXPECT_FALSE(QFile::exists("cut.bin"));
    // The records proven before the end (489: the last proof came within four records of where
    // the run of blanks at 481 repeats the blank 120, goes on and ends, and within four records
    // of those three heard again), not those read after the last proof.
    EXPECT_EQ(fileContents("cut.bin.partial"), image.left(4890));

    QString json;
    ASSERT_EQ(run({"archive", "show", "--image", "image.bin", "--session", "2", "--json"}, &json),
              cli::exitOk);
    const auto shown = QJsonDocument::fromJson(json.toUtf8()).object();
    EXPECT_EQ(shown["sessionCount"].toInt(), 3);
    EXPECT_EQ(shown["box"].toString(), " 2 из 3");
    EXPECT_EQ(shown["header"][2].toString(), "Бета, 1/(мин*см2)");
    EXPECT_EQ(shown["rows"].toArray().size(), 209); // 210 records, the all-0xFF one is no sample
    EXPECT_EQ(shown["rows"][0][0].toString(), "122");
    EXPECT_EQ(shown["points"].toArray().size(), 209);
    EXPECT_EQ(run({"archive", "show", "--image", "image.bin", "--session", "4"}), cli::exitUsage);
    EXPECT_EQ(run({"archive", "show", "--port", path, "--image", "image.bin"}), cli::exitUsage);

    ASSERT_EQ(run({"archive", "export", "--image", "image.bin", "--sessions"}), cli::exitOk);
    EXPECT_EQ(fileContents(archive::archiveFileName).count("\r\n"), 799);
    EXPECT_TRUE(QFile::exists(archive::sessionFileName(3)));
    // A session's file that cannot be written fails the export, in the tool's own words.
    ASSERT_TRUE(QFile::remove(archive::sessionFileName(2)));
    ASSERT_TRUE(QDir().mkdir(archive::sessionFileName(2)));
    QString err;
    EXPECT_EQ(run({"archive", "export", "--image", "image.bin", "--sessions"}, nullptr, &err),
              cli::exitFailure);
    EXPECT_TRUE(err.startsWith("veltra-cli: cannot write the file " + archive::sessionFileName(2)))
        << err.toStdString();
    QDir().rmdir(archive::sessionFileName(2));
    ASSERT_EQ(run({"archive", "csv", "--image", "image.bin", "samples.csv"}), cli::exitOk);
    const QByteArray csv = fileContents("samples.csv");
    EXPECT_TRUE(
        csv.startsWith("record,session,time,value,quantity,unit\n1,1,2026-11-02T09:00:00,"));

    EXPECT_EQ(run({"--port", path, "erase-archive"}), cli::exitUsage);
    EXPECT_EQ(run({"--port", path, "erase-archive", "--yes"}), cli::exitOk);
}
