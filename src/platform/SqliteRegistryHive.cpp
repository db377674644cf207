#include "platform/SqliteRegistryHive.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include "platform/CleanUp.h"
#include "platform/HiveFileCheck.h"
#include "platform/SqliteDatabase.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

// Marks a database as a registry hive, so that no other SQLite file is ever taken for one.
constexpr std::int64_t kApplicationId = 0x54534C59;
constexpr std::int64_t kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;
// Up to this size a hive opens with the full integrity check, larger ones with the quick check: a hive of
// 10,000 card types with all their values holds 13.7 MB and opened in 105 ms with the full check, 24 ms with
// the quick one (registry_bench, BM_OpenFullCatalogueHive); the hives users keep hold some kilobytes.
constexpr std::uintmax_t kFullCheckLimit = 4 * 1024 * 1024;
// Value types keep the Windows registry's numbers (REG_SZ, REG_DWORD).
constexpr std::int64_t kTypeString = 1;
constexpr std::int64_t kTypeDWord = 4;

// Ids are never reused (AUTOINCREMENT) and keys never move, so a key id that still exists still
// belongs to the path it was found under: that is what makes the path cache safe.
constexpr const char* kSchema = R"(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent_id INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  UNIQUE(parent_id, name));
CREATE TABLE entries(
  id INTEGER PRIMARY KEY,
  key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data,
  UNIQUE(key_id, name));
CREATE INDEX entries_in_order ON entries(key_id, id, name);
INSERT INTO keys(id, parent_id, name) VALUES
  (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CLASSES_ROOT'), (3, NULL, 'HKEY_CURRENT_USER');
PRAGMA application_id = 1414745177;
PRAGMA user_version = 1;
)";
static_assert(kApplicationId == 1414745177);

std::int64_t RootId(RootKey root) {
  switch (root) {
    case RootKey::LocalMachine:
      return 1;
    case RootKey::ClassesRoot:
      return 2;
    case RootKey::CurrentUser:
      return 3;
  }
  return 3;
}

// "A\B\C" as its key names. A trailing backslash is allowed, an empty name anywhere else is not.
std::optional<std::vector<std::string>> SplitPath(const std::string& path) {
  // A NUL would end the name for some of SQLite's comparisons, so that two names could pass for one.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < path.size()) {
    const auto end = std::min(path.find('\\', start), path.size());
    if (end == start) return std::nullopt;
    names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The path as the cache knows it: letter case folded the way the hive matches names, without a trailing
// backslash. Built straight from the text, as this runs on every open.
std::string CacheKey(RootKey root, const std::string& path) {
  std::string key(1, static_cast<char>('0' + RootId(root)));
  key += '\\';
  key.append(path, 0, !path.empty() && path.back() == '\\' ? path.size() - 1 : path.size());
  std::transform(key.begin(), key.end(), key.begin(), AsciiUpper);
  return key;
}

// The file, once CheckHiveFile has let SQLite open it.
const std::filesystem::path& Checked(const std::filesystem::path& file, HiveOpening opening) {
  CheckHiveFile(file, opening);
  return file;
}

}  // namespace

// The connection and its prepared statements, shared by the hive and every key opened from it.
class SqliteHiveStore {
  struct CachedKey {
    std::int64_t id;
    // The snapshot in which the key was last seen to exist.
    std::uint64_t checkedIn;
  };

