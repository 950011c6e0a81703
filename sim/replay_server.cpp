#include "replay_server.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace veltra::sim {

namespace {

std::vector<std::uint8_t> hexBytes(std::istringstream& in) {
    std::vector<std::uint8_t> bytes;
    std::string word;
    while (in >> word) {
        if (word.size() != 2 ||
            word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            break;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

} // namespace

ReplayServer::ReplayServer(const std::string& tracePath) {
    std::ifstream trace(tracePath);
    if (!trace) {
        m_error = "cannot read the trace " + tracePath;
        return;
    }
    std::string line;
    double requestAt = 0.0;
    double lastAt = 0.0;
    while (std::getline(trace, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream in(line);
        double at = 0.0;
        std::string what;
        if (!(in >> at >> what)) {
            continue;
        }
        if (what == ">") {
            m_exchanges.push_back({hexBytes(in), {}});
            requestAt = at;
            lastAt = at;
        } else if ((what == "<" || what == "<~") && !m_exchanges.empty()) {
            // Bytes a purge threw away had come before the purge, and after what was read
            // before them: sent a little ahead of it, so the replayed purge finds them too.
            const double sentAt = what == "<" ? at : std::max(lastAt, at - 0.002);
            lastAt = std::max(lastAt, sentAt);
            m_exchanges.back().answers.push_back(
                {std::chrono::microseconds(
                     static_cast<std::int64_t>((sentAt - requestAt) * 1e6 + 0.5)),
                 hexBytes(in)});
        }
    }
    if (m_exchanges.empty()) {
        m_error = "the trace " + tracePath + " holds no request";
    }
}

std::size_t ReplayServer::mismatches() const {
    std::lock_guard lock(m_mutex);
    return m_mismatches;
}

std::size_t ReplayServer::replayed() const {
    std::lock_guard lock(m_mutex);
    return m_next;
}

std::vector<Response> ReplayServer::receive(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    std::vector<Response> out;
    while (m_next < m_exchanges.size() && m_pending.size() >= m_exchanges[m_next].request.size()) {
        const Exchange& exchange = m_exchanges[m_next];
        const auto size = static_cast<std::ptrdiff_t>(exchange.request.size());
        if (!std::equal(exchange.request.begin(), exchange.request.end(), m_pending.begin())) {
            ++m_mismatches;
            std::string got;
            for (std::size_t i = 0; i < exchange.request.size(); ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02x", m_pending[i]);
                got += hex;
            }
            std::fprintf(stderr, "veltra-sim: request %zu is not the one the trace recorded:%s\n",
                         m_next + 1, got.c_str());
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + size);
        for (const Answer& answer : exchange.answers) {
            Response r;
            r.bytes = answer.bytes;
            r.delay = answer.after;
            r.onTime = true;
            out.push_back(std::move(r));
        }
        ++m_next;
    }
    return out;
}

} // namespace veltra::sim
