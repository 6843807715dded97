#include "dialogs/optbaseu.h"

#include "dialogs/optbaseu_ids.h"

namespace dialogs {
namespace {

constexpr SIZE kMinimumSize{320, 80};
// About eight rows of the list above the panel.
constexpr SIZE kDefaultSize{320, 170};
constexpr int kPanelHeight = 29;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 23;
constexpr int kGap = 4;

}  // namespace

std::string AddResultMessage(engines::AddResult result, const AddMessages& messages,
                             const std::string& item) {
  const char* format = nullptr;
  switch (result) {
    case engines::AddResult::Added:
      return "";
    case engines::AddResult::Inside:
      format = messages.inside;
      break;
    case engines::AddResult::ReplacedInner:
      format = messages.replacedInner;
      break;
    case engines::AddResult::AlreadyPresent:
      format = messages.alreadyPresent;
      break;
  }
  std::string text(format);
  text.replace(text.find("%s"), 2, item);
  return text;
}

TOptForm::TOptForm(const PlacementStore& placements, const Texts& texts)
    : placements_(placements), texts_(texts) {}

bool TOptForm::Run(HWND owner) {
  return RunResizable(IDD_OptForm, owner, placements_,
                      {texts_.formName, kDefaultSize, kMinimumSize, false});
}

const Binding<TOptForm> TOptForm::kEvents[] = {
    {IDC_btnAdd, BN_CLICKED, &TOptForm::btnAddClick},
    {IDC_btnRemove, BN_CLICKED, &TOptForm::btnRemoveClick},
    {IDOK, BN_CLICKED, &TOptForm::btnOKClick},
    {IDCANCEL, BN_CLICKED, &TOptForm::btnCancelClick},
};

bool TOptForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

void TOptForm::OnInit() {
  SetWindowTextA(hwnd_, texts_.caption);
  const ControlRow<TOptForm> controls[] = {
      {&TOptForm::lbMain, IDC_lbMain, texts_.listHelpContext, texts_.listHint},
      {&TOptForm::Panel1, IDC_Panel1, 0, nullptr},
      {&TOptForm::btnAdd, IDC_btnAdd, texts_.addHelpContext, "Add a new item to the list."},
      {&TOptForm::btnRemove, IDC_btnRemove, 25, "Remove the current item from the list."},
      {&TOptForm::btnOK, IDOK, 26, "Close this window and accept changes."},
      {&TOptForm::btnCancel, IDCANCEL, 27, "Close this window without accepting changes."},
  };
  BindControls(*this, controls);
  FillList(items);
  FormActivate();
  SetFocus(lbMain);
}

// The dialog comes up once per run: its first item is the one selected.
void TOptForm::FormActivate() { SendMessageA(lbMain, LB_SETCURSEL, 0, 0); }

void TOptForm::FormResize() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right, panelTop = client.bottom - kPanelHeight;
  MoveWindow(lbMain, 0, 0, width, panelTop, TRUE);
  MoveWindow(Panel1, 0, panelTop, width, kPanelHeight, TRUE);
  const int buttonTop = panelTop + (kPanelHeight - kButtonHeight) / 2;
  MoveWindow(btnAdd, kGap, buttonTop, kButtonWidth, kButtonHeight, TRUE);
  MoveWindow(btnRemove, 2 * kGap + kButtonWidth, buttonTop, kButtonWidth, kButtonHeight, TRUE);
  // OK and Cancel keep to the right edge.
  const int cancelLeft = width - kGap - kButtonWidth;
  MoveWindow(btnCancel, cancelLeft, buttonTop, kButtonWidth, kButtonHeight, TRUE);
  MoveWindow(btnOK, cancelLeft - kGap - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight, TRUE);
}

void TOptForm::btnRemoveClick() {
  const int selected = static_cast<int>(SendMessageA(lbMain, LB_GETCURSEL, 0, 0));
  const int count = static_cast<int>(SendMessageA(lbMain, LB_GETCOUNT, 0, 0));
  const int next = selected == count - 1 ? count - 2 : selected;
  if (selected >= 0) SendMessageA(lbMain, LB_DELETESTRING, selected, 0);
  SendMessageA(lbMain, LB_SETCURSEL, next, 0);  // -1 selects nothing
}

void TOptForm::btnOKClick() {
  items = ListItems();
  EndDialog(hwnd_, IDOK);
}

void TOptForm::btnCancelClick() { EndDialog(hwnd_, IDCANCEL); }

std::vector<std::string> TOptForm::ListItems() const {
  std::vector<std::string> entries;
  const int count = static_cast<int>(SendMessageA(lbMain, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string text(SendMessageA(lbMain, LB_GETTEXTLEN, i, 0), '\0');
    SendMessageA(lbMain, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    entries.push_back(text.c_str());
  }
  return entries;
}

void TOptForm::FillList(const std::vector<std::string>& entries) {
  SendMessageA(lbMain, LB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries)
    SendMessageA(lbMain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

void TOptForm::InsertItem(const std::string& text) {
  LRESULT at = SendMessageA(lbMain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(lbMain, LB_SETCURSEL, at, 0);
}

engines::AddResult TOptForm::AddToList(const std::string& path) {
  // The list box sorts as a sorted tracked list does, so the rule sees the same order.
  engines::TrackedList list(engines::TrackedList::Order::Sorted);
  list.entries = ListItems();
  const engines::AddResult result = engines::AddToTrackedList(list, path);
  if (result == engines::AddResult::Added || result == engines::AddResult::ReplacedInner) {
    FillList(list.entries);
    const LRESULT at = SendMessageA(lbMain, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(engines::LowerAscii(path).c_str()));
    SendMessageA(lbMain, LB_SETCURSEL, at, 0);
  }
  return result;
}

void TOptForm::Notice(const std::string& text, const char* caption, UINT icon) const {
  MessageBeep(MB_ICONHAND);
  MessageBoxA(hwnd_, text.c_str(), caption, MB_OK | icon);
}

}  // namespace dialogs
