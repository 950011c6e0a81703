// veltra-sim: a simulated instrument on a pseudo-terminal. Prints the device path it serves,
// then answers the instrument's commands until it is interrupted.

#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace {

const char* const usage =
    "usage: veltra-sim [options]\n"
    "  --type N            instrument type 1..7 (default 4)\n"
    "  --seed N            seed of the fluctuations and the faults (default 1)\n"
    "  --link PATH         keep a symlink to the device at PATH\n"
    "  --wire-timing       pace the answers at 57600 baud 8N1\n"
    "  --turnaround MS     answer each request no sooner than MS after it (default 0)\n"
    "  --fault KIND[:N]    fault the next N read answers (default 1); KIND is one of\n"
    "                      silence, truncated, header-only, bad-header-crc, bad-data-crc,\n"
    "                      garbage, delay=MS (late, the answers after it wait),\n"
    "                      repeat[=MS] (sent again MS after it ended, default 0), drop\n"
    "  --fault-rate P      fault each read answer with probability P (0..1)\n"
    "  --junk-after-writes answer every write with random bytes\n"
    "  --no-header-echo    reply headers hold arbitrary bytes (their CRC checks)\n"
    "  --no-archive-logging  keep the archive as it starts\n"
    "  --replay TRACE      answer as a serial trace (veltra --trace, veltra-cli --trace) says\n"
    "                      the instrument did, instead of as the simulated instrument\n"
    "  --frozen-at TIME    the instrument's time stands still at TIME (YYYY-MM-DDTHH:MM:SS,\n"
    "                      UTC): every answer is the same, for comparing two programs' output\n"
    "  --help              this text\n";

bool parseInt(std::string_view text, long min, long max, long& out) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

bool parseFault(std::string_view text, veltra::sim::Fault& fault) {
    using veltra::sim::FaultKind;
    std::string_view kind = text;
    long count = 1;
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        kind = text.substr(0, colon);
        if (!parseInt(text.substr(colon + 1), 1, 1000000, count)) {
            return false;
        }
    }
    fault.count = static_cast<int>(count);
    for (const auto& [prefix, timed] :
         {std::pair{std::string_view("delay="), FaultKind::delay},
          std::pair{std::string_view("repeat="), FaultKind::repeat}}) {
        if (kind.starts_with(prefix)) {
            long ms = 0;
            if (!parseInt(kind.substr(prefix.size()), 0, 60000, ms)) {
                return false;
            }
            fault.kind = timed;
            fault.delay_ms = static_cast<int>(ms);
            return true;
        }
    }
    static constexpr std::pair<std::string_view, FaultKind> kinds[] = {
        {"silence", FaultKind::silence},
        {"truncated", FaultKind::truncated},
        {"header-only", FaultKind::headerOnly},
        {"repeat", FaultKind::repeat},
        {"bad-header-crc", FaultKind::badHeaderCrc},
        {"bad-data-crc", FaultKind::badDataCrc},
        {"garbage", FaultKind::garbage},
        {"drop", FaultKind::dropPort},
    };
    for (const auto& [name, k] : kinds) {
        if (kind == name) {
            fault.kind = k;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    veltra::sim::SimulatorOptions options;
    std::vector<veltra::sim::Fault> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--type" && hasValue && parseInt(argv[i + 1], 1, 7, n)) {
            options.model.deviceType = static_cast<int>(n);
            ++i;
        } else if (arg == "--seed" && hasValue && parseInt(argv[i + 1], 0, 0xFFFFFFFFL, n)) {
            options.model.seed = static_cast<std::uint32_t>(n);
            options.server.seed = static_cast<std::uint32_t>(n);
            ++i;
        } else if (arg == "--link" && hasValue) {
            options.endpoint.linkPath = argv[++i];
        } else if (arg == "--wire-timing") {
            options.endpoint.wireTiming = true;
        } else if (arg == "--turnaround" && hasValue) {
            long ms = 0;
            if (!parseInt(argv[++i], 0, 1000, ms)) {
                std::fprintf(stderr, "veltra-sim: bad turnaround '%s'\n%s", argv[i], usage);
                return 2;
            }
            options.endpoint.turnaround = std::chrono::milliseconds(ms);
        } else if (arg == "--fault" && hasValue) {
            veltra::sim::Fault fault;
            if (!parseFault(argv[i + 1], fault)) {
                std::fprintf(stderr, "veltra-sim: bad fault '%s'\n%s", argv[i + 1], usage);
                return 2;
            }
            faults.push_back(fault);
            ++i;
        } else if (arg == "--fault-rate" && hasValue) {
            char* end = nullptr;
            const double p = std::strtod(argv[i + 1], &end);
            if (*end != '\0' || !(p >= 0.0 && p <= 1.0)) {
                std::fprintf(stderr, "veltra-sim: bad fault rate '%s'\n", argv[i + 1]);
                return 2;
            }
            options.server.faultRate = p;
            ++i;
        } else if (arg == "--no-header-echo") {
            options.server.echoHeader = false;
        } else if (arg == "--junk-after-writes") {
            options.server.answerWritesWithJunk = true;
        } else if (arg == "--no-archive-logging") {
            options.model.archiveLogging = false;
        } else if (arg == "--replay" && hasValue) {
            options.replayPath = argv[++i];
        } else if (arg == "--frozen-at" && hasValue) {
            std::tm t{};
            const std::string text = argv[++i];
            if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &t.tm_year, &t.tm_mon,
                            &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
                std::fprintf(stderr, "veltra-sim: bad time '%s'\n%s", text.c_str(), usage);
                return 2;
            }
            t.tm_year -= 1900;
            t.tm_mon -= 1;
            const auto frozen = veltra::sim::SimClock::from_time_t(timegm(&t));
            options.model.now = [frozen] { return frozen; };
        } else {
            std::fprintf(stderr, "veltra-sim: bad argument '%s'\n%s", argv[i], usage);
            return 2;
        }
    }

    // Block the stop signals before the serving thread starts, then wait for one of them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    veltra::sim::Simulator simulator(std::move(options));
    for (const auto& fault : faults) {
        simulator.server().injectFault(fault);
    }
    if (!simulator.start()) {
        std::fprintf(stderr, "veltra-sim: %s\n", simulator.errorText().c_str());
        return 1;
    }
    std::printf("%s\n", simulator.devicePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.stop();
    return 0;
}
