// Reading the archive without a port: the rule that decides whether a reply may be kept, told
// by hand what each transaction brought; and the erase whose command did not go out.
#include "app/app_context.h"
#include "instrument/archive_reader.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

using namespace veltra;
using instrument::InStepRule;
using instrument::Outcome;
using Step = InStepRule::Step;

namespace {

archive::RecordBytes recordOf(int i) {
    return {static_cast<std::uint8_t>(i),
            static_cast<std::uint8_t>(i >> 8),
            0x3E,
            0,
            1,
            2,
            3,
            4,
            5,
            0x26};
}

instrument::ReadResult<archive::RecordBytes> answer(const archive::RecordBytes& r,
                                                    std::uint32_t stale = 0) {
    return {{Outcome::ok, 19, 19, stale}, r};
}

instrument::ReadResult<instrument::IdentityBlock> proof(Outcome outcome = Outcome::ok,
                                                        std::uint32_t received = 29) {
    instrument::ReadResult<instrument::IdentityBlock> r{{outcome, received, 29, 0}, std::nullopt};
    if (outcome == Outcome::ok) {
        r.value = instrument::IdentityBlock{};
    }
    return r;
}

const instrument::ReadResult<archive::RecordBytes> nothing{{Outcome::noHeader, 0, 19, 0},
                                                           std::nullopt};

// Records read right and proven, from where the rule stands, until at least `records` are kept;
// returns how many are.
int keepAtLeast(InStepRule& rule, int records) {
    while (rule.verified() < records) {
        if (rule.next() == Step::prove) {
            rule.proofAnswered(proof());
        } else {
            rule.recordAnswered(answer(recordOf(rule.record())));
        }
    }
    return rule.verified();
}

bool blankFrom(const archive::ArchiveImage& image, int first) {
    return std::all_of(image.bytes.begin() + first * 10, image.bytes.end(),
                       [](std::uint8_t b) { return b == 0; });
}

} // namespace

TEST(InStepRule, AnAnswerOneTooManyIsCaughtWithinAFewRecordsAndTheUnprovenAreReadAgain) {
    archive::ArchiveImage image;
    InStepRule rule(image);
    // The first proof comes after a short batch, so a read that ends soon keeps what it proved.
    for (int i = 0; i < InStepRule::cleanBatch; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    EXPECT_EQ(rule.proof(), InStepRule::Proof::identity);
    rule.proofAnswered(proof());
    EXPECT_EQ(rule.verified(), InStepRule::cleanBatch);
    const int v = keepAtLeast(rule, 100);

    // Twenty records come right, then the answer to the last comes once more, in the next
    // one's place: the copy repeats the record before it, so the line is proven within a few
    // records, and that proof is handed a record's answer: it fails.
    for (int i = v; i < v + 20; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
    }
    for (int i = v + 20; i < v + 20 + InStepRule::proofWithin; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord) << i;
        rule.recordAnswered(answer(recordOf(i - 1)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    rule.proofAnswered(proof(Outcome::dataCrc));
    EXPECT_EQ(rule.failures(), 1);
    EXPECT_EQ(rule.verified(), v);
    EXPECT_TRUE(blankFrom(image, v)); // only right records stay
    // The line is drained until quiet, then read again from the last proof in a short batch.
    ASSERT_EQ(rule.next(), Step::settle);
    rule.settled({29, true});
    ASSERT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), v);
    for (int i = v; i < v + InStepRule::doubtBatch; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    // A proof that gets nothing is followed by one of another kind, which its late answer
    // cannot pass for; the records it was to prove are not dropped for that.
    EXPECT_EQ(rule.proof(), InStepRule::Proof::identity);
    rule.proofAnswered(proof(Outcome::noHeader, 0));
    ASSERT_EQ(rule.next(), Step::prove);
    EXPECT_EQ(rule.proof(), InStepRule::Proof::currentData);
    rule.proofAnswered(proof());
    EXPECT_EQ(rule.verified(), v + InStepRule::doubtBatch);
    EXPECT_EQ(rule.proof(), InStepRule::Proof::identity);

    // Bytes waiting before a request: an answer nobody asked for. A reply cut short, likewise:
    // the line is drained first. A request that got nothing is repeated, and nothing else is
    // asked until its record is heard: its answer may yet come.
    const int w = rule.verified();
    rule.recordAnswered(answer(recordOf(w), 19));
    EXPECT_EQ(rule.next(), Step::settle);
    rule.settled({19, true});
    EXPECT_EQ(rule.next(), Step::readRecord);
    rule.recordAnswered({{Outcome::dataShort, 7, 19, 0}, std::nullopt});
    EXPECT_EQ(rule.next(), Step::settle);
    rule.settled({0, true});
    rule.recordAnswered(answer(recordOf(w)));
    rule.recordAnswered(nothing);
    EXPECT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), w + 1);
    EXPECT_EQ(rule.failures(), 5);
    EXPECT_EQ(rule.faults(), 5);

    // One that got nothing with bytes waiting before it: the unproven records go, but the one
    // that got nothing is asked first, and what it brings is heard, not kept.
    rule.recordAnswered({{Outcome::noHeader, 0, 19, 19}, std::nullopt});
    ASSERT_EQ(rule.next(), Step::settle);
    rule.settled({19, true});
    ASSERT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), w + 1);
    EXPECT_EQ(rule.position(), w);
    rule.recordAnswered(answer(recordOf(w + 1)));
    EXPECT_TRUE(blankFrom(image, w));
    EXPECT_EQ(rule.record(), w);
}

