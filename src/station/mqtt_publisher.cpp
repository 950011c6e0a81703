#include "station/mqtt_publisher.h"

#include "station/file_writes.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>

#ifdef VELTRA_HAS_MQTT
#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace veltra::station {

namespace {

constexpr int qos = 1;
constexpr int keepAlive_s = 30;
constexpr std::size_t maxInFlight = 20;
constexpr std::chrono::seconds maxBackOff{60};

QJsonValue number(double v) {
    return QJsonValue(text::number9(v).toDouble());
}

#ifdef VELTRA_HAS_MQTT

// OpenSSL's chain check, keeping why it failed (an X509_V_ERR_* code; libmosquitto only says
// the handshake failed).
constexpr int notRefused = -1;
int verifyChain(X509_STORE_CTX* store, void* result) {
    const int ok = X509_verify_cert(store);
    if (ok <= 0) {
        *static_cast<int*>(result) = X509_STORE_CTX_get_error(store);
    }
    return ok;
}

// Why the broker's certificate was refused, in the words its owner can act on.
QString certificateRefusal(int error, const QString& host) {
    switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("the broker's certificate is not signed by a trusted authority "
                              "(--mqtt-ca names the one that signed it)");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("the broker's certificate is not for %1").arg(host);
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("the broker's certificate has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("the broker's certificate is not valid yet (is this computer's "
                              "clock right?)");
    default:
        return QStringLiteral("the broker's certificate was refused: %1")
            .arg(QString::fromUtf8(X509_verify_cert_error_string(error)));
    }
}

#endif

} // namespace

std::optional<MqttSettings> parseMqttUrl(const QString& text, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const auto fail = [&](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        url.host().isEmpty()) {
        return fail(
            QStringLiteral("'%1' is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]").arg(text));
    }
    if (!url.userName().isEmpty() || !url.password().isEmpty()) {
        return fail(QStringLiteral("no user or password in the URL (others could read them in "
                                   "the process list): use --mqtt-credentials FILE or "
                                   "VELTRA_MQTT_USER and VELTRA_MQTT_PASSWORD"));
    }
    MqttSettings settings;
    settings.tls = scheme == QLatin1String("mqtts");
    settings.host = url.host();
    settings.port = url.port(settings.tls ? 8883 : 1883);
    return settings;
}

bool readCredentials(const QString& path, MqttSettings& settings, QString* error) {
    if (path.isEmpty()) {
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        settings.user = environment.value(QStringLiteral("VELTRA_MQTT_USER"));
        settings.password = environment.value(QStringLiteral("VELTRA_MQTT_PASSWORD"));
        return true;
    }
    QFile file;
    if (const FileResult opened = openRegularFile(file, path, QIODevice::ReadOnly); !opened) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, opened.reason);
        }
        return false;
    }
    const QStringList lines =
        QString::fromUtf8(file.read(64 * 1024)).split(u'\n', Qt::KeepEmptyParts);
    settings.user = lines.value(0).trimmed();
    settings.password = lines.value(1).trimmed();
    return true;
}

QString topicName(const QString& text) {
    static const QRegularExpression other(QStringLiteral("[^a-z0-9_-]+"));
    QString name = text.toLower();
    name.replace(u' ', u'_');
    name.replace(other, QStringLiteral("-"));
    return name;
}

