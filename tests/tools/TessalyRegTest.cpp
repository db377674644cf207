// tessaly-reg through its real executable, each case on hive files of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <unistd.h>

#include "TempDir.h"
#include "TestText.h"
#include "platform/ComponentRegistration.h"
#include "platform/ProductInfo.h"
#include "platform/Registry.h"
#include "platform/SqliteRegistryHive.h"

namespace tessaly {
namespace {

using test::FileText;
using test::ShellQuoted;

struct Outcome {
  int Code = -1;
  std::string Out;
  std::string Err;
};

void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

class TessalyReg : public ::testing::Test {
 protected:
  // Runs the tool in the test's folder; env is put before the command as shell assignments.
  Outcome Run(const std::vector<std::string>& arguments, const std::string& env = "") {
    std::string command = "cd " + ShellQuoted(folder_.Path().string()) + " && " + env + " " +
                          ShellQuoted(TESSALY_REG_EXECUTABLE);
    for (const auto& argument : arguments) command += " " + ShellQuoted(argument);
    command += " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileText(folder_ / "out.txt"),
            FileText(folder_ / "err.txt")};
  }

  Outcome OnHive(const std::string& hive, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--registry", hive});
    return Run(arguments);
  }

  Outcome Import(const std::string& hive, const std::string& regText) {
    WriteFile(folder_ / "in.reg", regText);
    return OnHive(hive, {"import", "in.reg"});
  }

  std::string Export(const std::string& hive, const std::string& key = "") {
    auto outcome = key.empty() ? OnHive(hive, {"export"}) : OnHive(hive, {"export", key});
    EXPECT_EQ(outcome.Code, 0) << outcome.Err;
    return outcome.Out;
  }

  test::TempDir folder_;
};

// Both value types, escapes, mixed letter case, a default value, a BOM, CR LF line ends, comments, and
// deletions of a key tree and of a value.
const std::string kHandWritten =
    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; card types\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\Card Types\\my card]\r\n"
    "\"Base Type\"=dword:2A\r\n"
    "\"Templates COS\"=\"$(WorkDir)\\\\Templates\\\\My \\\"best\\\" card.cct\"\r\n"
    "\"Gone\"=\"soon\"\r\n"
    "\"gone\"=-\r\n"
    "\r\n"
    "[hkey_local_machine\\software\\ORVANE\\Card Types\\My Card\\ATRs]\r\n"
    "\"3B021450\"=\"\"\r\n"
    "[HKLM\\SOFTWARE\\Orvane\\Card Types\\Another]\r\n"
    "@=\"default text\"\r\n"
    "\"Minus One\"=dword:ffffffff\r\n"
    "\"Lines\"=\"one\\ntwo\"\r\n"
    "[HKEY_CURRENT_USER\\Scratch\\Deep]\r\n"
    "[-HKEY_CURRENT_USER\\Scratch]\r\n";

const std::string kExported =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT]\n"
    "\n"
    "[HKEY_CURRENT_USER]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\Card Types]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\Card Types\\Another]\n"
    "@=\"default text\"\n"
    "\"Minus One\"=dword:ffffffff\n"
    "\"Lines\"=\"one\\ntwo\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\Card Types\\my card]\n"
    "\"Base Type\"=dword:0000002a\n"
    "\"Templates COS\"=\"$(WorkDir)\\\\Templates\\\\My \\\"best\\\" card.cct\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\Card Types\\my card\\ATRs]\n"
    "\"3B021450\"=\"\"\n"
    "\n";

TEST_F(TessalyReg, HandWrittenFileRoundTripsThroughImportAndExport) {
  const auto imported = Import("first.db", kHandWritten);
  ASSERT_EQ(imported.Code, 0) << imported.Err;
  EXPECT_EQ(Export("first.db"), kExported);

  // What the tool wrote is what the accessor reads.
  TRegistry reg(std::make_shared<SqliteRegistryHive>(folder_ / "first.db"));
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types\\My Card", false));
  EXPECT_EQ(reg.ReadString("templates cos"), "$(WorkDir)\\Templates\\My \"best\" card.cct");
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types\\Another", false));
  EXPECT_EQ(reg.ReadInteger("Minus One"), -1);
  EXPECT_EQ(reg.ReadString("Lines"), "one\ntwo");
  EXPECT_EQ(reg.ReadString(""), "default text");

  const auto again = Import("second.db", kExported);
  ASSERT_EQ(again.Code, 0) << again.Err;
  EXPECT_EQ(Export("second.db"), kExported);
}

