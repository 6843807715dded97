// A stand-in install program for the capture tests, without a window: one operation of each
// kind the capture reports, through kernel32, advapi32 (one call looked up at run time), the
// C runtime and shell32, and a child that writes after this program has ended, started with
// an environment of its own that names no trap driver feed.
//   capsetup run FOLDER KEY [EVENT]  the operations below FOLDER and KEY (HKLM, HKCU, HKCR),
//                                    then a child (given EVENT)
//   capsetup set KEY NAME TEXT       sets the string value NAME of HKLM\KEY
//   capsetup child FOLDER PID [EVENT]
//       waits for process PID to end (and for EVENT to be set), then writes FOLDER\child.txt;
//       where EVENT-again exists, then makes FOLDER\child-waits.txt, waits for that event
//       and appends " again" to child.txt
//   capsetup bench FOLDER KEY COUNT   COUNT file writes and COUNT value writes
//   capsetup calls FOLDER KEY OUT     a table of calls, each with what the program sees of it
//   capsetup moves FOLDER LONGNAME   what the folding once got wrong (see Moves)
//   capsetup stress FOLDER KEY [WORKER]  this program and two copies of it (workers 1 and
//       2), each with 4 threads T that each make 500 new files FOLDER\p<W>t<T>\f<I> and
//       500 new values v<I> under HKLM\KEY\p<W>t<T>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

void WriteText(const std::string& path, DWORD access, DWORD disposition, const char* text) {
  HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, disposition, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (text != nullptr) ::WriteFile(file, text, lstrlenA(text), &written, nullptr);
  CloseHandle(file);
}

HKEY CreateKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

void SetString(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
}

// This program's environment without the variable that names the trap driver's feed.
std::string EnvironmentOfItsOwn() {
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry; entry += lstrlenA(entry) + 1)
    if (_strnicmp(entry, "VORTAN4_TRAP_FEED=", 18) != 0) block.append(entry, lstrlenA(entry) + 1);
  FreeEnvironmentStringsA(strings);
  return block + '\0';
}

void StartChild(const std::string& folder, const char* eventName) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string line = std::string("\"") + self + "\" child \"" + folder + "\" " +
                     std::to_string(GetCurrentProcessId()) + (eventName ? std::string(" ") + eventName : "");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string environment = EnvironmentOfItsOwn();
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, environment.data(), nullptr,
                     &startup, &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

// This program again, run to its end.
void RunSelf(const std::string& arguments) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string line = std::string("\"") + self + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

