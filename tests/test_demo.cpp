// The bundled demo: the generator still makes exactly the committed capture, and the capture
// still decodes to the committed lines. A change to a decoder that alters the demo's output
// shows here as a diff of examples/demo.expected.

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestRig.h"

using namespace velkor::test;

namespace {
const std::string kSource = VELKOR_SOURCE_DIR;
}

TEST(Demo, GeneratorMakesTheCommittedCapture) {
  TempDir dir;
  const std::string command = std::string(VELKOR_MAKE_DEMO) + " " + dir.Path() + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(ReadWholeFile(dir.File("demo.bin")) == ReadWholeFile(kSource + "/examples/demo.bin"))
      << "regenerate with: build/tools/velkor-make-demo examples";
}

TEST(Demo, DecodesToTheCommittedLines) {
  auto r = RunDecodeTool("--raw --config examples/demo.cfg examples/demo.bin", kSource);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, ReadWholeFile(kSource + "/examples/demo.expected"));
}

TEST(Demo, DecodesFromAnotherFolder) {
  TempDir elsewhere;
  const std::string expected = ReadWholeFile(kSource + "/examples/demo.expected");
  auto r =
      RunDecodeTool("--raw --config '" + kSource + "/examples/demo.cfg' '" + kSource + "/examples/demo.bin'",
                    elsewhere.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, expected);
  // The configuration named from the current folder, relatively.
  r = RunDecodeTool("--raw --config ../examples/demo.cfg ../examples/demo.bin", kSource + "/tests");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
}
