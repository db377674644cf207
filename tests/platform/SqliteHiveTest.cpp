// What only the hive file can show: its choice, its failures, and its use by several processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "TempHive.h"
#include "platform/Registry.h"
#include "platform/SqliteRegistryHive.h"

namespace tessaly {
namespace {

using Names = std::vector<std::string>;

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes, std::streamoff at = 0) {
  std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(at);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string OpenFailure(const std::filesystem::path& file) {
  try {
    SqliteRegistryHive hive(file);
  } catch (const ERegistryException& error) {
    return error.what();
  }
  return "(opened)";
}

// A hive with enough keys and values to span many pages.
void FillHive(const std::filesystem::path& file) {
  TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types\\Type " + std::to_string(i) + "\\ATRs", true));
    reg.WriteString("3B8F8001804F0CA000000306030001000000006A" + std::to_string(i), "");
  }
}

// Runs body in a child process and returns its exit code (body's result, or 2 when it raised).
int InChild(const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int code = 2;
    try {
      code = body() ? 0 : 1;
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using test::ScopedEnvironment;

TEST(HiveFileChoice, OptionThenEnvironmentThenXdgConfigThenHome) {
  SetHiveFile({});
  ScopedEnvironment registry("TESSALY_REGISTRY", nullptr);
  ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
  ScopedEnvironment home("HOME", "/home/someone");
  EXPECT_EQ(HiveFile(), "/home/someone/.config/orvane/registry.db");
  {
    ScopedEnvironment relative("XDG_CONFIG_HOME", "relative/is/ignored");
    EXPECT_EQ(HiveFile(), "/home/someone/.config/orvane/registry.db");
  }
  ScopedEnvironment absolute("XDG_CONFIG_HOME", "/xdg");
  EXPECT_EQ(HiveFile(), "/xdg/orvane/registry.db");
  ScopedEnvironment chosen("TESSALY_REGISTRY", "/env/hive.db");
  EXPECT_EQ(HiveFile(), "/env/hive.db");
  {
    test::TempHive hive;
    EXPECT_EQ(HiveFile(), hive.File());
    {
      test::TempHive inner;
      EXPECT_EQ(HiveFile(), inner.File());
    }
    EXPECT_EQ(HiveFile(), hive.File());
  }
  EXPECT_EQ(HiveFile(), "/env/hive.db");
}

TEST(HiveFileChoice, OpeningTheProcessHiveCreatesMissingFolders) {
  test::TempDir folder;
  const auto file = folder / "a" / "b" / "registry.db";
  SetHiveFile(file);
  {
    TRegistry reg;
    reg.WriteString("Created", "yes");
  }
  EXPECT_TRUE(std::filesystem::exists(file));

  std::ofstream(folder / "plain file") << "x";
  SetHiveFile(folder / "plain file" / "registry.db");
  try {
    OpenProcessHive();
    ADD_FAILURE() << "opened a hive below a plain file";
  } catch (const ERegistryException& error) {
    EXPECT_NE(std::string(error.what()).find("cannot create the folder"), std::string::npos) << error.what();
  }
  SetHiveFile({});
}

TEST(HiveFileChoice, AccessorsOfOneProcessShareTheOpenHive) {
  test::TempHive hive;
  TRegistry first;
  first.WriteString("Seen", "by both");
  TRegistry second;
  EXPECT_EQ(second.ReadString("Seen"), "by both");
}

struct BadFile {
  const char* name;
  std::function<void(const std::filesystem::path&)> spoil;
  const char* cause;
};

void PrintTo(const BadFile& file, std::ostream* out) {
  *out << file.name;
}

class BadHiveFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadHiveFile, RaisesNamingFileAndCauseAndLeavesTheFileUntouched) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  FillHive(file);
  GetParam().spoil(file);
  const auto before = ReadBytes(file);

  const auto message = OpenFailure(file);
  EXPECT_NE(message.find("'" + file.string() + "'"), std::string::npos) << message;
  EXPECT_NE(message.find(GetParam().cause), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(file), before);
}

INSTANTIATE_TEST_SUITE_P(
    Spoiled, BadHiveFile,
    ::testing::Values(
        BadFile{"TextFile", [](const auto& file) { std::ofstream(file) << std::string(5000, 'x'); },
                "file is not a database"},
        BadFile{"PageOverwritten",
                [](const auto& file) { WriteBytes(file, std::string(4096, '\x5A'), 8192); }, "damaged"},
        BadFile{"Truncated", [](const auto& file) { std::filesystem::resize_file(file, 3 * 4096); },
                "damaged"},
        BadFile{"CutShortByOneByte",
                [](const auto& file) {
                  std::filesystem::resize_file(file, std::filesystem::file_size(file) - 1);
                },
                "damaged"},
        BadFile{"CutShortBySixBytes",
                [](const auto& file) {
                  std::filesystem::resize_file(file, std::filesystem::file_size(file) - 6);
                },
                "damaged"},
        BadFile{"OneByte", [](const auto& file) { std::ofstream(file) << 'x'; }, "file is not a database"},
        BadFile{"OtherDatabaseWithoutTables",
                [](const auto& file) {
                  std::filesystem::remove(file);
                  sqlite3* db = nullptr;
                  sqlite3_open(file.c_str(), &db);
                  sqlite3_exec(db, "PRAGMA user_version = 7", nullptr, nullptr, nullptr);
                  sqlite3_close(db);
                },
                "not a registry hive"},
        BadFile{"OtherDatabase",
                [](const auto& file) {
                  std::filesystem::remove(file);
                  sqlite3* db = nullptr;
                  sqlite3_open(file.c_str(), &db);
                  sqlite3_exec(db, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr);
                  sqlite3_close(db);
                },
                "not a registry hive"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadHiveFile, AFolderInPlaceOfTheFileCannotBeOpened) {
  test::TempDir folder;
  const auto message = OpenFailure(folder.Path());
  EXPECT_NE(message.find("'" + folder.Path().string() + "'"), std::string::npos) << message;
  EXPECT_NE(message.find("unable to open"), std::string::npos) << message;
}

TEST(BadHiveFile, ReadOnlyFileRaisesAndStaysUntouched) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  FillHive(file);
  chmod(file.c_str(), 0444);
  chmod(folder.Path().c_str(), 0755);
  const auto before = ReadBytes(file);
  // Root may write to any file, so the attempt is made as an ordinary user.
  const int code = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
    const auto message = OpenFailure(file);
    return message.find("'" + file.string() + "'") != std::string::npos &&
           message.find("read-only") != std::string::npos;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(file), before);
}

// SQLite keeps its journal files beside the hive: a folder that takes no new files is named as the cause.
TEST(BadHiveFile, AFolderThatCannotBeWrittenToIsNamedAsTheCause) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  FillHive(file);
  chmod(file.c_str(), 0666);
  chmod(folder.Path().c_str(), 0555);
  const auto before = ReadBytes(file);
  const auto cause = "the folder '" + folder.Path().string() + "' cannot be written to";
  // Root may write into any folder, so the attempt is made as an ordinary user.
  const int code = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
    return OpenFailure(file).find(cause) != std::string::npos &&
           OpenFailure(folder / "missing.db").find(cause) != std::string::npos;
  });
  chmod(folder.Path().c_str(), 0755);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_FALSE(std::filesystem::exists(folder / "missing.db"));
}

