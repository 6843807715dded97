// The capture in traced processes: each kind of operation, seen once with the process that
// made it, through a tracer that injects as the launcher does; and the capture going quiet
// when its reader has gone. The capture library here sends to a stand-in feed (a file).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/gui_driver.h"
#include "support/temp_folder.h"
#include "tests/trapdriver/capture/standin_feed.h"
#include "tests/trapdriver/capture/tracer.h"
#include "trapdriver/capture/names.h"

namespace {

using testing_support::TempFolder;

const char kProgram[] = "C:\\tests\\programs\\capsetup.exe";

std::string LibraryPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1) + "capture_standin.dll";
}

std::string UserSid() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  unsigned char buffer[256];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  char* text = nullptr;
  ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
  std::string sid = text != nullptr ? text : "";
  LocalFree(text);
  return sid;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// A traced run of capsetup with its own folder, keys and feed file.
class CaptureSession : public testing::Test {
 protected:
  CaptureSession()
      : base_(folder_.Path().substr(0, folder_.Path().size() - 1)),
        token_("VortCapTest" + std::to_string(GetCurrentProcessId())),
        feed_(folder_ / "feed.txt") {
    folder_.Write("feed.txt", "");
    SetEnvironmentVariableA(capture_standin::kStandinVariable, feed_.c_str());
  }
  ~CaptureSession() override { SetEnvironmentVariableA(capture_standin::kStandinVariable, nullptr); }

  trapdriver_testing::TraceResult Trace(const std::string& arguments) {
    return trapdriver_testing::TraceProgram(std::string("\"") + kProgram + "\" " + arguments,
                                     LibraryPath(), 60000);
  }

