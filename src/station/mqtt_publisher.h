#pragma once
// Publishing each new measurement to an MQTT broker (Mosquitto or any other), for a station that
// dashboards, databases and alarms follow at the broker. libmosquitto, QoS 1, driven from the
// caller's own loop (service()), so no thread of its own runs.
//
// Topics, for an instrument named NAME (a name the user gives, or the model and the port):
//   veltra/NAME/state          retained JSON of the latest measurement, one message each
//   veltra/NAME/availability   retained "online"; the broker's last will says "offline"
//   homeassistant/sensor/veltra_NAME/{dose_rate,dose,battery}/config
//                              retained discovery messages: the three sensors appear by
//                              themselves in Home Assistant
//
// While the broker is away, readings wait in memory, the newest queueLimit of them (older ones
// are dropped and counted), and go out in order when it is back. Reconnecting waits 1 s after a
// failure, doubling up to a minute.

#include "live/current_data.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <utility>

struct mosquitto;
struct mosquitto_message;

namespace veltra::station {

struct MqttSettings {
    QString host;
    int port = 1883;
    bool tls = false; // mqtts://
    QString caFile;   // certificate authority for TLS; the system's when empty
    QString user;     // from a file or the environment, never the command line
    QString password;
    QString name;                   // the instrument's part of the topics
    QString model;                  // for the discovery messages ("TR-403")
    std::size_t queueLimit = 10000; // about five and a half hours of a measurement every 2 s
};

// "mqtt://host[:port]" or "mqtts://host[:port]"; nullopt with why in error. Credentials in the
// URL are refused (they would show in the process list).
[[nodiscard]] std::optional<MqttSettings> parseMqttUrl(const QString& url, QString* error);
// The broker's user name and password: from the file given (the name, then the password, a line
// each), else from VELTRA_MQTT_USER and VELTRA_MQTT_PASSWORD. Never from the command line, where
// every user of the machine could read them. False with why in error ("cannot read FILE: ...").
[[nodiscard]] bool readCredentials(const QString& file, MqttSettings& settings, QString* error);
// A name fit for a topic level: letters, digits, '-' and '_', lower case ("TR-403 office" gives
// "tr-403_office").
[[nodiscard]] QString topicName(const QString& text);

// The state message of a reading (also what tests compare).
[[nodiscard]] QByteArray stateMessage(const live::CurrentData& reading,
                                      const QString& computerTime);

class MqttPublisher {
public:
    // False when this build has no MQTT (the Windows build).
    static bool available();

    explicit MqttPublisher(MqttSettings settings);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Queues a new measurement for the state topic.
    void publish(const live::CurrentData& reading, const QString& computerTime);
    // Runs the connection for about timeout_ms: connects or reconnects when it is time, sends
    // what waits in order, takes the broker's acknowledgements.
    void service(int timeout_ms);

    [[nodiscard]] bool connected() const { return m_connected; }
    [[nodiscard]] std::size_t waiting() const { return m_queue.size() + m_inFlight.size(); }
    [[nodiscard]] std::size_t dropped() const { return m_dropped; }
    // What went wrong last ("connection refused"), for the station's log; cleared on connecting.
    [[nodiscard]] const QString& lastError() const { return m_lastError; }
    [[nodiscard]] QString stateTopic() const;
    [[nodiscard]] QString availabilityTopic() const;

private:
    using Clock = std::chrono::steady_clock;
    void connect();
    void dropConnection(const QString& why);
    // Why a libmosquitto call failed: the certificate's refusal, the system's error or its own.
    [[nodiscard]] QString failureText(int rc) const;
    void sendWaiting();
    void sendDiscovery();
    bool send(const QString& topic, const QByteArray& payload, int* mid);

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);

    MqttSettings m_settings;
    mosquitto* m_client = nullptr;
    bool m_connected = false;
    bool m_discoverySent = false;
    std::deque<QByteArray> m_queue; // state messages not yet handed to the broker
    // Handed over, not yet acknowledged: message id and message, in the order they were sent.
    std::deque<std::pair<int, QByteArray>> m_inFlight;
    std::size_t m_dropped = 0;
    Clock::time_point m_nextAttempt{};
    std::chrono::seconds m_backOff{1};
    QString m_lastError;
    // Why this connection's certificate check refused the broker (X509_V_ERR_*); -1: it did not.
    int m_verifyResult = -1;
};

} // namespace veltra::station
