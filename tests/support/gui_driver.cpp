#include "support/gui_driver.h"

#include <fstream>
#include <vector>

#include "dialogs/form.h"

namespace gui {
namespace {

void DeliverMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string CaptionOf(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

struct TopSearch {
  const char* className;
  const char* caption;
  HWND owner;
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<TopSearch*>(data);
  if (!IsWindowVisible(window)) return TRUE;
  if (s->className && lstrcmpiA(ClassOf(window).c_str(), s->className) != 0) return TRUE;
  if (s->caption && CaptionOf(window) != s->caption) return TRUE;
  if (s->owner && GetWindow(window, GW_OWNER) != s->owner) return TRUE;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (s->process && process != s->process) return TRUE;
  s->found = window;
  return FALSE;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > timeout) return condition();
    DeliverMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

HWND FindTop(const char* className, const char* caption, HWND owner, DWORD process) {
  TopSearch search{className, caption, owner, process, nullptr};
  EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitTop(const char* className, const char* caption, HWND owner, DWORD process,
             DWORD timeout) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTop(className, caption, owner, process)) != nullptr; },
          timeout);
  return found;
}

HWND FindById(HWND root, int id) { return dialogs::FindControl(root, id); }

std::string Text(HWND window) {
  std::vector<char> buffer(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0) + 1);
  LRESULT length =
      SendMessageA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), static_cast<size_t>(length));
}

void SetText(HWND window, const std::string& text) {
  SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Checked(HWND button) { return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND window) { return window && IsWindowEnabled(window); }
bool Visible(HWND window) { return window && IsWindowVisible(window); }

void Click(HWND button) {
  if (Enabled(button) && Visible(button)) SendMessageA(button, BM_CLICK, 0, 0);
}

void ClickAsync(HWND button) {
  if (Enabled(button) && Visible(button)) PostMessageA(button, BM_CLICK, 0, 0);
}

namespace {
// Absolute positions: the presses carry theirs too, because Wine may take a press at
// the pointer's place before the last move has reached it.
INPUT MouseInput(POINT screen, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  input.mi.dx = (screen.x * 65536 + width - 1) / width;
  input.mi.dy = (screen.y * 65536 + height - 1) / height;
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  return input;
}
}  // namespace

void ClickAt(POINT screen, HWND target) {
  // A move to where the pointer already is does nothing: come from 3 pixels away.
  INPUT moves[2] = {MouseInput({screen.x + 3, screen.y + 3}, 0), MouseInput(screen, 0)};
  SendInput(2, moves, sizeof moves[0]);
  Responsive(target);
  INPUT press[2] = {MouseInput(screen, MOUSEEVENTF_LEFTDOWN), MouseInput(screen, MOUSEEVENTF_LEFTUP)};
  SendInput(2, press, sizeof press[0]);
}

void PressKey(WORD virtualKey) {
  INPUT keys[2]{};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof keys[0]);
}

void Answer(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  if (button) PostMessageA(button, BM_CLICK, 0, 0);
  WaitFor([&] { return !IsWindow(dialog); });
}

std::string MessageText(HWND box) { return Text(GetDlgItem(box, 0xFFFF)); }

namespace {
// A block of memory in another window's process, freed when it goes out of scope.
class RemoteBlock {
 public:
  RemoteBlock(HWND window, size_t size) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    process_ = platform::Handle(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id));
    if (process_.valid())
      address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (address_) VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
  }
  char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
  void Write(size_t offset, const void* data, size_t size) const {
    WriteProcessMemory(process_.get(), At(offset), data, size, nullptr);
  }
  void Read(size_t offset, void* data, size_t size) const {
    ReadProcessMemory(process_.get(), At(offset), data, size, nullptr);
  }

 private:
  platform::Handle process_;
  void* address_ = nullptr;
};
}  // namespace

LRESULT SendWithText(HWND window, UINT message, WPARAM wParam, const std::string& text) {
  RemoteBlock block(window, text.size() + 1);
  block.Write(0, text.c_str(), text.size() + 1);
  return SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(block.At(0)));
}

std::string TreeItemText(HWND tree, HTREEITEM item) {
  constexpr size_t kTextSize = 260;
  RemoteBlock block(tree, sizeof(TVITEMA) + kTextSize);
  TVITEMA record{};
  record.mask = TVIF_TEXT;
  record.hItem = item;
  record.pszText = block.At(sizeof record);
  record.cchTextMax = kTextSize;
  block.Write(0, &record, sizeof record);
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.At(0)));
  char text[kTextSize] = "";
  block.Read(sizeof record, text, sizeof text - 1);
  return text;
}

std::vector<std::string> ListBoxItems(HWND listBox) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // Wine hands the text between processes in UTF-16, whatever the caller asked for.
    std::vector<wchar_t> text(SendMessageW(listBox, LB_GETTEXTLEN, i, 0) + 1, L'\0');
    SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    char ansi[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, text.data(), -1, ansi, sizeof ansi, nullptr, nullptr);
    items.push_back(ansi);
  }
  return items;
}

bool Responsive(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeout, &result) != 0;
}

void SettlePaint(HWND window) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASE);
  Responsive(window);
  // Wine hands the painted pixels to X a moment later; nothing to poll for that.
  const DWORD start = GetTickCount();
  WaitFor([&] { return GetTickCount() - start >= 150; }, 1000);
}

void Activate(HWND window) {
  HWND other = CreateWindowExA(WS_EX_TOOLWINDOW, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(other);
  DestroyWindow(other);
  SetForegroundWindow(window);
  Responsive(window);
}

bool Shot(HWND window, const std::string& bmpPath) {
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up, as BMP files keep their rows
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP picture = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (width * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + rowBytes * height;
  std::ofstream out(bmpPath, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(static_cast<const char*>(bits), rowBytes * height);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
  ReleaseDC(nullptr, screen);
  return static_cast<bool>(out);
}

bool SetWindowsVersion(const std::string& exeName, const std::string& version) {
  HKEY created = nullptr;
  const std::string path = "Software\\Wine\\AppDefaults\\" + exeName;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &created, nullptr) != ERROR_SUCCESS)
    return false;
  platform::RegKey key(created);
  return RegSetValueExA(key.get(), "Version", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(version.c_str()),
                        static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
}

App::App(const std::string& program, const std::string& arguments) {
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  const std::string folder = program.substr(0, program.find_last_of('\\') + 1);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  id_ = info.dwProcessId;
  WaitForInputIdle(info.hProcess, kTimeout);
}

App::~App() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), kTimeout);
  }
}

HWND App::WaitWindow(const char* caption, DWORD timeout) const {
  return WaitTop("#32770", caption, nullptr, id_, timeout);
}

long App::Close(HWND window, DWORD timeout) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  return WaitExit(timeout);
}

long App::WaitExit(DWORD timeout) {
  if (!process_) return -1;
  if (WaitForSingleObject(process_.get(), timeout) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), kTimeout);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return static_cast<long>(code);
}

}  // namespace gui
