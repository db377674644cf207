// Faults planted on purpose, with fixed seeds so that a failure can be rerun: writers killed at random
// points, writers in parallel, damaged hive files, and mutated .reg files. Each keeps the hive's promises:
// a confirmed write stays, an import lands whole or not at all, and a file that is refused stays unchanged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FaultyHive.h"
#include "TempDir.h"
#include "platform/SqliteRegistryHive.h"
#include "tools/RegExport.h"
#include "tools/RegImport.h"

namespace tessaly {
namespace {

constexpr int kValuesPerImport = 5;

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::shared_ptr<RegistryHive> Unowned(RegistryHive& hive) {
  return {&hive, [](RegistryHive*) {}};
}

void Import(RegistryHive& hive, const std::string& text) {
  TRegistry reg(Unowned(hive));
  ApplyRegChanges(hive, reg, ParseRegFile(text));
}

// Every root key as one .reg text.
std::string ExportAll(RegistryHive& hive) {
  TRegistry reg(Unowned(hive));
  std::ostringstream out;
  std::ostringstream warnings;
  for (const auto root : {RootKey::ClassesRoot, RootKey::CurrentUser, RootKey::LocalMachine}) {
    ExportRegKey(reg, RegKeyName{root, ""}, out, warnings);
  }
  return out.str();
}

std::string ExportAll(const std::filesystem::path& file) {
  SqliteRegistryHive hive(file, HiveOpening::ExistingOnly);
  return ExportAll(hive);
}

// One import: key number n of the writer, with all its values.
std::string NumberedImport(const std::string& writer, int n) {
  std::string text = "REGEDIT4\n[HKCU\\" + writer + "\\" + std::to_string(n) + "]\n";
  for (int v = 0; v < kValuesPerImport; ++v)
    text += "\"v" + std::to_string(v) + "\"=dword:" + std::to_string(n) + "\n";
  return text;
}

// Imports numbered keys until killed, telling through the pipe each one that returned.
[[noreturn]] void ImportUntilKilled(const std::filesystem::path& file, const std::string& writer,
                                    int confirmed) {
  try {
    SqliteRegistryHive hive(file);
    for (int n = 0;; ++n) {
      Import(hive, NumberedImport(writer, n));
      if (write(confirmed, &n, sizeof n) != sizeof n) break;
    }
  } catch (...) {
  }
  _exit(1);
}

// The numbered keys of a writer: every one is whole, and none past the first missing one.
int CountWholeImports(const std::filesystem::path& file, const std::string& writer) {
  SqliteRegistryHive hive(file);
  TRegistry reg(Unowned(hive));
  int whole = 0;
  while (reg.OpenKey("\\" + writer + "\\" + std::to_string(whole), false)) {
    EXPECT_EQ(reg.GetValueNames().size(), static_cast<std::size_t>(kValuesPerImport)) << "key " << whole;
    ++whole;
  }
  EXPECT_FALSE(reg.KeyExists("\\" + writer + "\\" + std::to_string(whole + 1)));
  return whole;
}

TEST(HiveFaults, AWriterKilledAtRandomPointsKeepsEveryConfirmedImportWhole) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  std::mt19937 random(20261208);
  int confirmedSoFar = 0;
  for (int round = 0; round < 60; ++round) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(pipeEnds[0]);
      ImportUntilKilled(file, "Killed", pipeEnds[1]);
    }
    close(pipeEnds[1]);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution(2000, 60000)(random)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    int n = -1;
    int last = -1;
    while (read(pipeEnds[0], &n, sizeof n) == sizeof n) last = n;
    close(pipeEnds[0]);
    // Each round starts again at key 0: every key up to the last confirmed one was written in some round.
    confirmedSoFar = std::max(confirmedSoFar, last + 1);
    EXPECT_GE(CountWholeImports(file, "Killed"), confirmedSoFar) << "round " << round;
  }
  EXPECT_GT(confirmedSoFar, 0) << "no import was confirmed before a kill";
}

