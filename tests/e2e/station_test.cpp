// A station: veltra-cli poll publishing to a real Mosquitto broker on 127.0.0.1 (started here on
// a free port, with its own configuration, and stopped at the end), watched by a subscriber; and
// a serial trace of a faulty run replayed as a passing test. Every wait is bounded.
#include "app/archive_tab.h"
#include "cli.h"
#include "sim_fixture.h"
#include "station/mqtt_publisher.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace veltra;
using namespace std::chrono_literals;

namespace {

// A TCP port nobody listens on now.
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(s);
    return port;
}

bool listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return up;
}

class Broker {
public:
    Broker(const QString& folder, int port) : m_folder(folder), m_port(port) {
        QFile conf(QDir(folder).filePath("mosquitto.conf"));
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n"
                                      "persistence true\npersistence_location %2/\n")
                           .arg(port)
                           .arg(folder)
                           .toUtf8());
        }
    }
    ~Broker() { stop(); }
    bool start() {
        m_process.start(QStandardPaths::findExecutable("mosquitto"),
                        {"-c", QDir(m_folder).filePath("mosquitto.conf")});
        return m_process.waitForStarted(5000) &&
               sim::Simulator::waitFor([this] { return listening(m_port); }, 10s);
    }
    void stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate(); // it writes its persistence file as it goes
            m_process.waitForFinished(10000);
        }
    }

private:
    QString m_folder;
    int m_port;
    QProcess m_process;
};

// Every message the broker passes on, as "topic payload" lines.
class Subscriber {
public:
    explicit Subscriber(int port) {
        // A session the broker keeps (-c): what comes while it reconnects is kept for it.
        m_process.start(QStandardPaths::findExecutable("mosquitto_sub"),
                        {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-c", "-i",
                         "veltra-station-test", "-v", "-t", "veltra/#", "-t", "homeassistant/#"});
    }
    ~Subscriber() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(5000); }
    // Waits (bounded) until a line satisfies the condition.
    bool waitFor(const std::function<bool(const QString&)>& seen, std::chrono::seconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < until) {
            m_process.waitForReadyRead(100);
            while (m_process.canReadLine()) {
                m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
            }
            if (std::any_of(m_lines.begin(), m_lines.end(), seen)) {
                return true;
            }
        }
        return false;
    }
    [[nodiscard]] const QStringList& lines() const { return m_lines; }

private:
    QProcess m_process;
    QStringList m_lines;
};

class StationTest : public e2e::SimFixture {};

} // namespace

