// Beneath the frame description editor: the registry of open editors, the type of a file
// name, and the text as it is read and written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestRig.h"
#include "channels/FrameDescriptionText.h"

using namespace velkor;
using namespace velkor::test;

namespace {

struct FakeEditor {
  std::string caption;
};

std::string CaptionOf(const FakeEditor& e) { return e.caption; }

}  // namespace

TEST(FrameDescriptionText, TypeOfAFileNameIsItsExactLowerCaseExtension) {
  const struct {
    const char* path;
    int type;
  } cases[] = {
      {"/d/a.mfd", 0}, {"/d/a.sfd", 1}, {"/d/a.cfd", 2}, {"/d/a.lfd", 3},
      {"/d/A.SFD", kNoFrameType},  // capitals are not recognised
      {"/d/a.txt", kNoFrameType},  {"sfd", 1}, {"fd", kNoFrameType}, {"", kNoFrameType},
      {"/d/a.xsfd", 1},            // only the last three characters are looked at
  };
  for (const auto& c : cases) EXPECT_EQ(FrameTypeOfPath(c.path), c.type) << c.path;
  EXPECT_EQ(FrameTypeFilter(2), "CAN Frame Description (*.cfd)|*.cfd");
  EXPECT_EQ(FrameTypeFilter(kNoFrameType), "");
  EXPECT_EQ(FrameOpenFilter(),
            "Manchester Frame Description (*.mfd)|*.mfd|Serial Frame Description (*.sfd)|*.sfd"
            "|CAN Frame Description (*.cfd)|*.cfd|LIN Frame Description (*.lfd)|*.lfd");
}

