// The texts of the line views: date column, relative time, selection block, saved files;
// and the counters by which a view follows the line list.

#include <gtest/gtest.h>

#include <filesystem>

#include "TestRig.h"
#include "app/Cp1252.h"
#include "views/LineText.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// Rows "0,<date>,x," for the given dates.
void Fill(DecodedLineList& list, std::initializer_list<std::int64_t> dates) {
  for (std::int64_t d : dates) list.Append("0," + std::to_string(d) + ",x,");
}

ChannelCaptions Captions() {
  ChannelCaptions c;
  c.text[0] = "CAN";
  c.text[1] = "Door";
  c.text[2] = "Relay12";
  c.text[3] = "";
  return c;
}

}  // namespace

TEST(DateColumnText, MillisecondsAndSeconds) {
  struct Case {
    std::string_view date;
    bool ms;
    std::string_view text;
  };
  const Case cases[] = {
      {"1523642", true, "     1523.642"},
      {"1523642", false, "        1.523"},
      {"0", true, "        0.000"},
      {"5", true, "        0.005"},
      {"999", false, "        0.000"},  // three digits or less: nothing left, pads to zero
      {"1000", false, "        0.001"},
      {"", true, "        0.000"},
      {"123456789012", true, "123456789.012"},
      {"98765432109876", true, "98765432109.876"},  // longer than 12: not cut
      {"98765432109876", false, " 98765432.109"},
  };
  for (const Case& c : cases) EXPECT_EQ(DateColumnText(c.date, c.ms), c.text) << c.date << (c.ms ? " ms" : " s");
}

TEST(MillisecondsText, Table) {
  const std::pair<std::int64_t, std::string_view> cases[] = {
      {0, "0.000"},          {5, "0.005"},         {42, "0.042"},
      {999, "0.999"},        {1000, "1.000"},      {1234567, "1234.567"},
      {-5, "-0.005"},        {-1234567, "-1234.567"},
      {INT64_MIN, "-9223372036854775.808"},
  };
  for (const auto& [micros, text] : cases) EXPECT_EQ(MillisecondsText(micros), text) << micros;
}

TEST(ClickStatus, FirstRowAloneHasNoTime) {
  DecodedLineList list;
  Fill(list, {100, 105, 300});
  ClickStatus s = ClickStatusAt(list, 0);
  EXPECT_EQ(s.relativeTime, "Relative time : -");
  EXPECT_EQ(s.selectedLines, "Selected lines : 1");
  // Also when row 0 is the focus but not selected and row 1 is: the block runs on.
  list.SetSelected(1, true);
  s = ClickStatusAt(list, 0);
  EXPECT_EQ(s.relativeTime, "Relative time : 0.005ms");
  EXPECT_EQ(s.selectedLines, "Selected lines : 2");
}

TEST(ClickStatus, OneRowIsTimedFromTheRowAbove) {
  DecodedLineList list;
  Fill(list, {0, 100, 105, 1234672});
  list.SetSelected(2, true);
  ClickStatus s = ClickStatusAt(list, 2);
  EXPECT_EQ(s.relativeTime, "Relative time : 0.005ms");
  EXPECT_EQ(s.selectedLines, "Selected lines : 1");
  list.SetSelected(2, false);
  list.SetSelected(3, true);
  s = ClickStatusAt(list, 3);
  EXPECT_EQ(s.relativeTime, "Relative time : 1234.567ms");
}

TEST(ClickStatus, BlockOfSelectedRowsAroundTheFocus) {
  DecodedLineList list;
  Fill(list, {0, 10, 20, 3000, 4000, 5000, 6000, 7500, 9000});
  for (std::size_t i = 3; i <= 7; ++i) list.SetSelected(i, true);
  list.SetSelected(1, true);  // apart from the block: not counted
  const ClickStatus s = ClickStatusAt(list, 5);
  EXPECT_EQ(s.relativeTime, "Relative time : 4.500ms");
  EXPECT_EQ(s.selectedLines, "Selected lines : 5");
  const SelectionBlock b = SelectionBlockAround(list, 5);
  EXPECT_EQ(b.first, 3u);
  EXPECT_EQ(b.last, 7u);
  // The last row of the list ends a block.
  list.SetSelected(8, true);
  EXPECT_EQ(SelectionBlockAround(list, 4).last, 8u);
}