QByteArray stateMessage(const live::CurrentData& d, const QString& computerTime) {
    const live::MainQuantity q = live::mainQuantity(d.mode);
    const QJsonObject object{
        {"computer_time", computerTime},
        {"instrument_time", text::clockText(d.clock)},
        {"measurement_count", static_cast<qint64>(d.measurementCount)},
        {"main_value", number(d.mainValue)},
        {"quantity", QLatin1String(q.name)},
        {"unit", QLatin1String(q.unit)},
        // Only a dose rate lands under the dose rate's name; a flux is never one.
        {"dose_rate_uSv_h", q.doseRate ? number(d.mainValue) : QJsonValue(QJsonValue::Null)},
        {"dose_uSv", number(d.doseValue)},
        {"error_percent", number(d.errorPercent)},
        {"battery_V", number(d.batteryVoltage)},
        {"status_flags", d.statusFlags},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

MqttPublisher::MqttPublisher(MqttSettings settings) : m_settings(std::move(settings)) {
#ifdef VELTRA_HAS_MQTT
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
#endif
}

MqttPublisher::~MqttPublisher() {
#ifdef VELTRA_HAS_MQTT
    if (m_client != nullptr) {
        if (m_connected) {
            // A clean goodbye: the station is off, not lost.
            const QByteArray offline("offline");
            mosquitto_publish(m_client, nullptr, availabilityTopic().toUtf8().constData(),
                              static_cast<int>(offline.size()), offline.constData(), qos, true);
            mosquitto_loop(m_client, 100, 1);
            mosquitto_disconnect(m_client);
        }
        mosquitto_destroy(m_client);
    }
#endif
}

bool MqttPublisher::available() {
#ifdef VELTRA_HAS_MQTT
    return true;
#else
    return false;
#endif
}

QString MqttPublisher::stateTopic() const {
    return QStringLiteral("veltra/%1/state").arg(m_settings.name);
}

QString MqttPublisher::availabilityTopic() const {
    return QStringLiteral("veltra/%1/availability").arg(m_settings.name);
}

void MqttPublisher::publish(const live::CurrentData& reading, const QString& computerTime) {
    m_queue.push_back(stateMessage(reading, computerTime));
    while (waiting() > m_settings.queueLimit && !m_queue.empty()) {
        m_queue.pop_front(); // the oldest goes: the latest state matters most
        ++m_dropped;
    }
}

#ifdef VELTRA_HAS_MQTT

void MqttPublisher::onConnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        p->m_lastError = QString::fromUtf8(mosquitto_connack_string(rc));
        return; // the broker said no; the loop's failure drops the connection
    }
    p->m_connected = true;
    p->m_backOff = std::chrono::seconds(1);
    p->m_lastError.clear();
    p->m_discoverySent = false;
}

void MqttPublisher::onDisconnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    p->m_connected = false;
    if (rc != 0 && p->m_lastError.isEmpty()) {
        p->m_lastError = QStringLiteral("the broker's connection was lost");
    }
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid) {
    auto& inFlight = static_cast<MqttPublisher*>(self)->m_inFlight;
    const auto it = std::find_if(inFlight.begin(), inFlight.end(),
                                 [mid](const auto& m) { return m.first == mid; });
    if (it != inFlight.end()) {
        inFlight.erase(it);
    }
}

