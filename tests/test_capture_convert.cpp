// velkor-convert: the demo written as a sigrok session, a value change dump and a CSV export
// must read back to the demo's samples, in sigrok-cli (a reader nobody here wrote) and in
// Velkor, with the channel captions as names; a damaged input leaves no output behind.

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>

#include "TestRig.h"
#include "capture/CaptureReader.h"

using namespace velkor;
using namespace velkor::test;

namespace {

const std::string kSource = VELKOR_SOURCE_DIR;

ToolResult Convert(const std::string& args) {
  TempDir tmp;
  return RunShellCommand(std::string(VELKOR_CONVERT_TOOL) + " " + args + " 2>" + tmp.File("err"), tmp.File("err"));
}

// The demo's samples, the upper bits of each byte dropped.
std::string DemoSamples() {
  std::string samples = ReadWholeFile(kSource + "/examples/demo.bin");
  for (char& c : samples) c = static_cast<char>(c & 0x0F);
  return samples;
}

}  // namespace

TEST(ConvertTool, WrittenCapturesReadBackToTheSameSamples) {
  TempDir dir;
  const std::string demo = kSource + "/examples/demo.bin";
  const std::string samples = DemoSamples();
  // How sigrok-cli reads each written file: the VCD in steps of 100 ns (24 to a sample), the
  // CSV's first column as the time.
  const std::pair<const char*, const char*> formats[] = {
      {"demo.sr", ""}, {"demo.vcd", "-I vcd:downsample=24"}, {"demo.csv", "-I csv:column_formats=t,4l"}};
  for (const auto& [name, input] : formats) {
    const std::string out = dir.File(name);
    auto r = Convert("--config " + kSource + "/examples/demo.cfg " + demo + " " + out);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err, "") << name;

    const std::string raw = dir.File(std::string(name) + ".raw");
    ASSERT_EQ(std::system(("sigrok-cli " + std::string(input) + " -i " + out + " -O binary -o " + raw + " >/dev/null 2>&1")
                              .c_str()),
              0)
        << name;
    // sigrok-cli puts a line of its own before the samples when its input module found the
    // sample rate itself ("META samplerate: 416667").
    std::string read = ReadWholeFile(raw);
    if (read.starts_with("META ")) read.erase(0, read.find('\n') + 1);
    EXPECT_TRUE(read == samples) << name << ": sigrok-cli reads other samples";

    std::string error;
    auto reader = OpenCapture(out, error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->ChannelNames(), (std::vector<std::string>{"CAN", "Man2", "Ser3", "LIN"})) << name;
    const std::string back = dir.File(std::string(name) + ".bin");
    r = Convert(out + " " + back);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_TRUE(ReadWholeFile(back) == samples) << name << ": Velkor reads other samples";
  }
  auto decoded = RunDecodeTool("--raw --config examples/demo.cfg " + dir.File("demo.vcd"), kSource);
  EXPECT_EQ(decoded.out, ReadWholeFile(kSource + "/examples/demo.expected"));
}

// Sessions are cut in chunks of 4 MiB, as sigrok cuts them (readers take a chunk that size
// whole); sigrok-cli and Velkor read the chunks back in order.
TEST(ConvertTool, LongCapturesAreWrittenInChunksOfFourMebibytes) {
  TempDir dir;
  std::string samples((9 << 20) + 123, '\0');
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>((i / 7 ^ i / 1000) & 0x0F);
  const std::string in = dir.Write("long.bin", samples);
  const std::string out = dir.File("long.sr");
  auto r = Convert(in + " " + out);
  ASSERT_EQ(r.status, 0) << r.err;

  int code = 0;
  zip_t* zip = zip_open(out.c_str(), ZIP_RDONLY, &code);
  ASSERT_NE(zip, nullptr);
  std::vector<std::pair<std::string, zip_uint64_t>> chunks;
  for (zip_int64_t k = 0; k < zip_get_num_entries(zip, 0); ++k) {
    zip_stat_t stat;
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(k), 0, &stat) == 0 && std::string(stat.name).starts_with("logic"))
      chunks.emplace_back(stat.name, stat.size);
  }
  zip_discard(zip);
  const decltype(chunks) cut = {{"logic-1-1", 4 << 20}, {"logic-1-2", 4 << 20}, {"logic-1-3", (1 << 20) + 123}};
  EXPECT_EQ(chunks, cut);

  const std::string raw = dir.File("long.raw");
  ASSERT_EQ(std::system(("sigrok-cli -i " + out + " -O binary -o " + raw + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_TRUE(ReadWholeFile(raw) == samples) << "sigrok-cli reads other samples";
  r = Convert(out + " " + dir.File("back.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadWholeFile(dir.File("back.bin")) == samples) << "Velkor reads other samples";
}

TEST(ConvertTool, ChannelsChosenByMapKeepTheirNames) {
  TempDir dir;
  const std::string in = dir.Write("in.csv", "Time [s],SDA,SCL,INT\n0,1,0,1\n0.0000024,0,1,1\n0.0000048,1,1,0\n");
  auto r = Convert("--map 1=INT,2=SDA " + in + " " + dir.File("out.vcd"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string vcd = ReadWholeFile(dir.File("out.vcd"));
  EXPECT_NE(vcd.find("$var wire 1 ! INT $end\n$var wire 1 \" SDA $end\n$var wire 1 # Cha3 $end"), std::string::npos)
      << vcd;
  EXPECT_NE(vcd.find("#0\n$dumpvars\n1!\n1\"\n0#\n0$\n$end\n#24\n0\"\n#48\n0!\n1\"\n#72\n"), std::string::npos) << vcd;
}

TEST(ConvertTool, FailuresLeaveNoOutput) {
  TempDir dir;
  std::string vcd = "$timescale 1 us $end $var wire 1 ! a $end $enddefinitions $end\n";
  for (int i = 0; i < 100000; ++i) vcd += "#" + std::to_string(i * 10) + " " + std::to_string(i % 2) + "!\n";
  vcd += "#3 0!\n";
  const std::string in = dir.Write("back.vcd", vcd);
  for (const char* name : {"out.sr", "out.vcd", "out.csv", "out.bin"}) {
    auto r = Convert(in + " " + dir.File(name));
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("the time goes backwards"), std::string::npos) << name << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  }
  auto r = Convert(in + " " + dir.File("out.txt"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("out.txt: give it the extension .bin, .sr, .vcd or .csv"), std::string::npos) << r.err;
  r = Convert("--map 1=nothing " + in + " " + dir.File("out.sr"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("the file has no channel named 'nothing'"), std::string::npos) << r.err;
}
