// Saves that a kill cannot tear. A child process saves a file again and again, alternating
// two contents, and is killed with SIGKILL at a random moment; after every kill the file
// must hold one of the two contents whole: never a mix, a cut or nothing. 1000 kills in all,
// shared among the kinds of save the program makes: LastVelkor.cfg, a description from the
// editor, a Save all of decoded lines, and a help file saved over a symbolic link (which must
// stay a link). A file of the user's named like an old temporary ("<name>.tmp") lies beside
// each and must come through every kill untouched.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestRig.h"
#include "app/ConfigFile.h"
#include "app/SafeSave.h"
#include "app/Settings.h"
#include "channels/FrameDescriptionText.h"
#include "views/LineText.h"

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kKillsInAll = 1000;

// Two settings that differ in nearly every key and in length, so a torn file cannot pass
// for either.
Settings ConfigVersion(int version) {
  Settings s;
  s.port = version == 0 ? 3 : 11;
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelSettings& ch = s.channels[i];
    ch.type = version == 0 ? ChannelType::Serial : ChannelType::Manchester;
    ch.caption = (version == 0 ? "Old" : "New") + std::to_string(i);
    ch.active = version == 1;
    for (int k = 0; k < (version == 0 ? 3 : kMaxManchesterFiles); ++k)
      ch.manchesterFiles.push_back({"/descriptions/v" + std::to_string(version) + "/slot" + std::to_string(k) + ".mfd",
                                    k % 2 == 0});
    ch.serialFile = version == 0 ? "a.sfd" : "/a/much/longer/path/to/the/serial/description.sfd";
    s.filters[i].match = std::string(version == 0 ? 40 : 400, static_cast<char>('a' + i));
  }
  s.main = version == 0 ? WindowPlacement{1, 2, 300, 400, false} : WindowPlacement{-4, -4, 768, 1024, true};
  s.textColours[0] = Colour::FromBgr(version == 0 ? 0x123456 : 0x654321);
  return s;
}

// Two lists of decoded lines, for Save all.
const DecodedLineList& LinesVersion(int version) {
  static std::array<DecodedLineList, 2> lists;
  DecodedLineList& list = lists[version];
  if (list.empty())
    for (int i = 0; i < (version == 0 ? 1500 : 2200); ++i)
      list.Append("0," + std::to_string(1000 + 7 * i + version) + ",ID=12A,DLC=2,DataFrame=00 " +
                  std::to_string(i % 100) + ",");
  return list;
}

// A description as the editor holds it: lines joined by '\n'.
std::string DescriptionVersion(int version) {
  std::string text = "; edited\n[BAUDRATE]\nValue=" + std::string(version == 0 ? "125000" : "500000") + "\n[ID]\n";
  for (int id = 0; id < (version == 0 ? 300 : 420); ++id) text += std::to_string(100 + id) + "=Frame_" + std::to_string(id) + "\n";
  return text;
}

struct SaveKind {
  const char* name;
  const char* fileName;
  // The file as it is before the first save: unknown keys that every save keeps.
  std::string initial;
  // Saved through a symbolic link in the folder to a file of that name in a subfolder.
  bool throughLink;
  // Saves version 0 or 1 of the content; true when the save failed.
  std::function<bool(const std::string& path, int version)> save;
};

std::vector<SaveKind> SaveKinds() {
  std::string notes = "[NOTES]\r\n";
  for (int i = 0; i < 300; ++i) notes += "note" + std::to_string(i) + "=kept by every save\r\n";
  return {
      {"configuration", "LastVelkor.cfg", notes, false,
       [](const std::string& path, int version) { return SaveConfigFile(path, ConfigVersion(version)); }},
      {"description", "edited.cfd", "", false,
       [](const std::string& path, int version) {
         return WriteFrameDescriptionText(path, DescriptionVersion(version));
       }},
      {"Save all", "lines.txt", "", false,
       [](const std::string& path, int version) {
         ChannelCaptions captions;
         captions.text[0] = "CAN";
         return SaveRenderedLines(path, LinesVersion(version), captions, false);
       }},
      {"help file through a link", "HelpFile.rtf", "", true,
       [](const std::string& path, int version) {
         return SafeSaveFile(path, "{\\rtf1 " + std::string(version == 0 ? 20000 : 30000, 'h') + "}");
       }},
  };
}

