#include "simulator.h"

#include <thread>

namespace veltra::sim {

namespace {

std::unique_ptr<ReplayServer> replayOf(const std::string& path) {
    return path.empty() ? nullptr : std::make_unique<ReplayServer>(path);
}

} // namespace

Simulator::Simulator(SimulatorOptions options)
    : m_model(std::move(options.model)), m_server(m_model, options.server),
      m_replay(replayOf(options.replayPath)),
      m_endpoint(m_replay ? static_cast<Responder&>(*m_replay) : m_server,
                 std::move(options.endpoint)) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start() {
    if (m_replay && !m_replay->error().empty()) {
        return false;
    }
    return m_endpoint.start();
}

void Simulator::stop() {
    m_endpoint.stop();
}

bool Simulator::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace veltra::sim
