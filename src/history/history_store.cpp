#include "history/history_store.h"

#include "archive/archive_image.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace veltra::history {

namespace {

// The schema's first version; later versions add their steps in migrate().
constexpr const char* schemaV1 = R"sql(
CREATE TABLE instruments(
    id INTEGER PRIMARY KEY,
    device_type INTEGER NOT NULL,
    identity BLOB,
    name TEXT NOT NULL UNIQUE);
CREATE UNIQUE INDEX instruments_by_identity ON instruments(device_type, identity)
    WHERE identity IS NOT NULL;
CREATE TABLE downloads(
    id INTEGER PRIMARY KEY,
    instrument_id INTEGER NOT NULL REFERENCES instruments(id),
    image BLOB NOT NULL,
    sha256 BLOB NOT NULL,
    pc_time_utc TEXT NOT NULL,
    utc_offset_s INTEGER NOT NULL,
    program_version TEXT NOT NULL,
    records_proven INTEGER NOT NULL,
    failures INTEGER NOT NULL,
    partial INTEGER NOT NULL,
    logging_interval_s INTEGER,
    UNIQUE(instrument_id, sha256));
CREATE TABLE sessions(
    id INTEGER PRIMARY KEY,
    instrument_id INTEGER NOT NULL REFERENCES instruments(id),
    first_record_id INTEGER NOT NULL UNIQUE);
CREATE TABLE records(
    id INTEGER PRIMARY KEY,
    instrument_id INTEGER NOT NULL REFERENCES instruments(id),
    bytes BLOB NOT NULL,
    clock INTEGER NOT NULL,
    mode INTEGER NOT NULL,
    value REAL NOT NULL,
    utc_offset_s INTEGER NOT NULL,
    logging_interval_s INTEGER,
    session_id INTEGER REFERENCES sessions(id),
    UNIQUE(instrument_id, clock, bytes));
CREATE TABLE sightings(
    download_id INTEGER NOT NULL REFERENCES downloads(id),
    number INTEGER NOT NULL,
    record_id INTEGER NOT NULL REFERENCES records(id),
    PRIMARY KEY(download_id, number)) WITHOUT ROWID;
CREATE TABLE readings(
    id INTEGER PRIMARY KEY,
    instrument_id INTEGER REFERENCES instruments(id),
    computer_time TEXT NOT NULL,
    instrument_time TEXT NOT NULL,
    measurement_count INTEGER NOT NULL,
    mode INTEGER NOT NULL,
    value REAL NOT NULL,
    unit TEXT NOT NULL,
    dose_uSv REAL,
    UNIQUE(instrument_id, instrument_time, measurement_count));
)sql";