void Run(const std::string& folder, const std::string& keyPath, const char* eventName) {
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  WriteText(folder + "\\a.txt", GENERIC_WRITE, CREATE_ALWAYS, "hello");
  WriteText(folder + "\\a.txt", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, nullptr);
  MoveFileA((folder + "\\a.txt").c_str(), (folder + "\\b.txt").c_str());
  MoveFileA((folder + "\\b.txt").c_str(), (folder + "\\a.txt").c_str());
  WriteText(folder + "\\temp.txt", GENERIC_WRITE, CREATE_NEW, "x");
  DeleteFileA((folder + "\\temp.txt").c_str());
  RemoveDirectoryA((folder + "\\sub").c_str());
  WriteText(folder + "\\missing\\x.txt", GENERIC_WRITE, CREATE_ALWAYS, "x");  // fails
  if (FILE* crt = std::fopen((folder + "\\crt.txt").c_str(), "w")) {
    std::fputs("crt", crt);
    std::fclose(crt);
  }
  std::string from = folder + "\\crt.txt" + '\0', to = folder + "\\shell.txt" + '\0';
  SHFILEOPSTRUCTA copy{};
  copy.wFunc = FO_COPY;
  copy.pFrom = from.c_str();
  copy.pTo = to.c_str();
  copy.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  SHFileOperationA(&copy);

  HKEY sub = CreateKey(HKEY_LOCAL_MACHINE, keyPath + "\\Sub");
  SetString(sub, "Str", "one");
  SetString(sub, "Str", "two");
  SetString(sub, "Str", "two");
  DWORD number = 7;
  RegSetValueExA(sub, "Num", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  RegDeleteValueA(sub, "Num");
  RegDeleteValueA(sub, "Missing");  // fails
  const BYTE binary[] = {1, 2, 3};
  RegSetValueExA(sub, "", 0, REG_BINARY, binary, sizeof binary);
  using RenameKeyCall = LONG(WINAPI*)(HKEY, const wchar_t*, const wchar_t*);
  auto renameKey = reinterpret_cast<RenameKeyCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegRenameKey")));
  if (renameKey != nullptr) renameKey(sub, nullptr, L"Renamed");
  SetString(sub, "After", "x");  // through the handle of the key renamed: under its new name
  RegCloseKey(sub);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (keyPath + "\\Renamed").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());

  HKEY user = CreateKey(HKEY_CURRENT_USER, keyPath);
  SetString(user, "User", "x");
  RegCloseKey(user);
  RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());

  // Values that stand in a key this program made, set by another program and through another
  // handle, before this one sets them.
  HKEY made = CreateKey(HKEY_LOCAL_MACHINE, keyPath);
  RunSelf("set " + keyPath + " Theirs before");
  HKEY other = CreateKey(HKEY_LOCAL_MACHINE, keyPath);
  SetString(other, "Other", "before");
  RegCloseKey(other);
  SetString(made, "Theirs", "x");
  SetString(made, "Other", "x");
  RegCloseKey(made);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
  std::string extension = "." + keyPath.substr(keyPath.rfind('\\') + 1);
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, extension));
  RegDeleteKeyA(HKEY_CLASSES_ROOT, extension.c_str());

  StartChild(folder, eventName);
}

void Child(const std::string& folder, DWORD parentId, const char* eventName) {
  if (HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId)) {
    WaitForSingleObject(parent, 10000);
    CloseHandle(parent);
  }
  if (eventName != nullptr) {
    if (HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, eventName)) {
      WaitForSingleObject(go, 10000);
      CloseHandle(go);
    }
  }
  WriteText(folder + "\\child.txt", GENERIC_WRITE, CREATE_ALWAYS, "child");
  // A second round where the test made EVENT-again: child-waits.txt tells it that the first
  // write is done, and the event that the child may write once more.
  const std::string againName = eventName != nullptr ? std::string(eventName) + "-again" : "";
  HANDLE again = eventName != nullptr ? OpenEventA(SYNCHRONIZE, FALSE, againName.c_str()) : nullptr;
  if (again != nullptr) {
    WriteText(folder + "\\child-waits.txt", GENERIC_WRITE, CREATE_ALWAYS, nullptr);
    WaitForSingleObject(again, 10000);
    CloseHandle(again);
    WriteText(folder + "\\child.txt", FILE_APPEND_DATA, OPEN_EXISTING, " again");
  }
}

void Bench(const std::string& folder, const std::string& keyPath, int count) {
  for (int i = 0; i < count; ++i)
    WriteText(folder + "\\f" + std::to_string(i % 100) + ".txt", GENERIC_WRITE, CREATE_ALWAYS, "x");
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, keyPath);
  for (int i = 0; i < count; ++i) {
    DWORD data = static_cast<DWORD>(i);
    RegSetValueExA(key, ("v" + std::to_string(i % 100)).c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&data), 4);
  }
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

