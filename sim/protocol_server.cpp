#include "protocol_server.h"

#include "link/codecs.h"
#include "link/frame.h"

#include <algorithm>

namespace veltra::sim {

namespace cmd = link::command;
using link::crc16Modbus;
using link::Frame;

namespace {

constexpr std::size_t maxLogEntries = 4096;

bool isWrite(std::uint8_t command) {
    return command == cmd::setClock || command == cmd::writeParameters ||
           command == cmd::resetDose || command == cmd::factorySettings ||
           command == cmd::eraseArchive;
}

// The data length the instrument expects with each write command.
std::uint16_t writeLength(std::uint8_t command) {
    switch (command) {
    case cmd::setClock:
        return link::length::clock;
    case cmd::writeParameters:
        return link::length::parameterBlock;
    case cmd::resetDose:
        return 1;
    default:
        return 0;
    }
}

void appendWithCrc(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data) {
    out.insert(out.end(), data.begin(), data.end());
    const auto crc = crc16Modbus(data);
    out.push_back(crc.lo);
    out.push_back(crc.hi);
}

Response sending(std::vector<std::uint8_t> bytes, std::chrono::microseconds delay = {}) {
    Response r;
    r.bytes = std::move(bytes);
    r.delay = delay;
    return r;
}

} // namespace

ProtocolServer::ProtocolServer(InstrumentModel& model, ServerOptions options)
    : m_model(model), m_options(options), m_rng(options.seed) {}

void ProtocolServer::injectFault(Fault fault) {
    std::lock_guard lock(m_mutex);
    if (fault.count > 0) {
        m_faults.push_back(fault);
    }
}

void ProtocolServer::clearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

ServerStats ProtocolServer::stats() const {
    std::lock_guard lock(m_mutex);
    return m_stats;
}

std::vector<std::vector<std::uint8_t>> ProtocolServer::requestLog() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

void ProtocolServer::clearRequestLog() {
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

std::vector<Response> ProtocolServer::receive(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    m_stats.bytesReceived += bytes.size();
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    std::vector<Response> out;
    while (takeFrame(out)) {
    }
    return out;
}

bool ProtocolServer::takeFrame(std::vector<Response>& out) {
    if (m_pending.size() < Frame::size) {
        return false;
    }
    const auto header = Frame::parse(std::span(m_pending).first<Frame::size>());
    if (!header) {
        // Not a frame start: slide by one byte and look again.
        m_pending.erase(m_pending.begin());
        ++m_stats.rejected;
        return true;
    }
    if (isWrite(header->command)) {
        const std::size_t total = Frame::size + header->length + 2U;
        if (header->length != writeLength(header->command) || header->address != 0) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + Frame::size);
            ++m_stats.rejected;
            return true;
        }
        if (m_pending.size() < total) {
            return false; // the data are still on their way
        }
        const auto frame = std::span(m_pending).first(total);
        const auto dataAndCrc = frame.subspan(Frame::size);
        if (crc16Modbus(dataAndCrc).isZero()) {
            applyWrite(header->command, dataAndCrc.first(header->length));
            ++m_stats.writes;
            if (m_log.size() < maxLogEntries) {
                m_log.emplace_back(frame.begin(), frame.end());
            }
            if (m_options.answerWritesWithJunk) {
                out.push_back(sending(randomBytes(1 + m_rng() % 24)));
            }
        } else {
            ++m_stats.rejected;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(total));
        return true;
    }

    const auto frame = std::span(m_pending).first<Frame::size>();
    if (m_log.size() < maxLogEntries) {
        m_log.emplace_back(frame.begin(), frame.end());
    }
    bool served = false;
    auto reply = answerRead(header->command, header->length, header->address, served);
    m_pending.erase(m_pending.begin(), m_pending.begin() + Frame::size);
    if (!served) {
        ++m_stats.rejected;
        return true;
    }
    ++m_stats.reads;
    out.push_back(withFault(std::move(reply)));
    return true;
}

std::vector<std::uint8_t> ProtocolServer::answerRead(std::uint8_t command, std::uint16_t length,
                                                     std::uint16_t address, bool& served) {
    std::vector<std::uint8_t> data;
    served = true;
    if (command == cmd::currentData && length == link::length::currentData && address == 0) {
        const auto b = m_model.currentData();
        data.assign(b.begin(), b.end());
    } else if (command == cmd::currentData && length == link::length::identityProbe &&
               address == link::identityProbeAddress) {
        const auto b = m_model.identity();
        data.assign(b.begin(), b.end());
    } else if (command == cmd::parameters && length == link::length::parameterReadout &&
               address == 0) {
        const auto b = m_model.parameterReadout();
        data.assign(b.begin(), b.end());
    } else if (command == cmd::archiveRecord && length == link::length::archiveRecord &&
               address < link::archiveRecordCount) {
        const auto b = m_model.archiveRecord(address);
        data.assign(b.begin(), b.end());
    } else {
        served = false;
        return {};
    }
    std::vector<std::uint8_t> reply;
    if (m_options.echoHeader) {
        const auto header = Frame{command, length, address}.bytes();
        reply.assign(header.begin(), header.end());
    } else {
        appendWithCrc(reply, randomBytes(Frame::size - 2));
    }
    appendWithCrc(reply, data);
    return reply;
}