TEST_F(TessalyReg, ExportsOneKeyToAFile) {
  ASSERT_EQ(Import("hive.db", kHandWritten).Code, 0);
  const auto outcome =
      OnHive("hive.db", {"export", "HKLM\\software\\orvane\\card types\\another", "-o", "one.reg"});
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_EQ(outcome.Out, "");
  EXPECT_EQ(FileText(folder_ / "one.reg"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\orvane\\card types\\another]\n@=\"default text\"\n"
            "\"Minus One\"=dword:ffffffff\n\"Lines\"=\"one\\ntwo\"\n\n");

  const auto missing = OnHive("hive.db", {"export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing"});
  EXPECT_EQ(missing.Code, 1);
  EXPECT_NE(missing.Err.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing does not exist"), std::string::npos);
}

struct BadLine {
  const char* name;
  std::string lines;  // after the header and one good key with a value
  int line;
  const char* reason;
};

std::string Repeated(const std::string& text, int count) {
  std::string repeated;
  for (int i = 0; i < count; ++i) repeated += text;
  return repeated;
}

void PrintTo(const BadLine& bad, std::ostream* out) {
  *out << bad.name;
}

class TessalyRegBadImport : public TessalyReg, public ::testing::WithParamInterface<BadLine> {};

TEST_P(TessalyRegBadImport, ReportsFileLineAndReasonAndChangesNothing) {
  ASSERT_EQ(Import("hive.db", "REGEDIT4\n[HKCU\\Kept]\n\"Value\"=\"before\"\n").Code, 0);
  const auto before = Export("hive.db");

  const auto outcome =
      Import("hive.db", "REGEDIT4\n[HKCU\\Kept]\n\"Value\"=\"after\"\n[HKCU\\New]\n" + GetParam().lines);
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_NE(outcome.Err.find("in.reg:" + std::to_string(GetParam().line) + ": "), std::string::npos)
      << outcome.Err;
  EXPECT_NE(outcome.Err.find(GetParam().reason), std::string::npos) << outcome.Err;
  EXPECT_EQ(Export("hive.db"), before);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TessalyRegBadImport,
    ::testing::Values(
        BadLine{"UnknownEscape", "\"Path\"=\"C:\\Temp\"\n", 5, "unknown escape \\T"},
        BadLine{"HexValue", "\"Bytes\"=hex:01,02\n", 5, "unsupported value type 'hex'"},
        BadLine{"ExpandString", "\"Env\"=hex(2):25,00\n", 5, "unsupported value type 'hex(2)'"},
        BadLine{"LongDword", "\"N\"=dword:123456789\n", 5, "1 to 8 hexadecimal digits"},
        BadLine{"OpenQuote", "\n\"N\"=\"unterminated\n", 6, "missing closing quote"},
        BadLine{"TextAfterString", "\"N\"=\"a\" b\n", 5, "after the closing quote"},
        BadLine{"NoEquals", "\"N\" \"a\"\n", 5, "expected ="},
        BadLine{"UnknownRoot", "[HKEY_USERS\\x]\n", 5, "unknown root key"},
        BadLine{"EmptyKeyName", "[HKCU\\a\\\\b]\n", 5, "empty key name"},
        BadLine{"DeleteRoot", "[-HKEY_CURRENT_USER]\n", 5, "a root key cannot be deleted"},
        BadLine{"ValueOfDeletedKey", "[-HKCU\\Kept]\n\"V\"=\"x\"\n", 6, "deletes its key"},
        BadLine{"StrayText", "Name=value\n", 5, "malformed line"},
        BadLine{"NulInValueName", std::string("\"a\0one\"=\"1\"\n", 12), 5, "NUL byte in the value name"},
        BadLine{"NulInKeyName", std::string("[HKCU\\a\0b]\n", 11), 5, "NUL byte in the key name"},
        BadLine{"DeeperThanTheRegistryAllows", "[HKCU" + Repeated("\\k", 513) + "]\n", 5,
                "more than 512 levels deep"},
        BadLine{"KeyNameLongerThanTheRegistryAllows", "[HKCU\\" + std::string(256, 'n') + "]\n", 5,
                "longer than 255 characters"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TessalyReg, RejectsFilesThatAreNotRegistryFiles) {
  const auto noHeader = Import("hive.db", "[HKCU\\Key]\n");
  EXPECT_EQ(noHeader.Code, 1);
  EXPECT_NE(noHeader.Err.find("in.reg:1: not a registry file"), std::string::npos) << noHeader.Err;

  const auto utf16 = Import("hive.db", std::string("\xFF\xFEW\0i\0", 6));
  EXPECT_EQ(utf16.Code, 1);
  EXPECT_NE(utf16.Err.find("UTF-16"), std::string::npos) << utf16.Err;

  const auto valueFirst = Import("hive.db", "REGEDIT4\n\"V\"=\"x\"\n");
  EXPECT_EQ(valueFirst.Code, 1);
  EXPECT_NE(valueFirst.Err.find("in.reg:2: a value line before the first [KEY] line"), std::string::npos);
}

TEST_F(TessalyReg, RegistersTheComponentsAbsolutePath) {
  WriteFile(folder_ / "kernel.bin", "x");
  const auto outcome = OnHive("hive.db", {"register-component", "kernel.bin"});
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;

  TRegistry reg(std::make_shared<SqliteRegistryHive>(folder_ / "hive.db"));
  reg.SetRootKey(RootKey::ClassesRoot);
  ASSERT_TRUE(reg.OpenKey(kComponentFileKey, false));
  EXPECT_EQ(reg.ReadString(""), (folder_ / "kernel.bin").string());
}

TEST_F(TessalyReg, RefusesToRegisterAMissingFile) {
  const auto outcome = OnHive("hive.db", {"register-component", "absent.bin"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_NE(outcome.Err.find("absent.bin does not exist"), std::string::npos) << outcome.Err;
  EXPECT_FALSE(std::filesystem::exists(folder_ / "hive.db"));
}

TEST_F(TessalyReg, UsesTheHiveNamedByTheEnvironmentWithoutTheOption) {
  WriteFile(folder_ / "in.reg", "REGEDIT4\n[HKCU\\From Environment]\n");
  const auto outcome =
      Run({"import", "in.reg"}, "TESSALY_REGISTRY=" + ShellQuoted((folder_ / "sub" / "env.db").string()));
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_NE(Export("sub/env.db").find("[HKEY_CURRENT_USER\\From Environment]"), std::string::npos);
}

TEST_F(TessalyReg, ExitCodesTellHelpFromFailureFromBadUsage) {
  for (const auto& command : {"export", "import", "register-component"}) {
    const auto help = Run({command, "--help"});
    EXPECT_EQ(help.Code, 0) << command;
    EXPECT_NE(help.Out.find(std::string("tessaly-reg [--registry FILE] ") + command), std::string::npos);
  }
  EXPECT_EQ(Run({"--help"}).Code, 0);
  const auto version = Run({"--version"});
  EXPECT_EQ(version.Code, 0);
  EXPECT_EQ(version.Out, std::string("tessaly-reg (Tessaly Easy) ") + kProductVersion + "\n");
  EXPECT_EQ(Run({}).Code, 2);
  EXPECT_EQ(Run({"frobnicate"}).Code, 2);
  EXPECT_EQ(Run({"--registry"}).Code, 2);
  EXPECT_EQ(OnHive("hive.db", {"import"}).Code, 2);
  EXPECT_EQ(OnHive("hive.db", {"export", "NOT_A_ROOT\\Key"}).Code, 2);
  EXPECT_EQ(OnHive("hive.db", {"import", "absent.reg"}).Code, 1);

  WriteFile(folder_ / "text.db", std::string(4096, 'x'));
  const auto damaged = OnHive("text.db", {"export"});
  EXPECT_EQ(damaged.Code, 1);
  EXPECT_NE(damaged.Err.find("file is not a database"), std::string::npos) << damaged.Err;
}

TEST_F(TessalyReg, AKeyDeeperThanTheRegistryAllowsCanStillBeImportedUpToTheBound) {
  const auto outcome = Import("hive.db", "REGEDIT4\n[HKCU" + Repeated("\\k", 512) + "]\n\"V\"=\"deep\"\n");
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_NE(Export("hive.db", "HKCU").find("\"V\"=\"deep\""), std::string::npos);
}

TEST_F(TessalyReg, AKeyNameOfTheLongestLengthTheRegistryAllowsIsImported) {
  const std::string longest(255, 'n');
  const auto outcome = Import("hive.db", "REGEDIT4\n[HKCU\\" + longest + "]\n\"V\"=\"long\"\n");
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_NE(Export("hive.db", "HKCU").find("[HKEY_CURRENT_USER\\" + longest + "]\n\"V\"=\"long\""),
            std::string::npos);
  const auto tooLong = Import("hive.db", "REGEDIT4\n\n[HKCU\\" + longest + "n]\n");
  EXPECT_EQ(tooLong.Code, 1);
  EXPECT_NE(tooLong.Err.find("in.reg:3: "), std::string::npos) << tooLong.Err;
  EXPECT_NE(tooLong.Err.find("longer than 255 characters"), std::string::npos) << tooLong.Err;
}

// A full disk is made by a file-size limit, which fails every write past it as a full disk does.
TEST_F(TessalyReg, AnImportOntoAFullDiskIsAllOrNothing) {
  std::string big = "REGEDIT4\n[HKCU\\Big]\n";
  for (int i = 0; i < 20000; ++i) big += "\"v" + std::to_string(i) + "\"=\"" + std::string(100, 'x') + "\"\n";
  ASSERT_EQ(Import("hive.db", big).Code, 0);
  const auto before = Export("hive.db");
  const std::string changes = "REGEDIT4\n[HKCU\\A]\n\"a\"=\"1\"\n[-HKCU\\Big]\n[HKCU\\B]\n\"b\"=\"2\"\n";
  const std::string after =
      "REGEDIT4\n\n[HKEY_CLASSES_ROOT]\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\A]\n"
      "\"a\"=\"1\"\n\n[HKEY_CURRENT_USER\\B]\n\"b\"=\"2\"\n\n[HKEY_LOCAL_MACHINE]\n\n";
  WriteFile(folder_ / "changes.reg", changes);
  int refused = 0;
  for (const int blocks : {64, 512, 2048, 4096, 6144}) {
    const auto outcome = Run({"--registry", "hive.db", "import", "changes.reg"},
                             "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + ";");
    const auto now = Export("hive.db");
    if (outcome.Code == 0) {
      EXPECT_EQ(now, after) << blocks << " blocks";
      ASSERT_EQ(Import("hive.db", big).Code, 0);
      ASSERT_EQ(Import("hive.db", "REGEDIT4\n[-HKCU\\A]\n[-HKCU\\B]\n").Code, 0);
    } else {
      ++refused;
      EXPECT_EQ(outcome.Code, 1);
      EXPECT_NE(outcome.Err.find("nothing was imported"), std::string::npos) << outcome.Err;
      EXPECT_EQ(now, before) << blocks << " blocks: " << outcome.Err;
    }
  }
  EXPECT_GT(refused, 0) << "no limit was small enough to fail the import";
}

TEST_F(TessalyReg, AnEmptyRegistryNameIsBadUsageAsInTheControlCenter) {
  EXPECT_EQ(Run({"--registry", "", "export"}).Code, 2);
  EXPECT_EQ(Run({"--registry=", "export"}).Code, 2);
}

TEST_F(TessalyReg, ExportRefusesTheHiveItselfAsItsOutputUnderAnyName) {
  ASSERT_EQ(Import("hive.db", kHandWritten).Code, 0);
  const auto before = FileText(folder_ / "hive.db");
  ASSERT_EQ(link((folder_ / "hive.db").c_str(), (folder_ / "linked.db").c_str()), 0);
  for (const std::string output : {"hive.db", "./hive.db", "linked.db"}) {
    const auto outcome = OnHive("hive.db", {"export", "-o", output});
    EXPECT_EQ(outcome.Code, 1) << output;
    EXPECT_NE(outcome.Err.find("is the hive file"), std::string::npos) << outcome.Err;
  }
  EXPECT_EQ(FileText(folder_ / "hive.db"), before);
  EXPECT_EQ(Export("hive.db"), kExported);
}

TEST_F(TessalyReg, ExportNeverMakesAHive) {
  const auto missing = OnHive("sub/none.db", {"export"});
  EXPECT_EQ(missing.Code, 1);
  EXPECT_NE(missing.Err.find("does not exist"), std::string::npos) << missing.Err;
  EXPECT_FALSE(std::filesystem::exists(folder_ / "sub"));

  WriteFile(folder_ / "empty.db", "");
  const auto empty = OnHive("empty.db", {"export"});
  EXPECT_EQ(empty.Code, 1);
  EXPECT_NE(empty.Err.find("the file is empty"), std::string::npos) << empty.Err;
  EXPECT_EQ(std::filesystem::file_size(folder_ / "empty.db"), 0u);

  // A command that writes may take an empty file as a new hive.
  ASSERT_EQ(Import("empty.db", "REGEDIT4\n[HKCU\\New]\n").Code, 0);
  EXPECT_NE(Export("empty.db").find("[HKEY_CURRENT_USER\\New]"), std::string::npos);
}

TEST_F(TessalyReg, AKeyStoredDeeperThanTheRegistryAllowsIsExportedDownToTheBoundWithAWarning) {
  ASSERT_EQ(Import("deep.db", "REGEDIT4\n[HKCU\\Top]\n").Code, 0);
  // Older versions took keys of any depth: 20,000 levels, one row each.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((folder_ / "deep.db").c_str(), &db), SQLITE_OK);
  const int rc =
      sqlite3_exec(db,
                   "WITH RECURSIVE level(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM level WHERE n < 20000) "
                   "INSERT INTO keys(id, parent_id, name) "
                   "SELECT 1000 + n, CASE n WHEN 1 THEN 3 ELSE 999 + n END, 'k' FROM level",
                   nullptr, nullptr, nullptr);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK);

  const auto outcome = OnHive("deep.db", {"export", "HKCU"});
  ASSERT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_NE(outcome.Out.find("[HKEY_CURRENT_USER" + Repeated("\\k", 512) + "]\n"), std::string::npos);
  EXPECT_EQ(outcome.Out.find("[HKEY_CURRENT_USER" + Repeated("\\k", 513) + "]"), std::string::npos);
  EXPECT_NE(outcome.Out.find("[HKEY_CURRENT_USER\\Top]"), std::string::npos);
  EXPECT_NE(outcome.Err.find("more than 512 levels deep"), std::string::npos) << outcome.Err;
}

TEST_F(TessalyReg, AnImportOverTheSizeBoundIsRefusedBeforeItIsRead) {
  WriteFile(folder_ / "huge.reg", "REGEDIT4\n");
  std::filesystem::resize_file(folder_ / "huge.reg", std::uintmax_t{300} << 20);  // sparse: no disk taken
  const auto outcome = OnHive("hive.db", {"import", "huge.reg"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_NE(outcome.Err.find("huge.reg: it is larger than 256 MiB"), std::string::npos) << outcome.Err;
}

TEST_F(TessalyReg, FailuresNameTheFileAndACauseAPersonCanActOn) {
  std::filesystem::create_directory(folder_ / "folder.reg");
  const auto folderImport = OnHive("hive.db", {"import", "folder.reg"});
  EXPECT_EQ(folderImport.Code, 1);
  EXPECT_NE(folderImport.Err.find("cannot read folder.reg: it is a folder"), std::string::npos)
      << folderImport.Err;

  EXPECT_EQ(OnHive("hive.db", {"register-component", ""}).Code, 2);

  const auto rootFolder = OnHive("/", {"export"});
  EXPECT_EQ(rootFolder.Code, 1);
  EXPECT_NE(rootFolder.Err.find("it is a folder"), std::string::npos) << rootFolder.Err;

  const bool hadJournal = std::filesystem::exists("/dev/null-journal");
  const auto device = Import("/dev/null", "REGEDIT4\n[HKCU\\X]\n");
  EXPECT_EQ(device.Code, 1);
  EXPECT_NE(device.Err.find("'/dev/null': unable to open it: it is not a regular file"), std::string::npos)
      << device.Err;
  EXPECT_EQ(std::filesystem::exists("/dev/null-journal"), hadJournal);
}

}  // namespace
}  // namespace tessaly