TEST(InStepRule, ACopyHoweverLateAndTheEndOfARunAreHeardAgainAfterAProof) {
    archive::ArchiveImage image;
    InStepRule rule(image);
    const int v = keepAtLeast(rule, 100);
    // Record v+5's answer comes once more, eleven requests late, and the instrument leaves
    // v+16's request unanswered: the copy lands under v+16, and the proof passes. Both records
    // are heard once more; v+16's second hearing disagrees, which counts as a failure.
    for (int i = v; i < v + 16; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
        ASSERT_EQ(rule.next(), Step::readRecord) << i;
    }
    rule.recordAnswered(answer(recordOf(v + 5)));
    for (int i = v + 17; i < v + 16 + InStepRule::proofWithin; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    rule.proofAnswered(proof());
    // The second hearings come right after it, while the line is known to be in step, and the
    // next proof covers them.
    for (const int heard : {v + 5, v + 16}) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        EXPECT_EQ(rule.record(), heard);
        rule.recordAnswered(answer(recordOf(heard)));
    }
    while (rule.next() == Step::readRecord) {
        rule.recordAnswered(answer(recordOf(rule.record())));
    }
    rule.proofAnswered(proof());
    EXPECT_EQ(rule.failures(), 1);
    EXPECT_EQ(image.recordBytes(static_cast<std::size_t>(v + 16))[0], v + 16);
    // v+16 is heard a third time at once. A read that ends while a record waits for its second
    // hearing keeps only what is before it.
    ASSERT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), v + 16);
    rule.recordAnswered(answer(recordOf(v + 16)));
    rule.recordAnswered(answer(recordOf(40)));
    rule.endEarly();
    EXPECT_EQ(rule.verified(), 40);
    EXPECT_TRUE(blankFrom(image, 40));

    // Inside a run of equal records an answer one too many looks right; the record after the
    // run is where it shows, so the line is proven there, and the run's last record, which may
    // be a copy taken where its own answer was lost, is heard once more.
    archive::ArchiveImage runImage;
    InStepRule run(runImage);
    run.recordAnswered(answer(recordOf(0)));
    for (int i = 1; i < 8; ++i) {
        run.recordAnswered(answer(recordOf(700)));
        if (run.next() == Step::prove) {
            EXPECT_EQ(i, 5); // where the run starts, within a few records
            run.proofAnswered(proof());
        }
    }
    run.recordAnswered(answer(recordOf(8)));
    while (run.next() != Step::prove) {
        run.recordAnswered(answer(recordOf(run.record())));
    }
    run.proofAnswered(proof());
    ASSERT_EQ(run.next(), Step::readRecord);
    EXPECT_EQ(run.record(), 7);
}

TEST(InStepRule, TheEleventhFailureEndsTheReadWithOnlyProvenRecords) {
    archive::ArchiveImage image;
    InStepRule rule(image);
    const int v = keepAtLeast(rule, 100);
    rule.recordAnswered(answer(recordOf(v)));
    for (int failure = 1; failure <= 11; ++failure) {
        ASSERT_EQ(rule.next(), Step::readRecord) << failure;
        EXPECT_EQ(rule.record(), v + 1);
        rule.recordAnswered(nothing);
    }
    EXPECT_EQ(rule.next(), Step::givenUp);
    EXPECT_EQ(rule.faults(), 11);
    rule.endEarly();
    EXPECT_EQ(rule.verified(), v);
    EXPECT_TRUE(blankFrom(image, v));
}

TEST(ArchiveErase, ACommandThatDidNotGoOutKeepsTheLocalCopy) {
    auto shared = std::make_shared<link::ScriptedPort::Shared>();
    shared->openable = {"/dev/ttyUSB0"};
    shared->writeLimit = 4; // the adapter pulled out mid-write
    app::AppContext context(link::PortCatalog({{1, "/dev/ttyUSB0"}}, {}),
                            std::make_unique<link::ScriptedPort>(shared));
    context.state.portNumber = 1;
    context.state.language = app::Language::russian;
    for (int i = 0; i < 20; ++i) {
        archive::RecordBytes r{0, 0, 0, 0, 0, link::encodeBcd(i), 0x09, 0x01, 0x01, 0x26};
        link::encodeFloat32(r, 0, 0.1 + 0.01 * i); // a sample a minute
        context.archive.setRecord(static_cast<std::size_t>(i), r);
    }
    context.archive.loaded = true;
    context.archive.currentSession = 1;
    ASSERT_TRUE(app::showSession(context, '.'));
    const auto before = context.archive.bytes;
    const auto points = context.archiveTab.points.size();

    struct Host final : app::Events {
        void showStatus(app::StatusColour, const app::StatusMessage& m) override {
            last = m.russian;
        }
        void showNoConnection() override {}
        void showReadProgress(int) override {}
        void showArchiveTab() override {}
        bool confirmErase() override { return true; }
        void resetMemoryFill() override { ++memoryFillReset; }
        QString last;
        int memoryFillReset = 0;
    } host;
    EXPECT_EQ(app::eraseArchive(context, host), app::Outcome::writtenShort);
    EXPECT_EQ(host.last, "Ошибка связи");
    EXPECT_TRUE(context.archive.loaded);
    EXPECT_EQ(context.archive.bytes, before);
    EXPECT_EQ(context.archiveTab.points.size(), points);
    EXPECT_EQ(context.archiveTab.sampleRows().size(), 20U);
    EXPECT_EQ(host.memoryFillReset, 0);
}