TEST(FrameDescriptionText, LinesAreReadWithAnyEndAndWrittenWithCrLf) {
  TempDir dir;
  std::string text = "untouched";
  EXPECT_TRUE(ReadFrameDescriptionText(dir.File("missing.sfd"), text));
  EXPECT_EQ(text, "untouched");

  const struct {
    std::string file;
    std::string text;
    std::string written;
  } cases[] = {
      {"[A]\r\nB=1\r\n", "[A]\nB=1", "[A]\r\nB=1\r\n"},
      {"[A]\nB=1", "[A]\nB=1", "[A]\r\nB=1\r\n"},
      {"x\ry\r\n\r\n", "x\ny\n", "x\r\ny\r\n\r\n"},
      {"\xB5s;\xA3\r\n", "\xB5s;\xA3", "\xB5s;\xA3\r\n"},  // Windows-1252 bytes pass unchanged
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const std::string path = dir.Write("d.sfd", c.file);
    ASSERT_FALSE(ReadFrameDescriptionText(path, text));
    EXPECT_EQ(text, c.text) << c.file;
    ASSERT_FALSE(WriteFrameDescriptionText(path, text));
    EXPECT_EQ(ReadWholeFile(path), c.written) << c.file;
  }
  // An editor's text may still carry CR before LF; it is not doubled.
  const std::string path = dir.File("e.lfd");
  ASSERT_FALSE(WriteFrameDescriptionText(path, "a\r\nb"));
  EXPECT_EQ(ReadWholeFile(path), "a\r\nb\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".velkor-save"));
}

TEST(FrameDescriptionText, AFailedWriteIsReportedAndLeavesTheOldFile) {
  TempDir dir;
  EXPECT_TRUE(WriteFrameDescriptionText(dir.File("no/such/folder/a.sfd"), "x"));

  // A folder in the way of the file: the rename fails, the temporary file goes away.
  const std::string blocked = dir.File("blocked.sfd");
  std::filesystem::create_directory(blocked);
  dir.Write("blocked.sfd/inside", "keep");
  EXPECT_TRUE(WriteFrameDescriptionText(blocked, "x"));
  EXPECT_EQ(ReadWholeFile(blocked + "/inside"), "keep");
  EXPECT_FALSE(std::filesystem::exists(blocked + ".velkor-save"));
}

TEST(FrameDescriptionText, TheCursorGoesToTheKeyARefusalNames) {
  const std::string can = "; bus\n[BAUDRATE]\nValue=fast\n[OPTIONS]\nExtendedFrames=YES\n checkframe = maybe\n[ID]\n";
  const std::string lin = "[BAUDRATE]\n\n;Value=1\nvalue=0\n[INVERT]\nValue=no\n[PROTOCOL]\nInterFrame=x\n"
                          "ChecksumIncludeID=YES\nDiagnosticClassic=2";
  const struct {
    const std::string* text;
    const char* error;
    int line;
  } cases[] = {
      {&can, "Error : Value of BAUDRATE", 2},          // the Value key of the section
      {&can, "Error : Value of CheckFrame", 5},        // blanks and case do not matter
      {&can, "Error : Value of ExtendedFrames", 4},
      {&lin, "Error : Value of BAUDRATE", 3},          // comments and empty lines are skipped
      {&lin, "Error : Value of INVERT", 5},
      {&lin, "Error : Value of DiagnosticClassic", 9},  // the last line, without its end
      {&lin, "Error : Value of CheckParity", -1},        // not in the text
      {&can, "Error : Value of TIMEOUT (2..5)", -1},
      {&lin, "Error : Content of PREAMBLE", -1},         // not a value: the cursor stays
      {&lin, "", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(RefusedKeyLine(*c.text, c.error), c.line) << c.error;
  // A section named in the refusal whose Value is missing: its header.
  EXPECT_EQ(RefusedKeyLine("[INVERT]\n[PROTOCOL]\nValue=1\n", "Error : Value of INVERT"), 0);
}

TEST(FrameDescriptionText, ADatabaseRefusalPutsTheCursorOnTheDatabaseFile) {
  constexpr int kCan = 2, kLin = 3, kSerial = 1;
  const std::string can = "[BAUDRATE]\nValue=125000\n[OPTIONS]\nFile=options.txt\n[database]\n; File=old.dbc\n"
                          " file = body.dbc\n[ID]\n123=Door\n";
  // A second DATABASE section adds to the first; its File key is the one read when the first
  // has none.
  const std::string twice = "[DATABASE]\nKind=DBC\n[ID]\nFile=x\n[DATABASE]\nFile=bus.ldf\n";
  const std::string noKey = "[BAUDRATE]\nValue=19200\n[DATABASE]\n";
  const struct {
    const std::string* text;
    const char* error;
    int type;
    int line;
  } cases[] = {
      {&can, "Error : Line 12 of body.dbc: the byte order in signal Gear is not @0 or @1", kCan, 6},
      {&can, "Error : The database body.dbc can not be opened", kCan, 6},
      {&can, "Error : Line 3 of body.ldf: ';' expected", kLin, 6},
      {&twice, "Error : Line 1 of bus.ldf: the protocol version is not a text", kLin, 5},
      {&noKey, "Error : The database  can not be opened", kLin, 2},  // the section itself
      {&can, "Error : Line 12 of body.dbc: bad", kSerial, -1},      // only CAN and LIN name a database
      {&can, "Error : Line 12 of body.dbc: bad", -1, -1},
      {&can, "Error : Lines of body.dbc", kCan, -1},  // not a line number
      {&can, "Line 12 of body.dbc: bad", kCan, -1},   // not a refusal
      {&can, "Error : Value of BAUDRATE", kCan, 1},   // the other refusals as before
  };
  for (const auto& c : cases) EXPECT_EQ(RefusedKeyLine(*c.text, c.error, c.type), c.line) << c.error;
  EXPECT_EQ(RefusedKeyLine("[BAUDRATE]\nValue=1\n", "Error : Line 2 of a.dbc: bad", kCan), -1);
}

TEST(EditorRegistry, NewEditorsOnlyInTheFirstThreeEntriesAndForgetFreesExactlyOne) {
  EditorRegistry<FakeEditor> registry;
  FakeEditor a{"New Frame Description"}, b{"New Frame Description"}, c{"/d/c.sfd"}, far{"/d/far.cfd"};
  EXPECT_EQ(registry.FreeEntry(), 0);
  registry.Put(registry.FreeEntry(), &a);
  registry.Put(registry.FreeEntry(), &b);
  registry.Put(registry.FreeEntry(), &c);
  EXPECT_EQ(registry.FreeEntry(), -1);
  EXPECT_EQ(registry.Count(), 3);

  // The search covers all 32 entries.
  registry.Put(31, &far);
  EXPECT_EQ(registry.Find("/d/far.cfd", CaptionOf), &far);
  EXPECT_EQ(registry.Find("/d/c.sfd", CaptionOf), &c);
  EXPECT_EQ(registry.Find("/d/C.sfd", CaptionOf), nullptr);
  EXPECT_EQ(registry.Find(kNewFrameCaption, CaptionOf), &a);  // two equal captions: the first

  // Two new descriptions share a caption; closing one frees its own entry only.
  registry.Forget(&b);
  EXPECT_EQ(registry.At(0), &a);
  EXPECT_EQ(registry.At(1), nullptr);
  EXPECT_EQ(registry.FreeEntry(), 1);
  EXPECT_EQ(registry.Find(kNewFrameCaption, CaptionOf), &a);
  registry.Forget(&b);  // forgetting twice changes nothing
  EXPECT_EQ(registry.Count(), 3);
  registry.Clear();
  EXPECT_EQ(registry.Count(), 0);
}
