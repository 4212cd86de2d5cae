// SPDX-License-Identifier: GPL-2.0-or-later
// A thin owner of Debian's SQLite library for the history store: the
// connection and its prepared statements, each closed by its destructor, a
// transaction that rolls back unless committed, and SQLite's refusals as one
// exception type carrying SQLite's code and text.
//
// One connection per thread at a time; statements belong to the connection
// that made them and must not outlive it.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tarnwick {

// What SQLite refused, with its extended result code and its text.
class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    // The extended result code; (code() & 0xFF) is the primary one.
    [[nodiscard]] int code() const noexcept { return code_; }
    // The file is not a database, or its pages are damaged.
    [[nodiscard]] bool damaged() const noexcept;

private:
    int code_;
};

class SqliteStatement;

class SqliteDatabase {
public:
    // Opens the file for reading and writing; create: make it when missing.
    // A file that is not a database is found only by the first statement.
    SqliteDatabase(const std::filesystem::path& file, bool create);
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // How long a statement waits for another connection's lock before it
    // gives up with SQLITE_BUSY.
    void setBusyTimeout(std::chrono::milliseconds timeout);
    // Runs statements that return no rows.
    void execute(std::string_view sql);
    SqliteStatement prepare(std::string_view sql);
    [[nodiscard]] std::int64_t lastInsertId() const;

    // PRAGMA user_version: the schema's version as the file records it.
    [[nodiscard]] int userVersion();
    void setUserVersion(int version);

private:
    friend class SqliteStatement;
    [[noreturn]] void fail() const;

    sqlite3* handle_ = nullptr;
};

class SqliteStatement {
public:
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&&) = delete;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1; the text is copied.
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bindNull(int index);
    // True while a row is there to read; false when done.
    bool step();
    // Runs a statement that returns no rows.
    void run();
    // Back to the start with the bindings kept, to run again.
    void reset();

    // Columns count from 0; NULL reads as "" and 0.
    [[nodiscard]] std::string text(int column) const;
    [[nodiscard]] std::int64_t integer(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    friend class SqliteDatabase;
    SqliteStatement(const SqliteDatabase& database, sqlite3_stmt* handle) : database_(&database), handle_(handle) {}
    void check(int code) const;

    const SqliteDatabase* database_;
    sqlite3_stmt* handle_;
};

enum class TransactionFor { Reading, Writing };

// A transaction, rolled back unless commit() was called. One for writing
// takes the write lock at once (BEGIN IMMEDIATE, waiting out another writer
// within the busy timeout), so that it never fails half way for want of it.
class SqliteTransaction {
public:
    SqliteTransaction(SqliteDatabase& database, TransactionFor purpose);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void commit();

private:
    SqliteDatabase& database_;
    bool open_ = true;
};

}  // namespace tarnwick