#ifdef VELTRA_CLI_BINARY
TEST_F(StationTest, EveryReadingReachesTheBrokerAcrossARestartAndTheLastWillSaysOffline) {
    if (QStandardPaths::findExecutable("mosquitto").isEmpty() ||
        QStandardPaths::findExecutable("mosquitto_sub").isEmpty()) {
        GTEST_SKIP() << "no mosquitto broker and mosquitto_sub (Debian: mosquitto, "
                        "mosquitto-clients)";
    }
    QTemporaryDir dir;
    const int port = freePort();
    Broker broker(dir.path(), port);
    ASSERT_TRUE(broker.start());
    Subscriber subscriber(port);
    ASSERT_TRUE(subscriber.started());

    auto& model = simulator->model();
    std::uint32_t count = 500;
    model.pinMeasurementCount(count);
    model.pinMainValue(0.25);
    QProcess tool;
    tool.setWorkingDirectory(dir.path());
    tool.start(QStringLiteral(VELTRA_CLI_BINARY),
               {"--port", QString::fromStdString(simulator->devicePath()), "poll", "--count", "0",
                "--json", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port), "--name",
                "Station Test", "--csv-folder", dir.filePath("readings")});
    ASSERT_TRUE(tool.waitForStarted(5000));

    const auto state = [](std::uint32_t n) {
        return [n](const QString& line) {
            return line.startsWith("veltra/station_test/state ") &&
                   line.contains(QStringLiteral("\"measurement_count\":%1,").arg(n));
        };
    };
    // The sensors announce themselves; the station is online; the first reading arrives.
    for (const char* sensor : {"dose_rate", "dose", "battery"}) {
        ASSERT_TRUE(subscriber.waitFor(
            [sensor](const QString& line) {
                return line.startsWith(
                    QStringLiteral("homeassistant/sensor/veltra_station_test/%1/config ")
                        .arg(QLatin1String(sensor)));
            },
            20s))
            << sensor;
    }
    ASSERT_TRUE(subscriber.waitFor(
        [](const QString& l) { return l == "veltra/station_test/availability online"; }, 20s));
    ASSERT_TRUE(subscriber.waitFor(state(count), 20s));

    // New measurements: one message each, then the broker goes away for a while and comes back;
    // what was read meanwhile waits and goes out in order.
    const auto nextMeasurement = [&] {
        model.pinMeasurementCount(++count);
        std::this_thread::sleep_for(1200ms); // the tool polls once a second
    };
    for (int i = 0; i < 2; ++i) {
        nextMeasurement();
    }
    broker.stop();
    for (int i = 0; i < 3; ++i) {
        nextMeasurement();
    }
    ASSERT_TRUE(broker.start());
    for (int i = 0; i < 2; ++i) {
        nextMeasurement();
    }
    ASSERT_TRUE(subscriber.waitFor(state(count), 60s))
        << subscriber.lines().join('\n').toStdString();
    std::vector<std::uint32_t> received;
    for (const QString& line : subscriber.lines()) {
        if (line.startsWith("veltra/station_test/state ")) {
            const auto json = QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
            received.push_back(static_cast<std::uint32_t>(json["measurement_count"].toInteger()));
            EXPECT_EQ(json["main_value"].toDouble(), 0.25);
            EXPECT_EQ(json["dose_rate_uSv_h"].toDouble(), 0.25); // mode 0: a dose rate
            EXPECT_EQ(json["unit"].toString(), "uSv/h");
        }
    }
    for (std::uint32_t n = 500; n <= count; ++n) {
        EXPECT_NE(std::find(received.begin(), received.end(), n), received.end())
            << "measurement " << n << " never reached the broker";
    }
    // In order: a reading never comes after a later one (a retained copy may come again).
    std::vector<std::uint32_t> firsts;
    for (const std::uint32_t n : received) {
        if (std::find(firsts.begin(), firsts.end(), n) == firsts.end()) {
            firsts.push_back(n);
        }
    }
    EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));

    // The station dies without a word: the broker says it is offline.
    ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
    tool.waitForFinished(5000);
    EXPECT_TRUE(subscriber.waitFor(
        [](const QString& l) { return l == "veltra/station_test/availability offline"; }, 20s));
    // The CSV folder has its file of the day, a line per measurement.
    QFile csv(
        QDir(dir.filePath("readings"))
            .filePath(
                QStringLiteral("readings-%1.csv").arg(QDate::currentDate().toString(Qt::ISODate))));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 1 + static_cast<int>(count - 500 + 1));
}

// A broker over TLS: the poll delivers to the one whose certificate checks out and, for each one
// that does not, fails saying why in words its owner can act on. One broker, a listener per
// certificate (tests/data/tls: an authority, another one, and certificates for 127.0.0.1, for
// another name, expired and not valid until 2100); and an authority file with no certificate.
TEST_F(StationTest, ABrokersCertificateIsCheckedAndARefusalSaysWhy) {
    if (!station::MqttPublisher::available() ||
        QStandardPaths::findExecutable("mosquitto").isEmpty()) {
        GTEST_SKIP() << "no MQTT in this build or no mosquitto broker";
    }
    const QString tls = QStringLiteral(VELTRA_TEST_DATA "/tls/");
    const struct {
        const char* certificate;
        const char* authority;
        const char* says; // on stderr; nullptr: delivered
    } cases[] = {
        {"server.pem", "ca.pem", nullptr},
        {"server.pem", "other-ca.pem", "is not signed by a trusted authority"},
        {"misnamed.pem", "ca.pem", "the broker's certificate is not for 127.0.0.1"},
        {"expired.pem", "ca.pem", "the broker's certificate has expired"},
        {"future.pem", "ca.pem", "the broker's certificate is not valid yet"},
        {"server.pem", "server.key", "cannot set up the connection with the authority"},
    };
    QTemporaryDir dir;
    QFile conf(dir.filePath("mosquitto.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    std::vector<int> ports;
    for (const auto& c : cases) {
        ports.push_back(freePort());
        conf.write(QStringLiteral("listener %1 127.0.0.1\ncertfile %2%3\nkeyfile %2server.key\n")
                       .arg(ports.back())
                       .arg(tls, QLatin1String(c.certificate))
                       .toUtf8());
    }
    conf.write("allow_anonymous true\n");
    conf.close();
    QProcess broker;
    broker.start(QStandardPaths::findExecutable("mosquitto"), {"-c", conf.fileName()});
    ASSERT_TRUE(broker.waitForStarted(5000));
    ASSERT_TRUE(sim::Simulator::waitFor(
        [&ports] { return std::all_of(ports.begin(), ports.end(), listening); }, 10s))
        << broker.readAllStandardError().toStdString();

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].certificate + std::string(" with ") + cases[i].authority);
        QProcess tool;
        tool.setWorkingDirectory(dir.path());
        tool.start(QStringLiteral(VELTRA_CLI_BINARY),
                   {"--port", QString::fromStdString(simulator->devicePath()), "poll", "--count",
                    "2", "--no-history", "--mqtt",
                    QStringLiteral("mqtts://127.0.0.1:%1").arg(ports[i]), "--mqtt-ca",
                    tls + QLatin1String(cases[i].authority)});
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        if (cases[i].says == nullptr) {
            EXPECT_EQ(tool.exitCode(), 0) << err.toStdString();
        } else {
            EXPECT_EQ(tool.exitCode(), 1) << err.toStdString();
            EXPECT_TRUE(err.contains(QLatin1String(cases[i].says))) << err.toStdString();
        }
    }
    broker.terminate();
    broker.waitForFinished(10000);
}

