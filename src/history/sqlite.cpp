#include "history/sqlite.h"

#include <sqlite3.h>

namespace veltra::history::sql {

bool Status::busy() const {
    return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

bool Status::full() const {
    return (code & 0xFF) == SQLITE_FULL;
}

Connection::~Connection() {
    close();
}

Status Connection::open(const QString& path, bool create, int busy_ms) {
    close();
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        Status failed{rc, m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                          : QString::fromUtf8(sqlite3_errstr(rc))};
        close();
        return failed;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busy_ms);
    return {};
}

void Connection::close() {
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

Status Connection::exec(const char* sql) {
    if (m_db == nullptr) {
        return {SQLITE_MISUSE, QStringLiteral("not open")};
    }
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    Status status{rc, message != nullptr ? QString::fromUtf8(message) : QString()};
    sqlite3_free(message);
    return status;
}

std::optional<std::int64_t> Connection::integer(const char* sql) {
    Statement query(*this, sql);
    if (!query.step()) {
        return std::nullopt;
    }
    return query.integer(0);
}

Status Connection::status() const {
    if (m_db == nullptr) {
        return {SQLITE_MISUSE, QStringLiteral("not open")};
    }
    return {sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db))};
}

std::int64_t Connection::lastInsertId() const {
    return m_db != nullptr ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Connection::changes() const {
    return m_db != nullptr ? sqlite3_changes(m_db) : 0;
}

Statement::Statement(Connection& connection, const char* sql) : m_connection(connection) {
    if (!connection.isOpen()) {
        m_prepared = {SQLITE_MISUSE, QStringLiteral("not open")};
        return;
    }
    if (sqlite3_prepare_v2(connection.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        m_prepared = connection.status();
    }
    m_status = m_prepared;
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value) {
    sqlite3_bind_double(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, std::span<const std::uint8_t> blob) {
    sqlite3_bind_blob(m_stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Statement::step() {
    if (m_stmt == nullptr) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_done = rc == SQLITE_DONE;
    m_status = m_done ? Status{} : m_connection.status();
    return false;
}

Status Statement::run() {
    while (step()) {
    }
    return m_status;
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_done = false;
    m_status = m_prepared;
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

QString Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p != nullptr ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column)) : QString();
}

QByteArray Statement::blob(int column) const {
    const void* p = sqlite3_column_blob(m_stmt, column);
    return p != nullptr
               ? QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(m_stmt, column))
               : QByteArray();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Connection& connection) : m_connection(connection) {
    m_begun = connection.exec("BEGIN IMMEDIATE");
    m_open = m_begun.ok();
}

Transaction::~Transaction() {
    if (m_open) {
        m_connection.exec("ROLLBACK");
    }
}

Status Transaction::commit() {
    if (!m_open) {
        return m_begun;
    }
    Status status = m_connection.exec("COMMIT");
    if (status.ok()) {
        m_open = false;
    }
    return status;
}

} // namespace veltra::history::sql
