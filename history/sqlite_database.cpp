// SPDX-License-Identifier: GPL-2.0-or-later
#include "sqlite_database.h"

#include <sqlite3.h>

#include <limits>
#include <utility>

namespace tarnwick {
namespace {

int SqlLength(std::string_view sql) {
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw SqliteError(SQLITE_TOOBIG, sqlite3_errstr(SQLITE_TOOBIG));
    }
    return static_cast<int>(sql.size());
}

}  // namespace

bool SqliteError::damaged() const noexcept {
    const int primary = code_ & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file, bool create) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int result = sqlite3_open_v2(file.c_str(), &handle_, flags, nullptr);
    if (result != SQLITE_OK) {
        // SQLite leaves a handle to close even when the open failed.
        sqlite3_close(std::exchange(handle_, nullptr));
        throw SqliteError(result, sqlite3_errstr(result));
    }
    sqlite3_extended_result_codes(handle_, 1);
}

SqliteDatabase::~SqliteDatabase() {
    // Every statement has been finalized by its own destructor.
    sqlite3_close(handle_);
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        sqlite3_close(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void SqliteDatabase::fail() const {
    throw SqliteError(sqlite3_extended_errcode(handle_), sqlite3_errmsg(handle_));
}

void SqliteDatabase::setBusyTimeout(std::chrono::milliseconds timeout) {
    sqlite3_busy_timeout(handle_, static_cast<int>(timeout.count()));
}

void SqliteDatabase::execute(std::string_view sql) {
    // Statement by statement, so that the text need not end in a zero.
    const char* next = sql.data();
    const char* const end = sql.data() + sql.size();
    while (next < end) {
        sqlite3_stmt* handle = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(handle_, next, SqlLength({next, static_cast<std::size_t>(end - next)}), &handle,
                               &tail) != SQLITE_OK) {
            fail();
        }
        if (handle == nullptr) {
            break;  // only blanks and comments were left
        }
        SqliteStatement(*this, handle).run();
        next = tail;
    }
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql) {
    sqlite3_stmt* handle = nullptr;
    if (sqlite3_prepare_v3(handle_, sql.data(), SqlLength(sql), SQLITE_PREPARE_PERSISTENT, &handle, nullptr) !=
        SQLITE_OK) {
        fail();
    }
    return SqliteStatement(*this, handle);
}

std::int64_t SqliteDatabase::lastInsertId() const { return sqlite3_last_insert_rowid(handle_); }

int SqliteDatabase::userVersion() {
    SqliteStatement statement = prepare("PRAGMA user_version");
    statement.step();
    return static_cast<int>(statement.integer(0));
}

void SqliteDatabase::setUserVersion(int version) {
    // A pragma takes no parameters.
    execute("PRAGMA user_version = " + std::to_string(version));
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(handle_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : database_(other.database_), handle_(std::exchange(other.handle_, nullptr)) {}

void SqliteStatement::check(int code) const {
    if (code != SQLITE_OK) {
        database_->fail();
    }
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    check(sqlite3_bind_text(handle_, index, text.data(), SqlLength(text), SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    check(sqlite3_bind_int64(handle_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    check(sqlite3_bind_null(handle_, index));
    return *this;
}

bool SqliteStatement::step() {
    const int result = sqlite3_step(handle_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result != SQLITE_DONE) {
        database_->fail();
    }
    return false;
}

void SqliteStatement::run() {
    while (step()) {
    }
}

void SqliteStatement::reset() { sqlite3_reset(handle_); }

std::string SqliteStatement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(handle_, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(handle_, column));
    return bytes == nullptr ? std::string() : std::string(bytes, size);
}

std::int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(handle_, column); }

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(handle_, column) == SQLITE_NULL; }

SqliteTransaction::SqliteTransaction(SqliteDatabase& database, TransactionFor purpose) : database_(database) {
    database_.execute(purpose == TransactionFor::Writing ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) {
        try {
            database_.execute("ROLLBACK");
        } catch (const SqliteError&) {
            // SQLite rolls back by itself after some failures (a full disk).
        }
    }
}

void SqliteTransaction::commit() {
    database_.execute("COMMIT");
    open_ = false;
}

}  // namespace tarnwick