 public:
  SqliteHiveStore(const std::filesystem::path& file, HiveOpening opening)
      : db_(Checked(file, opening), kBusyTimeoutMs, opening == HiveOpening::CreateWhenMissing) {
    Validate(file, opening);
    // The schema comes first, in one transaction with the application id, so that no other process ever
    // sees a database of this program without its tables.
    CreateSchemaIfMissing();
    // Writes are committed one by one and synced before the call returns; WAL lets readers and one
    // writer of several processes work side by side.
    SwitchToWal();
    db_.Execute("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
    PrepareStatements();
  }

  // The key at root\path, or nothing when it is missing (or the path is not valid).
  std::optional<std::int64_t> FindKey(RootKey root, const std::string& path) {
    JoinReadSnapshot();
    const auto cacheKey = CacheKey(root, path);
    if (const auto id = Cached(cacheKey)) return id;
    const auto names = SplitPath(path);
    if (!names) return std::nullopt;
    // Sibling keys are mostly opened one after another: start below the deepest ancestor already known.
    std::size_t known = names->size();
    std::string ancestor = cacheKey;
    std::optional<std::int64_t> start;
    while (!start && --known > 0) {
      ancestor.resize(ancestor.rfind('\\'));
      start = Cached(ancestor);
    }
    return Walk(start.value_or(RootId(root)), cacheKey, *names, known, false);
  }

  // Creates the missing keys of a valid path; gives the key's id.
  std::int64_t CreateKey(RootKey root, const std::string& path) {
    std::int64_t id = 0;
    Atomically([&] { id = *Walk(RootId(root), CacheKey(root, path), *SplitPath(path), 0, true); });
    return id;
  }

  void Atomically(const std::function<void()>& apply) {
    BeginWrite();
    SqliteTransaction transaction(db_);
    ++atomicDepth_;
    try {
      apply();
      // A failure the run swallowed may have made SQLite roll the whole transaction back.
      CheckAtomicRunIntact();
    } catch (...) {
      --atomicDepth_;
      ForgetRolledBackKeys();
      throw;
    }
    --atomicDepth_;
    try {
      transaction.Commit();
    } catch (...) {
      ForgetRolledBackKeys();
      throw;
    }
  }

  // Reads made by reads share one read transaction, so they see one state of the hive and skip the
  // locking each read would do on its own. A write ends the transaction; the next read starts another.
  void ReadSnapshot(const std::function<void()>& reads) {
    ++snapshotDepth_;
    RunWithCleanUp(reads, [this] { LeaveSnapshot(); });
  }

  bool DeleteKey(std::int64_t id) {
    BeginWrite();
    SqliteQuery query(db_, deleteKey_);
    query.Bind(1, id).Run();
    return db_.Changes() > 0;
  }

  std::optional<HiveValue> QueryValue(std::int64_t key, const std::string& name) {
    JoinReadSnapshot();
    SqliteQuery query(db_, selectValue_);
    query.Bind(1, key).Bind(2, name);
    if (!query.Next()) return std::nullopt;
    HiveValue value;
    const auto type = query.Int(0);
    if (type == kTypeString) {
      value.Type = HiveValueType::String;
      value.Text = query.Text(1);
    } else if (type == kTypeDWord) {
      value.Type = HiveValueType::DWord;
      value.DWord = static_cast<std::uint32_t>(query.Int(1));
    } else {
      value.Type = HiveValueType::Other;
    }
    return value;
  }

  bool SetString(std::int64_t key, const std::string& name, const std::string& data) {
    if (!IsValidName(name)) return false;
    BeginWrite();
    SqliteQuery query(db_, upsertValue_);
    return query.Bind(1, key).Bind(2, name).Bind(3, kTypeString).Bind(4, data).TryRun();
  }

  bool SetDWord(std::int64_t key, const std::string& name, std::uint32_t data) {
    if (!IsValidName(name)) return false;
    BeginWrite();
    SqliteQuery query(db_, upsertValue_);
    return query.Bind(1, key).Bind(2, name).Bind(3, kTypeDWord).Bind(4, std::int64_t{data}).TryRun();
  }

  bool DeleteValue(std::int64_t key, const std::string& name) {
    BeginWrite();
    SqliteQuery query(db_, deleteValue_);
    query.Bind(1, key).Bind(2, name).Run();
    return db_.Changes() > 0;
  }

  std::vector<SubkeyValueNames> ValueNamesBelowSubkeys(std::int64_t key, const std::string& child) {
    JoinReadSnapshot();
    SqliteQuery query(db_, valueNamesBelowSubkeys_);
    query.Bind(1, key).Bind(2, child);
    std::vector<SubkeyValueNames> found;
    std::optional<std::int64_t> subkeyId;
    // One row per value, or one row without a value for a subkey whose child key is missing or empty.
    while (query.Next()) {
      if (query.Int(0) != subkeyId) {
        subkeyId = query.Int(0);
        found.push_back({query.Text(1), std::nullopt});
        if (query.ColumnType(2) != SQLITE_NULL) found.back().ValueNames.emplace();
      }
      if (query.ColumnType(3) != SQLITE_NULL) found.back().ValueNames->push_back(query.Text(3));
    }
    return found;
  }

  std::vector<std::string> SubkeyNames(std::int64_t key) { return Names(subkeyNames_, key); }
  std::vector<std::string> ValueNames(std::int64_t key) { return Names(valueNames_, key); }

 private:
  void SwitchToWal() {
    if (db_.QueryRetryingWhileBusy("PRAGMA journal_mode") == "wal") return;
    if (db_.QueryRetryingWhileBusy("PRAGMA journal_mode = WAL") != "wal") {
      db_.Fail("cannot switch the journal to write-ahead logging");
    }
  }

  std::int64_t ReadInteger(const char* sql) {
    auto statement = db_.Prepare(sql);
    SqliteQuery query(db_, statement);
    return query.Next() ? query.Int(0) : 0;
  }

  // Everything here only reads, so a file that fails stays exactly as it was. The full integrity check
  // also compares every index with its table, which finds damage the quick check passes; it reads the
  // whole file, so a large hive takes the quick check when it is opened to be worked with, and the full
  // one when it is only read from (export). A file cut short is found either way: by the whole-page check
  // of CheckHiveFile, and by SQLite itself when the file holds fewer pages than its header counts.
  void Validate(const std::filesystem::path& file, HiveOpening opening) {
    if (db_.IsReadOnly()) db_.Fail("the file is read-only");
    {
      auto check =
          db_.Prepare(UsesFullCheck(file, opening) ? "PRAGMA integrity_check(1)" : "PRAGMA quick_check(1)");
      SqliteQuery query(db_, check);
      if (query.Next() && query.Text(0) != "ok") {
        db_.Fail("the file is damaged (" + query.Text(0) + "): restore it from a copy");
      }
    }
    // Only an empty database may become a hive: a file that was empty, or one whose making was cut off
    // and which SQLite has rolled back to empty. The id and the size come from one statement, so from one
    // snapshot: another process may make the hive meanwhile, and an id read before its commit with a size
    // read after it would call the new hive foreign.
    {
      auto contents =
          db_.Prepare("SELECT application_id, page_count FROM pragma_application_id(), pragma_page_count()");
      SqliteQuery query(db_, contents);
      if (query.Next() && query.Int(0) != kApplicationId) {
        if (query.Int(1) > 0) db_.Fail("the file is not a registry hive");
        if (opening == HiveOpening::ExistingOnly) db_.Fail("the file is empty: it holds no registry hive");
      }
    }
    if (ReadInteger("PRAGMA user_version") > kSchemaVersion) {
      db_.Fail("the hive was written by a newer version of this program");
    }
  }

  static bool UsesFullCheck(const std::filesystem::path& file, HiveOpening opening) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return opening == HiveOpening::ExistingOnly || error || size <= kFullCheckLimit;
  }