// What a save of each version leaves, found by saving once over a copy of the initial file.
std::array<std::string, 2> ExpectedContents(const TempDir& dir, const SaveKind& kind) {
  std::array<std::string, 2> contents;
  for (int v = 0; v < 2; ++v) {
    const std::string path = dir.Write(std::string("expected-") + kind.fileName, kind.initial);
    EXPECT_FALSE(kind.save(path, v));
    contents[v] = ReadWholeFile(path);
  }
  return contents;
}

// Forks a child that says it is ready, then saves versions 1, 0, 1, ... until it is killed.
pid_t StartSaver(const SaveKind& kind, const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const char c = 'r';
    (void)write(ready[1], &c, 1);
    // A parent that died must not leave the saver running for ever.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int version = 1; std::chrono::steady_clock::now() < end; version ^= 1) (void)kind.save(path, version);
    _exit(0);
  }
  close(ready[1]);
  pollfd p{ready[0], POLLIN, 0};
  char c;
  if (pid > 0 && !(poll(&p, 1, 10000) == 1 && read(ready[0], &c, 1) == 1)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    return -1;
  }
  close(ready[0]);
  return pid;
}

// The temporary files a kill left in the folder of the file named name.
int Temporaries(const std::string& folder, const std::string& name) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string file = entry.path().filename().string();
    if (file.starts_with("." + name + ".") && file.ends_with(".tmp")) ++count;
  }
  return count;
}

}  // namespace

TEST(CrashSafeSave, EveryKillLeavesTheOldOrTheNewFileWhole) {
  const std::vector<SaveKind> kinds = SaveKinds();
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // Kills fall anywhere in a few saves; one save of these files takes well under that.
  std::uniform_int_distribution<int> delayMicros(0, 3000);

  int killedWithTemporary = 0;
  for (std::size_t n = 0; n < kinds.size(); ++n) {
    const SaveKind& kind = kinds[n];
    SCOPED_TRACE(kind.name);
    TempDir dir;
    const std::array<std::string, 2> expected = ExpectedContents(dir, kind);
    ASSERT_NE(expected[0], expected[1]);
    const std::string path = dir.File(kind.fileName);
    std::string folder = dir.Path();
    if (kind.throughLink) {
      std::filesystem::create_directories(dir.File("target"));
      std::filesystem::create_symlink(std::string("target/") + kind.fileName, path);
      folder = dir.File("target");
    }
    ASSERT_FALSE(kind.save(dir.Write(kind.throughLink ? std::string("target/") + kind.fileName : kind.fileName,
                                     kind.initial),
                           0));
    const std::string usersOwn = dir.Write(std::string(kind.fileName) + ".tmp", "the user's own file");

    const int kills = static_cast<int>((kKillsInAll + n) / kinds.size());
    for (int k = 0; k < kills; ++k) {
      const int temporariesBefore = Temporaries(folder, kind.fileName);
      const pid_t pid = StartSaver(kind, path);
      ASSERT_GT(pid, 0) << "the saver did not start";
      std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(rng)));
      ASSERT_EQ(kill(pid, SIGKILL), 0);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saver ended before the kill";

      const std::string content = ReadWholeFile(path);
      ASSERT_TRUE(content == expected[0] || content == expected[1])
          << "kill " << k << " left " << content.size() << " bytes, neither version (" << expected[0].size()
          << " or " << expected[1].size() << " bytes)";
      if (kind.throughLink) {
        ASSERT_TRUE(std::filesystem::is_symlink(path)) << "kill " << k;
      }
      killedWithTemporary += Temporaries(folder, kind.fileName) > temporariesBefore ? 1 : 0;
    }
    EXPECT_EQ(ReadWholeFile(usersOwn), "the user's own file");
    // A save after the kills still works, and leaves no temporary of its own.
    const int left = Temporaries(folder, kind.fileName);
    EXPECT_FALSE(kind.save(path, 0));
    EXPECT_EQ(ReadWholeFile(path), expected[0]);
    EXPECT_EQ(Temporaries(folder, kind.fileName), left);
  }
  // Some kills must have fallen inside a save, or the test proved nothing.
  EXPECT_GT(killedWithTemporary, 0);
  RecordProperty("KillsDuringAWrite", killedWithTemporary);
}
