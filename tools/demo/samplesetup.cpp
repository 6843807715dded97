// The sample install program of the demonstration: updates "Sample App" 1.0 to 2.0 the
// way a small setup would, with every kind of change a report shows. No window.
//   samplesetup APP_FOLDER INI_FILE
// In APP_FOLDER it adds Plugins\spell.dll and readme.txt, rewrites app.exe and deletes
// old-help.hlp; in INI_FILE it changes [Sample App] Version and adds a [Plugins] section;
// in the registry it adds HKEY_LOCAL_MACHINE\Software\Sample Maker\Sample App with two
// values. Exit code 0 when every change was made.
#include <windows.h>

#include <string>

#include "platform/owners.h"

namespace {

const char kKey[] = "Software\\Sample Maker\\Sample App";

bool WriteText(const std::string& path, const std::string& text) {
  platform::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool WriteRegistry(const std::string& appFolder) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                      nullptr) != ERROR_SUCCESS)
    return false;
  platform::RegKey key(created);
  const DWORD version = 2;
  return RegSetValueExA(key.get(), "InstallPath", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(appFolder.c_str()),
                        static_cast<DWORD>(appFolder.size() + 1)) == ERROR_SUCCESS &&
         RegSetValueExA(key.get(), "Version", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&version), sizeof version) == ERROR_SUCCESS;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 3) return 2;
  const std::string app = __argv[1], ini = __argv[2];
  bool ok = CreateDirectoryA((app + "\\Plugins").c_str(), nullptr);
  ok = WriteText(app + "\\Plugins\\spell.dll", "spelling plug-in") && ok;
  ok = WriteText(app + "\\readme.txt", "Sample App 2.0: what is new\r\n") && ok;
  ok = WriteText(app + "\\app.exe", "Sample App, version 2.0") && ok;
  ok = DeleteFileA((app + "\\old-help.hlp").c_str()) && ok;
  ok = WritePrivateProfileStringA("Sample App", "Version", "2.0", ini.c_str()) && ok;
  ok = WritePrivateProfileStringA("Plugins", "Spell", "spell.dll", ini.c_str()) && ok;
  ok = WriteRegistry(app) && ok;
  return ok ? 0 : 1;
}
