// The registry key picker, opened from the list editor of the ignored keys: its
// validation, and the system's Registry Editor started, brought up and read.
#include <vector>

#include "dialog_steps.h"
#include "dialogs/optbaseu_ids.h"
#include "dialogs/pikigkey_ids.h"

namespace gui_tests {
namespace {

const char kTestKey[] = "Software\\VortanPickerTest";
const char kRegEdit[] = "RegEdit_RegEdit";

BOOL CALLBACK FindTree(HWND child, LPARAM data) {
  char name[32] = "";
  GetClassNameA(child, name, sizeof name);
  if (lstrcmpiA(name, WC_TREEVIEWA) != 0) return TRUE;
  *reinterpret_cast<HWND*>(data) = child;
  return FALSE;
}

// Clicks its way down the Registry Editor's tree, below the computer's node.
bool SelectInRegistryEditor(HWND editor, const std::vector<std::string>& path) {
  HWND tree = nullptr;
  EnumChildWindows(editor, FindTree, reinterpret_cast<LPARAM>(&tree));
  if (!tree) return false;
  auto node = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  for (const std::string& name : path) {
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, node);
    auto child = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, node);
    while (child && lstrcmpiA(gui::TreeItemText(tree, reinterpret_cast<HTREEITEM>(child)).c_str(),
                              name.c_str()) != 0)
      child = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, child);
    if (!child) return false;
    node = child;
  }
  return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, node) != 0;
}

BOOL CALLBACK CountEditors(HWND window, LPARAM data) {
  char name[32] = "";
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, kRegEdit) == 0) ++*reinterpret_cast<int*>(data);
  return TRUE;
}

using KeyPicker = Vortan4;

TEST_F(KeyPicker, ValidatesGrabsAndAddsKeys) {
  for (const char* sub : {"\\Inner", "\\Other"}) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kTestKey) + sub).c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
  }
  folder.Write("VORTAN4.INI",
               "[Settings]\r\nRegInitialized=1\r\n[Regs]\r\n0=hkey_local_machine\\software\\"
               "vortanpickertest\\inner\r\n");
  Start();
  HWND editor = OpenDialog(Item(IDC_btnReg), "Registry keys to ignore", window);
  ASSERT_NE(editor, nullptr);
  HWND picker = OpenDialog(GetDlgItem(editor, IDC_btnAdd), "Choose Registry Key To Ignore", editor);
  ASSERT_NE(picker, nullptr);
  HWND key = GetDlgItem(picker, IDC_ebKey), valid = GetDlgItem(picker, IDC_lbValid),
       ok = GetDlgItem(picker, IDOK);
  EXPECT_FALSE(gui::Enabled(ok));

  gui::ClickAsync(GetDlgItem(picker, IDC_btnGetKey));
  EXPECT_EQ(AnswerNotice(picker, "Vortan4"),
            "Unable to locate REGEDIT. Please be sure REGEDIT is running, or copy the key "
            "manually.");

  const struct {
    const char* typed;
    const char* shown;
  } cases[] = {
      {"hkey_local_machine\\software",
       "Key must be in HKEY_USERS or HKEY_LOCAL_MACHINE. Click Help."},
      {"HKEY_LOCAL_MACHINE", "Enter a non-empty subkey."},
      {"HKEY_LOCAL_MACHINE\\", "Enter a non-empty subkey."},
      {"HKEY_LOCAL_MACHINE\\Software\\NoSuchKeyHere", "Non-existent key, or access denied"},
      {"  HKEY_USERS\\.Default\t", "Valid key"},
  };
  for (const auto& c : cases) {
    gui::SetText(key, c.typed);
    gui::Click(GetDlgItem(picker, IDC_btnValidate));
    EXPECT_EQ(gui::Text(valid), c.shown) << c.typed;
    EXPECT_EQ(gui::Enabled(ok), std::string(c.shown) == "Valid key") << c.typed;
  }
  gui::SetText(key, "HKEY_USERS\\.Default\\");
  EXPECT_EQ(gui::Text(valid), "");
  EXPECT_FALSE(gui::Enabled(ok)) << "an edit needs a new validation";

  // The Registry Editor: started once, brought up the second time, read from its status bar.
  gui::Click(GetDlgItem(picker, IDC_btnRegEdit));
  HWND regedit = nullptr;
  ASSERT_TRUE(
      gui::WaitFor([&] { return (regedit = FindWindowA(kRegEdit, nullptr)) != nullptr; }, 15000));
  ASSERT_TRUE(gui::WaitFor([&] { return IsWindowVisible(regedit) != FALSE; }));
  SetForegroundWindow(picker);
  gui::Click(GetDlgItem(picker, IDC_btnRegEdit));
  EXPECT_TRUE(gui::WaitFor([&] { return GetForegroundWindow() == regedit; }));
  int editors = 0;
  EnumWindows(CountEditors, reinterpret_cast<LPARAM>(&editors));
  EXPECT_EQ(editors, 1);

  ASSERT_TRUE(
      SelectInRegistryEditor(regedit, {"HKEY_LOCAL_MACHINE", "Software", "VortanPickerTest"}));
  HWND status = FindWindowExA(regedit, nullptr, STATUSCLASSNAMEA, nullptr);
  EXPECT_TRUE(gui::WaitFor(
      [&] { return gui::Text(status).find("VortanPickerTest") != std::string::npos; }));
  gui::Click(GetDlgItem(picker, IDC_btnGetKey));
  EXPECT_EQ(gui::Text(key), "HKEY_LOCAL_MACHINE\\Software\\VortanPickerTest");
  gui::Click(GetDlgItem(picker, IDC_btnValidate));
  EXPECT_EQ(gui::Text(valid), "Valid key");
  gui::Answer(picker, IDOK);
  EXPECT_EQ(AnswerNotice(editor, "Information"),
            "The key \"HKEY_LOCAL_MACHINE\\Software\\VortanPickerTest\" was added, replacing one "
            "or more of its own subkeys in the list.");
  PostMessageA(regedit, WM_CLOSE, 0, 0);

  // The other two results, for keys typed.
  const struct {
    const char* typed;
    const char* notice;
  } added[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\VortanPickerTest\\Other",
       "The key \"HKEY_LOCAL_MACHINE\\Software\\VortanPickerTest\\Other\" was not added, because "
       "it is a subkey of another key that is already present in the list."},
      {" HKEY_LOCAL_MACHINE\\SOFTWARE\\VORTANPICKERTEST ",
       "The key \"HKEY_LOCAL_MACHINE\\SOFTWARE\\VORTANPICKERTEST\" is already present in the "
       "list."},
  };
  for (const auto& c : added) {
    picker = OpenDialog(GetDlgItem(editor, IDC_btnAdd), "Choose Registry Key To Ignore", editor);
    ASSERT_NE(picker, nullptr);
    gui::SetText(GetDlgItem(picker, IDC_ebKey), c.typed);
    gui::Click(GetDlgItem(picker, IDC_btnValidate));
    gui::Answer(picker, IDOK);
    EXPECT_EQ(AnswerNotice(editor, "Information"), c.notice);
  }
  gui::Answer(editor, IDOK);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(Setting("Regs", "0"), "hkey_local_machine\\software\\vortanpickertest");
  EXPECT_EQ(Setting("Regs", "1"), "<missing>");
  EXPECT_TRUE(gui::WaitFor([&] { return !IsWindow(regedit); }));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kTestKey) + "\\Inner").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kTestKey) + "\\Other").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestKey);
}

}  // namespace
}  // namespace gui_tests