// The instrument's clock fields as a count of seconds, read as if they were UTC: a number that
// orders and subtracts as the instrument's clock does, with no time zone in it.
std::int64_t clockSeconds(const text::ClockFields& c) {
    // Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
    const int y = c.year - (c.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (c.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + c.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    return days * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

std::int64_t clockSeconds(const QDate& date) {
    return clockSeconds(text::ClockFields{0, 0, 0, date.day(), date.month(), date.year()});
}

// The same text from the clock count (civil_from_days, the inverse of clockSeconds).
QString clockText(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const auto daySeconds = static_cast<int>(seconds - days * 86400);
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<int>(z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int day = doy - (153 * mp + 2) / 5 + 1;
    const int month = mp < 10 ? mp + 3 : mp - 9;
    const auto year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day,
                  daySeconds / 3600, daySeconds / 60 % 60, daySeconds % 60);
    return QString::fromLatin1(text);
}

Mode modeOf(archive::ArchiveMode mode) {
    switch (mode) {
    case archive::ArchiveMode::doseRate:
        return Mode::doseRate;
    case archive::ArchiveMode::volumetricActivity:
        return Mode::volumetricActivity;
    case archive::ArchiveMode::beta:
        return Mode::betaFlux;
    case archive::ArchiveMode::alpha:
        return Mode::alphaFlux;
    }
    return Mode::doseRate;
}

Mode modeFromColumn(std::int64_t v) {
    return static_cast<Mode>(std::clamp<std::int64_t>(v, 0, 3));
}

// Whether the first bytes say SQLite: an existing file that does not is never opened by it.
bool looksLikeSqlite(QFile& file) {
    static constexpr char magic[] = "SQLite format 3";
    const QByteArray head = file.read(16);
    return head.size() == 16 && head.startsWith(QByteArray(magic, sizeof magic));
}

// The filter's WHERE clause on records r joined to instruments i, with any further condition;
// binds from index 1.
QString whereOf(const Filter& f, const QString& also = {}) {
    QStringList parts;
    if (!also.isEmpty()) {
        parts << also;
    }
    if (!f.instrument.isEmpty()) {
        parts << QStringLiteral("i.name = ?1");
    }
    if (f.from) {
        parts << QStringLiteral("r.clock >= ?2");
    }
    if (f.to) {
        parts << QStringLiteral("r.clock < ?3");
    }
    return parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(" AND ");
}

void bindFilter(sql::Statement& s, const Filter& f) {
    if (!f.instrument.isEmpty()) {
        s.bind(1, f.instrument);
    }
    if (f.from) {
        s.bind(2, clockSeconds(*f.from));
    }
    if (f.to) {
        s.bind(3, clockSeconds(f.to->addDays(1)));
    }
}

} // namespace

QString modeName(Mode mode) {
    switch (mode) {
    case Mode::doseRate:
        return QStringLiteral("doseRate");
    case Mode::volumetricActivity:
        return QStringLiteral("volumetricActivity");
    case Mode::betaFlux:
        return QStringLiteral("betaFlux");
    case Mode::alphaFlux:
        return QStringLiteral("alphaFlux");
    }
    return {};
}

QString unitName(Mode mode) {
    switch (mode) {
    case Mode::doseRate:
        return QStringLiteral("uSv/h");
    case Mode::volumetricActivity:
        return QStringLiteral("Bq/g");
    case Mode::betaFlux:
    case Mode::alphaFlux:
        return QStringLiteral("1/(min*cm2)");
    }
    return {};
}

std::optional<Mode> modeNamed(const QString& name) {
    for (const Mode m :
         {Mode::doseRate, Mode::volumetricActivity, Mode::betaFlux, Mode::alphaFlux}) {
        if (modeName(m) == name) {
            return m;
        }
    }
    return std::nullopt;
}

QString defaultName(const QString& caption, const QByteArray& identity) {
    const QString digits = identity.size() >= 2
                               ? QString::fromLatin1(identity.left(2).toHex().toUpper())
                               : QStringLiteral("0000");
    return (caption.isEmpty() ? QStringLiteral("Instrument") : caption) + u' ' + digits;
}

QByteArray sha256(std::span<const std::uint8_t> bytes) {
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256);
}

Result HistoryStore::readOut(const sql::Statement& query) const {
    return query.done() ? Result{} : failed(QStringLiteral("cannot read"), query.status());
}

Result HistoryStore::failed(const QString& what, const sql::Status& status) const {
    Result r;
    r.full = status.full();
    r.error = QStringLiteral("%1: %2: %3").arg(m_path, what, status.message);
    return r;
}

Result HistoryStore::open(const QString& path, bool create) {
    m_db.close();
    m_path = path;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return {
            QStringLiteral("%1: not a regular file; a history is never written there").arg(path)};
    }
    if (!info.exists() && !create) {
        return {QStringLiteral("%1: no history there yet").arg(path)};
    }
    if (info.exists() && info.size() > 0) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return {QStringLiteral("%1: %2").arg(path, file.errorString())};
        }
        if (!looksLikeSqlite(file)) {
            return {QStringLiteral("%1: not a Veltra history (not an SQLite database); it is "
                                   "left as it is")
                        .arg(path)};
        }
    }
    if (const sql::Status s = m_db.open(path, create, busy_ms); !s.ok()) {
        return failed(QStringLiteral("cannot open"), s);
    }
    const auto id = m_db.integer("PRAGMA application_id");
    const auto version = m_db.integer("PRAGMA user_version");
    const auto tables = m_db.integer("SELECT count(*) FROM sqlite_schema");
    if (!id || !version || !tables) {
        const Result r = failed(QStringLiteral("cannot read"), m_db.status());
        m_db.close();
        return r;
    }
    if (*id != applicationId && !(*id == 0 && *tables == 0)) {
        m_db.close();
        return {QStringLiteral("%1: not a Veltra history (another program's database); it is "
                               "left as it is")
                    .arg(path)};
    }
    if (*version > schemaVersion) {
        m_db.close();
        return {QStringLiteral("%1: made by a newer Veltra (history version %2, this program "
                               "knows %3); it is left as it is")
                    .arg(path)
                    .arg(*version)
                    .arg(schemaVersion)};
    }
    // WAL: readers never wait for a writer; FULL: a committed download survives a power cut.
    m_db.exec("PRAGMA journal_mode=WAL");
    m_db.exec("PRAGMA synchronous=FULL");
    m_db.exec("PRAGMA foreign_keys=ON");
    if (*version < schemaVersion) {
        if (Result r = migrate(static_cast<int>(*version)); !r) {
            m_db.close();
            return r;
        }
    }
    return {};
}