// Each call of the table with what the program sees of it: the result, the last error and
// the output parameters, one line a call, into OUT. The same lines must come traced and
// untraced: the capture changes nothing the program can see.
void Calls(const std::string& folder, const std::string& keyPath, const std::string& out) {
  std::string lines;
  auto line = [&](const char* call, long long result, const std::string& outputs = "") {
    const DWORD error = GetLastError();
    lines += std::string(call) + " " + std::to_string(result) + " " + std::to_string(error) +
             (outputs.empty() ? "" : " " + outputs) + "\n";
  };
  auto open = [&](const char* call, const std::string& path, DWORD access, DWORD disposition) {
    SetLastError(0xDEAD);
    HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, disposition, 0, nullptr);
    line(call, file != INVALID_HANDLE_VALUE);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  };
  auto call = [&](const char* name, BOOL result) { line(name, result); };
  const std::string f = folder + "\\";
  open("create new", f + "a.txt", GENERIC_WRITE, CREATE_NEW);
  open("create new, there", f + "a.txt", GENERIC_WRITE, CREATE_NEW);
  open("create always, there", f + "a.txt", GENERIC_WRITE, CREATE_ALWAYS);
  open("open always, there", f + "a.txt", GENERIC_WRITE, OPEN_ALWAYS);
  open("open always, new", f + "b.txt", GENERIC_WRITE, OPEN_ALWAYS);
  open("truncate", f + "b.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
  open("open existing, missing", f + "none.txt", GENERIC_WRITE, OPEN_EXISTING);
  open("no folder", f + "none\\x.txt", GENERIC_WRITE, CREATE_ALWAYS);
  open("read", f + "a.txt", GENERIC_READ, OPEN_EXISTING);
  SetLastError(0xDEAD);
  call("move", MoveFileA((f + "a.txt").c_str(), (f + "c.txt").c_str()));
  SetLastError(0xDEAD);
  call("move, missing", MoveFileA((f + "a.txt").c_str(), (f + "d.txt").c_str()));
  SetLastError(0xDEAD);
  call("move onto one there", MoveFileA((f + "b.txt").c_str(), (f + "c.txt").c_str()));
  SetLastError(0xDEAD);
  call("delete", DeleteFileA((f + "b.txt").c_str()));
  SetLastError(0xDEAD);
  call("delete, missing", DeleteFileA((f + "b.txt").c_str()));
  SetLastError(0xDEAD);
  call("make folder", CreateDirectoryA((f + "sub").c_str(), nullptr));
  SetLastError(0xDEAD);
  call("make folder, there", CreateDirectoryA((f + "sub").c_str(), nullptr));
  open("file in it", f + "sub\\x.txt", GENERIC_WRITE, CREATE_NEW);
  SetLastError(0xDEAD);
  call("remove folder, not empty", RemoveDirectoryA((f + "sub").c_str()));
  DeleteFileA((f + "sub\\x.txt").c_str());
  SetLastError(0xDEAD);
  call("remove folder", RemoveDirectoryA((f + "sub").c_str()));

  HKEY key = nullptr;
  DWORD disposition = 0;
  auto createKey = [&](const char* name, const std::string& path) {
    SetLastError(0xDEAD);
    disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, &disposition);
    line(name, status, "disposition " + std::to_string(disposition) + (key ? " key" : ""));
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    key = nullptr;
  };
  createKey("create key", keyPath);
  createKey("create key, there", keyPath);
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key);
  auto set = [&](const char* name, const char* value, DWORD type, const std::string& data) {
    SetLastError(0xDEAD);
    line(name, RegSetValueExA(key, value, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size())));
  };
  set("set value", "v", REG_SZ, std::string("one\0", 4));
  set("set value again", "v", REG_SZ, std::string("two\0", 4));
  set("set default", nullptr, REG_DWORD, std::string("\1\0\0\0", 4));
  char data[16] = "";
  DWORD type = 0, size = sizeof data;
  SetLastError(0xDEAD);
  auto query = [&] {
    return RegQueryValueExA(key, "v", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  };
  line("query value", query(), std::to_string(type) + " " + std::to_string(size) + " " + data);
  size = 2;
  SetLastError(0xDEAD);
  line("query value, small", query(), std::to_string(size));
  SetLastError(0xDEAD);
  line("delete value", RegDeleteValueA(key, "v"));
  SetLastError(0xDEAD);
  line("delete value, missing", RegDeleteValueA(key, "v"));
  RegCloseKey(key);
  SetLastError(0xDEAD);
  line("delete key", RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str()));
  SetLastError(0xDEAD);
  line("delete key, missing", RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str()));
  SetLastError(0xDEAD);
  line("open key, missing", RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key));

  HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(file);
}

