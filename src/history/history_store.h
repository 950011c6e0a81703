#pragma once
// The dose history: every archive download and every logged reading kept once, per instrument,
// for years, in one SQLite file (history.sqlite beside prog.ini).
//
// Schema (version 1, PRAGMA user_version; PRAGMA application_id 0x56454C54, "VELT"):
//   instruments(id, device_type, identity BLOB(20), name UNIQUE)   (device_type, identity) unique
//   downloads(id, instrument_id, image BLOB(8000), sha256 BLOB(32), pc_time_utc, utc_offset_s,
//             program_version, records_proven, failures, partial, logging_interval_s)
//   records(id, instrument_id, bytes BLOB(10), clock (the instrument's clock fields as seconds,
//           read as UTC), mode 0..3, value, utc_offset_s and logging_interval_s of the download
//           that first brought it, session_id)
//           (instrument_id, bytes) unique: a record is stored once however many downloads bring it
//   sightings(download_id, number, record_id): which downloads saw a record, at which number
//   sessions(id, instrument_id, first_record_id UNIQUE): a session is known by its first sample,
//           so a later download that extends it extends the same session
//   readings(id, instrument_id, computer_time, instrument_time, measurement_count, mode, value,
//            unit, dose_uSv) (instrument_id, instrument_time, measurement_count) unique
//
// Every write is one transaction (BEGIN IMMEDIATE, so two programs on one file take turns; a
// busy file is waited for, then retried), in WAL mode with synchronous=FULL: a kill or a power
// cut leaves a download whole or absent. A file that is not a history of this program (not
// SQLite, another program's database, a newer schema, not a regular file) is refused before
// anything is written to it.

#include "history/sqlite.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace veltra::history {

inline constexpr std::int64_t applicationId = 0x56454C54; // "VELT"
inline constexpr int schemaVersion = 1;
inline constexpr std::size_t identitySize = 20;
inline constexpr std::size_t imageSize = 8000;
inline const QString historyFileName = QStringLiteral("history.sqlite");

// What a call found: nothing wrong, or a message that names the file and the reason.
struct Result {
    QString error;     // empty: fine
    bool full = false; // the disk is full

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
    explicit operator bool() const { return ok(); }
};

// The instrument's measuring modes as the history names them, and their units.
enum class Mode { doseRate = 0, volumetricActivity = 1, betaFlux = 2, alphaFlux = 3 };
[[nodiscard]] QString modeName(Mode mode); // "doseRate"...
[[nodiscard]] QString unitName(Mode mode); // "uSv/h", "Bq/g", "1/(min*cm2)"
[[nodiscard]] std::optional<Mode> modeNamed(const QString& name);

struct Instrument {
    std::int64_t id = 0;
    QString name;
    int deviceType = 0;  // 0: not known (an image imported without its instrument)
    QByteArray identity; // the 20 identity bytes as read; empty when not known
    int downloads = 0;
    int records = 0;
};

// The default name of a new instrument: the model's caption (the windows' text, from the
// caller) and the first four hex digits of the identity ("ТР-403 040E").
[[nodiscard]] QString defaultName(const QString& caption, const QByteArray& identity);

// One archive download as the reader left it.
struct Download {
    std::span<const std::uint8_t> image; // the 8000 bytes (records 0..799)
    QDateTime pcTimeUtc;                 // when it was read, in UTC
    int utcOffset_s = 0;                 // the PC's offset from UTC then
    QString programVersion;
    int recordsProven = 800; // records 0..recordsProven-1 are right; fewer: a partial read
    int failures = 0;
    std::optional<int> loggingInterval_s; // the instrument's logging interval, when known
};

struct StoreReport {
    std::int64_t downloadId = 0;
    bool alreadyStored = false; // the same image of the same instrument was stored before
    int samples = 0;            // samples among the proven records 0..798
    int newRecords = 0;         // of them, records the history did not have
    int newSessions = 0;
};

struct StoredDownload {
    std::int64_t id = 0;
    QString instrument;
    QString pcTimeUtc;
    int utcOffset_s = 0;
    QString programVersion;
    int recordsProven = 0;
    int failures = 0;
    bool partial = false;
    QByteArray sha256;
};

