#include "pty_endpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <pty.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace veltra::sim {

using Steady = std::chrono::steady_clock;

PtyEndpoint::PtyEndpoint(Responder& server, EndpointOptions options)
    : m_server(server), m_options(std::move(options)) {
    // 8N1: a start bit, 8 data bits and a stop bit per byte.
    m_byteTime = std::chrono::nanoseconds(10'000'000'000LL / std::max(1, m_options.baud));
}

PtyEndpoint::~PtyEndpoint() {
    stop();
}

const std::string& PtyEndpoint::devicePath() const {
    return m_options.linkPath.empty() ? m_terminalPath : m_options.linkPath;
}

bool PtyEndpoint::start() {
    char name[256] = {};
    if (openpty(&m_controller, &m_terminal, name, nullptr, nullptr) != 0) {
        m_error = std::string("openpty failed: ") + std::strerror(errno);
        return false;
    }
    m_terminalPath = name;
    termios tio{};
    tcgetattr(m_terminal, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tcsetattr(m_terminal, TCSANOW, &tio);
    fcntl(m_controller, F_SETFD, FD_CLOEXEC);
    fcntl(m_terminal, F_SETFD, FD_CLOEXEC);
    fcntl(m_controller, F_SETFL, fcntl(m_controller, F_GETFL) | O_NONBLOCK);

    if (!m_options.linkPath.empty()) {
        ::unlink(m_options.linkPath.c_str());
        if (::symlink(m_terminalPath.c_str(), m_options.linkPath.c_str()) != 0) {
            m_error = "cannot create link " + m_options.linkPath + ": " + std::strerror(errno);
            stop();
            return false;
        }
    }
    if (::pipe(m_wake) != 0) {
        m_error = std::string("pipe failed: ") + std::strerror(errno);
        stop();
        return false;
    }
    m_running = true;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void PtyEndpoint::stopServing() {
    if (m_thread.joinable()) {
        m_running = false;
        const char c = 0;
        [[maybe_unused]] const auto n = ::write(m_wake[1], &c, 1);
        m_thread.join();
    }
}

void PtyEndpoint::stop() {
    stopServing();
    for (int* fd : {&m_wake[0], &m_wake[1], &m_controller, &m_terminal}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    if (!m_options.linkPath.empty()) {
        ::unlink(m_options.linkPath.c_str());
    }
}

void PtyEndpoint::unplug() {
    stopServing();
    drop();
}

void PtyEndpoint::drop() {
    m_dropped = true;
    if (!m_options.linkPath.empty()) {
        ::unlink(m_options.linkPath.c_str());
    }
    // An unplugged adapter: the program's handle is hung up and the device no longer opens.
    // Where the system lets us (root), the pseudo-terminal is locked and hung up but kept until
    // stop(), so that its number cannot go to another simulator started meanwhile (tests run
    // side by side) and a reopen cannot reach that one's terminal instead. Otherwise closing
    // both sides removes /dev/pts/N, with the same effect on the program.
#if defined(TIOCSPTLCK) && defined(TIOCVHANGUP)
    int locked = 1;
    if (m_controller >= 0 && m_terminal >= 0 && ::ioctl(m_controller, TIOCSPTLCK, &locked) == 0 &&
        ::ioctl(m_terminal, TIOCVHANGUP, 0) == 0) {
        ::close(m_terminal);
        m_terminal = -1;
        return;
    }
#endif
    for (int* fd : {&m_terminal, &m_controller}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void PtyEndpoint::writeAll(const std::uint8_t* data, std::size_t n) {
    while (n > 0 && m_controller >= 0) {
        const ssize_t w = ::write(m_controller, data, n);
        if (w > 0) {
            m_bytesSent += static_cast<std::uint64_t>(w);
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{m_controller, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else {
            return;
        }
    }
}

void PtyEndpoint::sendPaced(const std::vector<std::uint8_t>& bytes, Steady::time_point from) {
    if (!m_options.wireTiming) {
        writeAll(bytes.data(), bytes.size());
        return;
    }
    // Each byte leaves once it would have been fully shifted out at the line's rate.
    for (std::size_t i = 0; i < bytes.size() && m_running; ++i) {
        paceUntil(from + m_byteTime * static_cast<long>(i + 1));
        writeAll(&bytes[i], 1);
    }
}

void PtyEndpoint::paceUntil(Steady::time_point t) {
    // Sleep most of the way, then spin: the scheduler's wake-up is too coarse for a byte time.
    constexpr auto spinWindow = std::chrono::microseconds(120);
    if (t - Steady::now() > spinWindow) {
        std::this_thread::sleep_until(t - spinWindow);
    }
    while (Steady::now() < t) {
    }
}

void PtyEndpoint::serve() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); // wake-ups as exact as the kernel allows
#endif
    // A precise wait on the next answer is spun when it is this close; further off, the thread
    // sleeps in poll() and keeps taking requests meanwhile.
    constexpr auto spinWindow = std::chrono::milliseconds(2);
    std::uint8_t buffer[4096];
    Steady::time_point inboundWireFree{};
    // When the instrument is done with its last answer: the next one starts no earlier, so
    // answers leave in request order (a late one holds up those behind it).
    Steady::time_point answersFree{};
    // What is to go out, by the time it is due: answers, and copies of answers.
    std::multimap<Steady::time_point, std::vector<std::uint8_t>> outgoing;
    const auto duration = [this](std::size_t n) {
        return m_options.wireTiming ? m_byteTime * static_cast<long>(n) : Steady::duration{0};
    };
    while (m_running) {
        auto timeout_ms = 200;
        if (!outgoing.empty()) {
            const auto due = outgoing.begin()->first;
            const auto left = due - Steady::now();
            if (left <= spinWindow) {
                if (!m_options.wireTiming) {
                    paceUntil(due); // with wire timing, sendPaced paces every byte itself
                }
                auto node = outgoing.extract(outgoing.begin());
                sendPaced(node.mapped(), std::max(node.key(), Steady::now()));
                continue;
            }
            timeout_ms = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(left - spinWindow).count() +
                1);
        }
        pollfd fds[2] = {{m_controller, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout_ms);
        if (!m_running || (ready > 0 && (fds[1].revents & POLLIN) != 0)) {
            break;
        }
        if (ready <= 0 || (fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t n = ::read(m_controller, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        const auto arrived = Steady::now();
        // With wire timing, these bytes occupy the line from when it is free for n byte times.
        const auto wireStart = std::max(arrived, inboundWireFree);
        inboundWireFree = wireStart + m_byteTime * n;

        for (const Response& response :
             m_server.receive(std::span(buffer, static_cast<std::size_t>(n)))) {
            if (response.dropPort) {
                drop();
                return;
            }
            if (response.bytes.empty()) {
                continue;
            }
            // The instrument takes up a request once it is in and the answer ahead of it has
            // gone, and answers it a turnaround (and any delay) later.
            const auto requestIn = m_options.wireTiming ? inboundWireFree : Steady::now();
            if (response.onTime) {
                outgoing.emplace(requestIn + response.delay, response.bytes);
                continue;
            }
            const auto start =
                std::max(requestIn, answersFree) + m_options.turnaround + response.delay;
            answersFree = start + duration(response.bytes.size());
            outgoing.emplace(start, response.bytes);
            if (response.copyAfter) {
                outgoing.emplace(answersFree + *response.copyAfter, response.bytes);
            }
        }
    }
}

} // namespace veltra::sim