TEST(HiveFaults, WritersInParallelLoseNothing) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  constexpr int kWriters = 4;
  constexpr int kImports = 30;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      bool ok = true;
      try {
        SqliteRegistryHive hive(file);
        for (int n = 0; n < kImports; ++n) Import(hive, NumberedImport("Writer " + std::to_string(w), n));
      } catch (const std::exception& error) {
        std::fprintf(stderr, "writer %d: %s\n", w, error.what());
        ok = false;
      }
      _exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  for (const pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < kWriters; ++w)
    EXPECT_EQ(CountWholeImports(file, "Writer " + std::to_string(w)), kImports);
}

// A hive with enough keys to span many pages, and its export.
std::string MakeHive(const std::filesystem::path& file) {
  SqliteRegistryHive hive(file);
  std::string text = "REGEDIT4\n";
  for (int i = 0; i < 60; ++i) {
    text += "[HKLM\\SOFTWARE\\Orvane\\Card Types\\Type " + std::to_string(i) + "\\ATRs]\n\"3B8F8001804F0CA0" +
            std::to_string(i) + "\"=\"\"\n\"Count\"=dword:" + std::to_string(i) + "\n";
  }
  Import(hive, text);
  return ExportAll(hive);
}

struct Damage {
  std::string Name;
  std::string Bytes;
  // Refused without fail; otherwise it may also open, as a flipped byte in free space harms nothing.
  bool MustBeRefused;
};

std::vector<Damage> DamagedCopies(const std::string& hive, std::mt19937& random) {
  std::vector<Damage> damaged;
  for (int cut = 0; cut < 12; ++cut) {
    const auto size = cut < 6 ? hive.size() - 1 - cut
                              : std::uniform_int_distribution<std::size_t>(1, hive.size() - 1)(random);
    damaged.push_back({"cut to " + std::to_string(size), hive.substr(0, size), true});
  }
  for (int flip = 0; flip < 40; ++flip) {
    std::string bytes = hive;
    const auto at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
    bytes[at] = static_cast<char>(bytes[at] ^ (1 << std::uniform_int_distribution(0, 7)(random)));
    damaged.push_back({"bit flipped at " + std::to_string(at), bytes, false});
  }
  return damaged;
}

std::string ForeignDatabase(const std::filesystem::path& file, const char* sql) {
  std::filesystem::remove(file);
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return ReadBytes(file);
}

TEST(HiveFaults, DamagedAndForeignFilesAreRefusedAndLeftUnchanged) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  MakeHive(folder / "intact.db");
  std::mt19937 random(7816);
  auto corpus = DamagedCopies(ReadBytes(folder / "intact.db"), random);
  corpus.push_back({"foreign tables", ForeignDatabase(file, "CREATE TABLE notes(text)"), true});
  corpus.push_back({"foreign, no tables", ForeignDatabase(file, "PRAGMA user_version = 3"), true});
  corpus.push_back({"foreign id", ForeignDatabase(file, "PRAGMA application_id = 42"), true});
  int refused = 0;
  for (const auto& damage : corpus) {
    WriteBytes(file, damage.Bytes);
    bool opened = false;
    try {
      ExportAll(file);
      opened = true;
    } catch (const ERegistryException& error) {
      ++refused;
      EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
    }
    EXPECT_FALSE(opened && damage.MustBeRefused) << damage.Name;
    EXPECT_EQ(ReadBytes(file), damage.Bytes) << damage.Name;
  }
  EXPECT_GE(refused, 15);
}

// Changes every value of the hive in one transaction large enough that SQLite writes some of it to disk
// before the commit, in the journal mode given, and is killed before the commit.
[[noreturn]] void ChangeEverythingUntilKilled(const std::filesystem::path& file, const char* journalMode) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  const std::string sql = std::string("PRAGMA journal_mode = ") + journalMode +
                          "; PRAGMA cache_size = 2; BEGIN; UPDATE entries SET data = 'changed';"
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                          "INSERT INTO keys(parent_id, name) SELECT 3, 'Uncommitted ' || i FROM n;";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  kill(getpid(), SIGKILL);
  _exit(1);
}

