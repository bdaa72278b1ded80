// The Filter view's rules, its run over a line list and the field-name lists it offers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestRig.h"
#include "pipeline/FieldNames.h"
#include "views/FilterRule.h"

using namespace velkor;
using namespace velkor::test;

namespace {

FilterRule Rule(FieldFilterKind kind) {
  FilterRule r;
  r.kind = static_cast<int>(kind);
  return r;
}
FilterRule Field(std::string name, int comparison, std::string a, std::string b) {
  FilterRule r = Rule(FieldFilterKind::IfField);
  r.hasField = true;
  r.field = std::move(name);
  r.comparison = comparison;
  r.contentA = std::move(a);
  r.contentB = std::move(b);
  return r;
}
FilterRule Match(FieldFilterKind kind, std::string text) {
  FilterRule r = Rule(kind);
  r.match = std::move(text);
  return r;
}

std::vector<std::string> Lines(const DecodedLineList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.size(); ++i) out.emplace_back(list.Line(i));
  return out;
}

const char kCan8[] = "0,1523642,ID=12A,DLC=8,DataFrame=00 01 02 03 04 05 06 07,";
const char kCan2[] = "0,1523700,ID=12A,DLC=2,DataFrame=00 01,";
const char kCanEmptyDlc[] = "0,1523800,ID=7FF,DLC=,";
const char kCanError[] = "0,1390377,\xA3" "Error frame,";

}  // namespace

TEST(LinePasses, RulesOfChannelOne) {
  const FilterRule equal8 = Field("DLC", kCompareEqual, "8", "");
  const FilterRule differ8 = Field("DLC", kCompareDiffer, "8", "");
  const FilterRule matchId = Match(FieldFilterKind::IfMatch, "ID=12A");
  const FilterRule lacksId = Match(FieldFilterKind::IfNotMatch, "ID=12A");
  struct Case {
    const char* what;
    FilterRule rule;
    std::string line;
    bool passes;
  };
  const Case cases[] = {
      {"empty line, Always", Rule(FieldFilterKind::Always), "", false},
      {"empty line, not matching nothing", Match(FieldFilterKind::IfNotMatch, ""), "", false},
      {"Always", Rule(FieldFilterKind::Always), kCanError, true},
      {"Never", Rule(FieldFilterKind::Never), kCan8, false},
      {"unknown rule index", Rule(static_cast<FieldFilterKind>(7)), kCan8, false},
      {"no rule chosen", Rule(static_cast<FieldFilterKind>(-1)), kCan8, false},

      {"DLC = 8", equal8, kCan8, true},
      {"DLC = 8, DLC is 2", equal8, kCan2, false},
      {"DLC = 8 or empty B, empty DLC", equal8, kCanEmptyDlc, true},
      {"DLC = 8, no DLC field", equal8, kCanError, false},
      {"DLC = 8 or 2", Field("DLC", kCompareEqual, "8", "2"), kCan2, true},
      {"DLC <> 8 and empty B, DLC is 2", differ8, kCan2, true},
      {"DLC <> 8, DLC is 8", differ8, kCan8, false},
      {"DLC <> 8 and empty B, empty DLC", differ8, kCanEmptyDlc, false},
      {"DLC <> 8, no DLC field", differ8, kCanError, false},
      {"DLC <> 8 and 2, DLC is 2", Field("DLC", kCompareDiffer, "8", "2"), kCan2, false},
      {"field name case counts", Field("dlc", kCompareEqual, "8", ""), kCan8, false},
      {"value case counts", Field("ID", kCompareEqual, "12a", ""), kCan8, false},
      {"marker removed from the name", Field("Temp", kCompareEqual, "54", ""), "1,7,$Temp=54,", true},
      {"error marker removed from the name", Field("Data", kCompareEqual, "\x95 41", ""),
       "2,9,\xA3" "Data=\x95 41,", true},
      {"value after the first =", Field("A", kCompareEqual, "B=C", ""), "0,1,A=B=C,", true},
      {"a name ends at the first =", Field("A=B", kCompareEqual, "C", ""), "0,1,A=B=C,", false},
      {"a longer name is another field", Field("DL", kCompareEqual, "C=8", ""), "0,1,DLC=8,", false},
      {"plain field is no named field", Field("Error frame", kCompareEqual, "", ""), kCanError, false},
      {"any field of the line", Field("X", kCompareEqual, "2", ""), "0,1,X=1,X=2,", true},
      {"any field of the line, <>", Field("X", kCompareDiffer, "1", ""), "0,1,X=1,X=2,", true},
      {"no comparison chosen", Field("DLC", -1, "8", ""), kCan8, false},
      {"no field chosen", Rule(FieldFilterKind::IfField), kCan8, false},

      {"match", matchId, kCan2, true},
      {"match, next field without a blank", matchId, "0,5,ID=12A,", true},
      {"match inside a longer value", matchId, "0,5,ID=12AB,", true},
      {"match, case counts", Match(FieldFilterKind::IfMatch, "id=12a"), kCan2, false},
      {"match, a blank between fields never matches", Match(FieldFilterKind::IfMatch, "ID=12A DLC=2"), kCan2, false},
      {"match, commas included", Match(FieldFilterKind::IfMatch, "ID=12A,DLC=2,"), kCan2, true},
      {"match, markers included", Match(FieldFilterKind::IfMatch, "\xA3" "Error"), kCanError, true},
      {"match, the date is not searched", Match(FieldFilterKind::IfMatch, "1523642"), kCan8, false},
      {"match, the channel is not searched", Match(FieldFilterKind::IfMatch, "0,"), "0,5,X,", false},
      {"empty match text is never found", Match(FieldFilterKind::IfMatch, ""), kCan8, false},
      {"not match", lacksId, kCan2, false},
      {"not match, other ID", lacksId, kCanEmptyDlc, true},
      {"not match, empty text lets every line pass", Match(FieldFilterKind::IfNotMatch, ""), kCan8, true},
  };
  for (const Case& c : cases) {
    FilterRules rules;
    rules[0] = c.rule;
    EXPECT_EQ(LinePasses(c.line, rules), c.passes) << c.what;
  }
}

