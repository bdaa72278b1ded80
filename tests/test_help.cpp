// The help document's chapter index, the built-in manual, and the version text.

#include <gtest/gtest.h>

#include <string>

#include "TestRig.h"
#include "app/HelpIndex.h"
#include "app/Version.h"

using namespace velkor;
using namespace velkor::test;

namespace {

std::vector<std::string> Titles(const HelpDocument& doc) {
  std::vector<std::string> titles;
  for (const HelpChapter& c : doc.chapters) titles.push_back(c.title);
  return titles;
}

}  // namespace

TEST(HelpIndex, ChaptersCarryTitlePositionLengthColourAndStyle) {
  const HelpDocument doc = IndexHelpDocument(
      R"({\rtf1{\colortbl ;\red0\green0\blue128;\red0\green100\blue0;})"
      R"({\cf1\b\fs28 \'a7Getting started\par})"
      R"(Some text.\par)"
      R"({\cf2\i \'a7Ports {\b on} Linux\line second line\par})"
      R"(\'a7Last)"
      "}");
  ASSERT_EQ(Titles(doc), (std::vector<std::string>{"Getting started", "Ports on Linux", "Last"}));
  const std::string text = doc.content.PlainText();
  EXPECT_EQ(text, " Getting started\nSome text.\n Ports on Linux\vsecond line\n Last");

  EXPECT_EQ(doc.chapters[0].position, 0u);
  EXPECT_EQ(doc.chapters[0].length, 15u);
  EXPECT_TRUE(doc.chapters[0].hasColour);
  EXPECT_EQ(doc.chapters[0].colour, (Colour{0, 0, 128}));
  EXPECT_EQ(doc.chapters[0].style, kHelpBold);

  EXPECT_EQ(doc.chapters[1].position, text.find(" Ports"));
  EXPECT_EQ(doc.chapters[1].colour, (Colour{0, 100, 0}));
  EXPECT_EQ(doc.chapters[1].style, kHelpItalic);  // the style at the marker, not of a later word

  EXPECT_EQ(doc.chapters[2].length, 4u);  // the last line ends with the text
  EXPECT_FALSE(doc.chapters[2].hasColour);
  EXPECT_EQ(doc.chapters[2].style, 0);
}

TEST(HelpIndex, TopicsAreFoundByTheFirstTitleThatContainsTheKey) {
  const HelpDocument doc = IndexHelpDocument(
      R"({\rtf1 \'a7Channel settings\par \'a7Hexa View\par \'a7Channel settings\par \'a7X\par \'a7Filter View\par})");
  EXPECT_EQ(FindHelpTopic(doc.chapters, "Channel"), 0);     // two equal titles: the first
  EXPECT_EQ(FindHelpTopic(doc.chapters, "View"), 1);
  EXPECT_EQ(FindHelpTopic(doc.chapters, "Filter View"), 4);
  EXPECT_EQ(FindHelpTopic(doc.chapters, "channel"), -1);    // case counts
  EXPECT_EQ(FindHelpTopic(doc.chapters, "Graphic View"), -1);
  EXPECT_EQ(FindHelpTopic(doc.chapters, "X"), 3);
  EXPECT_FALSE(IsChapterShowable(doc.chapters[3]));         // listed, but no jump
  EXPECT_TRUE(IsChapterShowable(doc.chapters[1]));

  // The one-character title stays out of the index text; the others go there once each.
  const std::string index = ParseRtf(HelpIndexRtf(doc.chapters)).PlainText();
  EXPECT_EQ(index, "Channel settings\nHexa View\nChannel settings\nFilter View\n");
}

TEST(HelpIndex, DocumentsWithoutMarkersBrokenHeadersAndLongTitles) {
  const HelpDocument none = IndexHelpDocument(R"({\rtf1 Nothing to index here.\par})");
  EXPECT_TRUE(none.chapters.empty());
  EXPECT_EQ(none.content.PlainText(), "Nothing to index here.\n");
  EXPECT_EQ(ParseRtf(HelpIndexRtf(none.chapters)).PlainText(), "");

  // A text that does not open with a brace gets "{\" in front.
  const HelpDocument repaired = IndexHelpDocument(R"(rtf1 \'a7Title\par})");
  EXPECT_EQ(repaired.source.substr(0, 6), "{\\rtf1");
  EXPECT_EQ(Titles(repaired), std::vector<std::string>{"Title"});
  EXPECT_EQ(IndexHelpDocument("").source, "{\\");

  const std::string longTitle(1500, 'a');
  const HelpDocument longDoc = IndexHelpDocument("{\\rtf1 \\'a7" + longTitle + "\\par}");
  ASSERT_EQ(longDoc.chapters.size(), 1u);
  EXPECT_EQ(longDoc.chapters[0].length, kMaxChapterTitle);

  // Two markers on one line: the first title holds the second marker, as the text had it.
  const HelpDocument twice = IndexHelpDocument(R"({\rtf1 \'a7A \'a7Bc\par})");
  EXPECT_EQ(Titles(twice), (std::vector<std::string>{"A \xA7" "Bc", "Bc"}));
  EXPECT_EQ(twice.content.PlainText(), " A  Bc\n");
}

