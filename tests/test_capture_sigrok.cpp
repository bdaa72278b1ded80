// Captures made by a tool nobody here wrote: sigrok-cli turns the bundled demo into a sigrok
// session, a value change dump and a CSV export, and each must decode to the demo's own lines.
// Then velkor-decode's answers to damaged files and channel maps.

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestRig.h"

using namespace velkor::test;

namespace {

const std::string kSource = VELKOR_SOURCE_DIR;

int Sigrok(const std::string& args) {
  return std::system(("sigrok-cli " + args + " >/dev/null 2>&1").c_str());
}

// The demo as sigrok-cli sees it: raw bytes of four channels at the module's rate.
std::string SigrokSession(const TempDir& dir) {
  const std::string session = dir.File("demo.sr");
  EXPECT_EQ(Sigrok("-I binary:numchannels=4:samplerate=416667 -i " + kSource + "/examples/demo.bin -O srzip -o " +
                   session),
            0);
  return session;
}

ToolResult DecodeDemo(const std::string& capture, const std::string& more = "") {
  return RunDecodeTool("--raw --config examples/demo.cfg " + more + " " + capture, kSource);
}

}  // namespace

TEST(OtherInstruments, SigrokMadeCapturesOfTheDemoDecodeToItsLines) {
  TempDir dir;
  const std::string session = SigrokSession(dir);
  // sigrok-cli writes its binary input's rate into a VCD or CSV it makes directly; from the
  // session it writes clean files.
  ASSERT_EQ(Sigrok("-i " + session + " -O vcd -o " + dir.File("demo.vcd")), 0);
  ASSERT_EQ(Sigrok("-i " + session + " -O csv:label=channel -o " + dir.File("demo.csv")), 0);
  const std::string expected = ReadWholeFile(kSource + "/examples/demo.expected");
  for (const std::string& capture : {session, dir.File("demo.vcd"), dir.File("demo.csv")}) {
    auto r = DecodeDemo(capture);
    EXPECT_EQ(r.status, 0) << capture << ": " << r.err;
    EXPECT_EQ(r.err, "") << capture;
    EXPECT_EQ(r.out, expected) << capture;
  }
  // The channels by name ("0") and by number.
  auto mapped = DecodeDemo(session, "--map 1=0,2=#2,3=#3,4=#4");
  EXPECT_EQ(mapped.status, 0) << mapped.err;
  EXPECT_EQ(mapped.out, expected);
}

TEST(OtherInstruments, AFasterCaptureOfTheSameSignalsDecodesToTheSameFrames) {
  TempDir dir;
  // The demo's signals taken at 4 MHz, their edges halfway between two ticks of the grid:
  // sample k (at 0.25 us x k) sees the level of tick round(k / 9.6).
  const std::string grid = ReadWholeFile(kSource + "/examples/demo.bin");
  std::vector<std::uint8_t> fast(grid.size() * 96 / 10);
  for (std::size_t k = 0; k < fast.size(); ++k)
    fast[k] = static_cast<std::uint8_t>(grid[std::min(grid.size() - 1, (10 * k + 48) / 96)] & 0x0F);
  const std::string raw = dir.Write("fast.bin", fast);
  ASSERT_EQ(Sigrok("-I binary:numchannels=4:samplerate=4000000 -i " + raw + " -O srzip -o " + dir.File("fast.sr")), 0);
  auto r = DecodeDemo(dir.File("fast.sr"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, ReadWholeFile(kSource + "/examples/demo.expected"));
}

TEST(OtherInstruments, DamagedCapturesExitWithTwoAndSayWhy) {
  TempDir dir;
  const std::string notZip = dir.Write("notzip.sr", "hello");
  auto r = DecodeDemo(notZip);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(notZip + ": not a zip archive"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  r = DecodeDemo(SigrokSession(dir), "--map 1=SCK");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--map 1=SCK: the file has no channel named 'SCK'"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  // A dump whose time goes backwards late on: the lines before are written, but the run
  // fails and says the decode is not whole.
  std::string vcd = "$timescale 100 ns $end $var wire 1 ! a $end $enddefinitions $end\n#0 1!\n";
  for (int i = 1; i <= 40; ++i) vcd += "#" + std::to_string(i * 100000) + " " + std::to_string(i % 2) + "!\n";
  vcd += "#5 0!\n";
  velkor::Settings settings;
  settings.channels[0].type = velkor::ChannelType::Logical;
  settings.channels[0].active = true;
  settings.channels[0].generation = true;
  r = RunDecodeTool("--raw --config " + WriteChannelConfig(dir, "logical.cfg", settings) + " " +
                    dir.Write("back.vcd", vcd));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("back.vcd: line 43: the time goes backwards (#5 after #4000000)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the lines written are only those before it"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.substr(0, 17), "0,0,New Value=1,\n");

  // A slow source decodes, with a warning.
  r = RunDecodeTool(dir.Write("slow.csv", "; Samplerate: 50 kHz\nA\n0\n1\n0\n"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Warning: " + dir.File("slow.csv") + ": its samples are 20 \xC2\xB5s apart"),
            std::string::npos)
      << r.err;
}
