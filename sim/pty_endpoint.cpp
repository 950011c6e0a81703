#include "pty_endpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

PtyEndpoint::PtyEndpoint(ProtocolServer& server, EndpointOptions options)
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

bool PtyEndpoint::waitUntil(Steady::time_point t) {
    while (m_running) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Steady::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd wake{m_wake[0], POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(left.count())) > 0) {
            return false;
        }
    }
    return false;
}

void PtyEndpoint::serve() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); // wake-ups as exact as the kernel allows
#endif
    std::uint8_t buffer[4096];
    Steady::time_point inboundWireFree{};
    while (m_running) {
        pollfd fds[2] = {{m_controller, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, 200);
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
            auto from =
                m_options.wireTiming ? std::max(inboundWireFree, Steady::now()) : Steady::now();
            if (!response.bytes.empty()) {
                from += m_options.turnaround;
            }
            if (response.delay.count() > 0 || m_options.turnaround.count() > 0) {
                from += response.delay;
                if (!waitUntil(from)) {
                    return;
                }
            }
            sendPaced(response.bytes, from);
            if (m_options.wireTiming && !response.bytes.empty()) {
                inboundWireFree = std::max(inboundWireFree, Steady::now());
            }
        }
    }
}

} // namespace veltra::sim