// Root may write to any file: the permission bits decide all the same.
TEST(BadHiveFile, AFileWithoutWritePermissionStaysUntouchedWhoeverRunsThis) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  FillHive(file);
  chmod(file.c_str(), 0444);
  const auto before = ReadBytes(file);
  const auto message = OpenFailure(file);
  EXPECT_NE(message.find("the file is read-only"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(file), before);
}

TEST(BadHiveFile, ADeviceIsRefusedAndNothingIsMadeBesideIt) {
  const bool hadJournal = std::filesystem::exists("/dev/null-journal");
  const auto message = OpenFailure("/dev/null");
  EXPECT_NE(message.find("'/dev/null': unable to open it: it is not a regular file"), std::string::npos)
      << message;
  EXPECT_EQ(std::filesystem::exists("/dev/null-journal"), hadJournal);
}

TEST(HiveOpening, ExistingOnlyRefusesAMissingOrEmptyFileAndCreatesNothing) {
  test::TempDir folder;
  const auto missing = folder / "missing.db";
  EXPECT_THROW(SqliteRegistryHive(missing, HiveOpening::ExistingOnly), ERegistryException);
  EXPECT_FALSE(std::filesystem::exists(missing));

  const auto empty = folder / "empty.db";
  std::ofstream{empty};
  EXPECT_THROW(SqliteRegistryHive(empty, HiveOpening::ExistingOnly), ERegistryException);
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  // An empty file may become a hive for one who writes.
  TRegistry(std::make_shared<SqliteRegistryHive>(empty)).WriteString("Made", "here");
  TRegistry reg(std::make_shared<SqliteRegistryHive>(empty, HiveOpening::ExistingOnly));
  EXPECT_EQ(reg.ReadString("Made"), "here");
}

// A hive larger than the size up to which opening reads the whole file to check it.
void FillLargeHive(const std::filesystem::path& file) {
  TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Large", true));
  for (int i = 0; i < 6; ++i)
    reg.WriteString("Value " + std::to_string(i), std::string(1024 * 1024, 'a' + i));
}