// A writer killed in the middle of a transaction leaves a journal beside the hive: in the rollback modes
// the hive file already holds some of the transaction's pages, and may end in a page cut short (as after a
// power cut). The next open rolls it back to the last committed values.
TEST(HiveFaults, AHiveLeftWithAJournalByAKilledWriterOpensRolledBack) {
  for (const char* journalMode : {"DELETE", "WAL"}) {
    test::TempDir folder;
    const auto file = folder / "registry.db";
    const std::string committed = MakeHive(file);
    const std::string committedBytes = ReadBytes(file);
    const pid_t writer = fork();
    if (writer == 0) ChangeEverythingUntilKilled(file, journalMode);
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << journalMode;
    const bool rollbackJournal = std::string(journalMode) != "WAL";
    const auto journal = file.string() + (rollbackJournal ? "-journal" : "-wal");
    ASSERT_TRUE(std::filesystem::exists(journal)) << journalMode << ": the kill left no journal";
    if (rollbackJournal) {
      ASSERT_NE(ReadBytes(file), committedBytes) << "the kill left nothing in the hive file to roll back";
      std::ofstream(file, std::ios::binary | std::ios::app) << std::string(100, '\x5A');
    }
    EXPECT_EQ(ExportAll(file), committed) << journalMode << ", opened only to be read";
    SqliteRegistryHive hive(file);
    EXPECT_EQ(ExportAll(hive), committed) << journalMode;
  }
}

// One random change of a .reg text: a byte dropped, a byte put in (often one the syntax gives meaning
// to), a line doubled, or the text cut.
std::string Mutated(std::string text, std::mt19937& random) {
  if (text.empty()) return text;
  static constexpr char kTellingBytes[] = "[]\"\\=@-:;\n\r\0x";
  static const std::string kTelling(kTellingBytes, sizeof kTellingBytes - 1);
  const auto at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(random);
  switch (std::uniform_int_distribution(0, 3)(random)) {
    case 0:
      text.erase(at, 1);
      break;
    case 1:
      text.insert(at, 1,
                  kTelling[std::uniform_int_distribution<std::size_t>(0, kTelling.size() - 1)(random)]);
      break;
    case 2: {
      const auto start = text.rfind('\n', at);
      const auto from = start == std::string::npos ? 0 : start + 1;
      const auto end = std::min(text.find('\n', at), text.size());
      text.insert(from, text.substr(from, end - from) + "\n");
      break;
    }
    default:
      text.resize(at);
  }
  return text;
}

const std::string kBaseRegFile =
    "REGEDIT4\n"
    "[HKLM\\SOFTWARE\\Orvane\\Card Types\\My Card]\n"
    "\"Base Type\"=dword:2a\n"
    "\"Templates COS\"=\"$(WorkDir)\\\\Templates\\\\My.cct\"\n"
    "[HKLM\\SOFTWARE\\Orvane\\Card Types\\My Card\\ATRs]\n"
    "\"3B021450\"=\"\"\n"
    "[-HKLM\\SOFTWARE\\Orvane\\Card Types\\Type 3]\n"
    "[HKLM\\SOFTWARE\\Orvane\\Card Types\\Type 4\\ATRs]\n"
    "\"Count\"=-\n"
    "@=\"default\"\n"
    "\"Later\"=\"last line\"\n";

TEST(HiveFaults, AMutatedImportThatFailsLeavesTheHiveUnchanged) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  const auto before = MakeHive(file);
  const auto beforeBytes = ReadBytes(file);
  std::mt19937 random(1414745177);
  int failed = 0;
  int applied = 0;
  for (int round = 0; round < 1000; ++round) {
    std::string text = kBaseRegFile;
    for (int changes = std::uniform_int_distribution(1, 3)(random); changes > 0; --changes)
      text = Mutated(text, random);
    bool imported = false;
    {
      test::FaultyHive hive(std::make_shared<SqliteRegistryHive>(file));
      // Now and then the hive refuses the last line's write, after the others were made.
      if (round % 4 == 0) hive.RefuseWrite("Later");
      try {
        Import(hive, text);
        imported = true;
      } catch (const ERegFileError&) {
        EXPECT_TRUE(ExportAll(hive) == before) << "round " << round << " changed the hive:\n" << text;
      }
    }
    imported ? ++applied : ++failed;
    // The hive is closed, so its file alone holds it.
    if (imported) WriteBytes(file, beforeBytes);
  }
  EXPECT_GT(failed, 100);
  EXPECT_GT(applied, 50);
}

}  // namespace
}  // namespace tessaly
