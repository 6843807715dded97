#include "engines/disk.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disk_testing.h"
#include "engines/filetime.h"
#include "platform/system.h"
#include "platform/ioerror.h"
#include "support/temp_folder.h"

using namespace disk_testing;
using testing_support::TempFolder;

namespace {

Paths ReadPaths(const std::string& listing) {
  Paths paths;
  engines::ListingReader reader(listing);
  for (reader.Next(); !reader.AtEnd(); reader.Next()) paths.push_back(reader.Record().path);
  return paths;
}

struct Differences {
  engines::ResultList added, deleted, changed;
};

Differences Compare(const std::string& before, const std::string& after) {
  Differences d;
  engines::CompareDiskSnapshots(before, after, d.added, d.deleted, d.changed, nullptr);
  return d;
}

// 2001-02-03 04:05:06 local: DOS date 0x2A43, time 0x20A3.
const FILETIME kOldTime = LocalTime(2001, 2, 3, 4, 5, 6);

}  // namespace

TEST(DiskSnapshot, WritesTheListingFormatToTheByte) {
  TempFolder tree, work;
  tree.Write("b.txt", "abc");
  tree.Write("A\\x", "");
  tree.Write("cr.bin", std::string(0xA3 ^ 13, 'z'));  // low stamp byte 13
  for (const char* name : {"b.txt", "A\\x", "cr.bin", "A"}) ASSERT_TRUE(SetWriteTime(tree / name, kOldTime));

  const std::string root = WatchedRoot(tree);
  engines::SnapshotDisks(work / "VORTAN$$.$$1", Watch({root}), nullptr);

  const std::string expected = "0" + root + "\r\n" +
                               "1\xA3\x20\x43\x2A" "A\r\n" +
                               "2\xA3\x20\x43\x2A" "x\r\n" +
                               "1\xA0\x20\x43\x2A" "b.txt\r\n" +
                               "1\x2D\x20\x43\x2A" "cr.bin\r\n";
  EXPECT_EQ(work.Read("VORTAN$$.$$1"), expected);
  EXPECT_EQ(ReadPaths(work / "VORTAN$$.$$1"),
            Paths({root, root + "\\A", root + "\\A\\x", root + "\\b.txt", root + "\\cr.bin"}));
}

TEST(DiskSnapshot, SortsSiblingsByLocaleAndListsEqualNamesOnce) {
  TempFolder tree, work;
  // The search returns these by upper-case code: "_under" last, "co-op" before "coop".
  // Names that begin with a dot are entries like any other: only "." and ".." are not.
  for (const char* name : {"zeta", "co-op", "coop", "_under", "B.txt", "a.txt", "a.b", ".hidden",
                           ".git\\config", "d\\.cache\\x", "d\\y", "ss", "\xDF", "..x"})
    tree.Write(name, "1");
  const std::string root = WatchedRoot(tree);
  engines::SnapshotDisks(work / "list", Watch({root}), nullptr);

  // "ß" compares equal to "ss": only the first one found is listed.
  Paths expected;
  for (const char* name : {"", "\\..x", "\\.git", "\\.git\\config", "\\.hidden", "\\_under",
                           "\\a.b", "\\a.txt", "\\B.txt", "\\coop", "\\co-op", "\\d",
                           "\\d\\.cache", "\\d\\.cache\\x", "\\d\\y", "\\ss", "\\zeta"})
    expected.push_back(root + name);
  EXPECT_EQ(ReadPaths(work / "list"), expected);
}

TEST(DiskSnapshot, DriveRootGivesPathsWithOneBackslash) {
  TempFolder work;
  engines::SnapshotDisks(work / "list", Watch({"c:\\"}), nullptr);
  Paths paths = ReadPaths(work / "list");
  ASSERT_GT(paths.size(), 10u);
  EXPECT_EQ(paths[0], "c:\\");
  EXPECT_EQ(work.Read("list").substr(0, 5), "0c:\\\r");
  for (size_t i = 1; i < paths.size(); ++i) {
    EXPECT_EQ(paths[i].compare(0, 3, "c:\\"), 0) << paths[i];
    EXPECT_EQ(paths[i].find("\\\\"), std::string::npos) << paths[i];
  }
  EXPECT_NE(std::find(paths.begin(), paths.end(), "c:\\windows"), paths.end());
}