TEST(HiveOpening, ALargeHiveOpensAndOneCutShortIsRefusedUnchanged) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  FillLargeHive(file);
  ASSERT_GT(std::filesystem::file_size(file), 4u * 1024 * 1024);
  {
    TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Large", false));
    EXPECT_EQ(reg.ReadString("Value 5"), std::string(1024 * 1024, 'f'));
  }
  const auto whole = std::filesystem::file_size(file);
  for (const auto size : {whole - 4096, whole - 6, whole / 2}) {
    std::filesystem::resize_file(file, size);
    const auto before = ReadBytes(file);
    const auto message = OpenFailure(file);
    EXPECT_NE(message.find("damaged"), std::string::npos) << size << ": " << message;
    EXPECT_THROW(SqliteRegistryHive(file, HiveOpening::ExistingOnly), ERegistryException) << size;
    EXPECT_EQ(ReadBytes(file), before) << size;
  }
}

TEST(HiveDurability, AWriteSurvivesTheWriterBeingKilledRightAfterIt) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    try {
      // The key stays open: nothing is closed or flushed before the kill.
      TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
      if (reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types\\Killed\\ATRs", true)) {
        reg.WriteString("3B00", "");
        reg.WriteInteger("Count", -1);
        if (write(ready[1], "w", 1) == 1) pause();
      }
    } catch (...) {
    }
    _exit(1);
  }
  close(ready[1]);
  char signal = 0;
  const bool written = read(ready[0], &signal, 1) == 1;
  close(ready[0]);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(written);

  TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types\\Killed\\ATRs", false));
  EXPECT_EQ(reg.GetValueNames(), (Names{"3B00", "Count"}));
  EXPECT_EQ(reg.ReadInteger("Count"), -1);
}

TEST(HiveConcurrency, TwoProcessesWritingAtOnceLoseNothing) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  constexpr int kWrites = 60;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (const std::string writer : {"A", "B"}) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char start = 0;
      bool ok = read(go[0], &start, 1) == 0;
      try {
        TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
        for (int i = 0; ok && i < kWrites; ++i) {
          // Both create the same keys and write values of their own into them.
          ok = reg.OpenKey("\\Shared\\Key " + std::to_string(i % 10), true);
          reg.WriteInteger(writer + std::to_string(i), i);
        }
      } catch (const std::exception& error) {
        std::fprintf(stderr, "writer %s: %s\n", writer.c_str(), error.what());
        ok = false;
      }
      _exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  close(go[0]);
  close(go[1]);  // both writers start when the pipe closes
  for (const pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  TRegistry reg(std::make_shared<SqliteRegistryHive>(file));
  ASSERT_TRUE(reg.OpenKey("\\Shared", false));
  EXPECT_EQ(reg.GetKeyNames().size(), 10u);
  int found = 0;
  for (const auto& key : reg.GetKeyNames()) {
    ASSERT_TRUE(reg.OpenKey("\\Shared\\" + key, false));
    found += static_cast<int>(reg.GetValueNames().size());
  }
  EXPECT_EQ(found, 2 * kWrites);
}

TEST(HiveNames, ValuesListInCreationOrderAndKeepTheirPlaceWhenRewritten) {
  test::TempHive hive;
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Ordered", true));
  reg.WriteString("zulu", "");
  reg.WriteInteger("Alpha", 1);
  reg.WriteBool("mike", true);
  reg.WriteString("ZULU", "rewritten in place");
  EXPECT_EQ(reg.GetValueNames(), (Names{"zulu", "Alpha", "mike"}));
  EXPECT_TRUE(reg.DeleteValue("Alpha"));
  reg.WriteInteger("Alpha", 2);
  EXPECT_EQ(reg.GetValueNames(), (Names{"zulu", "mike", "Alpha"}));
}

TEST(HiveNames, SubkeysSortAsTheWindowsRegistryDoesByUpperCase) {
  test::TempHive hive;
  TRegistry reg;
  for (const char* name : {"a_b", "AB", "a[", "Aa"})
    ASSERT_TRUE(reg.OpenKey(std::string("\\Sorted\\") + name, true));
  ASSERT_TRUE(reg.OpenKey("\\Sorted", false));
  // '_' and '[' lie between the upper- and the lower-case letters.
  EXPECT_EQ(reg.GetKeyNames(), (Names{"Aa", "AB", "a[", "a_b"}));
}

// SQLite would compare such names only up to the NUL, so that "a\0one" and "a\0two" became one.
TEST(HiveNames, NamesWithANulByteAreRefused) {
  test::TempHive hive;
  TRegistry reg;
  using namespace std::string_literals;
  EXPECT_FALSE(reg.OpenKey("\\a\0one"s, true));
  ASSERT_TRUE(reg.OpenKey("\\Plain", true));
  EXPECT_THROW(reg.WriteString("a\0one"s, "1"), ERegistryException);
  EXPECT_THROW(reg.WriteInteger("a\0two"s, 2), ERegistryException);
  EXPECT_EQ(reg.GetValueNames(), Names{});
  ASSERT_TRUE(reg.OpenKey("\\", false));
  EXPECT_EQ(reg.GetKeyNames(), Names{"Plain"});
}

