// A parameter readout as the line may bring it (any 75 bytes), through the parameters tab's
// state as the window fills it at start-up, to the block "Save parameters" writes right after.
// What the tab does not edit must go back as the instrument sent it, and a save right after a
// read must never refuse a cell the read filled itself.
#include "app/app_context.h"
#include "app/parameters_tab.h"
#include "link/codecs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <variant>

namespace {

class Host final : public veltra::app::Events {
public:
    void showStatus(veltra::app::StatusColour, const veltra::app::StatusMessage&) override {}
    void showNoConnection() override {}
    void setSoftwareVersion(int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    std::array<std::uint8_t, params::readoutSize> bytes{};
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    const params::ParameterReadout readout = params::decodeReadout(bytes);
    const auto language = size > bytes.size() && (data[bytes.size()] & 1) != 0
                              ? text::Language::english
                              : text::Language::russian;
    const QChar separator =
        size > bytes.size() + 1 && (data[bytes.size() + 1] & 1) != 0 ? ',' : '.';

    app::AppContext context(link::PortCatalog({}, {}), nullptr);
    Host host;
    // As the start-up: the type known, the tables fill the lists, the read selects in them.
    app::applyReadout(context, host, readout, separator);
    app::applyLanguageLists(context.parametersTab, language, context.state.parameters.block);
    app::applyReadout(context, host, readout, separator);

    const auto built = app::blockFromTab(context.parametersTab, readout.block, separator);
    if (std::holds_alternative<app::CellError>(built)) {
        __builtin_trap(); // a cell the read wrote itself was refused
    }
    const auto sent = params::encodeParameterBlock(std::get<params::BlockToWrite>(built));
    const auto& in = readout.block.bytes;
    // Bytes the tab does not edit.
    for (const std::size_t at :
         {params::offset::softwareVersion, params::offset::modeSetting, params::offset::keptByte,
          params::offset::deviceFlags, params::offset::deviceType}) {
        if (sent[at] != in[at]) {
            __builtin_trap();
        }
    }
    // Kept floats above 0 go back as they came (the others: FF FF FF FF or 0, by the rule).
    for (std::size_t at = params::offset::keptFloats; at <= params::offset::keptFloat; at += 4) {
        const double value = link::decodeFloat32(std::span<const std::uint8_t>(in), at);
        if (value > 0.0 && !std::equal(in.begin() + static_cast<std::ptrdiff_t>(at),
                                       in.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                       sent.begin() + static_cast<std::ptrdiff_t>(at))) {
            __builtin_trap();
        }
    }
    return 0;
}
