#pragma once
// A small RAII layer over SQLite's C API: a connection, a prepared statement, a transaction.
// Errors are values (the result code and SQLite's message), never exceptions.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

struct sqlite3;
struct sqlite3_stmt;

namespace veltra::history::sql {

// What a call reported: SQLite's result code and its message ("database is locked").
struct Status {
    int code = 0; // SQLITE_OK
    QString message;

    [[nodiscard]] bool ok() const { return code == 0; }
    [[nodiscard]] bool busy() const; // SQLITE_BUSY or SQLITE_LOCKED: another program holds it
    [[nodiscard]] bool full() const; // SQLITE_FULL: the disk is full
};

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Opens the file for reading and writing; create: made when missing. Waits up to busy_ms
    // for a lock another connection holds before a statement reports busy.
    Status open(const QString& path, bool create, int busy_ms);
    void close();
    [[nodiscard]] bool isOpen() const { return m_db != nullptr; }

    // Runs one or more statements that return no rows.
    Status exec(const char* sql);
    // A PRAGMA's (or any one-value query's) integer.
    [[nodiscard]] std::optional<std::int64_t> integer(const char* sql);
    [[nodiscard]] Status status() const; // the connection's last error
    [[nodiscard]] std::int64_t lastInsertId() const;
    [[nodiscard]] int changes() const; // rows the last statement changed
    [[nodiscard]] sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(Connection& connection, const char* sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    [[nodiscard]] const Status& prepared() const { return m_prepared; }

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, double value);
    Statement& bind(int index, const QString& text);
    Statement& bind(int index, std::span<const std::uint8_t> blob);
    Statement& bindNull(int index);

    // One step: true while it gives a row; afterwards done() tells whether it ran to its end
    // and status() what went wrong when it did not.
    bool step();
    [[nodiscard]] bool done() const { return m_done; }
    [[nodiscard]] const Status& status() const { return m_status; }
    // Runs a statement that returns no row; its status.
    Status run();
    // Ready to run again with new values.
    void reset();

    [[nodiscard]] std::int64_t integer(int column) const;
    [[nodiscard]] double real(int column) const;
    [[nodiscard]] QString text(int column) const;
    [[nodiscard]] QByteArray blob(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    Connection& m_connection;
    sqlite3_stmt* m_stmt = nullptr;
    Status m_prepared;
    Status m_status;
    bool m_done = false;
};

// BEGIN IMMEDIATE: the write lock is taken at once (waiting for it as the connection's busy
// time-out allows), so two writers never both read and then both try to write. Rolled back
// unless committed.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();

    [[nodiscard]] const Status& begun() const { return m_begun; }
    Status commit();

private:
    Connection& m_connection;
    Status m_begun;
    bool m_open = false;
};

} // namespace veltra::history::sql
