// A fault soak: 10 000 transactions against the simulated instrument with one read answer in
// five spoiled by the fast faults (a bad reply-header CRC, a bad data CRC, garbage), at fixed
// seeds. Every value accepted must be what the instrument sent for that request, and every
// spoiled answer must be reported as a failure: zero wrong values. Bounded in count, not time.
#include "instrument/transactions.h"
#include "link/codecs.h"
#include "sim_fixture.h"

#include <random>

using namespace veltra;

namespace {

class FaultSoak : public e2e::SimFixture, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    void SetUp() override {
        auto options = e2e::quietOptions();
        options.server.seed = GetParam();
        options.server.faultRate = 0.2;
        options.server.randomKinds = {sim::FaultKind::badHeaderCrc, sim::FaultKind::badDataCrc,
                                      sim::FaultKind::garbage};
        startSimulator(options);
    }
};

double wireValue(double v) {
    return link::decodeFloat32(link::encodeFloat32Bytes(v));
}

} // namespace

TEST_P(FaultSoak, EveryAcceptedValueIsTheOneSentAndEveryFaultIsReported) {
    constexpr int transactions = 2500; // per kind and seed: 10 000 over both kinds and seeds
    auto& model = simulator->model();
    int accepted = 0;
    int failed = 0;
    int wrong = 0;

    // Current data as the polling cycle reads it: reopen, clear, read, the CRC test.
    for (int i = 0; i < transactions; ++i) {
        const auto count = static_cast<std::uint32_t>(100000 + i);
        const double value = 0.05 + 0.0001 * i;
        model.pinMeasurementCount(count);
        model.pinMainValue(value);
        ASSERT_TRUE(context->ensurePortOpen());
        const auto read = instrument::readCurrentData(deviceLink());
        if (!read.ok()) {
            ++failed;
            continue;
        }
        ++accepted;
        if (read.value->measurementCount != count || read.value->mainValue != wireValue(value)) {
            ++wrong;
        }
    }

    // Archive records at addresses drawn at random.
    std::mt19937 addresses(GetParam());
    ASSERT_TRUE(context->ensurePortOpen());
    for (int i = 0; i < transactions; ++i) {
        const auto address = static_cast<std::uint16_t>(addresses() % 800);
        const auto read = instrument::readArchiveRecord(deviceLink(), address);
        if (!read.ok()) {
            ++failed;
            continue;
        }
        ++accepted;
        if (*read.value != model.archiveRecord(address)) {
            ++wrong;
        }
    }

    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(static_cast<std::uint64_t>(failed), simulator->server().stats().faultsApplied);
    EXPECT_EQ(accepted + failed, 2 * transactions);
    EXPECT_GT(failed, 2 * transactions / 10); // the faults really came (about one in five)
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, FaultSoak, ::testing::Values(7U, 2026U));