TEST(DiskCompare, IdenticalTreesGiveNothing) {
  TempFolder tree, work;
  tree.Write("a\\b\\c.txt", "1");
  tree.Write("d.txt", "22");
  tree.MakeFolder("empty");
  const engines::TrackedList roots = Watch({WatchedRoot(tree)});
  engines::SnapshotDisks(work / "1", roots, nullptr);
  engines::SnapshotDisks(work / "2", roots, nullptr);
  Differences d = Compare(work / "1", work / "2");
  EXPECT_TRUE(d.added.empty());
  EXPECT_TRUE(d.deleted.empty());
  EXPECT_TRUE(d.changed.empty());
}

TEST(DiskCompare, ReportsAddedDeletedAndChangedInListingOrder) {
  TempFolder tree, work;
  for (const char* name : {"change.txt", "same-stamp.txt", "old\\a.txt", "old\\sub\\b.txt", "zz.txt",
                           ".rc", ".old\\a"})
    tree.Write(name, "1");
  for (const char* name : {"change.txt", "same-stamp.txt", "old\\a.txt", "old\\sub\\b.txt", "old\\sub", "old",
                           ".rc", ".old\\a", ".old"})
    ASSERT_TRUE(SetWriteTime(tree / name, kOldTime));
  const std::string root = WatchedRoot(tree);
  const engines::TrackedList roots = Watch({root});
  engines::SnapshotDisks(work / "1", roots, nullptr);

  for (const char* name : {"change.txt", ".rc"}) {
    tree.Write(name, "22");  // only the size differs
    ASSERT_TRUE(SetWriteTime(tree / name, kOldTime));
  }
  // Size 1 to 2 and 04:05:06 to 04:05:00: the XOR comes out the same, so it goes unseen.
  tree.Write("same-stamp.txt", "22");
  ASSERT_TRUE(SetWriteTime(tree / "same-stamp.txt", LocalTime(2001, 2, 3, 4, 5, 0)));
  testing_support::RemoveTree(tree / "old");
  testing_support::RemoveTree(tree / ".old");
  testing_support::RemoveTree(tree / "zz.txt");  // the last record before
  tree.Write("new\\two.txt", "2");
  tree.Write("new\\one.txt", "1");
  tree.Write(".new\\x", "1");
  tree.Write("..x", "1");
  tree.Write("zy.txt", "y");  // the last record after
  engines::SnapshotDisks(work / "2", roots, nullptr);

  Differences d = Compare(work / "1", work / "2");
  EXPECT_EQ(Texts(d.added), Paths({root + "\\..x", root + "\\.new", root + "\\.new\\x", root + "\\new",
                                   root + "\\new\\one.txt", root + "\\new\\two.txt", root + "\\zy.txt"}));
  EXPECT_EQ(Texts(d.deleted),
            Paths({root + "\\.old", root + "\\.old\\a", root + "\\old", root + "\\old\\a.txt",
                   root + "\\old\\sub", root + "\\old\\sub\\b.txt", root + "\\zz.txt"}));
  EXPECT_EQ(Texts(d.changed), Paths({root + "\\.rc", root + "\\change.txt"}));

  work.Write("empty", "");
  Differences fromNothing = Compare(work / "empty", work / "1");
  EXPECT_EQ(Texts(fromNothing.added), ReadPaths(work / "1"));
  EXPECT_TRUE(fromNothing.deleted.empty());
}

TEST(DiskCompare, FindsFilesBeyondMaxPath) {
  TempFolder tree, work;
  const std::string file = DeepFile(tree, 312);
  const std::string folder = file.substr(0, file.rfind('\\'));
  tree.MakeFolder(folder);
  const std::string root = WatchedRoot(tree);
  engines::SnapshotDisks(work / "1", Watch({root}), nullptr);
  tree.Write(file, "x");
  engines::SnapshotDisks(work / "2", Watch({root}), nullptr);

  Differences d = Compare(work / "1", work / "2");
  EXPECT_EQ(Texts(d.added), Paths({root + "\\" + file}));
  EXPECT_TRUE(d.deleted.empty());
}

// The level character ends at depth 207: the folder there whose contents the listing
// cannot hold is named, an empty one is not.
TEST(DiskSnapshot, NamesTheFoldersTooDeepToList) {
  TempFolder tree, work;
  std::string deep;
  for (int level = 1; level < 207; ++level) deep += "d\\";  // full and empty at 207
  tree.Write(deep + "full\\x", "x");
  tree.MakeFolder(deep + "empty");
  const std::string root = WatchedRoot(tree);
  engines::ResultList notListed;
  engines::SnapshotDisks(work / "list", Watch({root}), nullptr, &notListed);
  EXPECT_EQ(Texts(notListed), Paths({root + "\\" + deep + "full"}));
  const Paths listed = ReadPaths(work / "list");
  EXPECT_EQ(listed.back(), root + "\\" + deep + "full");
}