void MqttPublisher::connect() {
    const QByteArray clientId = ("veltra-" + m_settings.name).toUtf8();
    m_client = mosquitto_new(clientId.constData(), true, this);
    if (m_client == nullptr) {
        m_lastError = QStringLiteral("out of memory");
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::onPublish);
    if (!m_settings.user.isEmpty()) {
        mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                  m_settings.password.toUtf8().constData());
    }
    const QByteArray availability = availabilityTopic().toUtf8();
    const QByteArray offline("offline");
    mosquitto_will_set(m_client, availability.constData(), static_cast<int>(offline.size()),
                       offline.constData(), qos, true);
    if (m_settings.tls) {
        // Our own context, wholly set up here, so that the chain check can say why it refused
        // (libmosquitto's defaults on a context of ours would refuse every certificate: its host
        // check finds no client on a context it did not make). TLS 1.2 at least, the peer
        // verified against the authority given or the system's, the host name or address
        // checked by OpenSSL.
        SSL_CTX* context = SSL_CTX_new(TLS_client_method());
        const QByteArray host = m_settings.host.toUtf8();
        const QByteArray authority = m_settings.caFile.toUtf8();
        // The authority's file, else the system's folder of them.
        const char* caFile = authority.isEmpty() ? nullptr : authority.constData();
        const char* caPath = authority.isEmpty() ? "/etc/ssl/certs" : nullptr;
        bool ready = context != nullptr &&
                     SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
                     SSL_CTX_load_verify_locations(context, caFile, caPath) == 1;
        if (ready) {
            SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
            m_verifyResult = notRefused;
            SSL_CTX_set_cert_verify_callback(context, &verifyChain, &m_verifyResult);
            X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
            X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            ready = X509_VERIFY_PARAM_set1_ip_asc(check, host.constData()) == 1 ||
                    X509_VERIFY_PARAM_set1_host(check, host.constData(), 0) == 1;
        }
        if (ready) {
            mosquitto_int_option(m_client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
            ready = mosquitto_void_option(m_client, MOSQ_OPT_SSL_CTX, context) == MOSQ_ERR_SUCCESS;
        }
        SSL_CTX_free(context); // the client holds its own reference
        if (!ready) {
            dropConnection(QStringLiteral("TLS: cannot set up the connection with the authority %1")
                               .arg(QString::fromUtf8(caFile != nullptr ? caFile : caPath)));
            return;
        }
        // What libmosquitto needs to know the connection is TLS; the context above holds.
        const int rc = mosquitto_tls_set(m_client, caFile, caPath, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            dropConnection(
                QStringLiteral("TLS: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return;
        }
    }
    const int rc = mosquitto_connect_async(m_client, m_settings.host.toUtf8().constData(),
                                           m_settings.port, keepAlive_s);
    if (rc != MOSQ_ERR_SUCCESS) {
        dropConnection(failureText(rc));
    }
}

QString MqttPublisher::failureText(int rc) const {
    if (rc == MOSQ_ERR_TLS && m_verifyResult != notRefused) {
        return certificateRefusal(m_verifyResult, m_settings.host);
    }
    return rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                : QString::fromUtf8(mosquitto_strerror(rc));
}

void MqttPublisher::dropConnection(const QString& why) {
    if (!why.isEmpty()) {
        m_lastError = why;
    }
    if (m_client != nullptr) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
    m_connected = false;
    // What the broker did not acknowledge goes again, first and in order; a new connection
    // starts with nothing of the old one's.
    while (!m_inFlight.empty()) {
        m_queue.push_front(std::move(m_inFlight.back().second));
        m_inFlight.pop_back();
    }
    m_nextAttempt = Clock::now() + m_backOff;
    m_backOff = std::min(m_backOff * 2, maxBackOff);
}

bool MqttPublisher::send(const QString& topic, const QByteArray& payload, int* mid) {
    const int rc =
        mosquitto_publish(m_client, mid, topic.toUtf8().constData(),
                          static_cast<int>(payload.size()), payload.constData(), qos, true);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::sendDiscovery() {
    const QString id = QStringLiteral("veltra_") + m_settings.name;
    const QJsonObject device{
        {"identifiers", QJsonArray{id}},
        {"name", QStringLiteral("%1 %2").arg(m_settings.model, m_settings.name)},
        {"model", m_settings.model},
    };
    const struct {
        const char* key;
        const char* name;
        const char* value;
        const char* unit;
        const char* deviceClass;
        const char* stateClass;
    } sensors[] = {
        {"dose_rate", "Dose rate", "dose_rate_uSv_h", "µSv/h", nullptr, "measurement"},
        {"dose", "Dose", "dose_uSv", "µSv", nullptr, "total_increasing"},
        {"battery", "Battery", "battery_V", "V", "voltage", "measurement"},
    };
    for (const auto& s : sensors) {
        QJsonObject config{
            {"name", QLatin1String(s.name)},
            {"unique_id", id + u'_' + QLatin1String(s.key)},
            {"object_id", id + u'_' + QLatin1String(s.key)},
            {"state_topic", stateTopic()},
            {"value_template", QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(s.value))},
            {"unit_of_measurement", QString::fromUtf8(s.unit)},
            {"state_class", QLatin1String(s.stateClass)},
            {"availability_topic", availabilityTopic()},
            {"device", device},
        };
        if (s.deviceClass != nullptr) {
            config.insert(QStringLiteral("device_class"), QLatin1String(s.deviceClass));
        }
        send(QStringLiteral("homeassistant/sensor/%1/%2/config").arg(id, QLatin1String(s.key)),
             QJsonDocument(config).toJson(QJsonDocument::Compact), nullptr);
    }
    send(availabilityTopic(), QByteArray("online"), nullptr);
    m_discoverySent = true;
}

void MqttPublisher::sendWaiting() {
    while (!m_queue.empty() && m_inFlight.size() < maxInFlight) {
        int mid = 0;
        if (!send(stateTopic(), m_queue.front(), &mid)) {
            return; // the loop sees the connection's end
        }
        m_inFlight.emplace_back(mid, std::move(m_queue.front()));
        m_queue.pop_front();
    }
}

void MqttPublisher::service(int timeout_ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        if (m_client == nullptr) {
            if (Clock::now() < m_nextAttempt) {
                const auto left = std::min(m_nextAttempt, until) - Clock::now();
                if (left > Clock::duration::zero()) {
                    std::this_thread::sleep_for(left);
                }
                continue;
            }
            connect();
            continue;
        }
        if (m_connected) {
            if (!m_discoverySent) {
                sendDiscovery();
            }
            sendWaiting();
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        const int rc =
            mosquitto_loop(m_client, static_cast<int>(std::clamp<long long>(left, 0, 100)), 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            dropConnection(failureText(rc));
        }
    } while (Clock::now() < until);
}

#else

void MqttPublisher::service(int timeout_ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
}

#endif

} // namespace veltra::station
