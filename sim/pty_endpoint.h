#pragma once
// The simulator's serial endpoint: a pseudo-terminal in raw mode. The program opens the
// terminal side (its path, or a stable symlink to it) exactly as it opens a USB adapter; a
// thread serves the controller side.
//
// The endpoint keeps its own handle on the terminal side open, so the controller side never
// sees a hang-up while the program closes and reopens the port between transactions.
//
// Optional wire timing emulates 57600 baud 8N1: 10 bits a byte, about 0.174 ms. A request is
// taken as complete when its last byte would have arrived, and the answer is paced out byte by
// byte at the same rate.

#include "protocol_server.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace veltra::sim {

struct EndpointOptions {
    bool wireTiming = false;
    int baud = 57600;
    // The instrument's time to turn a request around: an answer starts no earlier than this
    // after its request arrived. A real instrument takes a few milliseconds; with it, an answer
    // that is late enough to miss its time-out also lands after the next request's purge.
    std::chrono::microseconds turnaround{0};
    std::string linkPath; // optional stable symlink to the terminal's path
};

class PtyEndpoint {
public:
    PtyEndpoint(Responder& server, EndpointOptions options = {});
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;
    ~PtyEndpoint();

    // Creates the pseudo-terminal and starts serving. False with errorText() on failure.
    bool start();
    void stop();
    // The adapter pulled out now: serving stops and the device goes as with a dropPort fault.
    void unplug();

    // The terminal's path (/dev/pts/N), or the symlink when one was asked for.
    [[nodiscard]] const std::string& devicePath() const;
    [[nodiscard]] const std::string& terminalPath() const { return m_terminalPath; }
    [[nodiscard]] const std::string& errorText() const { return m_error; }
    // True once the port was dropped by a fault: the device is gone.
    [[nodiscard]] bool dropped() const { return m_dropped.load(); }
    // Bytes written to the program so far (answers, junk, garbage).
    [[nodiscard]] std::uint64_t bytesSent() const { return m_bytesSent.load(); }

private:
    void serve();
    void stopServing();
    void drop();
    // Waits until t precisely (for wire timing).
    static void paceUntil(std::chrono::steady_clock::time_point t);
    void sendPaced(const std::vector<std::uint8_t>& bytes,
                   std::chrono::steady_clock::time_point from);
    void writeAll(const std::uint8_t* data, std::size_t n);

    Responder& m_server;
    EndpointOptions m_options;
    int m_controller = -1;
    int m_terminal = -1;
    int m_wake[2] = {-1, -1}; // self-pipe that ends the serving thread
    std::string m_terminalPath;
    std::string m_error;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_dropped{false};
    std::atomic<std::uint64_t> m_bytesSent{0};
    std::chrono::nanoseconds m_byteTime{0};
};

} // namespace veltra::sim
