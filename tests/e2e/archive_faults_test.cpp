// Archive reads through a pseudo-terminal against the simulated instrument, with the faults of a
// slow or bursty line (a Bluetooth serial port, a busy USB hub): answers late past their time-out,
// answers sent twice (at once, or a few milliseconds later, after the next request's purge),
// reply headers with no data, cut and spoiled answers, garbage, silence; reply headers that echo
// the request and ones that echo nothing; instrument turnarounds of 0, 3 and 20 ms. Every record
// a read keeps is compared with the instrument's own: none may be wrong, a read that reports
// success has all 800, and a read that ends early keeps only right records and zeros after them.
#include "app/archive_tab.h"
#include "sim_fixture.h"

#include <iostream>
#include <random>

using namespace veltra;
using sim::Fault;
using sim::FaultKind;

namespace {

class SilentHost final : public app::Events {
public:
    void showStatus(app::StatusColour, const app::StatusMessage&) override {}
    void showNoConnection() override {}
    void showReadProgress(int) override {}
    void showArchiveTab() override {}
    bool confirmErase() override { return false; }
    void resetMemoryFill() override {}
};

// The faults the issue reports reproduce (skip counts count read answers).
std::vector<std::vector<Fault>> fixedCases() {
    return {
        {{FaultKind::delay, 1, 2300, 100}}, // late by 2.3 s: two answers one too many
        {{FaultKind::repeat, 1, 1, 330}},   // the same answer twice, inside a run of equal records
        {{FaultKind::headerOnly, 1, 0, 0}}, // a reply header and nothing: record 0 was garbage
        {{FaultKind::repeat, 1, 3, 600}},   // the copy comes after the next request's purge
    };
}

class ArchiveFaults : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(ArchiveFaults, NoRecordIsEverKeptUnderAnotherNumber) {
    const int turnaround_ms = GetParam();
    // The reported cases and a few random mixes on a real pseudo-terminal (a read takes 800
    // turnarounds at least); hundreds more run in virtual time (tests/unit/archive_line_test.cpp).
    const int reads = turnaround_ms >= 20 ? 4 : (turnaround_ms >= 3 ? 8 : 12);
    std::mt19937 rng(static_cast<std::uint32_t>(2026 + turnaround_ms));
    int complete = 0;
    int endedEarly = 0;
    int injected = 0;
    long compared = 0;
    long wrong = 0;
    for (int r = 0; r < reads; ++r) {
        const auto fixed = fixedCases();
        const std::vector<Fault> faults = r < static_cast<int>(fixed.size())
                                              ? fixed[static_cast<std::size_t>(r)]
                                              : sim::randomLineFaults(rng);
        auto options = e2e::quietOptions();
        options.endpoint.turnaround = std::chrono::milliseconds(turnaround_ms);
        options.server.echoHeader = r % 2 == 0;
        options.server.seed = static_cast<std::uint32_t>(r + 1);
        sim::Simulator simulator(options);
        ASSERT_TRUE(simulator.start()) << simulator.errorText();
        // A run of equal records in the middle of the archive, where a shifted answer is the
        // record it replaces.
        const auto same = simulator.model().archiveRecord(300);
        for (std::size_t i = 301; i <= 340; ++i) {
            simulator.model().setArchiveRecord(i, same);
        }
        for (const Fault& f : faults) {
            simulator.server().injectFault(f);
        }
        injected += static_cast<int>(faults.size());

        app::AppContext context(
            link::PortCatalog({{1, QString::fromStdString(simulator.devicePath())}}, {}));
        context.state.portNumber = 1;
        SilentHost host;
        const auto result = app::readArchive(context, host, '.', false);

        const int kept = result.outcome == app::Outcome::ok ? 800 : result.recordsRead;
        for (int i = 0; i < 800; ++i) {
            const auto want = simulator.model().archiveRecord(static_cast<std::size_t>(i));
            const auto got = context.archive.recordBytes(static_cast<std::size_t>(i));
            const bool right = i < kept ? std::equal(want.begin(), want.end(), got.begin())
                                        : std::all_of(got.begin(), got.end(),
                                                      [](std::uint8_t b) { return b == 0; });
            ++compared;
            if (!right) {
                ++wrong;
                ADD_FAILURE() << "read " << r << ": record " << i << " is not the instrument's";
            }
        }
        if (result.outcome == app::Outcome::ok) {
            ++complete;
        } else {
            ++endedEarly;
            // One fault of any kind is well inside the budget of ten failed transactions.
            EXPECT_GT(faults.size(), 1U)
                << "read " << r << " ended after " << result.failures << " failures";
        }
    }
    std::cout << "turnaround " << turnaround_ms << " ms: " << reads << " reads (" << complete
              << " complete, " << endedEarly << " ended early), " << injected
              << " faults injected, " << compared << " records compared, " << wrong << " wrong\n";
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Turnarounds, ArchiveFaults, ::testing::Values(0, 3, 20),
                         [](const auto& turnaround) {
                             return std::to_string(turnaround.param) + "ms";
                         });