Result HistoryStore::migrate(int from) {
    sql::Transaction t(m_db);
    if (!t.begun().ok()) {
        return failed(QStringLiteral("cannot write"), t.begun());
    }
    // Read again under the lock: another program may have made it meanwhile.
    const int now = static_cast<int>(m_db.integer("PRAGMA user_version").value_or(from));
    if (now == 0) {
        if (const sql::Status s = m_db.exec(schemaV1); !s.ok()) {
            return failed(QStringLiteral("cannot make the history"), s);
        }
    }
    const QByteArray pragmas = QStringLiteral("PRAGMA application_id=%1; PRAGMA user_version=%2")
                                   .arg(applicationId)
                                   .arg(schemaVersion)
                                   .toLatin1();
    if (const sql::Status s = m_db.exec(pragmas.constData()); !s.ok()) {
        return failed(QStringLiteral("cannot make the history"), s);
    }
    if (const sql::Status s = t.commit(); !s.ok()) {
        return failed(QStringLiteral("cannot make the history"), s);
    }
    return {};
}

Result HistoryStore::inTransaction(const QString& what, const std::function<sql::Status()>& body) {
    Result result;
    for (int attempt = 0; attempt < writeTries; ++attempt) {
        sql::Transaction t(m_db);
        sql::Status s = t.begun();
        QString failedTo = QStringLiteral("cannot write");
        if (s.ok()) {
            failedTo = what;
            s = body();
            if (s.ok()) {
                s = t.commit();
            }
        }
        if (s.ok()) {
            return {};
        }
        result = failed(failedTo, s);
        if (!s.busy()) {
            return result; // what is not a lock is not cured by trying again
        }
    }
    return result;
}

std::optional<Instrument> HistoryStore::instrumentFor(int deviceType, const QByteArray& identity,
                                                      const QString& name, Result& result) {
    std::optional<Instrument> instrument;
    result = inTransaction(
        QStringLiteral("cannot add the instrument %1").arg(name), [&]() -> sql::Status {
            instrument.reset();
            sql::Statement find(m_db, "SELECT id, name FROM instruments WHERE device_type = ?1 "
                                      "AND identity = ?2");
            find.bind(1, std::int64_t{deviceType})
                .bind(2, std::span(reinterpret_cast<const std::uint8_t*>(identity.constData()),
                                   static_cast<std::size_t>(identity.size())));
            if (find.step()) {
                instrument = Instrument{find.integer(0), find.text(1), deviceType, identity};
                return {};
            }
            // Another instrument may have the name already (two of one model whose identities
            // begin alike): the new one gets the first free "NAME (2)", "NAME (3)"...
            QString free = name;
            sql::Statement taken(m_db, "SELECT 1 FROM instruments WHERE name = ?1");
            for (int n = 2; taken.bind(1, free).step(); ++n) {
                free = QStringLiteral("%1 (%2)").arg(name).arg(n);
                taken.reset();
            }
            sql::Statement add(
                m_db, "INSERT INTO instruments(device_type, identity, name) VALUES(?1, ?2, ?3)");
            add.bind(1, std::int64_t{deviceType})
                .bind(2, std::span(reinterpret_cast<const std::uint8_t*>(identity.constData()),
                                   static_cast<std::size_t>(identity.size())))
                .bind(3, free);
            const sql::Status s = add.run();
            if (s.ok()) {
                instrument = Instrument{m_db.lastInsertId(), free, deviceType, identity};
            }
            return s;
        });
    if (!result) {
        return std::nullopt;
    }
    return instrument;
}

