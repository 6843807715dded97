#include "engines/helpers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "engines/names.h"
#include "support/own_process.h"
#include "support/temp_folder.h"

using engines::AddResult;
using engines::AddToTrackedList;
using engines::TrackedList;
using Entries = std::vector<std::string>;

namespace {

TrackedList Sorted(Entries entries) {
  TrackedList list(TrackedList::Order::Sorted);
  list.entries = std::move(entries);
  return list;
}

TrackedList Plain(Entries entries) {
  TrackedList list(TrackedList::Order::Plain);
  list.entries = std::move(entries);
  return list;
}

}  // namespace

TEST(AddToTrackedList, SortedListCodes) {
  TrackedList drive = Sorted({"c:\\"});
  EXPECT_EQ(AddToTrackedList(drive, "C:\\Windows"), AddResult::Inside);
  EXPECT_EQ(drive.entries, Entries({"c:\\"}));

  TrackedList inner = Sorted({"c:\\temp", "c:\\windows\\system", "c:\\windows\\temp", "d:\\"});
  EXPECT_EQ(AddToTrackedList(inner, "c:\\windows"), AddResult::ReplacedInner);
  EXPECT_EQ(inner.entries, Entries({"c:\\temp", "c:\\windows", "d:\\"}));

  TrackedList same = Sorted({"c:\\a", "c:\\windows", "c:\\z"});
  EXPECT_EQ(AddToTrackedList(same, "C:\\Windows"), AddResult::AlreadyPresent);
  EXPECT_EQ(same.entries, Entries({"c:\\a", "c:\\windows", "c:\\z"}));

  TrackedList prefixOnly = Sorted({"c:\\win"});
  EXPECT_EQ(AddToTrackedList(prefixOnly, "c:\\windows"), AddResult::Added);
  EXPECT_EQ(prefixOnly.entries, Entries({"c:\\win", "c:\\windows"}));
}

TEST(AddToTrackedList, SortedListKeepsLocaleOrderAndRootsReplaceFolders) {
  TrackedList list(TrackedList::Order::Sorted);
  EXPECT_EQ(AddToTrackedList(list, "C:\\Zeta"), AddResult::Added);
  EXPECT_EQ(AddToTrackedList(list, "c:\\alpha"), AddResult::Added);
  EXPECT_EQ(AddToTrackedList(list, "c:\\co-op"), AddResult::Added);
  EXPECT_EQ(AddToTrackedList(list, "c:\\coop"), AddResult::Added);
  // Word sort: the hyphen is ignored, so co-op sorts just after coop.
  EXPECT_EQ(list.entries, Entries({"c:\\alpha", "c:\\coop", "c:\\co-op", "c:\\zeta"}));
  // A drive root ends in a backslash already; everything on the drive lies inside it.
  EXPECT_EQ(AddToTrackedList(list, "C:\\"), AddResult::ReplacedInner);
  EXPECT_EQ(list.entries, Entries({"c:\\"}));
}

TEST(AddToTrackedList, TrailingBackslashDoesNotMakeADifferentEntry) {
  TrackedList sorted = Sorted({"c:\\windows"});
  EXPECT_EQ(AddToTrackedList(sorted, "c:\\windows\\"), AddResult::AlreadyPresent);
  EXPECT_EQ(sorted.entries.size(), 1u);

  TrackedList plain = Plain({"c:\\windows\\"});
  EXPECT_EQ(AddToTrackedList(plain, "c:\\WINDOWS"), AddResult::AlreadyPresent);
  EXPECT_EQ(plain.entries, Entries({"c:\\windows\\"}));
}

TEST(AddToTrackedList, PlainListAppendsAndComparesWithTheEntryBeforeOnly) {
  TrackedList list = Plain({"c:\\windows", "c:\\temp"});
  EXPECT_EQ(AddToTrackedList(list, "C:\\Temp\\Sub"), AddResult::Inside);
  EXPECT_EQ(AddToTrackedList(list, "c:\\a"), AddResult::Added);
  // Appended at the end: not compared with c:\windows, which is not just before it.
  EXPECT_EQ(AddToTrackedList(list, "c:\\windows\\system"), AddResult::Added);
  EXPECT_EQ(list.entries, Entries({"c:\\windows", "c:\\temp", "c:\\a", "c:\\windows\\system"}));
}

TEST(AddToTrackedList, RegistryKeys) {
  TrackedList keys = Sorted({"hkey_local_machine\\software\\classes", "hkey_local_machine\\software\\wine",
                             "hkey_users\\.default"});
  EXPECT_EQ(AddToTrackedList(keys, "HKEY_LOCAL_MACHINE\\Software"), AddResult::ReplacedInner);
  EXPECT_EQ(keys.entries, Entries({"hkey_local_machine\\software", "hkey_users\\.default"}));
  EXPECT_EQ(AddToTrackedList(keys, "HKEY_USERS\\.DEFAULT\\Control Panel"), AddResult::Inside);
  // Only A to Z are lowered: other letters stay as they are.
  EXPECT_EQ(AddToTrackedList(keys, "HKEY_USERS\\S\xC4"), AddResult::Added);
  EXPECT_EQ(keys.entries.back(), "hkey_users\\s\xC4");
}

TEST(PathHelpers, TrailingBackslash) {
  EXPECT_EQ(engines::WithTrailingBackslash(""), "");
  EXPECT_EQ(engines::WithTrailingBackslash("c:\\"), "c:\\");
  EXPECT_EQ(engines::WithTrailingBackslash("c:\\x"), "c:\\x\\");
  EXPECT_EQ(engines::WithoutTrailingBackslash(""), "");
  EXPECT_EQ(engines::WithoutTrailingBackslash("c:\\"), "c:");
  EXPECT_EQ(engines::WithoutTrailingBackslash("c:\\x\\\\"), "c:\\x\\");
  EXPECT_EQ(engines::WithoutTrailingBackslash("c:\\x"), "c:\\x");
}