void ProtocolServer::applyWrite(std::uint8_t command, std::span<const std::uint8_t> data) {
    switch (command) {
    case cmd::setClock:
        m_model.setClockFromBcd(data.first<6>());
        break;
    case cmd::writeParameters:
        m_model.setParameters(data.first<parameterBlockSize>());
        break;
    case cmd::resetDose:
        if (data[0] == link::resetDoseData) {
            m_model.resetDose();
        }
        break;
    case cmd::factorySettings:
        m_model.restoreFactorySettings();
        break;
    case cmd::eraseArchive:
        m_model.eraseArchive();
        break;
    default:
        break;
    }
}

std::vector<std::uint8_t> ProtocolServer::randomBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(m_rng() & 0xFFU);
    }
    return bytes;
}

Response ProtocolServer::withFault(std::vector<std::uint8_t> reply) {
    Fault fault;
    bool faulty = false;
    if (!m_faults.empty() && m_faults.front().skipReads > 0) {
        --m_faults.front().skipReads;
    } else if (!m_faults.empty()) {
        fault = m_faults.front();
        if (--m_faults.front().count <= 0) {
            m_faults.pop_front();
        }
        faulty = true;
    } else if (m_options.faultRate > 0.0 &&
               std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_options.faultRate) {
        // Random faults never drop the port: a demo should keep running.
        fault.kind = m_options.randomKinds.empty()
                         ? static_cast<FaultKind>(m_rng() % 6) // silence .. delay
                         : m_options.randomKinds[m_rng() % m_options.randomKinds.size()];
        const auto [lo, hi] =
            fault.kind == FaultKind::repeat ? m_options.randomCopy_ms : m_options.randomDelay_ms;
        fault.delay_ms =
            hi > lo ? std::uniform_int_distribution<int>(lo, hi)(m_rng) : lo; // one draw less
        faulty = true;
    }
    if (!faulty) {
        return sending(std::move(reply));
    }
    ++m_stats.faultsApplied;
    switch (fault.kind) {
    case FaultKind::silence:
        return {};
    case FaultKind::truncated: {
        const std::size_t data = reply.size() - Frame::size - 2;
        reply.resize(Frame::size + data / 2);
        return sending(std::move(reply));
    }
    case FaultKind::badHeaderCrc:
        reply[Frame::size - 1] ^= 0x5A;
        return sending(std::move(reply));
    case FaultKind::badDataCrc:
        reply.back() ^= 0xA5;
        return sending(std::move(reply));
    case FaultKind::garbage:
        return sending(randomBytes(reply.size()));
    case FaultKind::delay:
        return sending(std::move(reply), std::chrono::milliseconds(fault.delay_ms));
    case FaultKind::dropPort: {
        Response r;
        r.dropPort = true;
        return r;
    }
    case FaultKind::headerOnly:
        reply.resize(Frame::size);
        return sending(std::move(reply));
    case FaultKind::repeat: {
        Response r = sending(std::move(reply));
        r.copyAfter = std::chrono::milliseconds(fault.delay_ms);
        return r;
    }
    }
    return sending(std::move(reply));
}

std::vector<Fault> randomLineFaults(std::mt19937& rng) {
    const auto pick = [&rng](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    std::vector<Fault> faults(static_cast<std::size_t>(pick(1, 3)));
    for (Fault& f : faults) {
        f.skipReads = pick(0, 300);
        switch (pick(0, 8)) {
        case 0:
            f = {FaultKind::delay, 1, pick(1100, 5000), f.skipReads};
            break;
        case 1:
            f = {FaultKind::repeat, 1, pick(0, 8), f.skipReads};
            break;
        case 2:
            f = {FaultKind::repeat, 1, pick(10, 40), f.skipReads};
            break;
        case 3:
            f.kind = FaultKind::headerOnly;
            break;
        case 4:
            f.kind = FaultKind::truncated;
            break;
        case 5:
            f.kind = FaultKind::garbage;
            break;
        case 6:
            f.kind = FaultKind::badHeaderCrc;
            break;
        case 7:
            f.kind = FaultKind::badDataCrc;
            break;
        default:
            f.kind = FaultKind::silence;
            break;
        }
    }
    return faults;
}

} // namespace veltra::sim
