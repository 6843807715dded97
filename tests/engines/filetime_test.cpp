#include "engines/filetime.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "disk_testing.h"
#include "platform/directory.h"
#include "support/temp_folder.h"

using namespace disk_testing;
using testing_support::TempFolder;

namespace {

// Linux stamps files from a coarse clock that may lag the system time by a tick, so
// the changes of a test are made clearly after the start time that it takes.
uint64_t StartTimeThenWait() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  Sleep(30);
  return engines::FileTimeValue(now);
}

size_t IndexOf(const Paths& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) - paths.begin();
}

}  // namespace

TEST(FindNewerFiles, ReportsWhatWasWrittenOrCreatedAfterTheStart) {
  TempFolder tree;
  for (const char* name : {"old.txt", "rewritten.txt", "read.txt", "gone.txt", "old dir\\keep.txt"})
    tree.Write(name, "1");
  const uint64_t start = StartTimeThenWait();
  tree.Write("rewritten.txt", "22");
  // Extracted with its original time: new all the same.
  tree.Write("extracted.dat", "x");
  ASSERT_TRUE(SetWriteTime(tree / "extracted.dat", LocalTime(2001, 2, 3, 4, 5, 6)));
  tree.Write("new dir\\b", "1");
  tree.Write("new dir\\a", "1");
  // Names that begin with a dot are walked like any other.
  tree.Write(".profile", "1");
  tree.Write(".cache\\x", "1");
  tree.Write("..x\\y", "1");
  tree.Read("read.txt");
  testing_support::RemoveTree(tree / "gone.txt");

  const std::string root = WatchedRoot(tree);
  engines::ResultList result{{"earlier", {}}};
  Paths progress;
  engines::FindNewerFiles(result, start, Watch({root}),
                          [&](const std::string& text) { progress.push_back(text); });

  Paths found = Texts(result);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found[0], "earlier");  // appended, not cleared
  Paths newer(found.begin() + 1, found.end());
  EXPECT_LT(IndexOf(newer, root + "\\new dir"), IndexOf(newer, root + "\\new dir\\a"));
  std::sort(newer.begin(), newer.end());
  Paths expected;
  for (const char* name : {"\\..x", "\\..x\\y", "\\.cache", "\\.cache\\x", "\\.profile",
                           "\\extracted.dat", "\\new dir", "\\new dir\\a", "\\new dir\\b",
                           "\\rewritten.txt"})
    expected.push_back(root + name);
  EXPECT_EQ(newer, expected);
  EXPECT_EQ(progress, Paths({root}));
}

TEST(FindNewerFiles, FindsFilesBeyondMaxPath) {
  TempFolder tree;
  const std::string file = DeepFile(tree, 312);
  tree.MakeFolder(file.substr(0, file.rfind('\\')));
  const uint64_t start = StartTimeThenWait();
  tree.Write(file, "x");
  const std::string root = WatchedRoot(tree);
  engines::ResultList result;
  engines::FindNewerFiles(result, start, Watch({root}), nullptr);
  Paths found = Texts(result);
  EXPECT_NE(std::find(found.begin(), found.end(), root + "\\" + file), found.end());
}

TEST(FindNewerFiles, EqualToTheStartIsNotNewerAndZeroTimesDoNotCount) {
  const FILETIME zero{};
  const FILETIME old = LocalTime(2001, 2, 3, 4, 5, 6);
  const uint64_t start = engines::FileTimeValue(old);
  const FILETIME later{old.dwLowDateTime + 1, old.dwHighDateTime};
  EXPECT_FALSE(engines::IsNewer(old, old, start));
  EXPECT_TRUE(engines::IsNewer(later, old, start));
  EXPECT_TRUE(engines::IsNewer(old, later, start));
  // No creation time kept: the last-write time alone decides.
  EXPECT_FALSE(engines::IsNewer(zero, old, start));
  EXPECT_TRUE(engines::IsNewer(zero, later, start));
  EXPECT_FALSE(engines::IsNewer(zero, zero, 0));
  // Unsigned: a time past 2^63 is later, not negative.
  EXPECT_TRUE(engines::IsNewer(zero, FILETIME{0, 0x80000000u}, start));

  // A real file, against its own latest time and one tick before it.
  TempFolder tree;
  tree.Write("f", "1");
  platform::FolderSearch search(WatchedRoot(tree), platform::CreationTime::ChangeTimeOnWine);
  platform::FolderEntry entry;
  ASSERT_TRUE(search.Next(entry));
  while (entry.name != "f") ASSERT_TRUE(search.Next(entry));
  const uint64_t latest = std::max(engines::FileTimeValue(entry.creationTime),
                                   engines::FileTimeValue(entry.lastWriteTime));
  engines::ResultList atLatest, justBefore;
  engines::FindNewerFiles(atLatest, latest, Watch({WatchedRoot(tree)}), nullptr);
  engines::FindNewerFiles(justBefore, latest - 1, Watch({WatchedRoot(tree)}), nullptr);
  EXPECT_TRUE(atLatest.empty());
  EXPECT_EQ(Texts(justBefore), Paths({WatchedRoot(tree) + "\\f"}));
}

TEST(FindNewerFiles, DriveRootPathsHaveOneBackslash) {
  TempFolder tree;
  const uint64_t start = StartTimeThenWait();
  tree.Write("fresh.txt", "1");
  engines::ResultList result;
  engines::FindNewerFiles(result, start, Watch({"c:\\"}), nullptr);
  Paths found = Texts(result);
  for (const std::string& path : found) {
    EXPECT_EQ(path.compare(0, 3, "c:\\"), 0) << path;
    EXPECT_EQ(path.find("\\\\"), std::string::npos) << path;
  }
  EXPECT_LT(IndexOf(found, WatchedRoot(tree) + "\\fresh.txt"), found.size());
}

namespace {

// An abort story for ExitWith: an empty answer when all went as it should.
std::string WalkStoppedAfterTheFirstRoot() {
  TempFolder first, second;
  const uint64_t start = StartTimeThenWait();
  first.Write("a\\b", "1");
  second.Write("c", "1");
  engines::ResultList result;
  int calls = 0;
  engines::FindNewerFiles(result, start, Watch({WatchedRoot(first), WatchedRoot(second)}),
                          [&](const std::string&) {
                            if (++calls == 1) PostQuitMessage(0);
                          });
  // The first root, once begun, is walked to its end.
  if (Texts(result) != Paths({WatchedRoot(first) + "\\a", WatchedRoot(first) + "\\a\\b"}))
    return "found " + std::to_string(result.size());
  return calls == 1 ? "" : "the second root was walked";
}

}  // namespace

TEST(FindNewerFilesDeathTest, AbortStopsBetweenRoots) {
  EXPECT_EXIT(ExitWith(WalkStoppedAfterTheFirstRoot()), testing::ExitedWithCode(0), "");
}
