// The INI text underneath the configuration files and the frame descriptions.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>

#include "TestRig.h"
#include "app/IniFile.h"
#include "decoders/DescriptionFile.h"

using namespace velkor;
using namespace velkor::test;

TEST(IniDocument, ReadsTheLinesAsTheFormatSays) {
  IniDocument ini;
  ini.Parse(
      "Lost=before any section\r\n"
      "[ Hexa ]\r\n"
      "  Clear  =  1  \r\n"
      "; Clear=0 is a comment\r\n"
      "\t;also a comment\r\n"
      "\r\n"
      "Path=C:\\a=b.sfd\r\n"
      "clear=2\r\n"            // the first occurrence wins
      "NoEquals\r\n"
      "[half\r\n"
      "\x01" "Ctrl=\x7f" "x\x02\r\n"
      "[hexa]\n"               // the same section again, another case
      "AutoScroll=0x1F");
  EXPECT_EQ(ini.Find("HEXA", "Lost"), nullptr);
  EXPECT_EQ(ini.ReadString("hExA", "CLEAR", "?"), "1");
  EXPECT_EQ(ini.ReadString("Hexa", "Path", "?"), "C:\\a=b.sfd");
  EXPECT_EQ(ini.ReadString("Hexa", "NoEquals", "?"), "");
  EXPECT_EQ(ini.ReadString("Hexa", "[half", "?"), "");
  EXPECT_EQ(ini.ReadString("Hexa", "Ctrl", "?"), "\x7fx");
  EXPECT_EQ(ini.ReadInteger("HEXA", "autoscroll", 0), 31);
  EXPECT_EQ(ini.ReadString("Hexa", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Nowhere", "Clear", "dflt"), "dflt");
  EXPECT_EQ(ini.Keys("hexa"), (std::vector<std::string>{"Clear", "Path", "NoEquals", "[half", "Ctrl", "AutoScroll"}));
  ASSERT_EQ(ini.Sections().size(), 1u);
  EXPECT_EQ(ini.Sections()[0].name, "Hexa");
}

TEST(IniDocument, IntegersAndBooleans) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"12", 12},          {"-7", -7},         {"+3", 3},
      {"0x1F", 31},        {"0XfF", 255},      {"0xFFFFFFFF", -1},
      {"-2147483648", INT32_MIN},              {"2147483647", INT32_MAX},
      {"2147483648", {}},  {"0x100000000", {}}, {"0x", {}},
      {"12a", {}},         {"1.5", {}},        {"", {}},
      {"-", {}},           {"0x-1", {}},       {"yes", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIniInteger(c.text), c.value) << c.text;

  IniDocument ini;
  ini.Parse("[S]\nTwo=2\nZero=0\nWord=true\nHex=0x0\n");
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("S", "Word", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("S", "Word", false));
  EXPECT_FALSE(ini.ReadBool("S", "Hex", true));
  EXPECT_EQ(ini.ReadInteger("S", "Word", 42), 42);
}

TEST(IniDocument, WritesInPlaceAppendsAndEndsEachSectionWithAnEmptyLine) {
  IniDocument ini;
  ini.Parse("[b]\nx=1\ny=2\n[a]\nz=3\n");
  ini.WriteInteger("B", "X", -5);
  ini.WriteBool("b", "new", true);
  ini.WriteString("c", "k", "v w");
  EXPECT_EQ(ini.Serialize(), "[b]\r\nx=-5\r\ny=2\r\nnew=1\r\n\r\n[a]\r\nz=3\r\n\r\n[c]\r\nk=v w\r\n\r\n");
}

TEST(IniDocument, LoadFileFailsOnWhatCannotBeRead) {
  TempDir dir;
  IniDocument ini;
  ini.Parse("[a]\nb=1\n");
  EXPECT_FALSE(ini.LoadFile(dir.File("none.ini")));
  EXPECT_TRUE(ini.Sections().empty());
  ini.Parse("[a]\nb=1\n");
  EXPECT_FALSE(ini.LoadFile(dir.Path()));  // a folder opens but does not read
  EXPECT_TRUE(ini.Sections().empty());
  EXPECT_TRUE(ini.LoadFile(dir.Write("x.ini", "[s]\nk=v")));
  EXPECT_EQ(ini.ReadString("s", "k", ""), "v");
}

namespace {

namespace fs = std::filesystem;

// Rewrites a file and gives it a chosen modification time, as a rewrite within one tick of a
// coarse file-system clock would leave it.
void Rewrite(const TempDir& dir, const std::string& name, const std::string& text, fs::file_time_type stamp) {
  fs::last_write_time(dir.Write(name, text), stamp);
}

fs::file_time_type fakeNow;
fs::file_time_type FakeNow() { return fakeNow; }

}  // namespace

