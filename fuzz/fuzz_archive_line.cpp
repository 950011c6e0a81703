// The archive reader against the simulated instrument over a line in virtual time, the input
// choosing the line (turnaround, wire timing, reply headers, a purge's blind spot) and what
// befalls each answer: nothing, silence, late by up to 5 s, a copy after up to 2.5 s, a spoiled
// byte, a cut, stray bytes after it. Whatever happens, the image holds only the instrument's own
// records (and zeros after the last one kept), and a read reported done holds all 800.
#include "instrument/archive_reader.h"
#include "protocol_server.h"
#include "virtual_line.h"

#include <algorithm>

namespace {

using namespace veltra;

// Each answer takes its fate from the next two input bytes; past the input's end, none.
class Scripted final : public sim::Responder {
public:
    Scripted(sim::Responder& inner, const std::uint8_t* data, std::size_t size)
        : m_inner(inner), m_data(data), m_size(size) {}

    std::vector<sim::Response> receive(std::span<const std::uint8_t> bytes) override {
        auto out = m_inner.receive(bytes);
        if (out.empty() || out.front().bytes.empty() || m_at + 1 >= m_size) {
            return out;
        }
        const std::uint8_t kind = m_data[m_at];
        const std::uint8_t arg = m_data[m_at + 1];
        m_at += 2;
        sim::Response& r = out.front();
        switch (kind % 16) {
        case 0:
            r.bytes.clear(); // silence
            break;
        case 1:
            r.delay += std::chrono::milliseconds(arg * 20);
            break;
        case 2:
            r.copyAfter = std::chrono::milliseconds(arg * 10);
            break;
        case 3:
            r.bytes[arg % r.bytes.size()] ^= static_cast<std::uint8_t>(1U << (arg % 8));
            break;
        case 4:
            r.bytes.resize(arg % r.bytes.size());
            break;
        case 5:
            for (int i = 0; i < 1 + arg % 8; ++i) {
                r.bytes.push_back(static_cast<std::uint8_t>(arg * 31 + i));
            }
            break;
        default:
            break; // most answers come as they should
        }
        return out;
    }

private:
    sim::Responder& m_inner;
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace std::chrono_literals;
    if (size < 2) {
        return 0;
    }
    const std::uint8_t line = data[0];
    constexpr std::array<std::chrono::microseconds, 4> turnarounds{0us, 3ms, 20ms, 100ms};
    fakes::VirtualLineOptions options{.turnaround = turnarounds[line % 4],
                                      .wireTiming = (line & 4) != 0,
                                      .purgeBlindSpot = (line & 8) != 0 ? 2ms : 0us};
    sim::InstrumentModel model(sim::ModelOptions{.archiveLogging = false});
    // A run of equal records, where an answer one too many reads as the record it replaces.
    const auto same = model.archiveRecord(300);
    for (std::size_t i = 301; i <= 340; ++i) {
        model.setArchiveRecord(i, same);
    }
    sim::ProtocolServer server(model, {.echoHeader = (line & 16) != 0});
    Scripted scripted(server, data + 1, size - 1);

    auto port = std::make_unique<fakes::VirtualLine>(scripted, options);
    link::DeviceLink link(link::PortCatalog({{1, fakes::virtualLineDevice}}, {}), std::move(port));
    if (!link.openPortNumber(1)) {
        __builtin_trap();
    }
    archive::ArchiveImage image;
    const auto reading = instrument::readArchiveRecords(link, image, {});
    const bool done = reading.end == instrument::ArchiveReading::End::read;
    const int kept = done ? 800 : reading.recordsRead;
    for (std::size_t i = 0; i < archive::recordCapacity; ++i) {
        const auto got = image.recordBytes(i);
        const bool right = static_cast<int>(i) < kept
                               ? std::ranges::equal(got, model.archiveRecord(i))
                               : std::ranges::all_of(got, [](std::uint8_t b) { return b == 0; });
        if (!right) {
            __builtin_trap();
        }
    }
    return 0;
}
