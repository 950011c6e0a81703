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

// Records 0..99 read right and proven.
void keepFirstHundred(InStepRule& rule) {
    for (int i = 0; i < 100; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
    }
    rule.proofAnswered(proof());
}

bool blankFrom(const archive::ArchiveImage& image, int first) {
    return std::all_of(image.bytes.begin() + first * 10, image.bytes.end(),
                       [](std::uint8_t b) { return b == 0; });
}

} // namespace

TEST(InStepRule, AnAnswerOneTooManyIsCaughtWithinAFewRecordsAndTheUnprovenAreReadAgain) {
    archive::ArchiveImage image;
    InStepRule rule(image);
    for (int i = 0; i < InStepRule::cleanBatch; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    EXPECT_EQ(rule.proof(), InStepRule::Proof::identity);
    rule.proofAnswered(proof());
    EXPECT_EQ(rule.verified(), 100);

    // Records 100..119 come right, then the answer to 119 comes once more, in 120's place: the
    // copy repeats the record before it, so the line is proven within a few records, and that
    // proof is handed a record's answer: it fails.
    for (int i = 100; i < 120; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
    }
    for (int i = 120; i < 120 + InStepRule::proofWithin; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord) << i;
        rule.recordAnswered(answer(recordOf(i - 1)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    rule.proofAnswered(proof(Outcome::dataCrc));
    EXPECT_EQ(rule.failures(), 1);
    EXPECT_EQ(rule.verified(), 100);
    EXPECT_TRUE(blankFrom(image, 100)); // only right records stay
    // Read again from the last proof, in a short batch, at once (the spoiled answer came whole).
    ASSERT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), 100);
    for (int i = 100; i < 100 + InStepRule::doubtBatch; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    // From the first failure on, no proof asks what the one before it asked: an answer to an
    // earlier proof that a stalled line lets go late cannot pass for this one.
    EXPECT_EQ(rule.proof(), InStepRule::Proof::currentData);

    // Bytes waiting before a request: an answer nobody asked for. A reply cut short leaves bytes
    // on their way: the line is drained first. A request that got nothing at all is repeated.
    rule.proofAnswered(proof());
    rule.recordAnswered(answer(recordOf(104), 19));
    EXPECT_EQ(rule.next(), Step::settle);
    rule.settled({19, true});
    EXPECT_EQ(rule.next(), Step::readRecord);
    rule.recordAnswered({{Outcome::dataShort, 7, 19, 0}, std::nullopt});
    EXPECT_EQ(rule.next(), Step::settle);
    rule.settled({0, true});
    rule.recordAnswered({{Outcome::noHeader, 0, 19, 0}, std::nullopt});
    EXPECT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), 104);
    EXPECT_EQ(rule.failures(), 4);
}

TEST(InStepRule, ACopyHoweverLateAndTheEndOfARunAreHeardAgainAfterAProof) {
    archive::ArchiveImage image;
    InStepRule rule(image);
    keepFirstHundred(rule);
    // Record 105's answer comes once more, eleven requests late, and the instrument leaves 116's
    // request unanswered: the copy lands under 116, and the proof passes. Both records are
    // heard once more; 116's second hearing disagrees, which counts as a failure.
    for (int i = 100; i < 116; ++i) {
        rule.recordAnswered(answer(recordOf(i)));
        ASSERT_EQ(rule.next(), Step::readRecord) << i;
    }
    rule.recordAnswered(answer(recordOf(105)));
    for (int i = 117; i < 116 + InStepRule::proofWithin; ++i) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        rule.recordAnswered(answer(recordOf(i)));
    }
    ASSERT_EQ(rule.next(), Step::prove);
    rule.proofAnswered(proof());
    // The second hearings come right after it, while the line is known to be in step, and the
    // next proof covers them.
    for (const int heard : {105, 116}) {
        ASSERT_EQ(rule.next(), Step::readRecord);
        EXPECT_EQ(rule.record(), heard);
        rule.recordAnswered(answer(recordOf(heard)));
    }
    while (rule.next() == Step::readRecord) {
        rule.recordAnswered(answer(recordOf(rule.record())));
    }
    rule.proofAnswered(proof());
    EXPECT_EQ(rule.failures(), 1);
    EXPECT_EQ(image.recordBytes(116)[0], 116);
    // 116 is heard a third time at once. A read that ends while a record waits for its second
    // hearing keeps only what is before it.
    ASSERT_EQ(rule.next(), Step::readRecord);
    EXPECT_EQ(rule.record(), 116);
    rule.recordAnswered(answer(recordOf(116)));
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
    keepFirstHundred(rule);
    for (int failure = 1; failure <= 11; ++failure) {
        ASSERT_EQ(rule.next(), Step::readRecord) << failure;
        rule.recordAnswered(answer(recordOf(100)));
        rule.recordAnswered({{Outcome::noHeader, 0, 19, 0}, std::nullopt});
    }
    EXPECT_EQ(rule.next(), Step::givenUp);
    EXPECT_EQ(rule.verified(), 100);
    EXPECT_TRUE(blankFrom(image, 100));
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

    struct Host final : app::ArchiveHost {
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
    EXPECT_EQ(app::eraseArchive(context, host), app::EraseOutcome::writtenShort);
    EXPECT_EQ(host.last, "Ошибка связи");
    EXPECT_TRUE(context.archive.loaded);
    EXPECT_EQ(context.archive.bytes, before);
    EXPECT_EQ(context.archiveTab.points.size(), points);
    EXPECT_EQ(context.archiveTab.sampleRows().size(), 20U);
    EXPECT_EQ(host.memoryFillReset, 0);
}