// A poll that ends with readings the broker never took fails and says how many; --mqtt-ca is
// refused for a broker without TLS.
TEST_F(StationTest, ReadingsNeverDeliveredFailThePoll) {
    if (!station::MqttPublisher::available()) {
        GTEST_SKIP() << "MQTT is not in this build";
    }
    QTemporaryDir dir;
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(freePort()); // nobody there
    QProcess tool;
    tool.setWorkingDirectory(dir.path());
    tool.start(QStringLiteral(VELTRA_CLI_BINARY),
               {"--port", QString::fromStdString(simulator->devicePath()), "poll", "--count", "2",
                "--mqtt", url});
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_TRUE(tool.readAllStandardError().contains(" readings were never delivered"));

    tool.start(QStringLiteral(VELTRA_CLI_BINARY),
               {"--port", QString::fromStdString(simulator->devicePath()), "poll", "--mqtt", url,
                "--mqtt-ca", dir.filePath("ca.pem")});
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 2);
    EXPECT_TRUE(tool.readAllStandardError().contains("--mqtt-ca names the authority of a TLS"));
}
#endif

TEST_F(StationTest, ATraceOfAFaultyRunReplaysAsATest) {
    // A run with a late answer and a doubled record answer, traced.
    auto options = e2e::quietOptions();
    options.endpoint.turnaround = 2ms;
    startSimulator(options);
    simulator->server().injectFault({sim::FaultKind::delay, 1, 1500, 150});
    simulator->server().injectFault({sim::FaultKind::repeat, 1, 2, 210});
    QTemporaryDir dir;
    const QString trace = dir.filePath("run.trace");
    const auto run = [&](const std::string& device, const QString& traceTo) {
        QString out;
        QString err;
        QTextStream o(&out);
        QTextStream e(&err);
        QStringList args = {"--port", QString::fromStdString(device), "--no-history", "archive",
                            "read",   dir.filePath("image.bin")};
        if (!traceTo.isEmpty()) {
            args << "--trace" << traceTo;
        }
        const int status = cli::run(args, o, e, {.serialDevices = [] { return QStringList(); }});
        o.flush();
        return std::make_pair(status, out);
    };
    const auto recorded = run(simulator->devicePath(), trace);
    ASSERT_EQ(recorded.first, cli::exitOk);
    ASSERT_TRUE(recorded.second.contains("failed transactions retried"))
        << recorded.second.toStdString();

    // The same answers, from the trace: the same result, record for record.
    auto replayOptions = e2e::quietOptions();
    replayOptions.replayPath = trace.toStdString();
    sim::Simulator replay(replayOptions);
    ASSERT_TRUE(replay.start()) << replay.errorText();
    const auto replayed = run(replay.devicePath(), {});
    EXPECT_EQ(replayed.first, cli::exitOk);
    EXPECT_EQ(replayed.second, recorded.second); // the same failures retried, the same sessions
    EXPECT_EQ(replay.replay()->mismatches(), 0U);
    QFile image(dir.filePath("image.bin"));
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    for (std::size_t i = 0; i < 800; ++i) {
        const auto want = simulator->model().archiveRecord(i);
        ASSERT_EQ(bytes.mid(static_cast<qsizetype>(i * 10), 10),
                  QByteArray(reinterpret_cast<const char*>(want.data()), 10))
            << "record " << i;
    }
}
