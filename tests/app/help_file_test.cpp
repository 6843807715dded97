// The help file built beside the program (tools/wine-test stages it beside this test):
// what its directory lists, and that every help context the windows carry opens a topic.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "app/mainu.h"
#include "support/help_file.h"
#include "support/temp_folder.h"

using testing_support::HelpFileContents;
using testing_support::ReadHelpFile;

namespace {

std::string StagedHelpFile() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\') + 1) + "VORTAN4.HLP";
}

BOOL CALLBACK CollectContext(HWND control, LPARAM data) {
  if (DWORD context = GetWindowContextHelpId(control))
    reinterpret_cast<std::set<DWORD>*>(data)->insert(context);
  return TRUE;
}

// Every help context the controls of a window carry, on every page.
std::set<DWORD> ContextsOf(HWND window) {
  std::set<DWORD> contexts;
  EnumChildWindows(window, CollectContext, reinterpret_cast<LPARAM>(&contexts));
  return contexts;
}

class HelpFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { contents = ReadHelpFile(StagedHelpFile()); }
  static HelpFileContents contents;
};
HelpFileContents HelpFile::contents;

TEST_F(HelpFile, DirectoryListsTheInternalFilesTheViewerReads) {
  EXPECT_EQ(contents.internalFiles,
            (std::vector<std::string>{"|CONTEXT", "|CTXOMAP", "|FONT", "|KWBTREE", "|KWDATA",
                                      "|SYSTEM", "|TOPIC"}));
  EXPECT_EQ(contents.contentsTitle, "Vortan4 Help");
}

TEST_F(HelpFile, EveryContextOfTheMainWindowOpensATopic) {
  testing_support::TempFolder folder;
  app::TMainForm form(app::FindProgramPlaces(folder / "VORTAN4.EXE"), app::ThisWindows(), {});
  std::set<DWORD> contexts = ContextsOf(form.Create());
  EXPECT_GE(contexts.size(), 30u) << "the controls of all three pages";
  for (DWORD context : contexts)
    EXPECT_TRUE(contents.topicOfContext.count(context)) << "no topic for help context " << context;
}

}  // namespace