// A scratch file made with delete-on-close, the prepared folder FOLDER\old renamed, a
// folder made and renamed, a new file renamed over the prepared FOLDER\target.txt, and a
// file whose path (FOLDER\LONGNAME) is past MAX_PATH, made through the wide calls.
void Moves(const std::string& folder, const std::string& longName) {
  HANDLE scratch = CreateFileA((folder + "\\scratch.tmp").c_str(), GENERIC_READ | GENERIC_WRITE,
                               0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  DWORD written = 0;
  ::WriteFile(scratch, "x", 1, &written, nullptr);
  CloseHandle(scratch);
  MoveFileA((folder + "\\old").c_str(), (folder + "\\moved").c_str());
  CreateDirectoryA((folder + "\\made").c_str(), nullptr);
  WriteText(folder + "\\made\\c.txt", GENERIC_WRITE, CREATE_NEW, "c");
  MoveFileA((folder + "\\made").c_str(), (folder + "\\made2").c_str());
  WriteText(folder + "\\new.txt", GENERIC_WRITE, CREATE_NEW, "new");
  MoveFileExA((folder + "\\new.txt").c_str(), (folder + "\\target.txt").c_str(),
              MOVEFILE_REPLACE_EXISTING);

  std::wstring path = L"\\\\?\\";
  for (char c : folder + "\\" + longName) path += static_cast<wchar_t>(c);
  for (size_t slash = path.find(L'\\', 5 + folder.size()); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1))
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(file);
}

void Stress(const std::string& folder, const std::string& keyPath, int worker) {
  std::vector<PROCESS_INFORMATION> copies;
  for (int copy = 1; worker == 0 && copy <= 2; ++copy) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = std::string("\"") + self + "\" stress \"" + folder + "\" " + keyPath +
                       " " + std::to_string(copy);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info))
      copies.push_back(info);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // A folder of each thread's own: a new name is looked for in the whole folder under
      // Wine, which would make one crowded folder the test's bottleneck.
      const std::string name = "p" + std::to_string(worker) + "t" + std::to_string(t);
      CreateDirectoryA((folder + "\\" + name).c_str(), nullptr);
      HKEY key = CreateKey(HKEY_LOCAL_MACHINE, keyPath + "\\" + name);
      for (int i = 0; i < 500; ++i) {
        WriteText(folder + "\\" + name + "\\f" + std::to_string(i), GENERIC_WRITE, CREATE_NEW,
                  nullptr);
        DWORD data = static_cast<DWORD>(i);
        RegSetValueExA(key, ("v" + std::to_string(i)).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), 4);
      }
      RegCloseKey(key);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (PROCESS_INFORMATION& info : copies) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string mode = __argc >= 2 ? __argv[1] : "";
  if (mode == "run" && __argc >= 4) {
    Run(__argv[2], __argv[3], __argc >= 5 ? __argv[4] : nullptr);
  } else if (mode == "set" && __argc >= 5) {
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, __argv[2]);
    SetString(key, __argv[3], __argv[4]);
    RegCloseKey(key);
  } else if (mode == "child" && __argc >= 4) {
    Child(__argv[2], static_cast<DWORD>(std::atoi(__argv[3])), __argc >= 5 ? __argv[4] : nullptr);
  } else if (mode == "calls" && __argc >= 5) {
    Calls(__argv[2], __argv[3], __argv[4]);
  } else if (mode == "moves" && __argc >= 4) {
    Moves(__argv[2], __argv[3]);
  } else if (mode == "bench" && __argc >= 5) {
    Bench(__argv[2], __argv[3], std::atoi(__argv[4]));
  } else if (mode == "stress" && __argc >= 4) {
    Stress(__argv[2], __argv[3], __argc >= 5 ? std::atoi(__argv[4]) : 0);
  } else {
    return 2;
  }
  return 0;
}
