// The one save every file of the program goes through: what it leaves in the folder, links,
// access rights, and failures that must leave nothing behind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "TestRig.h"
#include "app/SafeSave.h"

using namespace velkor;
using namespace velkor::test;

namespace fs = std::filesystem;

namespace {

// The names in a folder, links included.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

fs::perms Rights(const std::string& path) { return fs::status(path).permissions() & fs::perms::mask; }

}  // namespace

TEST(SafeSave, ReplacesTheFileAndTouchesNoOtherFileOfTheFolder) {
  TempDir dir;
  const std::string path = dir.Write("keep.txt", "old");
  // Names an older save used for its temporary, and the look of the helper's own ones.
  dir.Write("keep.txt.tmp", "the user's own");
  dir.Write("keep.txt.velkor-save", "also the user's");
  dir.Write(".keep.txt.aaaaaaaa.tmp", "and this");
  const std::set<std::string> before = Names(dir.Path());

  EXPECT_FALSE(SafeSaveFile(path, "new text"));
  EXPECT_EQ(ReadWholeFile(path), "new text");
  EXPECT_EQ(ReadWholeFile(dir.File("keep.txt.tmp")), "the user's own");
  EXPECT_EQ(ReadWholeFile(dir.File("keep.txt.velkor-save")), "also the user's");
  EXPECT_EQ(ReadWholeFile(dir.File(".keep.txt.aaaaaaaa.tmp")), "and this");
  EXPECT_EQ(Names(dir.Path()), before);

  // A new file, and an empty content.
  EXPECT_FALSE(SafeSaveFile(dir.File("fresh.cfg"), ""));
  EXPECT_TRUE(fs::is_regular_file(dir.File("fresh.cfg")));
  EXPECT_EQ(fs::file_size(dir.File("fresh.cfg")), 0u);
  EXPECT_EQ(Names(dir.Path()).size(), before.size() + 1);
}

TEST(SafeSave, WritesThroughSymbolicLinksAndKeepsThem) {
  struct Case {
    const char* name;
    const char* link;    // made in the folder "links"
    const char* points;  // what the link says
    const char* target;  // the file that must get the content, from the test folder
    bool targetExists;
  };
  const Case cases[] = {
      {"relative", "a.cfg", "../data/a.cfg", "data/a.cfg", true},
      {"absolute", "b.cfg", "", "data/b.cfg", true},
      {"chain of links", "c.cfg", "c2.cfg", "data/c.cfg", true},
      {"dangling", "d.cfg", "../data/new.cfg", "data/new.cfg", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir.File("links"));
    fs::create_directories(dir.File("data"));
    const std::string target = dir.File(c.target);
    if (c.targetExists) dir.Write(c.target, "old");
    const std::string link = dir.File(std::string("links/") + c.link);
    if (std::string(c.name) == "absolute") {
      fs::create_symlink(target, link);
    } else if (std::string(c.name) == "chain of links") {
      fs::create_symlink(c.points, link);
      fs::create_symlink("../data/c.cfg", dir.File("links/c2.cfg"));
    } else {
      fs::create_symlink(c.points, link);
    }
    const std::set<std::string> linksBefore = Names(dir.File("links"));

    EXPECT_FALSE(SafeSaveFile(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(Names(dir.File("links")), linksBefore);
    EXPECT_EQ(Names(dir.File("data")).size(), 1u);
  }
}

TEST(SafeSave, KeepsTheAccessRightsOfTheFileItReplaces) {
  TempDir dir;
  for (const fs::perms rights : {fs::perms(0640), fs::perms(0600), fs::perms(0755), fs::perms(0444)}) {
    const std::string path = dir.Write("rights.cfg", "old");
    fs::permissions(path, rights);
    EXPECT_FALSE(SafeSaveFile(path, "new"));
    EXPECT_EQ(Rights(path), rights);
    EXPECT_EQ(ReadWholeFile(path), "new");
    fs::remove(path);
  }
  // Through a link: the target's rights, and the link is left as it is.
  const std::string target = dir.Write("target.cfg", "old");
  fs::permissions(target, fs::perms(0604));
  fs::create_symlink("target.cfg", dir.File("link.cfg"));
  EXPECT_FALSE(SafeSaveFile(dir.File("link.cfg"), "new"));
  EXPECT_EQ(Rights(target), fs::perms(0604));

  // A new file gets the rights any new file gets (the umask), not the temporary file's own.
  const mode_t mask = umask(022);
  EXPECT_FALSE(SafeSaveFile(dir.File("new.cfg"), "new"));
  umask(mask);
  EXPECT_EQ(Rights(dir.File("new.cfg")), fs::perms(0644));
}

TEST(SafeSave, EveryFailureIsReportedAndLeavesNoTemporary) {
  TempDir dir;
  // The rename cannot replace a folder.
  fs::create_directories(dir.File("folder/inside"));
  EXPECT_TRUE(SafeSaveFile(dir.File("folder"), "new"));
  EXPECT_TRUE(fs::is_directory(dir.File("folder/inside")));
  // No such folder; an empty path; a folder's own path.
  EXPECT_TRUE(SafeSaveFile(dir.File("none/a.cfg"), "new"));
  EXPECT_TRUE(SafeSaveFile("", "new"));
  EXPECT_TRUE(SafeSaveFile(dir.Path() + "/", "new"));
  // Links in a loop.
  fs::create_symlink("loop2", dir.File("loop1"));
  fs::create_symlink("loop1", dir.File("loop2"));
  EXPECT_TRUE(SafeSaveFile(dir.File("loop1"), "new"));
  EXPECT_TRUE(fs::is_symlink(dir.File("loop1")));
  // A save given up half-way (the writer stopped before Commit) leaves the old file.
  const std::string path = dir.Write("a.cfg", "old");
  {
    SafeSave save(path);
    EXPECT_FALSE(save.Failed());
    save.Write("half of the n");
  }
  EXPECT_EQ(ReadWholeFile(path), "old");

  EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"a.cfg", "folder", "loop1", "loop2"}));
}

TEST(SafeSave, PiecesWrittenOneAfterAnotherMakeTheFile) {
  TempDir dir;
  const std::string path = dir.File("lines.txt");
  SafeSave save(path);
  EXPECT_EQ(save.Target(), path);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = "line " + std::to_string(i) + "\r\n";
    save.Write(piece);
    expected += piece;
  }
  // Nothing is seen under the target's name before the commit.
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(save.Commit());
  EXPECT_EQ(ReadWholeFile(path), expected);
  EXPECT_EQ(Names(dir.Path()).size(), 1u);
}