TEST(HelpIndex, AtMostTwoThousandChaptersAndTheRestStaysAsWritten) {
  std::string rtf = "{\\rtf1 ";
  for (std::size_t i = 0; i <= kMaxChapters; ++i) rtf += "\\'a7T" + std::to_string(i) + "\\par ";
  rtf += "}";
  const HelpDocument doc = IndexHelpDocument(rtf);
  ASSERT_EQ(doc.chapters.size(), kMaxChapters);
  EXPECT_EQ(doc.chapters.back().title, "T1999");
  const std::string text = doc.content.PlainText();
  EXPECT_EQ(text.find('\xA7'), text.find("\xA7T2000"));
  EXPECT_NE(text.find('\xA7'), std::string::npos);
}

TEST(HelpIndex, IndexTextKeepsColourAndStyleAndEscapesTitles) {
  const HelpDocument doc = IndexHelpDocument(
      R"({\rtf1{\colortbl ;\red200\green0\blue0;}{\cf1\b\i\ul \'a7Sp\'e9cial \{braces\} \\ back\par}\'a7Plain\par})");
  const RtfDocument index = ParseRtf(HelpIndexRtf(doc.chapters));
  EXPECT_EQ(index.PlainText(), "Sp\xE9" "cial {braces} \\ back\nPlain\n");
  const RtfFormat first = index.FormatAt(0);
  EXPECT_TRUE(first.bold);
  EXPECT_TRUE(first.italic);
  EXPECT_FALSE(first.underline);  // the index drops the underline
  EXPECT_EQ(first.colour, (Colour{200, 0, 0}));
  EXPECT_FALSE(index.FormatAt(index.PlainText().find("Plain")).hasColour);
}

TEST(HelpIndex, AFileBesideTheProgramReplacesTheBuiltInManual) {
  EXPECT_EQ(ExternalHelpPath("/opt/velkor/velkor"), "/opt/velkor/velkor.rtf");
  EXPECT_EQ(ExternalHelpPath("/opt/velkor/Velkor.exe"), "/opt/velkor/Velkor.rtf");

  TempDir dir;
  const std::string program = dir.File("velkor");
  EXPECT_EQ(LoadHelpSource(program), BuiltInManual());
  dir.Write("velkor.rtf", "{\\rtf1 \\'a7Local\\par}");
  EXPECT_EQ(LoadHelpSource(program), "{\\rtf1 \\'a7Local\\par}");
}

TEST(BuiltInManual, ParsesCleanlyAndHoldsEveryTopicOfTheWindows) {
  const HelpDocument doc = IndexHelpDocument(std::string(BuiltInManual()));
  EXPECT_TRUE(doc.content.unknownWords.empty()) << *doc.content.unknownWords.begin();
  const std::string text = doc.content.PlainText();
  EXPECT_EQ(text.substr(0, 19), " Velkor user manual");
  for (const char* leak : {"Arial", "Courier", "colortbl", "fonttbl", "\\", "{", "}"})
    EXPECT_EQ(text.find(leak), std::string::npos) << leak;
  EXPECT_EQ(text.find('\xA7'), std::string::npos);  // every marker indexed

  const struct {
    const char* key;
    const char* chapter;
  } topics[] = {
      {"Frame Description", "Frame Description editor"},
      {"Channel", "Channel settings"},
      {"MANCHESTER type", "MANCHESTER type"},
      {"LOGICAL type", "LOGICAL type"},
      {"LIN type", "LIN type"},
      {"SERIAL type", "SERIAL type"},
      {"CAN type", "CAN type"},
      {"Graphic View", "Graphic View"},
      {"Hexa View", "Hexa View"},
      {"Filter View", "Filter View"},
      {"Apply", "Apply from: filtering step by step"},
  };
  for (const auto& t : topics) {
    const int found = FindHelpTopic(doc.chapters, t.key);
    ASSERT_GE(found, 0) << t.key;
    EXPECT_EQ(doc.chapters[found].title, t.chapter) << t.key;
    EXPECT_TRUE(IsChapterShowable(doc.chapters[found]));
  }
  for (const HelpChapter& c : doc.chapters) {
    EXPECT_TRUE(c.hasColour) << c.title;  // headings stand out in the index list
    EXPECT_EQ(c.style & kHelpBold, kHelpBold) << c.title;
  }
}

TEST(Version, TextFromTheFileVersion) {
  const struct {
    const char* version;
    const char* text;
  } cases[] = {
      {"3.3.0.1", "3.3  Build 1"},
      {"10.20.30.4567", "10.20  Build 456"},
      {"1.0.0.", "1.0  Build "},
      {"", "-"},
      {"3.3", "-"},
      {"3.3.0", "-"},
  };
  for (const auto& c : cases) EXPECT_EQ(VersionText(c.version), c.text) << c.version;
  EXPECT_EQ(CommentText(""), "-");
  EXPECT_EQ(CommentText("Beta for the bench"), "Beta for the bench");

  // The build always brands the program with a four-number version.
  EXPECT_NE(VersionText(ProgramVersionRecord().fileVersion), "-");
  const ContactAddresses contacts = ProgramContacts();
  EXPECT_FALSE(contacts.technicalMail.empty());
  EXPECT_FALSE(contacts.commercialWeb.empty());
}

TEST(Version, MailLinksCarryTheSubjectAndTheBody) {
  EXPECT_EQ(MailtoLink("hotline@example.com", "Question"),
            "mailto:hotline@example.com?subject=Question&body=...");
  EXPECT_EQ(MailtoLink("sales@example.com", "[Kivo]"), "mailto:sales@example.com?subject=%5BKivo%5D&body=...");
}