TEST(LinePasses, TheLineChannelPicksTheRule) {
  FilterRules rules;
  rules[0] = Rule(FieldFilterKind::Never);
  rules[2] = Match(FieldFilterKind::IfMatch, "New");
  rules[3] = Rule(FieldFilterKind::Never);
  EXPECT_FALSE(LinePasses("0,1,New Value=1,", rules));
  EXPECT_TRUE(LinePasses("1,1,New Value=1,", rules));
  EXPECT_TRUE(LinePasses("2,1,New Value=1,", rules));
  EXPECT_FALSE(LinePasses("3,1,New Value=1,", rules));
  // No channel has these digits.
  EXPECT_FALSE(LinePasses("4,1,New Value=1,", rules));
  EXPECT_FALSE(LinePasses("/,1,New Value=1,", rules));
}

TEST(FrameText, AfterTheSecondComma) {
  EXPECT_EQ(FrameText(kCan2), "ID=12A,DLC=2,DataFrame=00 01,");
  EXPECT_EQ(FrameText("0,12"), "");
  EXPECT_EQ(FrameText("0,12,"), "");
  EXPECT_EQ(FrameText(""), "");
}

TEST(MakeFilterRule, ChosenFieldIsANameOfTheList) {
  const std::vector<std::string> names{"DataFrame", "DLC", "ID"};
  const FilterRule rule = MakeFilterRule({1, 1, 0, "8", "", "x"}, names);
  EXPECT_EQ(rule.kind, 1);
  EXPECT_TRUE(rule.hasField);
  EXPECT_EQ(rule.field, "DLC");
  EXPECT_EQ(rule.comparison, kCompareEqual);
  EXPECT_EQ(rule.contentA, "8");
  EXPECT_EQ(rule.match, "x");
  for (int stale : {-1, 3, 40}) EXPECT_FALSE(MakeFilterRule({1, stale, 0, "", "", ""}, names).hasField) << stale;
}

