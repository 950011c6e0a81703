#include "station/station_loop.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace veltra::station {

using Steady = std::chrono::steady_clock;

StationLoop::StationLoop(Settings settings, std::function<bool()> stopRequested, Say say)
    : m_settings(std::move(settings)), m_stopRequested(std::move(stopRequested)),
      m_say(std::move(say)) {}

QString StationLoop::broker() const {
    return QStringLiteral("MQTT %1:%2").arg(m_settings.mqtt->host).arg(m_settings.mqtt->port);
}

void StationLoop::publish(const live::CurrentData& reading, const QString& computerTime,
                          const QString& name, const QString& model) {
    if (!m_settings.mqtt) {
        return;
    }
    if (!m_mqtt) {
        MqttSettings settings = *m_settings.mqtt;
        settings.name = name;
        settings.model = model;
        m_mqtt = std::make_unique<MqttPublisher>(settings);
    }
    // One message per new measurement, as the log has one line.
    if (reading.measurementCount != m_lastPublished) {
        m_lastPublished = reading.measurementCount;
        m_mqtt->publish(reading, computerTime);
    }
}

template <class TimePoint> bool StationLoop::waitUntil(TimePoint t) {
    while (Steady::now() < t && !stopRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Steady::now());
        const int slice = static_cast<int>(std::min<long long>(left.count(), 50));
        if (!m_mqtt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(slice, 1)));
            continue;
        }
        m_mqtt->service(slice);
        if (m_mqtt->lastError() != m_lastMqttError) {
            m_lastMqttError = m_mqtt->lastError();
            if (!m_lastMqttError.isEmpty()) {
                m_say(QStringLiteral("%1: %2 (%3 readings wait)")
                          .arg(broker(), m_lastMqttError)
                          .arg(m_mqtt->waiting()));
            }
        }
    }
    return !stopRequested();
}

StationLoop::End StationLoop::run(const std::function<Tick()>& tick, const QString& port) {
    const auto start = Steady::now();
    auto lastValid = start;
    for (std::int64_t second = 0; m_settings.count == 0 || m_readings < m_settings.count;
         ++second) {
        // Once a second, as the program polls.
        if (second > 0 && !waitUntil(start + std::chrono::seconds(second))) {
            break; // asked to end: what was read is printed, the files are whole
        }
        const Tick done = tick();
        if (done == Tick::stop) {
            break;
        }
        if (done == Tick::fail) {
            return End::failed;
        }
        const auto now = Steady::now();
        if (done == Tick::reading) {
            ++m_readings;
            lastValid = now;
        } else if (now - lastValid >= std::chrono::seconds(m_settings.giveUp_s)) {
            if (m_settings.giveUp_s > 0) {
                m_say(QStringLiteral("%1: no valid answer for %2 s; giving up")
                          .arg(port)
                          .arg(m_settings.giveUp_s));
            }
            return End::gaveUp;
        }
    }
    return deliverWaiting() ? End::done : End::undelivered;
}

bool StationLoop::deliverWaiting() {
    if (!m_mqtt) {
        return true;
    }
    // What waits goes out before the end, for a second at most.
    for (int i = 0; i < 20 && m_mqtt->waiting() > 0 && m_mqtt->connected(); ++i) {
        m_mqtt->service(50);
    }
    if (m_mqtt->waiting() == 0) {
        return true;
    }
    // Readings the broker never took are a failure of the poll, not a quiet loss.
    m_say(QStringLiteral("%1: %2 readings were never delivered%3")
              .arg(broker())
              .arg(m_mqtt->waiting())
              .arg(m_lastMqttError.isEmpty() ? QString()
                                             : QStringLiteral(" (") + m_lastMqttError + u')'));
    return false;
}

} // namespace veltra::station