// A link to a folder already on the way down leads round: the walks list it and go on
// (both walks: the listing and the file-time walk).
TEST(DiskSnapshot, ALinkBackUpIsListedNotWalked) {
  // Wine makes no links itself: tools/test.sh links c:\linktest\a\back to c:\linktest.
  TempFolder work;
  const std::string root = "c:\\linktest";
  ASSERT_TRUE(platform::FolderExists(root + "\\a\\back\\a"));
  engines::ResultList notListed;
  engines::SnapshotDisks(work / "list", Watch({root}), nullptr, &notListed);
  const Paths listed = ReadPaths(work / "list");
  EXPECT_LT(listed.size(), 12u);
  EXPECT_NE(std::find(listed.begin(), listed.end(), root + "\\a\\back\\a\\x"), listed.end())
      << ::testing::PrintToString(listed);
  engines::ResultList newer;
  engines::FindNewerFiles(newer, 0, Watch({root}), nullptr);
  EXPECT_LT(newer.size(), 12u);
}

TEST(DiskCompare, ReadsDriveRootsAndSeveralRoots) {
  TempFolder work;
  work.Write("1", "0c:\\\r\n1ABCDa\r\n2ABCDx\r\n1ABCDb\r\n0d:\\data\r\n1ABCDq\r\n");
  work.Write("2", "0c:\\\r\n1ABCDa\r\n1ABCDb\r\n2ABCDy\r\n0d:\\data\r\n1ABCDq\r\n1ABCDr\r\n");
  Differences d = Compare(work / "1", work / "2");
  EXPECT_EQ(Texts(d.added), Paths({"c:\\b\\y", "d:\\data\\r"}));
  EXPECT_EQ(Texts(d.deleted), Paths({"c:\\a\\x"}));
  EXPECT_TRUE(d.changed.empty());
}

TEST(DiskCompare, DamagedListingsRaiseAnErrorNamingTheFile) {
  using namespace std::string_literals;
  TempFolder work;
  work.Write("good", "0c:\\x\r\n1ABCDa\r\n");
  const std::string damaged[] = {
      "0c:\\x\r\n1ABCDa\r\n1AB"s,            // truncated last line
      "0c:\\x\r\n1ABCD\r\n"s,                 // no name
      "0c:\\x\r\n1ABCDa\r\n3ABCDb\r\n"s,      // the level jumps
      "1ABCDa\r\n"s,                          // an entry before any root
      "0c:\\x\r\n\r\n1ABCDa\r\n"s,            // an empty line
      "0\r\n1ABCDa\r\n"s,                     // an empty root
      "0c:\\x\r\n\x01\xFF\xFE\x00junk\r\n"s,  // binary junk
      "0c:\\x\r\n\xFF\xFE\xFD\xFC\xFB\xFA\r\n"s,
      "0c:\\x\r\n1ABCDa\r\n1ABCDb"s,                 // the last line cut before its end
      "0c:\\x\r\n1ABCDa\n1ABCDb\r\n"s,               // a line end that is not ours
      "0c:\\x\r\n1ABCDb\r\n1ABCDa\r\n"s,            // siblings out of order
      "0c:\\x\r\n1ABCDa\r\n2ABCDy\r\n1ABCDa\r\n"s,  // a sibling twice
      "0c:\\x\r\n1ABCDa\r\n0c:\\x\r\n"s,            // a root twice
      "0c:\\x\r\n1ABCDa\\b\r\n"s,                   // a name no search gives
      "0c:\\x\r\n1ABCD"s + std::string(40000, 'n') + "\r\n",  // a name past the limits
      "0c:\\"s + std::string(300000, 'x') + "\r\n",             // a root past them
      std::string(300000, '\\'),                                // no line end at all
  };
  for (const std::string& content : damaged) {
    work.Write("bad", content);
    try {
      Compare(work / "good", work / "bad");
      ADD_FAILURE() << "no error for " << content;
    } catch (const platform::IoError& error) {
      EXPECT_EQ(error.Path(), work / "bad");
      EXPECT_NE(std::string(error.what()).find("Damaged line"), std::string::npos) << error.what();
    }
  }
  // Siblings in the order of names without regard to case, not of bytes.
  work.Write("anycase", "0c:\\x\r\n1ABCDa\r\n1ABCDB\r\n1ABCDc\r\n");
  EXPECT_EQ(Texts(Compare(work / "good", work / "anycase").added), Paths({"c:\\x\\B", "c:\\x\\c"}));

  try {
    Compare(work / "good", work / "missing");
    ADD_FAILURE() << "no error for a missing listing";
  } catch (const platform::IoError& error) {
    EXPECT_EQ(error.Path(), work / "missing");
  }
}

