#pragma once
// One simulated instrument on a pseudo-terminal: model, protocol server and endpoint together.
// Used by veltra-sim, by the tests in-process, and by the program's demo mode.

#include "instrument_model.h"
#include "protocol_server.h"
#include "pty_endpoint.h"
#include "replay_server.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace veltra::sim {

struct SimulatorOptions {
    ModelOptions model;
    ServerOptions server;
    EndpointOptions endpoint;
    std::string replayPath; // a serial trace to answer as it says, instead of the model
};

class Simulator {
public:
    explicit Simulator(SimulatorOptions options = {});
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator();

    // False with errorText() when the endpoint cannot start or the trace cannot be replayed.
    bool start();
    void stop();
    // The cable pulled out: the program's handle is hung up and the device does not open again.
    void unplug() { m_endpoint.unplug(); }

    [[nodiscard]] const std::string& devicePath() const { return m_endpoint.devicePath(); }
    [[nodiscard]] const std::string& errorText() const {
        return m_replay && !m_replay->error().empty() ? m_replay->error() : m_endpoint.errorText();
    }
    [[nodiscard]] bool dropped() const { return m_endpoint.dropped(); }

    [[nodiscard]] InstrumentModel& model() { return m_model; }
    [[nodiscard]] ProtocolServer& server() { return m_server; }
    // The replayed trace, when one answers instead of the model.
    [[nodiscard]] const ReplayServer* replay() const { return m_replay.get(); }

    [[nodiscard]] std::uint64_t bytesSent() const { return m_endpoint.bytesSent(); }

    // Waits until the condition holds (checked every millisecond); false on time-out. For tests
    // that must know the simulator has acted before they go on.
    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    InstrumentModel m_model;
    ProtocolServer m_server;
    std::unique_ptr<ReplayServer> m_replay;
    PtyEndpoint m_endpoint;
};

} // namespace veltra::sim
