#include "simulator.h"

#include <thread>

namespace veltra::sim {

Simulator::Simulator(SimulatorOptions options)
    : m_model(std::move(options.model)), m_server(m_model, options.server),
      m_endpoint(m_server, std::move(options.endpoint)) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start() {
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
