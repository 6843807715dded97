#include "platform/directory.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "platform/system.h"
#include "support/temp_folder.h"

using platform::CreationTime;
using platform::FolderEntry;
using platform::FolderSearch;
using testing_support::TempFolder;

namespace {

using Seen = std::map<std::string, std::tuple<DWORD, uint32_t, uint64_t>>;

uint64_t Value(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

Seen Search(const std::string& folder, CreationTime creation) {
  Seen seen;
  FolderSearch search(folder, creation);
  FolderEntry entry;
  while (search.Next(entry))
    seen[entry.name] = {entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
                        entry.sizeLow, Value(entry.lastWriteTime)};
  return seen;
}

}  // namespace

TEST(FolderSearch, DirectoryQueryAndFindFunctionsAgree) {
  TempFolder tree;
  tree.Write("plain.txt", "12345");
  tree.Write("caf\xE9.txt", "1");  // converted to and from the ANSI code page
  tree.Write("hidden", "");
  SetFileAttributesA((tree / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  tree.Write("sub\\inner", "");
  for (int i = 0; i < 400; ++i) tree.Write("many\\file number " + std::to_string(i), "");

  for (const std::string& folder : {tree / "sub", tree / "many", tree.Path().substr(0, tree.Path().size() - 1)}) {
    Seen found = Search(folder, CreationTime::AsReported);
    EXPECT_EQ(Search(folder, CreationTime::ChangeTimeOnWine), found) << folder;
    EXPECT_EQ(found.count("."), 1u) << folder;
  }
  Seen top = Search(tree.Path().substr(0, tree.Path().size() - 1), CreationTime::ChangeTimeOnWine);
  EXPECT_EQ(std::get<1>(top["plain.txt"]), 5u);
  EXPECT_EQ(std::get<0>(top["hidden"]), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(std::get<0>(top["sub"]), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(top.count("caf\xE9.txt"), 1u);
  EXPECT_EQ(Search(tree / "many", CreationTime::ChangeTimeOnWine).size(), 402u);  // several queries
  EXPECT_TRUE(Search(tree / "missing", CreationTime::ChangeTimeOnWine).empty());
}

// Paths beyond MAX_PATH: a file 312 characters deep is found by every search and look-up.
TEST(FolderSearch, LongPathsAreSearchedWhole) {
  TempFolder tree;
  std::string deep;
  while (tree.Path().size() + deep.size() < 280) deep += "level " + std::to_string(deep.size()) + "\\";
  const std::string file = deep + std::string(312 - tree.Path().size() - deep.size(), 'f');
  tree.Write(file, "12345");
  ASSERT_EQ((tree / file).size(), 312u);
  const std::string folder = tree / deep.substr(0, deep.size() - 1);
  ASSERT_TRUE(platform::IsLongPath(folder + "\\*.*"));

  const std::string name = file.substr(deep.size());
  for (CreationTime creation : {CreationTime::AsReported, CreationTime::ChangeTimeOnWine}) {
    Seen found = Search(folder, creation);
    ASSERT_EQ(found.count(name), 1u);
    EXPECT_EQ(std::get<1>(found[name]), 5u);
  }
  WIN32_FIND_DATAA entry;
  ASSERT_TRUE(platform::FindEntry(tree / file, entry));
  EXPECT_EQ(entry.cFileName, name);
  EXPECT_EQ(entry.nFileSizeLow, 5u);
  EXPECT_TRUE(platform::FileExists(tree / file));
  EXPECT_FALSE(platform::FolderExists(tree / file));
  EXPECT_TRUE(platform::FolderExists(folder));
  EXPECT_FALSE(platform::FileExists(tree / file + "x"));
  EXPECT_FALSE(platform::FindEntry(tree / file + "x", entry));
}

TEST(LongPathForm, PrefixesDrivesAndSharesOnce) {
  EXPECT_EQ(platform::LongPathForm("C:\\a\\b"), L"\\\\?\\C:\\a\\b");
  EXPECT_EQ(platform::LongPathForm("\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
  EXPECT_EQ(platform::LongPathForm("\\\\?\\C:\\a"), L"\\\\?\\C:\\a");
  EXPECT_EQ(platform::WidePath("C:\\a"), L"C:\\a");
}
