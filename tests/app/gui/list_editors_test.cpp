// The list editors of the watched folders, INI files and ignored keys, opened from the
// main window's buttons, and the registry key picker with the system's Registry Editor.
#include "dialog_steps.h"
#include "dialogs/optbaseu_ids.h"
#include "dialogs/pikigkey_ids.h"
#include "platform/owners.h"

namespace gui_tests {
namespace {

using Strings = std::vector<std::string>;

class ListEditors : public Vortan4 {
 protected:
  HWND OpenEditor(int button, const char* caption) {
    HWND editor = OpenDialog(Item(button), caption, window);
    if (editor) list = GetDlgItem(editor, IDC_lbMain);
    return editor;
  }
  int Selected() const { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }
  void Select(int index) const { SendMessageA(list, LB_SETCURSEL, index, 0); }
  // The editor's settings: the list section in file order.
  Strings SavedList(const char* section) const {
    Strings entries;
    for (int i = 0;; ++i) {
      std::string value = Setting(section, std::to_string(i));
      if (value == "<missing>") return entries;
      entries.push_back(value);
    }
  }
  HWND list{};
};

// Each editor first opens showing about eight rows of its list.
TEST_F(ListEditors, OpenShowingAboutEightRows) {
  Start();
  for (const auto& [button, caption] : {std::pair{IDC_btnDisk, "Disk tracking options"},
                                        std::pair{IDC_btnINI, "INI file options"},
                                        std::pair{IDC_btnReg, "Registry keys to ignore"}}) {
    HWND editor = OpenEditor(button, caption);
    ASSERT_NE(editor, nullptr) << caption;
    RECT client{};
    GetClientRect(list, &client);
    const auto rows = client.bottom / SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_GE(rows, 7) << caption;
    EXPECT_LE(rows, 9) << caption;
    gui::Answer(editor, IDCANCEL);
  }
  EXPECT_EQ(Close(), 0);
}

TEST_F(ListEditors, DrivesAddRemoveSaveAndPlacement) {
  for (const char* name : {"w\\a\\b", "w\\Cdir\\d", "w\\e", "w\\f"}) folder.MakeFolder(name);
  const std::string w = LowerFolder() + "w\\";
  folder.Write("VORTAN4.INI", "[Settings]\r\nDrivesInitialized=1\r\n[Drives]\r\n0=" + w +
                                  "e\r\n1=" + w + "a\\b\r\n2=" + w + "cdir\r\n");
  Start();

  // Removal keeps the place, moves to the new last item, and empties; Cancel keeps all.
  HWND editor = OpenEditor(IDC_btnDisk, "Disk tracking options");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(gui::ListBoxItems(list), (Strings{w + "a\\b", w + "cdir", w + "e"}));
  EXPECT_EQ(Selected(), 0);
  HWND remove = GetDlgItem(editor, IDC_btnRemove);
  Select(1);
  gui::Click(remove);
  EXPECT_EQ(gui::ListBoxItems(list), (Strings{w + "a\\b", w + "e"}));
  EXPECT_EQ(Selected(), 1);
  gui::Click(remove);
  EXPECT_EQ(Selected(), 0);
  gui::Click(remove);
  EXPECT_TRUE(gui::ListBoxItems(list).empty());
  EXPECT_EQ(Selected(), -1);
  gui::Click(remove);
  gui::Answer(editor, IDCANCEL);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(SavedList("Drives"), (Strings{w + "e", w + "a\\b", w + "cdir"}));

  // Each result of the list rule, through the folder browser.
  editor = OpenEditor(IDC_btnDisk, "Disk tracking options");
  ASSERT_NE(editor, nullptr);
  // checkRoot: My Computer, selected on the way, is no folder and cannot be confirmed.
  auto add = [&](const std::string& path, bool checkRoot = false) {
    HWND browser = OpenDialog(GetDlgItem(editor, IDC_btnAdd), kBrowserCaption, editor);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(gui::Text(GetDlgItem(browser, kBrowserTitle)),
              "Select a drive or folder for tracking");
    if (checkRoot) {
      SelectBrowserRoot(browser);
      EXPECT_FALSE(gui::Enabled(GetDlgItem(browser, IDOK)));
    }
    EXPECT_TRUE(SelectInBrowser(browser, path));
    EXPECT_EQ(gui::Text(GetDlgItem(browser, kBrowserStatus)), path);
    EXPECT_TRUE(gui::Enabled(GetDlgItem(browser, IDOK)));
    gui::Answer(browser, IDOK);
  };
  const std::string W = folder / "w\\";
  add(W + "a");
  EXPECT_EQ(AnswerNotice(editor, "Information"),
            "The folder \"" + W +
                "a\" was added, replacing one or more of its own subfolders "
                "in the list.");
  add(W + "Cdir\\d");
  EXPECT_EQ(AnswerNotice(editor, "Information"),
            "The folder \"" + W +
                "Cdir\\d\" was not added, because it is a subfolder of another "
                "folder that is already present in the list.");
  add(W + "Cdir");
  EXPECT_EQ(AnswerNotice(editor, "Information"),
            "The folder \"" + W + "Cdir\" is already present in the list.");
  add(W + "f", true);
  EXPECT_TRUE(gui::Responsive(editor));
  EXPECT_EQ(gui::FindTop("#32770", "Information", editor), nullptr);
  const Strings added{w + "a", w + "cdir", w + "e", w + "f"};
  EXPECT_EQ(gui::ListBoxItems(list), added);

  SetWindowPos(editor, nullptr, 30, 40, 420, 260, SWP_NOZORDER);
  gui::Answer(editor, IDOK);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(SavedList("Drives"), added);
  EXPECT_EQ(Close(), 0);

  // The next session watches the new list, and the editor comes back where it was.
  Start();
  editor = OpenEditor(IDC_btnDisk, "Disk tracking options");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(gui::ListBoxItems(list), added);
  RECT r = RectOf(editor);
  EXPECT_EQ((Strings{std::to_string(r.left), std::to_string(r.top),
                     std::to_string(r.right - r.left), std::to_string(r.bottom - r.top)}),
            (Strings{"30", "40", "420", "260"}));
  gui::Answer(editor, IDCANCEL);
  EXPECT_EQ(Close(), 0);

  // A place past the screen's edges is pulled back onto it.
  WritePrivateProfileStringA("TrackDirForm Settings", "Left", "5000",
                             (folder / "VORTAN4.INI").c_str());
  WritePrivateProfileStringA("TrackDirForm Settings", "Top", "4000",
                             (folder / "VORTAN4.INI").c_str());
  Start();
  editor = OpenEditor(IDC_btnDisk, "Disk tracking options");
  ASSERT_NE(editor, nullptr);
  r = RectOf(editor);
  EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
  gui::Answer(editor, IDCANCEL);
}

TEST_F(ListEditors, IniFilesAddOnlyIniFilesOnce) {
  folder.Write("w\\listed.ini", "[a]\r\nb=1\r\n");
  folder.Write("w\\good.ini", "[a]\r\nb=1\r\n");
  folder.Write("w\\empty.ini", "no sections here\r\n");
  folder.Write("w\\notes.txt", "[a]\r\n");
  const std::string w = LowerFolder() + "w\\", W = folder / "w\\";
  folder.Write("VORTAN4.INI",
               "[Settings]\r\nINIsInitialized=1\r\n[INIs]\r\n0=" + w + "listed.ini\r\n");
  Start("nt40");
  HWND editor = OpenEditor(IDC_btnINI, "INI file options");
  ASSERT_NE(editor, nullptr);
  auto add = [&](const std::string& path) {
    HWND dialog = OpenDialog(GetDlgItem(editor, IDC_btnAdd), "Select INI file", editor);
    ASSERT_NE(dialog, nullptr);
    gui::SetText(gui::FindById(dialog, 0x47C), path);
    gui::Answer(dialog, IDOK);
  };
  const struct {
    std::string file, warning;
  } refused[] = {
      {W + "notes.txt", "\"" + W + "notes.txt\" is not an .INI file."},
      {W + "LISTED.INI", "\"" + W + "LISTED.INI\" is already present on the list."},
      {W + "empty.ini",
       "Although \"" + W +
           "empty.ini\" has the .INI extension, it does not appear to be an .INI file."},
  };
  for (const auto& c : refused) {
    add(c.file);
    EXPECT_EQ(AnswerNotice(editor, "Warning"), c.warning);
  }
  add(W + "Good.ini");
  EXPECT_TRUE(gui::Responsive(editor));
  EXPECT_EQ(gui::ListBoxItems(list), (Strings{w + "good.ini", w + "listed.ini"}));
  gui::Answer(editor, IDOK);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(SavedList("INIs"), (Strings{w + "good.ini", w + "listed.ini"}));
}

}  // namespace
}  // namespace gui_tests