  void CreateSchemaIfMissing() {
    if (ReadInteger("PRAGMA application_id") == kApplicationId) return;
    SqliteTransaction transaction(db_);
    // Another process may have created it while this one waited for the write lock.
    if (ReadInteger("PRAGMA application_id") == kApplicationId) return;
    db_.Execute(kSchema);
    transaction.Commit();
  }

  void PrepareStatements() {
    keyExists_ = db_.Prepare("SELECT 1 FROM keys WHERE id = ?1");
    findChild_ = db_.Prepare("SELECT id FROM keys WHERE parent_id = ?1 AND name = ?2");
    insertChild_ = db_.Prepare("INSERT INTO keys(parent_id, name) VALUES(?1, ?2)");
    deleteKey_ = db_.Prepare("DELETE FROM keys WHERE id = ?1");
    subkeyNames_ = db_.Prepare("SELECT name FROM keys WHERE parent_id = ?1 ORDER BY upper(name), name");
    selectValue_ = db_.Prepare("SELECT type, data FROM entries WHERE key_id = ?1 AND name = ?2");
    upsertValue_ = db_.Prepare(
        "INSERT INTO entries(key_id, name, type, data) VALUES(?1, ?2, ?3, ?4) "
        "ON CONFLICT(key_id, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    deleteValue_ = db_.Prepare("DELETE FROM entries WHERE key_id = ?1 AND name = ?2");
    valueNames_ = db_.Prepare("SELECT name FROM entries WHERE key_id = ?1 ORDER BY id");
    // Subkeys in the order subkeyNames_ gives, then values in the order valueNames_ gives.
    valueNamesBelowSubkeys_ = db_.Prepare(
        "SELECT subkey.id, subkey.name, child.id, entries.name FROM keys AS subkey "
        "LEFT JOIN keys AS child ON child.parent_id = subkey.id AND child.name = ?2 "
        "LEFT JOIN entries ON entries.key_id = child.id "
        "WHERE subkey.parent_id = ?1 ORDER BY upper(subkey.name), subkey.name, entries.id");
  }

  bool KeyExists(std::int64_t id) {
    SqliteQuery query(db_, keyExists_);
    return query.Bind(1, id).Next();
  }

  // The id of a cached key that still exists.
  std::optional<std::int64_t> Cached(const std::string& cacheKey) {
    const auto cached = pathCache_.find(cacheKey);
    if (cached == pathCache_.end()) return std::nullopt;
    if (CheckedInThisSnapshot(cached->second) || KeyExists(cached->second.id)) {
      cached->second.checkedIn = snapshotGeneration_;
      return cached->second.id;
    }
    pathCache_.erase(cached);
    return std::nullopt;
  }

  // Follows names[from...] down from the key id, remembering each key on the way; with create (inside a
  // write transaction) makes the missing keys, otherwise gives up at the first one.
  std::optional<std::int64_t> Walk(std::int64_t id, const std::string& cacheKey,
                                   const std::vector<std::string>& names, std::size_t from, bool create) {
    std::size_t keyEnd = 1;
    for (std::size_t i = 0; i < names.size(); ++i) {
      keyEnd = std::min(cacheKey.find('\\', keyEnd + 1), cacheKey.size());
      if (i < from) continue;
      SqliteQuery find(db_, findChild_);
      if (find.Bind(1, id).Bind(2, names[i]).Next()) {
        id = find.Int(0);
      } else if (create) {
        SqliteQuery insert(db_, insertChild_);
        insert.Bind(1, id).Bind(2, names[i]).Run();
        id = db_.LastInsertId();
      } else {
        return std::nullopt;
      }
      Remember(cacheKey.substr(0, keyEnd), id);
    }
    return id;
  }

  // Nothing changes the hive under an open snapshot but this connection's writes, which end it: a key seen
  // there needs no second look.
  bool CheckedInThisSnapshot(const CachedKey& key) const {
    return snapshotOpen_ && key.checkedIn == snapshotGeneration_;
  }

  void Remember(std::string cacheKey, std::int64_t id) {
    // Keys deleted by others leave stale entries behind; a bound keeps them from piling up.
    constexpr std::size_t kCacheLimit = 200000;
    if (pathCache_.size() >= kCacheLimit) pathCache_.clear();
    pathCache_[std::move(cacheKey)] = CachedKey{id, snapshotGeneration_};
  }

  // Inside ReadSnapshot, opens the shared read transaction unless it is open; an atomic run's own
  // transaction already gives its reads one state.
  void JoinReadSnapshot() {
    if (snapshotDepth_ > 0 && atomicDepth_ == 0 && !snapshotOpen_ && db_.InAutocommit()) {
      db_.Execute("BEGIN");
      snapshotOpen_ = true;
      ++snapshotGeneration_;
    }
  }

  void LeaveSnapshot() noexcept {
    if (--snapshotDepth_ == 0) EndReadSnapshot();
  }

  // Ends the shared read transaction, which holds no changes: a write needs a transaction of its own.
  void EndReadSnapshot() noexcept {
    if (!snapshotOpen_) return;
    snapshotOpen_ = false;
    db_.RollbackQuietly();
  }

  void BeginWrite() {
    EndReadSnapshot();
    CheckAtomicRunIntact();
  }

  // Inside an atomic run a write must join the run's transaction. When SQLite rolled that back on a
  // failure, a write made now would be committed on its own: the run has failed, and no later write of
  // it may land.
  void CheckAtomicRunIntact() const {
    if (atomicDepth_ > 0 && db_.InAutocommit()) {
      db_.Fail("a write of this run of changes failed, so none of them were made");
    }
  }

  // Ids handed out inside a rolled-back transaction will be handed out again.
  void ForgetRolledBackKeys() noexcept { pathCache_.clear(); }

  // A NUL is refused in value names as in key names (see SplitPath).
  static bool IsValidName(const std::string& name) { return name.find('\0') == std::string::npos; }

  std::vector<std::string> Names(SqliteStatement& statement, std::int64_t key) {
    JoinReadSnapshot();
    SqliteQuery query(db_, statement);
    query.Bind(1, key);
    std::vector<std::string> names;
    while (query.Next()) names.push_back(query.Text(0));
    return names;
  }

  SqliteDatabase db_;
  SqliteStatement keyExists_, findChild_, insertChild_, deleteKey_, subkeyNames_;
  SqliteStatement selectValue_, upsertValue_, deleteValue_, valueNames_, valueNamesBelowSubkeys_;
  std::unordered_map<std::string, CachedKey> pathCache_;
  int snapshotDepth_ = 0;
  int atomicDepth_ = 0;
  bool snapshotOpen_ = false;
  std::uint64_t snapshotGeneration_ = 0;
};

namespace {

class SqliteHiveKey final : public HiveKey {
 public:
  SqliteHiveKey(std::shared_ptr<SqliteHiveStore> store, std::int64_t id)
      : store_(std::move(store)), id_(id) {}

