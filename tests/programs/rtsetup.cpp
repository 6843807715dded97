// A stand-in install program for real-time tracking. Traced by the program, it leaves the
// reporting of its changes to the operation capture inside it: without the capture the
// session hears of nothing. Started from a test with "report" first, it reports each
// change into the trap driver's feed itself, as the capture would. The test prepares
// old.txt, same.txt, gone.txt and ren.txt in FOLDER.
//   rtsetup [report] FOLDER          the changes below, then starts "rtsetup [report] child
//                                    FOLDER" and waits for it
//   rtsetup [report] child FOLDER    writes FOLDER\child.txt
#include <windows.h>

#include <string>

#include "trapdriver/feed/feed.h"

namespace {

using trapfeed::Kind;
using trapfeed::Message;

bool reportsItself = false;  // "report": no capture tells the feed

void Report(const Message& message) {
  if (reportsItself) trapfeed::Send(message);
}

Message FileMessage(uint32_t operation, const std::string& path, uint32_t subCode = 0) {
  Message message;
  message.kind = Kind::File;
  message.operation = operation;
  message.subCode = subCode;
  message.processId = GetCurrentProcessId();
  message.path = path;
  return message;
}

void WriteFile(const std::string& path, const std::string& bytes, DWORD disposition) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
  DWORD written = 0;
  SetFilePointer(file, 0, nullptr, FILE_END);
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// An open for writing of an existing file: its size and time before the open go along.
void Opened(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA before{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &before);
  Message message = FileMessage(36, path, 2);
  message.sizeBefore = (uint64_t(before.nFileSizeHigh) << 32) | before.nFileSizeLow;
  message.writeTimeBefore =
      (uint64_t(before.ftLastWriteTime.dwHighDateTime) << 32) | before.ftLastWriteTime.dwLowDateTime;
  Report(message);
}

void Created(const std::string& path, const std::string& bytes) {
  WriteFile(path, bytes, CREATE_ALWAYS);
  Message message = FileMessage(36, path, 1);
  message.created = true;
  Report(message);
}

void Registry(uint32_t operation, const std::string& key, const std::string& name = "",
              DWORD type = 0, const std::string& data = "") {
  HKEY opened = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                  nullptr);
  Message message;
  message.kind = Kind::Registry;
  message.operation = operation;
  message.processId = GetCurrentProcessId();
  message.keyPath = "HKEY_LOCAL_MACHINE\\" + key;
  if (operation == 2) {
    RegSetValueExA(opened, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    message.valueName = name;
    message.valueType = type;
    message.hasNewData = true;
    message.newData = data;
  }
  RegCloseKey(opened);
  Report(message);
}

void RunChild(const std::string& folder) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string line =
      std::string("\"") + self + "\" " + (reportsItself ? "report " : "") + "child " + folder;
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

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = __argc;
  char** argv = __argv;
  if (argc > 1 && std::string(argv[1]) == "report") {
    reportsItself = true;
    --argc;
    ++argv;
  }
  if (argc == 3 && std::string(argv[1]) == "child") {
    Created(std::string(argv[2]) + "child.txt", "child");
    Sleep(300);  // named while it runs, when nothing registered it beforehand
    return 0;
  }
  if (argc != 2) return 2;
  const std::string folder = argv[1];  // with a trailing backslash

  CreateDirectoryA((folder + "sub").c_str(), nullptr);
  Report(FileMessage(32, folder + "sub", 0));
  Created(folder + "sub\\new.txt", "new");
  Opened(folder + "old.txt");
  WriteFile(folder + "old.txt", " and more", OPEN_EXISTING);
  Opened(folder + "same.txt");  // opened for writing, left as it was
  DeleteFileA((folder + "gone.txt").c_str());
  Report(FileMessage(31, folder + "gone.txt"));
  Created(folder + "temp.tmp", "scratch");  // made and removed again: no trace
  DeleteFileA((folder + "temp.tmp").c_str());
  Report(FileMessage(31, folder + "temp.tmp"));
  MoveFileA((folder + "ren.txt").c_str(), (folder + "renamed.txt").c_str());
  Message rename = FileMessage(37, folder + "ren.txt");
  rename.newPath = folder + "renamed.txt";
  Report(rename);

  Registry(0, "Software\\RtSetup");
  Registry(2, "Software\\RtSetup", "Version", REG_SZ, std::string("1.0\0", 4));
  Registry(2, "Software\\RtSetup", "Count", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4));
  // The default value and one named "@": two values.
  Registry(2, "Software\\RtSetup", "", REG_SZ, std::string("default\0", 8));
  Registry(2, "Software\\RtSetup", "@", REG_SZ, std::string("at\0", 3));
  RunChild(folder);
  return 0;
}