TEST(ExecuteFilter, AlwaysCopiesEveryLineInOrder) {
  DecodedLineList source;
  std::vector<std::string> expected;
  for (int i = 0; i < 250; ++i) {
    expected.push_back(std::to_string(i % 4) + "," + std::to_string(i * 7) + ",N=" + std::to_string(i) + ",");
    source.Append(expected.back());
  }
  DecodedLineList destination;
  destination.Append("3,1,old,");
  RecordingUi ui;
  EXPECT_EQ(ExecuteFilter(source, destination, FilterRules{}, ui), 250u);
  EXPECT_EQ(Lines(destination), expected);

  // The progress shows each percentage once, in order, from "0%" as it is shown.
  ASSERT_GE(ui.progress.size(), 3u);
  EXPECT_EQ(ui.progress.front(), "show:Filter...");
  EXPECT_EQ(ui.progress.back(), "hide");
  int last = 0;
  for (std::size_t i = 1; i + 1 < ui.progress.size(); ++i) {
    const int percent = std::stoi(ui.progress[i]);
    EXPECT_GT(percent, last) << ui.progress[i];
    EXPECT_LT(percent, 100);
    last = percent;
  }
  EXPECT_EQ(last, 99);  // line 248 of 250
  EXPECT_EQ(ui.progress.size(), 2u + 99u);
}

TEST(ExecuteFilter, KeepsOnlyPassingLinesAsStored) {
  DecodedLineList source;
  for (const char* line : {kCan8, "1,5,New Value=1,", kCan2, kCanEmptyDlc, kCanError, "2,9,$Temp=54,"}) source.Append(line);
  FilterRules rules;
  rules[0] = Field("DLC", kCompareEqual, "8", "");
  rules[1] = Rule(FieldFilterKind::Never);
  DecodedLineList destination;
  RecordingUi ui;
  EXPECT_EQ(ExecuteFilter(source, destination, rules, ui), 3u);
  EXPECT_EQ(Lines(destination), (std::vector<std::string>{kCan8, kCanEmptyDlc, "2,9,$Temp=54,"}));
}

TEST(ExecuteFilter, EmptySourceEmptiesTheListWithoutProgress) {
  DecodedLineList source, destination;
  destination.Append("0,1,X,");
  RecordingUi ui;
  EXPECT_EQ(ExecuteFilter(source, destination, FilterRules{}, ui), 0u);
  EXPECT_TRUE(destination.empty());
  EXPECT_TRUE(ui.progress.empty());
}

TEST(ExecuteFilter, StopKeepsTheLinesFoundSoFar) {
  DecodedLineList source;
  for (int i = 0; i < 100000; ++i) source.Append(i % 2 ? "1,5,New Value=1," : "0,5,New Value=0,");
  FilterRules rules;
  rules[1] = Rule(FieldFilterKind::Never);
  DecodedLineList destination;
  RecordingUi ui;
  ui.stopAfterBlocks = 2;
  const std::size_t kept = ExecuteFilter(source, destination, rules, ui);
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 50000u);
  EXPECT_EQ(kept, destination.size());
  for (std::size_t i = 0; i < destination.size(); ++i) EXPECT_EQ(destination.Line(i), "0,5,New Value=0,");
  EXPECT_EQ(ui.progress.back(), "hide");
}

TEST(ExecuteFilter, SwappedOwnListFiltersAgain) {
  // "This list": the view's own lines become the source and the list is filled anew.
  DecodedLineList own;
  for (const char* line : {kCan8, kCan2, kCanEmptyDlc}) own.Append(line);
  own.SetSelected(1, true);
  DecodedLineList source;
  source.Swap(own);
  EXPECT_TRUE(own.empty());
  FilterRules rules;
  rules[0] = Match(FieldFilterKind::IfNotMatch, "DLC=2");
  RecordingUi ui;
  EXPECT_EQ(ExecuteFilter(source, own, rules, ui), 2u);
  EXPECT_EQ(Lines(own), (std::vector<std::string>{kCan8, kCanEmptyDlc}));
  EXPECT_FALSE(own.Selected(0));
  EXPECT_FALSE(own.Selected(1));
}