  std::vector<trapfeed::Message> Received() const {
    std::ifstream in(feed_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return capture_standin::Parse(text.str());
  }

  // The messages that name one of `names` (each paired with its short form), one line each
  // with names shortened and prefixed by the index of its process in `ids`.
  using Names = std::vector<std::pair<std::string, std::string>>;
  std::vector<std::string> Describe(const std::vector<DWORD>& ids, const Names& names) const {
    std::vector<std::string> lines;
    for (const trapfeed::Message& m : Received()) {
      size_t process = 0;
      while (process < ids.size() && ids[process] != m.processId) ++process;
      std::ostringstream line;
      line << process << ": ";
      if (m.kind == trapfeed::Kind::File) {
        line << "file " << m.operation << '.' << m.subCode << ' ' << m.path;
        if (!m.newPath.empty()) line << " -> " << m.newPath;
        if (m.created) line << " created";
        if (m.sizeBefore != 0) line << " size " << m.sizeBefore;
        if (m.status != 0) line << " failed";
      } else {
        line << "key " << m.operation << ' ' << m.keyPath;
        if (m.operation >= 2)
          line << " [" << m.valueName << "] " << m.valueType << ' '
               << (m.hasNewData ? capture_standin::Hex(m.newData) : "") << ' '
               << (m.hasOldData ? capture_standin::Hex(m.oldData) : "");
      }
      std::string text = line.str();
      bool ours = false;
      for (const auto& [name, shortName] : names) {
        ours = ours || text.find(name) != std::string::npos;
        ReplaceAll(text, name, shortName);
      }
      if (ours) lines.push_back(text);
    }
    return lines;
  }

  // This test's folder B and keys K (machine), U (user), X (class).
  std::vector<std::string> Describe(const std::vector<DWORD>& ids) const {
    return Describe(ids, {{base_, "B"},
                          {"HKEY_LOCAL_MACHINE\\Software\\Classes\\." + token_, "X"},
                          {"HKEY_LOCAL_MACHINE\\Software\\" + token_, "K"},
                          {"HKEY_USERS\\" + UserSid() + "\\Software\\" + token_, "U"}});
  }

  TempFolder folder_;
  std::string base_, token_, feed_;
};

TEST(CaptureNames, NativeNamesBecomeTheRecordsNames) {
  struct Case {
    const wchar_t* native;
    const char* file;
    const char* key;
  } cases[] = {
      {L"\\??\\C:\\Dir\\File.txt", "C:\\Dir\\File.txt", ""},
      {L"\\??\\c:", "c:", ""},
      {L"\\??\\C:\\Dir\\", "C:\\Dir", ""},
      {L"\\??\\C:\\", "C:\\", ""},
      {L"\\??\\UNC\\server\\share\\f", "\\\\server\\share\\f", ""},
      {L"\\??\\pipe\\x", "", ""},
      {L"\\Device\\NamedPipe\\x", "", ""},
      {L"\\REGISTRY\\Machine\\Software\\A", "", "HKEY_LOCAL_MACHINE\\Software\\A"},
      {L"\\Registry\\MACHINE", "", "HKEY_LOCAL_MACHINE"},
      {L"\\REGISTRY\\User\\S-1-5-21-0-0-0-1000\\Software", "", "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software"},
      {L"\\REGISTRY\\MachineX\\A", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trapcapture::Win32FilePath(c.native), c.file);
    EXPECT_EQ(trapcapture::RegistryPath(c.native), c.key);
  }
  const wchar_t text[] = L"ab\0c\0";
  EXPECT_EQ(trapcapture::AnsiValueData(REG_MULTI_SZ, text, sizeof text - 2), std::string("ab\0c\0", 5));
  EXPECT_EQ(trapcapture::AnsiValueData(REG_BINARY, "\x01\x00", 2), std::string("\x01\x00", 2));
}

TEST_F(CaptureSession, EachOperationOnceWithTheProcessThatMadeIt) {
  trapdriver_testing::TraceResult result = Trace("run \"" + base_ + "\" Software\\" + token_);
  ASSERT_TRUE(result.allEnded);
  ASSERT_EQ(result.processIds.size(), 3u);
  EXPECT_EQ(result.injected, 3);
  std::vector<std::string> expected = {
      "0: file 32.0 B\\sub",
      "0: file 36.1 B\\a.txt created",
      "0: file 36.2 B\\a.txt size 5",
      "0: file 37.0 B\\a.txt -> B\\b.txt",
      "0: file 37.0 B\\b.txt -> B\\a.txt",
      "0: file 36.1 B\\temp.txt created",
      "0: file 31.0 B\\temp.txt",
      "0: file 32.1 B\\sub",
      "0: file 36.1 B\\missing\\x.txt failed",
      "0: file 36.1 B\\crt.txt created",
      "0: file 36.1 B\\shell.txt created",
      "0: key 0 K",
      "0: key 0 K\\Sub",
      "0: key 2 K\\Sub [Str] 1 6f6e6500 ",
      "0: key 3 K\\Sub [Str] 1 74776f00 6f6e6500",
      "0: key 3 K\\Sub [Str] 1 74776f00 74776f00",
      "0: key 2 K\\Sub [Num] 4 07000000 ",
      "0: key 4 K\\Sub [Num] 4  07000000",
      "0: key 2 K\\Sub [] 3 010203 ",
      "0: key 1 K\\Sub",
      "0: key 0 K\\Renamed",
      "0: key 2 K\\Renamed [After] 1 7800 ",
      // A key deleted goes with its values, each with its data.
      "0: key 4 K\\Renamed [] 3  010203",
      "0: key 4 K\\Renamed [After] 1  7800",
      "0: key 4 K\\Renamed [Str] 1  74776f00",
      "0: key 1 K\\Renamed",
      "0: key 1 K",
      "0: key 0 U",
      "0: key 2 U [User] 1 7800 ",
      "0: key 4 U [User] 1  7800",
      "0: key 1 U",
      // Set by another program, and through another handle, in a key this one made: changed.
      "0: key 0 K",
      "1: key 2 K [Theirs] 1 6265666f726500 ",
      "0: key 2 K [Other] 1 6265666f726500 ",
      "0: key 3 K [Theirs] 1 7800 6265666f726500",
      "0: key 3 K [Other] 1 7800 6265666f726500",
      "0: key 4 K [Other] 1  7800",
      "0: key 4 K [Theirs] 1  7800",
      "0: key 1 K",
      "0: key 0 X",
      "0: key 1 X",
      "2: file 36.1 B\\child.txt created",
  };
  EXPECT_EQ(Describe(result.processIds), expected);
}

// What the lists once got wrong, as the capture must send it: nothing for a scratch file made
// with delete-on-close, every entry of a renamed folder renamed with it, the file that a
// rename replaces removed first, and a path past MAX_PATH whole.
TEST_F(CaptureSession, RenamesScratchFilesAndLongPaths) {
  folder_.Write("old\\a.txt", "a");
  folder_.Write("old\\sub\\b.txt", "b");
  folder_.Write("target.txt", "old");
  std::string longName;
  while (base_.size() + longName.size() < 300) longName += "long folder\\";
  longName += "deep.txt";
  trapdriver_testing::TraceResult result = Trace("moves \"" + base_ + "\" \"" + longName + "\"");
  ASSERT_TRUE(result.allEnded);
  std::vector<std::string> expected = {
      "0: file 37.1 B\\old -> B\\moved",
      "0: file 37.0 B\\old\\a.txt -> B\\moved\\a.txt",
      "0: file 37.1 B\\old\\sub -> B\\moved\\sub",
      "0: file 37.0 B\\old\\sub\\b.txt -> B\\moved\\sub\\b.txt",
      "0: file 32.0 B\\made",
      "0: file 36.1 B\\made\\c.txt created",
      "0: file 37.1 B\\made -> B\\made2",
      "0: file 37.0 B\\made\\c.txt -> B\\made2\\c.txt",
      "0: file 36.1 B\\new.txt created",
      "0: file 31.0 B\\target.txt",
      "0: file 37.0 B\\new.txt -> B\\target.txt",
  };
  for (size_t slash = longName.find('\\'); slash != std::string::npos;
       slash = longName.find('\\', slash + 1))
    expected.push_back("0: file 32.0 B\\" + longName.substr(0, slash));
  expected.push_back("0: file 36.1 B\\" + longName + " created");
  EXPECT_EQ(Describe(result.processIds), expected);
}

// The reader goes away while a traced child still runs: the child's next write finds no
// reader, and from then on the capture says nothing, even to a reader that comes back; the
// child neither hangs nor fails.
TEST_F(CaptureSession, QuietWhenTheReaderHasGone) {
  const std::string eventName = "VortCapTestGo" + std::to_string(GetCurrentProcessId());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  HANDLE again = CreateEventA(nullptr, TRUE, FALSE, (eventName + "-again").c_str());
  trapdriver_testing::TraceResult result;
  std::thread tracer([&] {
    result = Trace("run \"" + base_ + "\" Software\\" + token_ + " " + eventName);
  });
  // The parent's last message is the class key's deletion.
  EXPECT_TRUE(gui::WaitFor([&] {
    std::vector<std::string> lines = Describe({});
    return !lines.empty() && lines.back().find("key 1 X") != std::string::npos;
  }, 30000)) << "the capture never spoke";
  DeleteFileA(feed_.c_str());
  SetEvent(go);
  const std::string waits = base_ + "\\child-waits.txt";
  EXPECT_TRUE(gui::WaitFor([&] { return GetFileAttributesA(waits.c_str()) != INVALID_FILE_ATTRIBUTES; },
                           30000));
  folder_.Write("feed.txt", "");
  SetEvent(again);
  tracer.join();
  CloseHandle(go);
  CloseHandle(again);
  EXPECT_TRUE(result.allEnded);
  EXPECT_EQ(folder_.Read("child.txt"), "child again");
  EXPECT_EQ(Describe(result.processIds), std::vector<std::string>()) << "heard after it went";
}

// The capture changes nothing the traced program sees: each call of capsetup's table gives
// the same result, last error and output parameters traced as untraced.
TEST_F(CaptureSession, TheProgramSeesTheSameTracedAsUntraced) {
  auto run = [&](const std::string& name, bool traced) {
    const std::string arguments = "calls \"" + base_ + "\\" + name + "\" Software\\" + token_ +
                                  name + " \"" + (folder_ / name) + ".out\"";
    folder_.MakeFolder(name);
    if (traced) {
      EXPECT_EQ(Trace(arguments).injected, 1);
    } else {
      trapdriver_testing::TraceProgram(std::string("\"") + kProgram + "\" " + arguments,
                                       [](HANDLE, HANDLE, DWORD) { return true; }, 60000);
    }
    return folder_.Read(name + ".out");
  };
  const std::string untraced = run("plain", false);
  EXPECT_NE(untraced.find("remove folder 1 "), std::string::npos) << untraced;
  EXPECT_EQ(run("traced", true), untraced);
  EXPECT_GT(Received().size(), 10u) << "the capture was not there";
}

// A Windows Installer package: the install runs inside the msiexec that was started.
TEST_F(CaptureSession, WindowsInstallerPackage) {
  ASSERT_NE(GetFileAttributesA("C:\\tests\\programs\\capmsi.msi"), INVALID_FILE_ATTRIBUTES)
      << "no package: the build makes it with wixl";
  trapdriver_testing::TraceResult result = trapdriver_testing::TraceProgram(
      "msiexec /i C:\\tests\\programs\\capmsi.msi /qn", LibraryPath(), 120000);
  std::vector<std::string> lines = Describe(
      result.processIds, {{"C:\\Program Files\\VortCapMsi", "P"},
                          {"HKEY_LOCAL_MACHINE\\Software\\VortCapMsi", "K"}});
  trapdriver_testing::TraceProgram("msiexec /x C:\\tests\\programs\\capmsi.msi /qn", LibraryPath(),
                            120000);
  EXPECT_TRUE(result.allEnded) << ::testing::PrintToString(result.stillRunning);
  EXPECT_EQ(result.injected, static_cast<int>(result.processIds.size()));
  std::vector<std::string> expected = {
      "0: file 32.0 P",
      "0: file 36.2 P\\readme.txt created",
      "0: key 0 K",
      "0: key 2 K [Version] 1 312e3000 ",
  };
  EXPECT_EQ(lines, expected);
}

// A batch install: cmd's own commands, and a program it starts.
TEST_F(CaptureSession, BatchInstall) {
  folder_.Write("install.bat",
                "@echo off\r\n"
                "md \"" + base_ + "\\dir\"\r\n"
                "echo hello> \"" + base_ + "\\dir\\a.txt\"\r\n"
                "copy \"" + base_ + "\\dir\\a.txt\" \"" + base_ + "\\dir\\b.txt\" >NUL\r\n"
                "del \"" + base_ + "\\dir\\a.txt\"\r\n"
                "reg add HKLM\\Software\\" + token_ + " /v Bat /t REG_SZ /d yes /f >NUL\r\n");
  trapdriver_testing::TraceResult result =
      trapdriver_testing::TraceProgram("cmd /c \"" + base_ + "\\install.bat\"", LibraryPath(), 60000);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("Software\\" + token_).c_str());
  EXPECT_TRUE(result.allEnded);
  ASSERT_EQ(result.processIds.size(), 2u);  // cmd and reg
  EXPECT_EQ(result.injected, 2);
  std::vector<std::string> expected = {
      "0: file 32.0 B failed",  // md makes every level of the path
      "0: file 32.0 B\\dir",
      "0: file 36.1 B\\dir\\a.txt created",
      "0: file 36.1 B\\dir\\b.txt created",
      "0: file 31.0 B\\dir\\a.txt",
      "1: key 0 K",
      "1: key 2 K [Bat] 1 79657300 ",
  };
  EXPECT_EQ(Describe(result.processIds), expected);
}

}  // namespace