TEST(DescriptionFile, ReReadsAChangedFileOnlyAndReadsAMissingOneAsEmpty) {
  TempDir dir;
  const std::string path = dir.File("bus.lfd");
  const fs::file_time_type stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
  DescriptionFile d(path);
  EXPECT_EQ(d.ReadInteger("BAUDRATE", "Value", -1), -1);
  Rewrite(dir, "bus.lfd", "[id]\n1A=Door\n", stamp);
  EXPECT_EQ(d.ReadString("ID", "1a", ""), "Door");
  // Same size, same time: taken as unchanged, not read again.
  Rewrite(dir, "bus.lfd", "[id]\n1A=Seat\n", stamp);
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Door");
  EXPECT_EQ(d.ReadString("ID", "2b", "?"), "?");
  // A name added during a run changes the size.
  Rewrite(dir, "bus.lfd", "[id]\n1A=Seat\n2B=Lamp\n", stamp);
  EXPECT_EQ(d.ReadString("ID", "2B", ""), "Lamp");
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Seat");
  // Same size, a later time.
  Rewrite(dir, "bus.lfd", "[id]\n1A=Horn\n2B=Lamp\n", stamp + std::chrono::minutes(1));
  EXPECT_EQ(d.Keys("ID"), (std::vector<std::string>{"1A", "2B"}));
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Horn");
  fs::remove(path);
  EXPECT_EQ(d.ReadString("ID", "1A", "none"), "none");
  EXPECT_TRUE(d.Keys("ID").empty());
  Rewrite(dir, "bus.lfd", "[id]\n1A=Horn\n2B=Lamp\n", stamp + std::chrono::minutes(1));
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Horn");
}

TEST(DescriptionFile, ASameSizeRewriteWithinTheTimestampTickIsSeenOnceTheTickIsOver) {
  TempDir dir;
  const fs::file_time_type stamp = fs::file_time_type::clock::now();
  Rewrite(dir, "bus.cfd", "[ID]\n123=Door\n", stamp);
  fakeNow = stamp + std::chrono::milliseconds(100);
  DescriptionFile d;
  d.SetClock(&FakeNow);
  d.Open(dir.File("bus.cfd"));
  EXPECT_EQ(d.ReadString("ID", "123", ""), "Door");
  Rewrite(dir, "bus.cfd", "[ID]\n123=Seat\n", stamp);
  fakeNow = stamp + std::chrono::seconds(3);
  EXPECT_EQ(d.ReadString("ID", "123", ""), "Seat");
  // That reading came after the tick: a later rewrite with the same time is a touched-back
  // file, not a race, and costs no further read.
  Rewrite(dir, "bus.cfd", "[ID]\n123=Horn\n", stamp);
  fakeNow = stamp + std::chrono::seconds(9);
  EXPECT_EQ(d.ReadString("ID", "123", ""), "Seat");
}

TEST(DescriptionFile, CheckedByItsOwnerItAsksOnlyWhenTold) {
  TempDir dir;
  const fs::file_time_type stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
  Rewrite(dir, "bus.lfd", "[ID]\n1A=Door\n", stamp);
  fakeNow = fs::file_time_type::clock::now();
  DescriptionFile d;
  d.SetClock(&FakeNow);
  d.SetCheckInterval(std::chrono::milliseconds(100));
  d.SetCheckedByOwner(true);
  d.Open(dir.File("bus.lfd"));
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Door");
  Rewrite(dir, "bus.lfd", "[ID]\n1A=Window\n", stamp);
  fakeNow += std::chrono::seconds(1);
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Door");
  EXPECT_EQ(d.ReadInteger("ID", "2B", 7), 7);
  d.CheckNow();
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Window");
  // Within the interval the check asks nothing either.
  Rewrite(dir, "bus.lfd", "[ID]\n1A=Seat\n", stamp);
  fakeNow += std::chrono::milliseconds(50);
  d.CheckNow();
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Window");
  fakeNow += std::chrono::milliseconds(60);
  d.CheckNow();
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Seat");
  // Back to asking at every look-up.
  d.SetCheckedByOwner(false);
  d.SetCheckInterval(std::chrono::milliseconds(0));
  Rewrite(dir, "bus.lfd", "[ID]\n1A=Lamps\n", stamp);
  EXPECT_EQ(d.ReadString("ID", "1A", ""), "Lamps");
}

