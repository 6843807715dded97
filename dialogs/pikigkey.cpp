#include "dialogs/pikigkey.h"

#include "dialogs/pikigkey_ids.h"
#include "platform/system.h"

namespace dialogs {
namespace {

constexpr SIZE kDefaultSize{372, 140};  // also the minimum width and the only height
constexpr int kButtonHeight = 23;
constexpr int kStatusBufferSize = 520;
const char kRegEditClass[] = "RegEdit_RegEdit";
const char kFormName[] = "RegIgForm";

}  // namespace

std::string TrimKey(const std::string& text) {
  size_t first = 0, end = text.size();
  while (first < end && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (end > first && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(first, end - first);
}

std::string KeyFromStatusBar(const std::string& text) {
  const size_t slash = text.find('\\');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string ValidateKey(const std::string& key, bool& valid) {
  valid = false;
  // The root names are matched as written, anywhere in the text, HKEY_USERS first.
  HKEY root = nullptr;
  if (key.find("HKEY_USERS") != std::string::npos)
    root = HKEY_USERS;
  else if (key.find("HKEY_LOCAL_MACHINE") != std::string::npos)
    root = HKEY_LOCAL_MACHINE;
  else
    return "Key must be in HKEY_USERS or HKEY_LOCAL_MACHINE. Click Help.";
  const size_t slash = key.find('\\');
  if (slash == std::string::npos || slash + 1 == key.size()) return "Enter a non-empty subkey.";
  if (!platform::OpenRegistryKey(root, key.substr(slash + 1), KEY_ALL_ACCESS).valid())
    return "Non-existent key, or access denied";
  valid = true;
  return "Valid key";
}

TRegIgForm::TRegIgForm(const PlacementStore& placements) : placements_(placements) {}

bool TRegIgForm::Run(HWND owner) {
  return RunResizable(IDD_RegIgForm, owner, placements_,
                      {kFormName, kDefaultSize, kDefaultSize, true});
}

const Binding<TRegIgForm> TRegIgForm::kEvents[] = {
    {IDC_btnRegEdit, BN_CLICKED, &TRegIgForm::btnRegEditClick},
    {IDC_btnGetKey, BN_CLICKED, &TRegIgForm::btnGetKeyClick},
    {IDC_ebKey, EN_CHANGE, &TRegIgForm::ebKeyChange},
    {IDC_btnValidate, BN_CLICKED, &TRegIgForm::btnValidateClick},
    {IDC_RegIgForm_btnHelp, BN_CLICKED, &TRegIgForm::btnHelpClick},
    {IDOK, BN_CLICKED, &TRegIgForm::btnOKClick},
    {IDCANCEL, BN_CLICKED, &TRegIgForm::btnCancelClick},
};

bool TRegIgForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

const ControlRow<TRegIgForm> TRegIgForm::kControls[] = {
    {&TRegIgForm::btnRegEdit, IDC_btnRegEdit, 33, "Launch the Windows Registry Editor"},
    {&TRegIgForm::btnGetKey, IDC_btnGetKey, 59,
     "Get the selected key from the Windows Registry Editor."},
    {&TRegIgForm::ebKey, IDC_ebKey, 58,
     "Use the buttons above to select a key using REGEDIT, or just type it here."},
    {&TRegIgForm::lbValid, IDC_lbValid, 57,
     "After you click Validate, status of the selected key is shown here."},
    {&TRegIgForm::btnValidate, IDC_btnValidate, 34,
     "Click to check key's validity; OK will be enabled only if valid."},
    {&TRegIgForm::btnHelp, IDC_RegIgForm_btnHelp, 29, "Click for help using this dialog box."},
    {&TRegIgForm::btnOK, IDOK, 35, "Click to close this dialog box and accept changes."},
    {&TRegIgForm::btnCancel, IDCANCEL, 36,
     "Click to close this dialog box without accepting changes."},
};

void TRegIgForm::OnInit() {
  BindControls(*this, kControls);
  SetFocus(ebKey);
}

void TRegIgForm::FormResize() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right;
  MoveWindow(btnRegEdit, 3, 4, 110, kButtonHeight, TRUE);
  MoveWindow(btnGetKey, 117, 4, 90, kButtonHeight, TRUE);
  MoveWindow(ebKey, 3, 32, width - 7, 21, TRUE);
  MoveWindow(lbValid, 3, 57, width - 7, 19, TRUE);
  const int top = client.bottom - kButtonHeight - 4, buttonWidth = 75;
  const int okLeft = width - 3 - buttonWidth;
  const int cancelLeft = okLeft - 10 - buttonWidth;
  MoveWindow(btnValidate, 3, top, buttonWidth, kButtonHeight, TRUE);
  MoveWindow(btnOK, okLeft, top, buttonWidth, kButtonHeight, TRUE);
  MoveWindow(btnCancel, cancelLeft, top, buttonWidth, kButtonHeight, TRUE);
  MoveWindow(btnHelp, cancelLeft - 10 - buttonWidth, top, buttonWidth, kButtonHeight, TRUE);
}

void TRegIgForm::Complain(const char* text, UINT icon) const {
  MessageBoxA(hwnd_, text, "Vortan4", MB_OK | icon);
}

void TRegIgForm::btnRegEditClick() {
  if (HWND editor = FindWindowA(kRegEditClass, nullptr)) {
    BringWindowToTop(editor);
    return;
  }
  if (!platform::StartProgramFor("REGEDIT.EXE"))
    Complain("Please launch REGEDIT manually.", MB_ICONINFORMATION);
}

void TRegIgForm::btnGetKeyClick() {
  HWND editor = FindWindowA(kRegEditClass, nullptr);
  if (!editor)
    return Complain(
        "Unable to locate REGEDIT. Please be sure REGEDIT is running, or copy the key manually.",
        MB_ICONERROR);
  HWND statusBar = FindWindowExA(editor, nullptr, "msctls_statusbar32", nullptr);
  if (!statusBar)
    return Complain("Unable to extract the key. Please copy the key manually.", MB_ICONERROR);
  // The window text may be a stale copy for another program's control; the message asks
  // the control itself.
  char text[kStatusBufferSize] = "";
  GetWindowTextA(statusBar, text, sizeof text);
  SendMessageA(statusBar, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = '\0';
  SetWindowTextA(ebKey, KeyFromStatusBar(text).c_str());
}

void TRegIgForm::ebKeyChange() {
  SetWindowTextA(lbValid, "");
  EnableWindow(btnOK, FALSE);
}

void TRegIgForm::btnValidateClick() {
  std::string text(GetWindowTextLengthA(ebKey) + 1, '\0');
  GetWindowTextA(ebKey, &text[0], static_cast<int>(text.size()));
  chosenKey = TrimKey(text.c_str());
  bool valid = false;
  SetWindowTextA(lbValid, ValidateKey(chosenKey, valid).c_str());
  EnableWindow(btnOK, valid);
}

void TRegIgForm::btnHelpClick() { ShowHelp(65); }

void TRegIgForm::btnOKClick() {
  // Enter reaches the default button even while it is disabled.
  if (IsWindowEnabled(btnOK)) EndDialog(hwnd_, IDOK);
}

void TRegIgForm::btnCancelClick() { EndDialog(hwnd_, IDCANCEL); }

}  // namespace dialogs
