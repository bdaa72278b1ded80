// velkor-decode from the outside: arguments, exit status, raw and rendered output.

#include <gtest/gtest.h>

#include "TestRig.h"

using namespace velkor;
using namespace velkor::test;

namespace {

struct ToolRig {
  ToolRig() {
    for (auto& ch : settings.channels) ch.active = false;
    settings.channels[1].type = ChannelType::Logical;
    settings.channels[1].active = true;
    settings.channels[1].caption = "Door";
    settings.channels[1].generation = true;
    config = WriteChannelConfig(dir, "run.cfg", settings);
    std::vector<std::uint8_t> bytes(14000, 0xF0);
    for (std::size_t n = 13916; n < bytes.size(); ++n) bytes[n] |= 0x02;
    capture = dir.Write("toggle.bin", bytes);
  }
  TempDir dir;
  Settings settings;
  std::string config;
  std::string capture;
};

}  // namespace

TEST(DecodeTool, RawAndRenderedOutput) {
  ToolRig rig;
  auto raw = RunDecodeTool("--raw --config " + rig.config + " " + rig.capture);
  EXPECT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(raw.out, "1,0,New Value=0,\n1,33398,New Value=1,\n");
  auto text = RunDecodeTool("--config " + rig.config + " " + rig.capture);
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "Door          0.000 New Value=0\nDoor         33.398 New Value=1\n");
}

TEST(DecodeTool, ProgressGoesToStandardError) {
  ToolRig rig;
  auto r = RunDecodeTool("--progress --raw --config " + rig.config + " " + rig.capture);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Reload... ["), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" 95%"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "1,0,New Value=0,\n1,33398,New Value=1,\n");
}

TEST(DecodeTool, BadInputsExitWithTwo) {
  ToolRig rig;
  EXPECT_EQ(RunDecodeTool("").status, 2);
  EXPECT_EQ(RunDecodeTool("--bogus " + rig.capture).status, 2);
  EXPECT_EQ(RunDecodeTool(rig.dir.File("missing.bin")).status, 2);
  EXPECT_EQ(RunDecodeTool("--config " + rig.dir.File("missing.cfg") + " " + rig.capture).status, 2);
  EXPECT_EQ(RunDecodeTool("--config").status, 2);
  EXPECT_EQ(RunDecodeTool("--format bogus " + rig.capture).status, 2);
  EXPECT_EQ(RunDecodeTool("--format").status, 2);
  auto help = RunDecodeTool("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--raw"), std::string::npos);
}

TEST(DecodeTool, WithoutConfigurationNothingIsDecoded) {
  ToolRig rig;
  auto r = RunDecodeTool("--raw " + rig.capture);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(DecodeTool, LinesStreamPastTheDropBatchInOrderOnBothPaths) {
  // Thousands of lines: written as they come and dropped from the list in batches; the
  // output is every line once, in order, and the same through the per-sample path.
  ToolRig rig;
  std::vector<std::uint8_t> bytes(3000 * 7, 0);
  std::string expected;
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    bytes[n] = ((n / 7) & 1) != 0 ? 0x02 : 0x00;
    if (n % 7 == 0)
      expected +=
          "1," + std::to_string(SampleTimeMicros(n)) + ",New Value=" + std::to_string((n / 7) & 1) + ",\n";
  }
  const std::string capture = rig.dir.Write("many.bin", bytes);
  auto fast = RunDecodeTool("--raw --config " + rig.config + " " + capture);
  EXPECT_EQ(fast.status, 0) << fast.err;
  EXPECT_EQ(fast.out, expected);
  auto reference = RunDecodeTool("--per-sample --raw --config " + rig.config + " " + capture);
  EXPECT_EQ(reference.status, 0) << reference.err;
  EXPECT_EQ(reference.out, expected);
}