TEST(DescriptionFile, ALongSectionReadsAsTheDocumentDoesBeforeAndAfterARewrite) {
  // Past a few entries, the answers are remembered until the file is read again.
  auto names = [](int shift) {
    std::string text = "[BAUDRATE]\nValue=125000\n[Id]\n";
    char entry[32];
    for (int id = 0; id < 0x800; id += 7) {
      std::snprintf(entry, sizeof entry, id % 2 == 0 ? "%03X=Node%d\n" : "%03x=Node%d\n", id, id + shift);
      text += entry;
    }
    return text + "00E=Second\n";  // a repeated key: the first one counts
  };
  TempDir dir;
  const fs::file_time_type stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
  Rewrite(dir, "bus.cfd", names(0), stamp);
  fakeNow = fs::file_time_type::clock::now();
  DescriptionFile d;
  d.SetClock(&FakeNow);
  d.SetCheckInterval(std::chrono::milliseconds(100));
  d.Open(dir.File("bus.cfd"));
  for (int shift : {0, 1}) {
    IniDocument expected;
    expected.Parse(shift == 0 ? names(0) : names(1) + "7FF=Last\n");
    // Every three-digit key in both cases, then enough four-digit ones to fill the memory
    // more than once.
    char key[8];
    for (int round = 0; round < 2; ++round)
      for (int id = 0; id < 0x1000; ++id) {
        std::snprintf(key, sizeof key, round == 0 ? "%03X" : "%03x", id);
        ASSERT_EQ(d.ReadString("ID", key, "?"), expected.ReadString("ID", key, "?")) << key;
      }
    for (int id = 0; id < 0x5000; id += 1) {
      std::snprintf(key, sizeof key, "%04X", id);
      ASSERT_EQ(d.ReadString("id", key, "?"), "?") << key;
    }
    EXPECT_EQ(d.ReadString("ID", "00E", ""), shift == 0 ? "Node14" : "Node15");
    EXPECT_EQ(d.ReadString("Nowhere", "00E", "?"), "?");
    // The same names one further: another size.
    Rewrite(dir, "bus.cfd", names(1) + "7FF=Last\n", stamp);
    fakeNow += std::chrono::seconds(1);
    if (shift == 0) {
      EXPECT_EQ(d.ReadString("ID", "7FF", "?"), "Last");
    }
  }
}

namespace {

// Texts that look enough like INI files to reach every branch of the reader.
std::string RandomIniText(std::mt19937& rng) {
  static const char* const pieces[] = {"[", "]", "=", ";", " ", "\t", "\r", "\n", "\r\n", "\0", "\x95",
                                       "\xA3", "[PROTOCOL]", "[FIELDS]", "Value", "0x", "0x1F", "-",
                                       "2147483648", "12", "Baudrate", "[X]", "[ ]", "CHANNEL1", "Type"};
  std::string text;
  const int count = std::uniform_int_distribution<int>(0, 60)(rng);
  for (int i = 0; i < count; ++i) {
    if (rng() % 4 == 0) {
      text += static_cast<char>(rng() & 0xFF);
    } else {
      const char* p = pieces[rng() % std::size(pieces)];
      text.append(p, *p == '\0' ? 1 : std::char_traits<char>::length(p));
    }
  }
  return text;
}

}  // namespace

TEST(IniFuzz, RandomAndTruncatedTextsParseAndSurviveAWriteBack) {
  std::mt19937 rng(20240611);
  TempDir dir;
  const std::string descPath = dir.File("fuzz.lfd");
  DescriptionFile description;
  for (int round = 0; round < 3000; ++round) {
    std::string text = RandomIniText(rng);
    if (round % 3 == 0) text.resize(rng() % (text.size() + 1));
    IniDocument ini;
    ini.Parse(text);
    for (const auto& section : ini.Sections())
      for (const std::string& key : ini.Keys(section.name)) {
        ASSERT_NE(ini.Find(section.name, key), nullptr) << key;
        (void)ini.ReadInteger(section.name, key, 0);
      }
    // What was read is written back as text that reads the same.
    IniDocument again;
    again.Parse(ini.Serialize());
    ASSERT_EQ(again.Serialize(), ini.Serialize());

    if (round % 10 == 0) {
      dir.Write("fuzz.lfd", text);
      description.Open(descPath);
      (void)description.ReadString("PROTOCOL", "Baudrate", "");
      (void)description.ReadInteger("FIELDS", "Value", -1);
      for (const std::string& key : description.Keys("FIELDS"))
        (void)description.ReadInteger("FIELDS", key, 0);
    }
  }
}