TEST(FilterLineCountText, SingularUpToOne) {
  EXPECT_EQ(FilterLineCountText(0), "0 line");
  EXPECT_EQ(FilterLineCountText(1), "1 line");
  EXPECT_EQ(FilterLineCountText(2), "2 lines");
  EXPECT_EQ(FilterLineCountText(10000000), "10000000 lines");
}

TEST(FieldNameLists, SortedWithoutExactDuplicates) {
  FieldNameLists lists;
  for (const char* name : {"ID", "DataFrame", "DLC", "ID", "id", "Data", "New Value", "$x", "\xE9t\xE9"})
    lists.Add(1, name);
  EXPECT_EQ(lists.Names(1),
            (std::vector<std::string>{"$x", "Data", "DataFrame", "DLC", "ID", "id", "New Value", "\xE9t\xE9"}));
  EXPECT_TRUE(lists.Names(0).empty());
  lists.Clear(1);
  EXPECT_TRUE(lists.Names(1).empty());
}

TEST(FieldNameLists, ChosenFieldFollowsItsNameAndIsDroppedWithTheList) {
  TestRig rig;
  FieldNameLists& names = rig.pipeline.Services().fieldNames;
  for (const char* name : {"ID", "DataFrame", "DLC"}) names.Add(0, name);
  rig.settings.filters[0].field = 1;  // DLC
  names.Add(0, "Checksum");
  names.Add(0, "Zeta");
  names.Add(0, "DLC");
  EXPECT_EQ(rig.settings.filters[0].field, 2);
  EXPECT_EQ(names.Names(0)[2], "DLC");

  rig.settings.filters[1].field = 5;  // points past an empty list: left alone, never shifted
  names.Add(1, "A");
  EXPECT_EQ(rig.settings.filters[1].field, 5);

  // The run reset of a Logical channel empties its list before registering "New Value".
  rig.settings.channels[0].active = true;
  rig.settings.channels[0].type = ChannelType::Logical;
  rig.pipeline.ResetRun();
  EXPECT_EQ(names.Names(0), (std::vector<std::string>{"New Value"}));
  EXPECT_EQ(rig.settings.filters[0].field, -1);
  EXPECT_EQ(rig.settings.filters[1].field, 5);
}

TEST(FieldNameLists, ManyNamesComeWithOneNoticeAndTheChosenFieldFollows) {
  struct CountingUi : RecordingUi {
    int notices = 0;
    void FieldNamesChanged(int) override { ++notices; }
  } ui;
  Settings settings;
  Pipeline pipeline(settings, ui);
  FieldNameLists& names = pipeline.Services().fieldNames;
  names.Add(2, "ID");
  names.Add(2, "Data");
  settings.filters[2].field = 1;  // ID
  names.AddMany(2, {"Alpha", "Beta", "Data", "Zulu", "Gamma"});
  EXPECT_EQ(ui.notices, 3);
  EXPECT_EQ(names.Names(2), (std::vector<std::string>{"Alpha", "Beta", "Data", "Gamma", "ID", "Zulu"}));
  EXPECT_EQ(settings.filters[2].field, 4);

  // Thousands of names, some twice or already there, some differing in case only: the list
  // that adding them one by one makes, and the chosen field still on its name.
  std::vector<std::string> many;
  for (int i = 0; i < 3000; ++i) many.push_back((i % 3 == 0 ? "sig" : "Sig") + std::to_string(i * 7919 % 1000));
  many.push_back("ID");
  FieldNameLists oneByOne;
  for (const std::string& n : names.Names(2)) oneByOne.Add(2, n);
  for (const std::string& n : many) oneByOne.Add(2, n);
  names.AddMany(2, std::vector<std::string_view>(many.begin(), many.end()));
  EXPECT_EQ(names.Names(2), oneByOne.Names(2));
  EXPECT_EQ(names.Names(2)[static_cast<std::size_t>(settings.filters[2].field)], "ID");
  EXPECT_EQ(ui.notices, 4);
}