TEST(ClickStatus, LaterRowWithAnEarlierDateShowsANegativeTime) {
  DecodedLineList list;
  list.Append("1,2000,New Value=1,");
  list.Append("0,1995,ID=1,");
  EXPECT_EQ(ClickStatusAt(list, 1).relativeTime, "Relative time : -0.005ms");
}

TEST(LineCountText, CountAndWord) {
  EXPECT_EQ(LineCountText(125), "125 lines");
  EXPECT_EQ(LineCountText(0), "0 lines");
}

TEST(RenderLines, SelectedOrAllWithCrLf) {
  DecodedLineList list;
  list.Append("0,1523642,ID=12A,DLC=2,DataFrame=00 01,");
  list.Append("1,33398,New Value=1,");
  list.Append("2,5,\xA3" "Error\x95,");
  list.SetSelected(1, true);
  EXPECT_EQ(RenderLines(list, Captions(), true), "Door         33.398 New Value=1\r\n");
  EXPECT_EQ(RenderLines(list, Captions(), false),
            "CAN        1523.642 ID=12A DLC=2 DataFrame=00 01\r\n"
            "Door         33.398 New Value=1\r\n"
            "Relay1        0.005 Error\x95\r\n");
}

TEST(SaveRenderedLines, WritesUtf8ThroughATemporaryFile) {
  TempDir dir;
  DecodedLineList list;
  list.Append("2,5,\xA3" "Error\x95,");
  list.Append("1,33398,New Value=1,");
  const std::string path = dir.Write("out.txt", "old content");
  ASSERT_FALSE(SaveRenderedLines(path, list, Captions(), false));
  EXPECT_EQ(ReadWholeFile(path), "Relay1        0.005 Error\xE2\x80\xA2\r\nDoor         33.398 New Value=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  // Nothing selected: an empty file.
  ASSERT_FALSE(SaveRenderedLines(path, list, Captions(), true));
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST(SaveRenderedLines, ManyLinesAcrossChunks) {
  TempDir dir;
  DecodedLineList list;
  const std::size_t n = 40000;  // more than one chunk of the writer
  for (std::size_t i = 0; i < n; ++i) list.Append("3," + std::to_string(i) + ",\x95" "ABCDEFGHIJKLMNOP=Q,");
  const std::string path = dir.File("many.txt");
  ASSERT_FALSE(SaveRenderedLines(path, list, Captions(), false));
  EXPECT_EQ(ReadWholeFile(path), Cp1252ToUtf8(RenderLines(list, Captions(), false)));
}

TEST(SaveRenderedLines, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
  TempDir dir;
  DecodedLineList list;
  list.Append("0,1,x,");
  EXPECT_TRUE(SaveRenderedLines(dir.File("no/such/folder/out.txt"), list, Captions(), false));
  // The target is a folder: the rename fails, the temporary file goes, the folder stays.
  const std::string folder = dir.File("taken");
  std::filesystem::create_directory(folder);
  std::filesystem::create_directory(folder + "/inner");
  EXPECT_TRUE(SaveRenderedLines(folder, list, Captions(), false));
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/inner"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(DecodedLineList, GenerationAndRemovedCountTellAViewWhatChanged) {
  DecodedLineList list;
  EXPECT_EQ(list.Generation(), 0u);
  EXPECT_EQ(list.RemovedFromFront(), 0u);
  Fill(list, {1, 2, 3});
  list.RemoveFirst();
  list.RemoveFirst();
  EXPECT_EQ(list.RemovedFromFront(), 2u);
  EXPECT_EQ(list.Generation(), 0u);
  // Emptied by removals: still the same generation, the count goes on.
  list.RemoveFirst();
  list.RemoveFirst();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.RemovedFromFront(), 3u);
  EXPECT_EQ(list.Generation(), 0u);
  Fill(list, {4});
  EXPECT_EQ(list.Line(0), "0,4,x,");

  list.Clear();
  EXPECT_EQ(list.Generation(), 1u);
  EXPECT_EQ(list.RemovedFromFront(), 0u);
  list.Clear();  // an empty list cleared again is still a clear a view must see
  EXPECT_EQ(list.Generation(), 2u);
}