TEST(HiveNames, PathsWithAnEmptyKeyNameAreRefused) {
  test::TempHive hive;
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\A\\\\B", true));
  EXPECT_FALSE(reg.OpenKey("\\\\A", true));
  EXPECT_TRUE(reg.OpenKey("\\A\\B\\", true));
  EXPECT_EQ(reg.GetKeyNames(), Names{});
  ASSERT_TRUE(reg.OpenKey("\\A", false));
  EXPECT_EQ(reg.GetKeyNames(), Names{"B"});
}

// Two connections to one file behave as two processes do.
class TwoConnections : public ::testing::Test {
 protected:
  test::TempDir folder_;
  std::shared_ptr<SqliteRegistryHive> mine_ = std::make_shared<SqliteRegistryHive>(folder_ / "registry.db");
  std::shared_ptr<SqliteRegistryHive> theirs_ = std::make_shared<SqliteRegistryHive>(folder_ / "registry.db");
  TRegistry reg_{mine_};
  TRegistry other_{theirs_};
};

TEST_F(TwoConnections, OpensFollowKeysDeletedAndRecreatedByTheOther) {
  ASSERT_TRUE(reg_.OpenKey("\\Card Types\\X\\ATRs", true));
  reg_.WriteString("3B00", "");
  reg_.CloseKey();

  ASSERT_TRUE(other_.DeleteKey("\\Card Types\\X"));
  EXPECT_FALSE(reg_.OpenKey("\\Card Types\\X\\ATRs", false));
  EXPECT_FALSE(reg_.KeyExists("\\Card Types\\X"));

  ASSERT_TRUE(other_.OpenKey("\\Card Types\\X\\ATRs", true));
  other_.WriteString("3B11", "");
  ASSERT_TRUE(reg_.OpenKey("\\Card Types\\X\\ATRs", true));
  EXPECT_EQ(reg_.GetValueNames(), Names{"3B11"});
}

TEST_F(TwoConnections, ASnapshotSeesOneStateUntilItWritesOrEnds) {
  ASSERT_TRUE(other_.OpenKey("\\Shared", true));
  other_.WriteInteger("Count", 1);
  ASSERT_TRUE(reg_.OpenKey("\\Shared", false));
  reg_.ReadSnapshot([&] {
    EXPECT_EQ(reg_.ReadInteger("Count"), 1);
    other_.WriteInteger("Count", 2);
    EXPECT_EQ(reg_.ReadInteger("Count"), 1);
    reg_.WriteString("Mine", "x");
    EXPECT_EQ(reg_.ReadInteger("Count"), 2);
    other_.WriteInteger("Count", 3);
  });
  EXPECT_EQ(reg_.ReadInteger("Count"), 3);
  EXPECT_EQ(other_.ReadString("Mine"), "x");
}

TEST_F(TwoConnections, KeysDeletedInsideASnapshotAreGoneForIt) {
  ASSERT_TRUE(reg_.OpenKey("\\A\\B", true));
  reg_.ReadSnapshot([&] {
    EXPECT_TRUE(reg_.KeyExists("\\A\\B"));
    EXPECT_TRUE(reg_.DeleteKey("\\A"));
    EXPECT_FALSE(reg_.KeyExists("\\A\\B"));
    EXPECT_FALSE(reg_.OpenKey("\\A\\B", false));
  });
  EXPECT_FALSE(other_.KeyExists("\\A"));
}

TEST_F(TwoConnections, AFailedAtomicRunLeavesNothingBehind) {
  EXPECT_THROW(mine_->Atomically([&] {
    ASSERT_TRUE(reg_.OpenKey("\\Imported\\Deep", true));
    reg_.WriteString("Half", "done");
    throw ERegistryException("stop");
  }),
               ERegistryException);
  EXPECT_FALSE(other_.KeyExists("\\Imported"));
  // The ids the rolled-back keys had are handed out again; the old paths must not find them.
  ASSERT_TRUE(reg_.OpenKey("\\Other\\Keys", true));
  EXPECT_FALSE(reg_.KeyExists("\\Imported\\Deep"));
  EXPECT_FALSE(reg_.OpenKey("\\Imported", false));

  mine_->Atomically([&] {
    ASSERT_TRUE(reg_.OpenKey("\\Imported", true));
    reg_.WriteString("Whole", "done");
  });
  ASSERT_TRUE(other_.OpenKey("\\Imported", false));
  EXPECT_EQ(other_.ReadString("Whole"), "done");
}

}  // namespace
}  // namespace tessaly