TEST(RegistryKeyExists, RootsCaseAndMissingKeys) {
  EXPECT_TRUE(engines::RegistryKeyExists("hkey_local_machine\\software"));
  EXPECT_TRUE(engines::RegistryKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"));
  EXPECT_TRUE(engines::RegistryKeyExists("HKEY_USERS"));
  EXPECT_TRUE(engines::RegistryKeyExists("HKEY_USERS\\"));
  EXPECT_TRUE(engines::RegistryKeyExists("Hkey_Users\\.default"));
  EXPECT_FALSE(engines::RegistryKeyExists("HKEY_LOCAL_MACHINE\\Software\\No Such Key 71"));
  EXPECT_FALSE(engines::RegistryKeyExists("HKEY_CLASSES_ROOT\\txtfile"));
  EXPECT_FALSE(engines::RegistryKeyExists("HKEY_CURRENT_USER\\Software"));
  // A longer root name is not the root.
  EXPECT_FALSE(engines::RegistryKeyExists("HKEY_USERSX\\.default"));
  EXPECT_FALSE(engines::RegistryKeyExists("HKEY_USER"));
  EXPECT_FALSE(engines::RegistryKeyExists(""));
}

TEST(IsIniFile, NeedsASection) {
  testing_support::TempFolder folder;
  folder.Write("real.ini", "; comment\r\n[Only]\r\nkey=value\r\n");
  folder.Write("empty-section.txt", "[x]\r\n");
  folder.Write("keys-only.ini", "key=value\r\nother=1\r\n");
  folder.Write("empty.ini", "");
  EXPECT_TRUE(engines::IsIniFile(folder / "real.ini"));
  EXPECT_TRUE(engines::IsIniFile(folder / "empty-section.txt"));
  EXPECT_FALSE(engines::IsIniFile(folder / "keys-only.ini"));
  EXPECT_FALSE(engines::IsIniFile(folder / "empty.ini"));
  EXPECT_FALSE(engines::IsIniFile(folder / "missing.ini"));
}

namespace {

struct PumpWindow {
  static inline int customSeen = 0;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 7) ++customSeen;
    if (message == WM_CLOSE) {  // what the main window does once closing is agreed
      PostQuitMessage(3);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  PumpWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "AbortPumpTest";
    RegisterClassA(&windowClass);
    hwnd = CreateWindowA("AbortPumpTest", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
  }
  ~PumpWindow() { DestroyWindow(hwnd); }
  HWND hwnd;
};

// The story, in a process of its own, as the flag stays set: what went wrong, if anything.
std::string AbortStory() {
  PumpWindow window;
  if (window.hwnd == nullptr) return "no window";
  PostMessageA(window.hwnd, WM_APP + 7, 0, 0);
  PostMessageA(window.hwnd, WM_APP + 7, 0, 0);
  if (engines::AbortRequested()) return "abort before the close request";
  if (PumpWindow::customSeen != 2)
    return "messages delivered: " + std::to_string(PumpWindow::customSeen);

  PostMessageA(window.hwnd, WM_CLOSE, 0, 0);
  if (!engines::AbortRequested() || !engines::AbortRequested()) return "the close request missed";

  // The close request is still there for the main loop, with its exit code.
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) || message.message != WM_QUIT ||
      message.wParam != 3u)
    return "no WM_QUIT 3 for the main loop";
  return engines::AbortRequested() ? "" : "the flag did not stay set";
}

}  // namespace

// The shortcut never claims an order that the system denies, and tells the usual names.
TEST(BeforeByBytes, AgreesWithTheSystemWhereItAnswers) {
  const char* const names[] = {"a", "A", "ab", "a.b", "a1", "b", "B.TXT", "b.txt", "setup.exe",
                               "setup1.exe", "SETUP.INI", "10", "9", ".", "..x", "_b", "a-b",
                               "a b", "\xE9t\xE9", "etz", "~1", "z", "File_1.dat", "file_2.dat",
                               "File_10.dat", "sub-9", "sub-10", "Group 1", "Group 2", "a1-z",
                               "a1\xE9", "a2", "{0A-1}", "{0b-1}", "co-op", "coop", "a_", "a_b", "@",
                               "a'b", "a-c", "a~", "x$", "x1", "x ", "~tmp9.tmp", "a10.DLL",
                               ".config", "config", ".Z", ".git", "_git"};
  int answered = 0;
  for (const char* a : names)
    for (const char* b : names)
      if (engines::BeforeByBytes(a, b)) {
        ++answered;
        EXPECT_LT(engines::CompareNames(a, b), 0) << a << " before " << b;
      }
  EXPECT_GT(answered, 50);
  EXPECT_TRUE(engines::BeforeByBytes("SETUP.EXE", "setup1.exe"));
  EXPECT_TRUE(engines::BeforeByBytes("File_1.dat", "file_2.dat"));
  EXPECT_TRUE(engines::BeforeByBytes("a1-z", "a2"));
  EXPECT_TRUE(engines::BeforeByBytes("~tmp9.tmp", "a10.DLL"));
  EXPECT_FALSE(engines::BeforeByBytes("a", "A"));
  EXPECT_FALSE(engines::BeforeByBytes("a", "_b"));
  EXPECT_FALSE(engines::BeforeByBytes("-b", "a"));  // the hyphen weighs nothing
}

TEST(AbortRequestedDeathTest, DeliversMessagesNoticesCloseAndStaysSet) {
  EXPECT_EXIT(testing_support::ExitWith(AbortStory()), testing::ExitedWithCode(0), "");
}