struct Filter {
    QString instrument;            // empty: every instrument
    std::optional<QDate> from, to; // inclusive, on the instrument's clock
};

struct StoredRecord {
    QString instrument;
    QString time; // YYYY-MM-DDTHH:MM:SS on the instrument's clock
    Mode mode = Mode::doseRate;
    double value = 0.0;
    int utcOffset_s = 0;      // of the download that first brought it
    std::int64_t session = 0; // 0: none
    std::int64_t instrumentId = 0;
    std::optional<int> loggingInterval_s;
    std::int64_t clock = 0; // time as seconds, the instrument's clock read as UTC
};

// One line of the measurement log, as the history keeps it.
struct Reading {
    QString computerTime;   // ISO 8601 with the UTC offset
    QString instrumentTime; // YYYY-MM-DDTHH:MM:SS on the instrument's clock
    std::uint32_t measurementCount = 0;
    int mode = 0; // the instrument's measuring-mode byte
    double value = 0.0;
    QString unit;
    std::optional<double> dose_uSv;
};

struct StoredSession {
    std::int64_t id = 0;
    QString instrument;
    QString first, last; // times of its first and last records
    int records = 0;
    Mode mode = Mode::doseRate; // its first record's
};

struct Stats {
    QString period; // YYYY-MM-DD or YYYY-MM
    QString instrument;
    Mode mode = Mode::doseRate;
    int count = 0;
    double minimum = 0.0, maximum = 0.0, mean = 0.0;
};

class HistoryStore {
public:
    // The busy time-out before a locked file is retried, and how often a whole write is tried.
    static constexpr int busy_ms = 5000;
    static constexpr int writeTries = 3;

    // Opens the history at path. create: a missing file is made (a write); otherwise a missing
    // file is an error. A file that is not this program's history is refused, unwritten.
    Result open(const QString& path, bool create);
    [[nodiscard]] const QString& path() const { return m_path; }

    // The instrument known by its type and identity, made with the name given when new.
    std::optional<Instrument> instrumentFor(int deviceType, const QByteArray& identity,
                                            const QString& name, Result& result);
    // The instrument of that name, made with no known identity when new (an imported image).
    std::optional<Instrument> instrumentNamed(const QString& name, bool create, Result& result);

    // Stores a download in one transaction. progress, when given, is told the records stored
    // so far.
    std::optional<StoreReport> store(const Instrument& instrument, const Download& download,
                                     Result& result, const std::function<void(int)>& progress = {});

    // Stores a logged reading under its instrument (0: not identified), once: true when it is
    // new, false when the same instrument's reading of that clock time and count is there.
    std::optional<bool> storeReading(std::int64_t instrumentId, const Reading& reading,
                                     Result& result);

    std::vector<Instrument> instruments(Result& result);
    std::vector<StoredDownload> downloads(const Filter& filter, Result& result);
    // By instrument (in the order they came into the history), then by time.
    std::vector<StoredRecord> records(const Filter& filter, Result& result);
    std::vector<StoredSession> sessions(const Filter& filter, Result& result);
    enum class Period { day, month };
    std::vector<Stats> stats(const Filter& filter, Period by, Result& result);
    // The integrity check of the file and the SHA-256 of every stored image: one line per
    // problem (none: all is well).
    QStringList verify(Result& result);
    Result rename(const QString& from, const QString& to);

    [[nodiscard]] sql::Connection& connection() { return m_db; }

private:
    Result failed(const QString& what, const sql::Status& status) const;
    // A query read to its end, or why it stopped.
    Result readOut(const sql::Statement& query) const;
    // Runs body in one write transaction, tried again while the file is busy (writeTries in
    // all): "cannot write" when it cannot begin, what when body or the commit fails.
    Result inTransaction(const QString& what, const std::function<sql::Status()>& body);
    Result migrate(int from);

    sql::Connection m_db;
    QString m_path;
};

[[nodiscard]] QByteArray sha256(std::span<const std::uint8_t> bytes);

} // namespace veltra::history