TEST(FieldNameLists, ChosenFieldComesBackWithItsNameAtTheNextRun) {
  TestRig rig;
  FieldNameLists& names = rig.pipeline.Services().fieldNames;
  int& field = rig.settings.filters[0].field;
  ChannelSettings& ch = rig.settings.channels[0];
  ch.active = true;
  ch.type = ChannelType::Can;
  ch.canFile = rig.dir.Write("bus.cfd", "[BAUDRATE]\r\nValue=500000\r\n");
  rig.pipeline.ResetRun();
  ASSERT_EQ(names.Names(0), (std::vector<std::string>{"DataFrame", "DLC", "ID"}));
  field = 1;  // DLC
  rig.pipeline.ResetRun();
  EXPECT_EQ(field, 1);

  // A run whose list lacks the name has no field; the name's return brings it back.
  ch.type = ChannelType::Logical;
  rig.pipeline.ResetRun();
  EXPECT_EQ(field, -1);
  ch.type = ChannelType::Can;
  rig.pipeline.ResetRun();
  EXPECT_EQ(field, 1);
  names.Add(0, "Checksum");
  EXPECT_EQ(field, 2);
  names.Clear(0);
  names.AddMany(0, {"Zeta", "DLC", "Alpha", "Checksum"});
  EXPECT_EQ(names.Names(0)[static_cast<std::size_t>(field)], "DLC");

  // The latest choice is the one awaited; settings loaded anew await none.
  field = 0;  // Alpha
  rig.pipeline.ResetRun();
  EXPECT_EQ(field, -1);
  names.Add(0, "Alpha");
  EXPECT_EQ(field, 0);
  rig.pipeline.ForgetAwaitedFields();
  field = -1;
  rig.pipeline.ResetRun();
  names.Add(0, "Alpha");
  EXPECT_EQ(field, -1);

  // An index loaded before any name came names nothing to wait for.
  rig.settings.filters[1].field = 2;
  names.Clear(1);
  for (const char* name : {"A", "B", "C"}) names.Add(1, name);
  EXPECT_EQ(rig.settings.filters[1].field, -1);
}

TEST(ChooseFilterField, ABlankComparisonBecomesEqual) {
  struct Case {
    int equalBefore;
    int field;
    int equalAfter;
  };
  const Case cases[] = {
      {-1, 1, kCompareEqual},
      {kCompareCount, 1, kCompareEqual},  // nothing the list can select
      {kCompareDiffer, 1, kCompareDiffer},
      {kCompareEqual, 0, kCompareEqual},
      {-1, -1, -1},
  };
  const std::vector<std::string> names{"DataFrame", "DLC", "ID"};
  for (const Case& c : cases) {
    FilterRowSettings row{static_cast<int>(FieldFilterKind::IfField), -1, c.equalBefore, "8", "", ""};
    ChooseFilterField(row, c.field);
    EXPECT_EQ(row.field, c.field);
    EXPECT_EQ(row.equal, c.equalAfter) << c.equalBefore << " " << c.field;
  }
  // The rule that a field picked with no comparison makes lets lines pass.
  FilterRowSettings row{static_cast<int>(FieldFilterKind::IfField), -1, -1, "8", "", ""};
  ChooseFilterField(row, 1);
  FilterRules rules;
  rules[0] = MakeFilterRule(row, names);
  EXPECT_TRUE(LinePasses(kCan8, rules));
  EXPECT_FALSE(LinePasses(kCan2, rules));
}

TEST(ExecuteFilter, SourceEmptiedWhileEventsRunEndsTheRun) {
  // The interface runs its events while Stop is asked; a run start may clear the Hexa lines.
  struct ClearingUi : RecordingUi {
    DecodedLineList* source = nullptr;
    bool StopRequested() override {
      source->Clear();
      return false;
    }
  };
  DecodedLineList source, destination;
  for (int i = 0; i < 5000; ++i) source.Append("0,1,X,");
  ClearingUi ui;
  ui.source = &source;
  EXPECT_EQ(ExecuteFilter(source, destination, FilterRules{}, ui), 1024u);
  EXPECT_EQ(ui.progress.back(), "hide");
}