TEST(ShortenPathForDisplay, KeepsShortPathsAndCutsFoldersFromTheEnd) {
  const std::string folder = "c:\\" + std::string(20, 'a') + "\\";
  EXPECT_EQ(engines::ShortenPathForDisplay(folder + std::string(11, 'b')), folder + std::string(11, 'b'));
  EXPECT_EQ(engines::ShortenPathForDisplay(folder + std::string(12, 'b')), "c:..\\" + std::string(12, 'b'));
  EXPECT_EQ(engines::ShortenPathForDisplay("c:\\program files\\some vendor\\app\\setup.log"),
            "c:\\program files\\..\\setup.log");
  // Too long even so: the first 33 characters and "...".
  EXPECT_EQ(engines::ShortenPathForDisplay("c:\\dir\\" + std::string(40, 'x')),
            "c:..\\" + std::string(28, 'x') + "...");
  EXPECT_EQ(engines::ShortenPathForDisplay(std::string(40, 'n')).size(), 36u);
  EXPECT_EQ(engines::ShortenPathForDisplay(""), "");
}

namespace {

// Abort stories for ExitWith: an empty answer when all went as it should.
std::string CompareStoppedSoonAfterTheCloseRequest() {
  TempFolder work;
  // More records than the merge takes between two askings, in a listing written here.
  constexpr size_t kEntries = engines::AbortPoll::kComparePeriod * 3 / 2;
  std::string listing = "0c:\\tree\r\n";
  char line[32];
  for (size_t i = 0; i < kEntries; ++i) {
    std::snprintf(line, sizeof line, "1abcdf%06u\r\n", static_cast<unsigned>(i));
    listing += line;
  }
  work.Write("1", listing);
  work.Write("empty", "");
  int calls = 0;
  engines::ResultList added, deleted, changed;
  // Progress comes for the blank first record, the root, f000000, f000001 and f000002.
  engines::CompareDiskSnapshots(work / "1", work / "empty", added, deleted, changed,
                                [&](const std::string&) {
                                  if (++calls == 5) PostQuitMessage(0);
                                });
  // It stops at the next asking (50 ms on, or a period of steps), far from its end.
  if (deleted.size() < 3 || deleted.size() > engines::AbortPoll::kComparePeriod)
    return "deleted " + std::to_string(deleted.size()) + " paths";
  Paths all = ReadPaths(work / "1");
  Paths done = Texts(deleted);
  if (!std::equal(done.begin(), done.end(), all.begin())) return "not the first paths";
  return engines::AbortRequested() ? "" : "no abort";
}

std::string SnapshotStoppedBeforeTheSecondRoot() {
  TempFolder first, second, work;
  first.Write("a\\b", "");
  second.Write("c", "");
  const engines::TrackedList roots = Watch({WatchedRoot(first), WatchedRoot(second)});
  Paths progress;
  engines::SnapshotDisks(work / "1", roots, [&](const std::string& root) {
    progress.push_back(root);
    if (progress.size() == 2) PostQuitMessage(0);
  });
  if (progress != roots.entries) return "progress: " + std::to_string(progress.size());
  const std::string root = roots.entries[0];
  if (ReadPaths(work / "1") != Paths({root, root + "\\a", root + "\\a\\b"}))
    return "listing: " + work.Read("1");
  return engines::AbortRequested() ? "" : "no abort";
}

}  // namespace

TEST(DiskAbortDeathTest, CompareStopsSoonAfterTheCloseRequest) {
  EXPECT_EXIT(ExitWith(CompareStoppedSoonAfterTheCloseRequest()), testing::ExitedWithCode(0), "");
}

TEST(DiskAbortDeathTest, SnapshotStopsBetweenRoots) {
  EXPECT_EXIT(ExitWith(SnapshotStoppedBeforeTheSecondRoot()), testing::ExitedWithCode(0), "");
}