std::optional<Instrument> HistoryStore::instrumentNamed(const QString& name, bool create,
                                                        Result& result) {
    sql::Statement find(m_db, "SELECT id, device_type, identity FROM instruments WHERE name = ?1");
    find.bind(1, name);
    if (find.step()) {
        result = {};
        return Instrument{find.integer(0), name, static_cast<int>(find.integer(1)), find.blob(2)};
    }
    if (!find.done()) {
        result = failed(QStringLiteral("cannot read"), find.status());
        return std::nullopt;
    }
    if (!create) {
        result = {QStringLiteral("%1: no instrument named %2").arg(m_path, name)};
        return std::nullopt;
    }
    sql::Statement add(m_db, "INSERT INTO instruments(device_type, identity, name) VALUES(0, "
                             "NULL, ?1)");
    add.bind(1, name);
    if (const sql::Status s = add.run(); !s.ok()) {
        result = failed(QStringLiteral("cannot add the instrument %1").arg(name), s);
        return std::nullopt;
    }
    result = {};
    return Instrument{m_db.lastInsertId(), name, 0, {}};
}

std::optional<StoreReport> HistoryStore::store(const Instrument& instrument,
                                               const Download& download, Result& result,
                                               const std::function<void(int)>& progress) {
    if (download.image.size() != imageSize) {
        result = {QStringLiteral("%1: an archive image is %2 bytes, not %3")
                      .arg(m_path)
                      .arg(imageSize)
                      .arg(download.image.size())};
        return std::nullopt;
    }
    archive::ArchiveImage image;
    std::copy(download.image.begin(), download.image.end(), image.bytes.begin());
    const QByteArray digest = sha256(download.image);
    const auto digestBytes = std::span(reinterpret_cast<const std::uint8_t*>(digest.constData()),
                                       static_cast<std::size_t>(digest.size()));
    const int proven = std::clamp(download.recordsProven, 0, 800);
    // Each sample of the proven records 0..798 with its session number by the session walk.
    struct Sample {
        int number;
        int session;
        archive::ArchiveRecord record;
    };
    std::vector<Sample> samples;
    archive::walkSessions(image, [&](const archive::ArchiveRecord& r, int session) {
        if (r.isSample && r.index < proven) {
            samples.push_back({r.index, session, r});
        }
    });

    StoreReport report;
    result = inTransaction(QStringLiteral("the download was not stored"), [&]() -> sql::Status {
        report = {};
        report.samples = static_cast<int>(samples.size());
        sql::Statement seen(m_db,
                            "SELECT id FROM downloads WHERE instrument_id = ?1 AND sha256 = ?2");
        seen.bind(1, instrument.id).bind(2, digestBytes);
        if (seen.step()) {
            report.alreadyStored = true;
            report.downloadId = seen.integer(0);
            return {};
        }
        sql::Statement add(m_db,
                           "INSERT INTO downloads(instrument_id, image, sha256, pc_time_utc, "
                           "utc_offset_s, program_version, records_proven, failures, partial, "
                           "logging_interval_s) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        add.bind(1, instrument.id)
            .bind(2, download.image)
            .bind(3, digestBytes)
            .bind(4, download.pcTimeUtc.toUTC().toString(Qt::ISODate))
            .bind(5, std::int64_t{download.utcOffset_s})
            .bind(6, download.programVersion)
            .bind(7, std::int64_t{proven})
            .bind(8, std::int64_t{download.failures})
            .bind(9, std::int64_t{proven < 800 ? 1 : 0});
        if (download.loggingInterval_s) {
            add.bind(10, std::int64_t{*download.loggingInterval_s});
        } else {
            add.bindNull(10);
        }
        if (sql::Status s = add.run(); !s.ok()) {
            return s;
        }
        report.downloadId = m_db.lastInsertId();

        // One index serves both: a record's own bytes, and the records of a range of time.
        sql::Statement findRecord(m_db, "SELECT id FROM records WHERE instrument_id = ?1 AND "
                                        "clock = ?3 AND bytes = ?2");
        sql::Statement addRecord(
            m_db, "INSERT INTO records(instrument_id, bytes, clock, mode, value, "
                  "utc_offset_s, logging_interval_s) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        sql::Statement addSighting(
            m_db, "INSERT INTO sightings(download_id, number, record_id) VALUES(?1, ?2, ?3)");
        sql::Statement findSession(m_db, "SELECT id FROM sessions WHERE first_record_id = ?1");
        sql::Statement addSession(
            m_db, "INSERT INTO sessions(instrument_id, first_record_id) VALUES(?1, ?2)");
        sql::Statement join(m_db, "UPDATE records SET session_id = ?1 WHERE id = ?2 AND "
                                  "session_id IS NULL");
        int lastSession = 0;
        std::int64_t sessionId = 0;
        for (std::size_t n = 0; n < samples.size(); ++n) {
            const Sample& sample = samples[n];
            const auto bytes = image.recordBytes(static_cast<std::size_t>(sample.number));
            findRecord.reset();
            findRecord.bind(1, instrument.id)
                .bind(2, bytes)
                .bind(3, clockSeconds(sample.record.clock));
            std::int64_t recordId = 0;
            if (findRecord.step()) {
                recordId = findRecord.integer(0);
            } else if (!findRecord.done()) {
                return findRecord.status();
            } else {
                addRecord.reset();
                addRecord.bind(1, instrument.id)
                    .bind(2, bytes)
                    .bind(3, clockSeconds(sample.record.clock))
                    .bind(4, static_cast<std::int64_t>(modeOf(sample.record.recordMode)))
                    .bind(5, sample.record.value)
                    .bind(6, std::int64_t{download.utcOffset_s});
                if (download.loggingInterval_s) {
                    addRecord.bind(7, std::int64_t{*download.loggingInterval_s});
                } else {
                    addRecord.bindNull(7);
                }
                if (sql::Status s = addRecord.run(); !s.ok()) {
                    return s;
                }
                recordId = m_db.lastInsertId();
                ++report.newRecords;
            }
            addSighting.reset();
            addSighting.bind(1, report.downloadId)
                .bind(2, std::int64_t{sample.number})
                .bind(3, recordId);
            if (sql::Status s = addSighting.run(); !s.ok()) {
                return s;
            }
            // A session is known by its first sample in this download.
            if (n == 0 || sample.session != lastSession) {
                lastSession = sample.session;
                findSession.reset();
                findSession.bind(1, recordId);
                if (findSession.step()) {
                    sessionId = findSession.integer(0);
                } else if (!findSession.done()) {
                    return findSession.status();
                } else {
                    addSession.reset();
                    addSession.bind(1, instrument.id).bind(2, recordId);
                    if (sql::Status s = addSession.run(); !s.ok()) {
                        return s;
                    }
                    sessionId = m_db.lastInsertId();
                    ++report.newSessions;
                }
            }
            join.reset();
            join.bind(1, sessionId).bind(2, recordId);
            if (sql::Status s = join.run(); !s.ok()) {
                return s;
            }
            if (progress) {
                progress(static_cast<int>(n + 1));
            }
        }
        return {};
    });
    if (!result) {
        return std::nullopt;
    }
    return report;
}

std::optional<bool> HistoryStore::storeReading(std::int64_t instrumentId, const Reading& reading,
                                               Result& result) {
    bool added = false;
    result = inTransaction(QStringLiteral("the reading was not stored"), [&]() -> sql::Status {
        // "IS" matches an unknown instrument too: a reading is kept once either way.
        sql::Statement add(
            m_db, "INSERT INTO readings(instrument_id, computer_time, instrument_time, "
                  "measurement_count, mode, value, unit, dose_uSv) SELECT ?1, ?2, ?3, ?4, ?5, ?6, "
                  "?7, ?8 WHERE NOT EXISTS (SELECT 1 FROM readings WHERE instrument_id IS ?1 AND "
                  "instrument_time = ?3 AND measurement_count = ?4)");
        if (instrumentId != 0) {
            add.bind(1, instrumentId);
        } else {
            add.bindNull(1);
        }
        add.bind(2, reading.computerTime)
            .bind(3, reading.instrumentTime)
            .bind(4, std::int64_t{reading.measurementCount})
            .bind(5, std::int64_t{reading.mode})
            .bind(6, reading.value)
            .bind(7, reading.unit);
        if (reading.dose_uSv) {
            add.bind(8, *reading.dose_uSv);
        } else {
            add.bindNull(8);
        }
        const sql::Status s = add.run();
        added = s.ok() && m_db.changes() > 0;
        return s;
    });
    if (!result) {
        return std::nullopt;
    }
    return added;
}

std::vector<Instrument> HistoryStore::instruments(Result& result) {
    std::vector<Instrument> out;
    sql::Statement q(m_db, "SELECT i.id, i.name, i.device_type, i.identity, "
                           "(SELECT count(*) FROM downloads d WHERE d.instrument_id = i.id), "
                           "(SELECT count(*) FROM records r WHERE r.instrument_id = i.id) "
                           "FROM instruments i ORDER BY i.name");
    while (q.step()) {
        out.push_back({q.integer(0), q.text(1), static_cast<int>(q.integer(2)), q.blob(3),
                       static_cast<int>(q.integer(4)), static_cast<int>(q.integer(5))});
    }
    result = readOut(q);
    return out;
}

std::vector<StoredDownload> HistoryStore::downloads(const Filter& filter, Result& result) {
    std::vector<StoredDownload> out;
    sql::Statement q(m_db, "SELECT d.id, i.name, d.pc_time_utc, d.utc_offset_s, "
                           "d.program_version, d.records_proven, d.failures, d.partial, d.sha256 "
                           "FROM downloads d JOIN instruments i ON i.id = d.instrument_id "
                           "WHERE ?1 IS NULL OR i.name = ?1 ORDER BY d.pc_time_utc, d.id");
    if (filter.instrument.isEmpty()) {
        q.bindNull(1);
    } else {
        q.bind(1, filter.instrument);
    }
    while (q.step()) {
        out.push_back({q.integer(0), q.text(1), q.text(2), static_cast<int>(q.integer(3)),
                       q.text(4), static_cast<int>(q.integer(5)), static_cast<int>(q.integer(6)),
                       q.integer(7) != 0, q.blob(8)});
    }
    result = readOut(q);
    return out;
}

std::vector<StoredRecord> HistoryStore::records(const Filter& filter, Result& result) {
    std::vector<StoredRecord> out;
    const QByteArray text =
        (QStringLiteral("SELECT r.instrument_id, i.name, r.clock, r.mode, r.value, "
                        "r.utc_offset_s, coalesce(r.session_id, 0), r.logging_interval_s "
                        "FROM records r JOIN instruments i ON i.id = r.instrument_id") +
         whereOf(filter) + QStringLiteral(" ORDER BY r.instrument_id, r.clock, r.id"))
            .toUtf8();
    sql::Statement q(m_db, text.constData());
    bindFilter(q, filter);
    std::int64_t lastId = -1;
    QString name;
    out.reserve(4096);
    while (q.step()) {
        StoredRecord r;
        r.instrumentId = q.integer(0);
        if (r.instrumentId != lastId) {
            lastId = r.instrumentId;
            name = q.text(1);
        }
        r.instrument = name;
        r.clock = q.integer(2);
        r.time = clockText(r.clock);
        r.mode = modeFromColumn(q.integer(3));
        r.value = q.real(4);
        r.utcOffset_s = static_cast<int>(q.integer(5));
        r.session = q.integer(6);
        if (!q.isNull(7)) {
            r.loggingInterval_s = static_cast<int>(q.integer(7));
        }
        out.push_back(std::move(r));
    }
    result = readOut(q);
    return out;
}

std::vector<StoredSession> HistoryStore::sessions(const Filter& filter, Result& result) {
    std::vector<StoredSession> out;
    const QByteArray text =
        (QStringLiteral("SELECT r.session_id, i.name, min(r.clock), max(r.clock), count(*), "
                        "(SELECT f.mode FROM records f JOIN sessions s ON s.first_record_id = "
                        "f.id WHERE s.id = r.session_id) "
                        "FROM records r JOIN instruments i ON i.id = r.instrument_id") +
         whereOf(filter, QStringLiteral("r.session_id IS NOT NULL")) +
         QStringLiteral(" GROUP BY r.session_id ORDER BY i.name, min(r.clock), r.session_id"))
            .toUtf8();
    sql::Statement q(m_db, text.constData());
    bindFilter(q, filter);
    while (q.step()) {
        StoredSession s;
        s.id = q.integer(0);
        s.instrument = q.text(1);
        s.records = static_cast<int>(q.integer(4));
        s.first = clockText(q.integer(2));
        s.last = clockText(q.integer(3));
        s.mode = modeFromColumn(q.integer(5));
        out.push_back(std::move(s));
    }
    result = readOut(q);
    return out;
}

std::vector<Stats> HistoryStore::stats(const Filter& filter, Period by, Result& result) {
    std::vector<Stats> out;
    // The period from the clock count: whole days since 1970, then the calendar via SQLite.
    const QString period = by == Period::day
                               ? QStringLiteral("strftime('%Y-%m-%d', r.clock, 'unixepoch')")
                               : QStringLiteral("strftime('%Y-%m', r.clock, 'unixepoch')");
    const QByteArray text =
        (QStringLiteral("SELECT ") + period +
         QStringLiteral(" AS p, i.name, r.mode, count(*), min(r.value), max(r.value), "
                        "avg(r.value) FROM records r JOIN instruments i ON i.id = "
                        "r.instrument_id") +
         whereOf(filter) + QStringLiteral(" GROUP BY i.name, p, r.mode ORDER BY i.name, p, r.mode"))
            .toUtf8();
    sql::Statement q(m_db, text.constData());
    bindFilter(q, filter);
    while (q.step()) {
        out.push_back({q.text(0), q.text(1), modeFromColumn(q.integer(2)),
                       static_cast<int>(q.integer(3)), q.real(4), q.real(5), q.real(6)});
    }
    result = readOut(q);
    return out;
}

QStringList HistoryStore::verify(Result& result) {
    QStringList problems;
    sql::Statement check(m_db, "PRAGMA integrity_check");
    while (check.step()) {
        if (const QString line = check.text(0); line != QLatin1String("ok")) {
            problems << QStringLiteral("%1: %2").arg(m_path, line);
        }
    }
    if (!check.done()) {
        result = failed(QStringLiteral("cannot check"), check.status());
        return problems;
    }
    sql::Statement images(m_db, "SELECT d.id, i.name, d.pc_time_utc, d.image, d.sha256 FROM "
                                "downloads d JOIN instruments i ON i.id = d.instrument_id "
                                "ORDER BY d.id");
    while (images.step()) {
        const QByteArray image = images.blob(3);
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(image.constData()),
                                     static_cast<std::size_t>(image.size()));
        if (image.size() != static_cast<qsizetype>(imageSize) || sha256(bytes) != images.blob(4)) {
            problems << QStringLiteral("%1: download %2 of %3 (%4): the image is not the one "
                                       "stored (its SHA-256 differs)")
                            .arg(m_path)
                            .arg(images.integer(0))
                            .arg(images.text(1), images.text(2));
        }
    }
    result = images.done() ? Result{} : failed(QStringLiteral("cannot check"), images.status());
    return problems;
}

Result HistoryStore::rename(const QString& from, const QString& to) {
    sql::Statement q(m_db, "UPDATE instruments SET name = ?2 WHERE name = ?1");
    q.bind(1, from).bind(2, to);
    if (const sql::Status s = q.run(); !s.ok()) {
        return failed(QStringLiteral("cannot rename %1 to %2").arg(from, to), s);
    }
    if (m_db.changes() == 0) {
        return {QStringLiteral("%1: no instrument named %2").arg(m_path, from)};
    }
    return {};
}

} // namespace veltra::history
