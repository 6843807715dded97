// A stand-in install program for the undo tests, without a window: it changes files below
// C:\undotest, the INI file c:\windows\undotest.ini and the registry key Software\UndoTest
// (of the machine and of the user) as installers do, over what the test prepared.
//   undosetup light   adds files, INI keys, registry keys and values, changes and deletes
//                     INI keys and values
//   undosetup full    the same, and changes one file and deletes another
//   undosetup moves   renames a folder, replaces a file by renaming another over it,
//                     deletes a read-only file, makes a string value a number (with
//                     full or light)
//   undosetup big     adds a value of 1.5 MB
//   undosetup long    adds a file in folders whose path is 300 characters long
#include <windows.h>

#include <string>

namespace {

const char kRoot[] = "C:\\undotest";
const char kIni[] = "c:\\windows\\undotest.ini";

bool WriteFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok;
}

bool SetValue(HKEY root, const char* key, const char* name, DWORD type, const void* data,
              DWORD size) {
  return RegSetKeyValueA(root, key, name, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

// Folders and a file past MAX_PATH, made through the wide calls as installers do.
bool MakeLongPath(const std::string& root) {
  std::wstring path = L"\\\\?\\" + std::wstring(root.begin(), root.end()) + L"\\Deep";
  bool ok = CreateDirectoryW(path.c_str(), nullptr);
  for (wchar_t part = L'a'; part < L'd'; ++part) {
    path += L"\\" + std::wstring(90, part);
    ok = CreateDirectoryW(path.c_str(), nullptr) && ok;
  }
  HANDLE file = CreateFileW((path + L"\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return ok;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  const std::string root = kRoot;
  bool ok = CreateDirectoryA((root + "\\App").c_str(), nullptr) &&
            CreateDirectoryA((root + "\\App\\Data").c_str(), nullptr);
  ok = WriteFile(root + "\\App\\app.exe", "program") && ok;
  ok = WriteFile(root + "\\App\\Data\\data.dat", "data") && ok;
  if (std::string(commandLine).find("full") != std::string::npos) {
    ok = WriteFile(root + "\\keep.txt", "2.0, longer") && ok;
    ok = DeleteFileA((root + "\\old.txt").c_str()) && ok;
  }
  if (std::string(commandLine).find("moves") != std::string::npos) {
    ok = WriteFile(root + "\\replaced.new", "after") && ok;
    ok = MoveFileExA((root + "\\replaced.new").c_str(), (root + "\\replaced.txt").c_str(),
                     MOVEFILE_REPLACE_EXISTING) && ok;
    ok = MoveFileA((root + "\\Docs").c_str(), (root + "\\Papers").c_str()) && ok;
    ok = SetFileAttributesA((root + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL) &&
         DeleteFileA((root + "\\ro.txt").c_str()) && ok;
    const DWORD kind = 5;
    ok = SetValue(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Kind", REG_DWORD, &kind, 4) && ok;
  }
  if (std::string(commandLine).find("big") != std::string::npos) {
    const std::string big(1536 * 1024, '\x5A');
    ok = SetValue(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Big", REG_BINARY, big.data(),
                  static_cast<DWORD>(big.size())) && ok;
  }
  if (std::string(commandLine).find("long") != std::string::npos) ok = MakeLongPath(root) && ok;
  ok = WritePrivateProfileStringA("Main", "Colour", "blue", kIni) && ok;
  ok = WritePrivateProfileStringA("Main", "Gone", nullptr, kIni) && ok;
  ok = WritePrivateProfileStringA("New", "Fresh", "1", kIni) && ok;
  const DWORD build = 200, count = 1234;
  ok = SetValue(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Version", REG_SZ, "2.0", 4) && ok;
  ok = SetValue(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Build", REG_DWORD, &build, 4) && ok;
  ok = RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Old") == ERROR_SUCCESS && ok;
  ok = RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\UndoTest\\Legacy") == ERROR_SUCCESS && ok;
  ok = SetValue(HKEY_LOCAL_MACHINE, "Software\\UndoTest\\Options", "Count", REG_DWORD, &count, 4) &&
       ok;
  ok = SetValue(HKEY_CURRENT_USER, "Software\\UndoTest\\User", "Seen", REG_SZ, "1", 2) && ok;
  return ok ? 0 : 1;
}
