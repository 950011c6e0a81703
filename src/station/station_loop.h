#pragma once
// The station's loop: a tick on every second counted from the start, the broker's connection
// kept going between ticks, a give-up after a stretch without a valid answer, and at the end a
// second at most for what still waits for the broker. What a tick does is the caller's (the
// tool's poll runs the program's polling cycle in it); the loop publishes what the tick hands
// it, one message per new measurement.

#include "live/current_data.h"
#include "station/mqtt_publisher.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace veltra::station {

class StationLoop {
public:
    // A failure for the station's log, one line (the caller dates it).
    using Say = std::function<void(const QString&)>;

    struct Settings {
        std::int64_t count = 0; // readings to take; 0: until asked to end
        int giveUp_s = 0;       // seconds without a valid answer before giving up (0: at once)
        std::optional<MqttSettings> mqtt; // the broker to publish to
    };

    // What a tick did.
    enum class Tick {
        reading,   // a valid answer
        noReading, // the port did not open, the read failed: counts towards the give-up
        stop,      // a stop was asked for during the tick: the loop ends as asked
        fail,      // the tick cannot go on (the caller said why): the loop ends at once
    };
    enum class End {
        done,        // count readings taken, or asked to end; what waited went out
        undelivered, // as done, but readings were never delivered to the broker (said)
        gaveUp,      // giveUp_s without a valid answer (said, unless giveUp_s is 0)
        failed,      // a tick failed
    };

    StationLoop(Settings settings, std::function<bool()> stopRequested, Say say);

    // Publishes the reading when it is a new measurement. The first makes the broker's
    // connection, its topics named name and its discovery messages model (the caller knows
    // them by the first reading).
    void publish(const live::CurrentData& reading, const QString& computerTime, const QString& name,
                 const QString& model);

    // Ticks until count readings, a stop, a give-up or a failure. port: the port as the user
    // knows it, for the give-up's line.
    End run(const std::function<Tick()>& tick, const QString& port);

    [[nodiscard]] std::int64_t readings() const { return m_readings; }
    [[nodiscard]] bool stopRequested() const { return m_stopRequested && m_stopRequested(); }

private:
    // Waits until t, keeping the broker's connection going; false when asked to end.
    template <class TimePoint> bool waitUntil(TimePoint t);
    // After the last tick: a second at most for what waits; false when some never went out.
    bool deliverWaiting();
    [[nodiscard]] QString broker() const;

    Settings m_settings;
    std::function<bool()> m_stopRequested;
    Say m_say;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::optional<std::uint32_t> m_lastPublished;
    QString m_lastMqttError;
    std::int64_t m_readings = 0;
};

} // namespace veltra::station
