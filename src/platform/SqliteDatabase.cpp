#include "platform/SqliteDatabase.h"

#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/RegistryHive.h"

namespace tessaly {

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

SqliteDatabase::SqliteDatabase(std::filesystem::path file, int busyTimeoutMs, bool create)
    : file_(std::move(file)), busyTimeoutMs_(busyTimeoutMs) {
  // One thread per connection: SQLite's own mutexes would only cost time on every call.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    try {
      Check(rc);
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs_);
}

SqliteDatabase::~SqliteDatabase() {
  sqlite3_close(db_);
}

bool SqliteDatabase::IsReadOnly() const {
  return sqlite3_db_readonly(db_, "main") == 1;
}

void SqliteDatabase::Execute(const char* sql) {
  Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

std::string SqliteDatabase::QueryRetryingWhileBusy(const char* sql) {
  constexpr auto kPause = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs_);
  auto statement = Prepare(sql);
  for (;;) {
    const int rc = sqlite3_step(statement.Get());
    if (rc == SQLITE_ROW) return reinterpret_cast<const char*>(sqlite3_column_text(statement.Get(), 0));
    sqlite3_reset(statement.Get());
    if (rc != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
      Check(rc);
      return {};
    }
    std::this_thread::sleep_for(kPause);
  }
}

SqliteStatement SqliteDatabase::Prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr));
  return SqliteStatement(statement);
}

void SqliteDatabase::RollbackQuietly() noexcept {
  if (!InAutocommit()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteDatabase::InAutocommit() const {
  return sqlite3_get_autocommit(db_) != 0;
}

int SqliteDatabase::Changes() const {
  return sqlite3_changes(db_);
}

std::int64_t SqliteDatabase::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

int SqliteDatabase::Check(int rc) const {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return rc;
  std::string cause = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  const int primary = rc & 0xFF;
  if (primary == SQLITE_CORRUPT) cause = "the file is damaged (" + cause + ")";
  if (primary == SQLITE_BUSY) {
    cause =
        "the file is busy: another program is writing to it; try again when it has finished (" + cause + ")";
  }
  if (primary == SQLITE_READONLY) {
    cause += " (the file or its folder cannot be written to: the hive keeps its journal files beside it)";
  }
  // For files that cannot be opened or read, the system's reason says more than SQLite's summary.
  const int systemError = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
  if (systemError != 0 && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR)) {
    cause += " (" + std::string(std::strerror(systemError)) + ")";
  }
  Fail(cause);
}

void SqliteDatabase::Fail(const std::string& cause) const {
  throw ERegistryException("Registry hive file '" + file_.string() + "': " + cause);
}

SqliteQuery::SqliteQuery(SqliteDatabase& db, SqliteStatement& statement) noexcept
    : db_(db), statement_(statement.Get()) {}

SqliteQuery::~SqliteQuery() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

SqliteQuery& SqliteQuery::Bind(int index, std::int64_t value) {
  db_.Check(sqlite3_bind_int64(statement_, index, value));
  return *this;
}

SqliteQuery& SqliteQuery::Bind(int index, std::string_view text) {
  db_.Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
  return *this;
}

bool SqliteQuery::Next() {
  return db_.Check(sqlite3_step(statement_)) == SQLITE_ROW;
}

void SqliteQuery::Run() {
  while (Next()) {
  }
}

bool SqliteQuery::TryRun() {
  const int rc = sqlite3_step(statement_);
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) return false;
  db_.Check(rc);
  return true;
}

int SqliteQuery::ColumnType(int column) const {
  return sqlite3_column_type(statement_, column);
}

std::int64_t SqliteQuery::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string SqliteQuery::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text != nullptr ? std::string(text, sqlite3_column_bytes(statement_, column)) : std::string();
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db), open_(db.InAutocommit()) {
  if (open_) db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
  if (open_) db_.RollbackQuietly();
}

void SqliteTransaction::Commit() {
  if (!open_) return;
  db_.Execute("COMMIT");
  open_ = false;
}

}  // namespace tessaly
