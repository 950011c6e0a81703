// An archive image as the instrument's memory may hold it (any 8000 bytes; a shorter input is
// blank after its end), through the session walk, the first decoding pass, every session's
// view and its session-file lines, in both languages and with both separators.
#include "archive/session_view.h"
#include "archive/text_lines.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    archive::ArchiveImage image;
    std::memcpy(image.bytes.data(), data,
                std::min(size, archive::recordCapacity * archive::recordSize));
    const auto language =
        size > 0 && (data[0] & 1) != 0 ? text::Language::english : text::Language::russian;
    const QChar separator = size > 1 && (data[1] & 1) != 0 ? ',' : '.';

    const archive::FirstPass pass = archive::firstDecodingPass(image, language, separator);
    if (pass.archiveLines.size() != archive::passRecords) {
        __builtin_trap();
    }
    for (const QByteArray& line : pass.archiveLines) {
        if (!line.endsWith("\r\n") || line.count('\n') != 1) {
            __builtin_trap();
        }
    }
    image.sessionCount = pass.sessionCount;
    // Sessions from below 1 (never shown) up to the count, a few of them.
    for (int session = std::max(pass.sessionCount - 3, -2); session <= pass.sessionCount;
         ++session) {
        const archive::SessionView view =
            archive::buildSessionView(image, session, language, separator);
        if (static_cast<int>(view.rows.size()) != view.stats.count ||
            view.points.size() != view.rows.size()) {
            __builtin_trap();
        }
        if (!view.empty() && view.rowCount != std::max(17, view.stats.count + 1)) {
            __builtin_trap();
        }
        for (const auto& row : view.rows) {
            const QByteArray line = archive::sessionFileLine(row, separator);
            if (!line.endsWith("\r\n")) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
