#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tessaly {

// Owns one prepared statement.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  explicit SqliteStatement(sqlite3_stmt* statement) noexcept : statement_(statement) {}
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  sqlite3_stmt* Get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Owns one connection to a database file, used from one thread at a time. Every SQLite return code goes
// through Check, which turns failures into an ERegistryException naming the file and SQLite's message.
class SqliteDatabase {
 public:
  // Opens the file for reading and writing, with create also when it is missing. A call that finds the file
  // locked by another connection waits up to busyTimeoutMs for it.
  SqliteDatabase(std::filesystem::path file, int busyTimeoutMs, bool create);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  const std::filesystem::path& File() const { return file_; }
  // True when the file could only be opened for reading.
  bool IsReadOnly() const;
  void Execute(const char* sql);
  // Runs a statement whose lock waits SQLite does not retry by itself (changing the journal mode), retrying
  // it until the busy timeout has passed. Gives the first column of its first row.
  std::string QueryRetryingWhileBusy(const char* sql);
  SqliteStatement Prepare(std::string_view sql);
  // Ends the open transaction, if any, dropping its changes; for destructors and read-only transactions.
  void RollbackQuietly() noexcept;
  // True when no transaction is open: also after SQLite itself rolled one back on a failure (a full disk).
  bool InAutocommit() const;
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int Changes() const;
  std::int64_t LastInsertId() const;

  // Returns rc when it reports success, a row or the end of a statement; raises otherwise.
  int Check(int rc) const;
  // Raises ERegistryException: "Registry hive file '<file>': <cause>".
  [[noreturn]] void Fail(const std::string& cause) const;

 private:
  std::filesystem::path file_;
  int busyTimeoutMs_;
  sqlite3* db_ = nullptr;
};

// One run of a prepared statement: binds, steps, and resets it when destroyed, so that no read
// transaction outlives the call that needed it.
class SqliteQuery {
 public:
  SqliteQuery(SqliteDatabase& db, SqliteStatement& statement) noexcept;
  ~SqliteQuery();
  SqliteQuery(const SqliteQuery&) = delete;
  SqliteQuery& operator=(const SqliteQuery&) = delete;

  SqliteQuery& Bind(int index, std::int64_t value);
  SqliteQuery& Bind(int index, std::string_view text);
  // Steps once: true when a row is ready.
  bool Next();
  void Run();
  // Runs the statement; false when a constraint refused it (a row vanished under it).
  bool TryRun();

  int ColumnType(int column) const;
  std::int64_t Int(int column) const;
  std::string Text(int column) const;

 private:
  SqliteDatabase& db_;
  sqlite3_stmt* statement_;
};

// A write transaction (BEGIN IMMEDIATE, so it waits for other writers up front), rolled back when left
// without Commit. Inside another transaction it does nothing: the outer one decides.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteDatabase& db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  void Commit();

 private:
  SqliteDatabase& db_;
  bool open_;
};

}  // namespace tessaly