  std::optional<HiveValue> QueryValue(const std::string& name) override {
    return store_->QueryValue(id_, name);
  }
  bool SetString(const std::string& name, const std::string& data) override {
    return store_->SetString(id_, name, data);
  }
  bool SetDWord(const std::string& name, std::uint32_t data) override {
    return store_->SetDWord(id_, name, data);
  }
  std::vector<std::string> SubkeyNames() override { return store_->SubkeyNames(id_); }
  std::vector<std::string> ValueNames() override { return store_->ValueNames(id_); }
  bool DeleteValue(const std::string& name) override { return store_->DeleteValue(id_, name); }
  // Every write was committed and synced when it returned.
  void Flush() override {}

 private:
  std::shared_ptr<SqliteHiveStore> store_;
  std::int64_t id_;
};

}  // namespace

SqliteRegistryHive::SqliteRegistryHive(const std::filesystem::path& file, HiveOpening opening)
    : store_(std::make_shared<SqliteHiveStore>(file, opening)) {}

SqliteRegistryHive::~SqliteRegistryHive() = default;

std::unique_ptr<HiveKey> SqliteRegistryHive::OpenKey(RootKey root, const std::string& path, bool create) {
  if (path.empty()) return std::make_unique<SqliteHiveKey>(store_, RootId(root));
  auto id = store_->FindKey(root, path);
  if (!id && create && SplitPath(path)) id = store_->CreateKey(root, path);
  if (!id) return nullptr;
  return std::make_unique<SqliteHiveKey>(store_, *id);
}

bool SqliteRegistryHive::DeleteKeyTree(RootKey root, const std::string& path) {
  if (path.empty()) return false;
  const auto id = store_->FindKey(root, path);
  return id && store_->DeleteKey(*id);
}

std::vector<SubkeyValueNames> SqliteRegistryHive::ValueNamesBelowSubkeys(RootKey root,
                                                                         const std::string& path,
                                                                         const std::string& child) {
  const auto id = path.empty() ? std::optional(RootId(root)) : store_->FindKey(root, path);
  if (!id) return {};
  return store_->ValueNamesBelowSubkeys(*id, child);
}

void SqliteRegistryHive::ReadSnapshot(const std::function<void()>& reads) {
  store_->ReadSnapshot(reads);
}

void SqliteRegistryHive::Atomically(const std::function<void()>& apply) {
  store_->Atomically(apply);
}

}  // namespace tessaly
