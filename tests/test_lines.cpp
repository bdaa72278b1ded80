// The decoded line: reading it back, rendering it, the sink's cut and the list.

#include <gtest/gtest.h>

#include "TestRig.h"
#include "views/DecodedLine.h"

using namespace velkor;
using namespace velkor::test;

namespace {
const std::string kCaptions[4] = {"CAN", "Door", "Relay12", ""};
}

TEST(RenderDecodedLine, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {"0,1523642,ID=12A,DLC=2,DataFrame=00 01,", "CAN        1523.642 ID=12A DLC=2 DataFrame=00 01"},
      {"1,33398,New Value=1,", "Door         33.398 New Value=1"},
      {"2,5,New Value=0,", "Relay1        0.005 New Value=0"},
      {"0,0,New Value=0,", "CAN           0.000 New Value=0"},
      {"3,1234567890123,X,", "      1234567890.123 X"},
      {"0,1390377,\xA3" "Error frame,", "CAN        1390.377 Error frame"},
      {"0,7,$Temperature=54,", "CAN           0.007 Temperature=54"},
      {"", ""},
  };
  for (const auto& [line, rendered] : cases) EXPECT_EQ(RenderDecodedLine(line, kCaptions), rendered) << line;
}

TEST(LineReader, FieldsMarkersAndValues) {
  LineReader r("2,189575,\xA3" "Data=\x95 41,$Temp=A=B,plain,ID=,");
  EXPECT_EQ(r.Channel(), 2);
  EXPECT_EQ(r.Date(), "189575");
  LineField f;
  ASSERT_TRUE(r.NextField(f));
  EXPECT_EQ(f.marker, FieldMarker::ErrorLine);
  EXPECT_EQ(f.name, "Data");
  EXPECT_EQ(f.value, "\x95 41");
  ASSERT_TRUE(r.NextField(f));
  EXPECT_EQ(f.marker, FieldMarker::DescribedField);
  EXPECT_EQ(f.name, "Temp");
  EXPECT_EQ(f.value, "A=B");
  ASSERT_TRUE(r.NextField(f));
  EXPECT_FALSE(f.hasValue);
  EXPECT_EQ(f.name, "plain");
  ASSERT_TRUE(r.NextField(f));
  EXPECT_TRUE(f.hasValue);
  EXPECT_EQ(f.value, "");
  EXPECT_FALSE(r.NextField(f));
}

TEST(LineReader, MalformedTextEndsTheWalk) {
  for (std::string_view line : {"0", "0,", "0,12", "0,12,abc", ",,,,"}) {
    LineReader r(line);
    LineField f;
    int fields = 0;
    while (r.NextField(f)) ++fields;
    EXPECT_LE(fields, 3) << line;
  }
}

TEST(Sink, CutsLongLinesToThousandCharacters) {
  RecordingUi ui;
  DecoderServices services(ui);
  std::string thousand = "0,1," + std::string(995, 'a') + ",";
  ASSERT_EQ(thousand.size(), 1000u);
  services.AppendDecodedLine(thousand);
  std::string longer = "0,1," + std::string(996, 'b') + ",";
  services.AppendDecodedLine(longer);
  EXPECT_EQ(services.lines.Line(0), thousand);
  std::string cut(services.lines.Line(1));
  EXPECT_EQ(cut.size(), 1000u);
  EXPECT_EQ(cut, longer.substr(0, 997) + "..,");
}

TEST(Sink, SignalsTheLineEventOncePerLine) {
  struct Counter : LineEventSignal {
    int count = 0;
    void Signal() override { ++count; }
  } counter;
  RecordingUi ui;
  DecoderServices services(ui);
  services.AppendDecodedLine("0,0,a,");  // no client: nothing to signal, nothing shown
  services.SetLineEvent(&counter);
  services.AppendDecodedLine("0,0,b,");
  services.AppendDecodedLine("0,0,c,");
  EXPECT_EQ(counter.count, 2);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(DecodedLineList, ManyLinesAcrossBlocksWithRemovalAtFront) {
  DecodedLineList list;
  const std::size_t n = 20000;
  for (std::size_t i = 0; i < n; ++i) list.Append("0," + std::to_string(i) + ",x,");
  ASSERT_EQ(list.size(), n);
  EXPECT_EQ(list.Line(4095), "0,4095,x,");
  EXPECT_EQ(list.Line(4096), "0,4096,x,");
  list.SetSelected(5000, true);
  for (std::size_t i = 0; i < 4100; ++i) list.RemoveFirst();
  EXPECT_EQ(list.size(), n - 4100);
  EXPECT_EQ(list.Line(0), "0,4100,x,");
  EXPECT_TRUE(list.Selected(900));
  EXPECT_FALSE(list.Selected(901));
  list.Append("0,last,x,");
  EXPECT_EQ(list.Line(list.size() - 1), "0,last,x,");
  while (!list.empty()) list.RemoveFirst();
  list.RemoveFirst();  // on an empty list: nothing happens
  list.Append("0,again,");
  EXPECT_EQ(list.Line(0), "0,again,");
}
