#include "app/undo_command.h"

#include <windows.h>

#include "dialogs/form.h"
#include "engines/undo.h"
#include "platform/textfile.h"

namespace app {
namespace {

const char kCaption[] = "Vortan4";

bool Same(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

// Where the command's messages go: the standard error stream, and a box when a person
// is there to read it.
class Messages {
 public:
  explicit Messages(bool quiet) : quiet_(quiet) {}
  void Tell(const std::string& text, UINT icon) const {
    const std::string line = text + "\r\n";
    DWORD written = 0;
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error && error != INVALID_HANDLE_VALUE)
      WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (!quiet_) dialogs::MessageWithBeep(nullptr, text, kCaption, MB_OK | icon);
  }
  int Ask(const std::string& text, UINT buttons) const {
    return dialogs::MessageWithBeep(nullptr, text, kCaption, buttons | MB_ICONQUESTION);
  }
  bool Quiet() const { return quiet_; }

 private:
  bool quiet_;
};

std::string Now() {
  SYSTEMTIME time;
  GetLocalTime(&time);
  char text[32];
  wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
            time.wHour, time.wMinute, time.wSecond);
  return text;
}

// The log beside the report; a log that cannot be written does not stop the undo.
void WriteLog(const std::string& path, const std::vector<std::string>& lines) {
  try {
    platform::BufferedWriter out(path);
    for (const std::string& line : lines) out.WriteLine(line);
    out.Close();
  } catch (const std::exception&) {
  }
}

std::string Summary(const engines::UndoPlan& plan) {
  return std::to_string(plan.toRemove) + " to remove, " + std::to_string(plan.toRestore) +
         " to restore, " + std::to_string(plan.cannotRestore) + " that cannot be restored, " +
         std::to_string(plan.changedSince) + " changed since the report";
}

std::string ResultText(const engines::UndoResult& result) {
  return std::to_string(result.done) + " undone, " + std::to_string(result.left) + " left, " +
         std::to_string(result.cannot) + " cannot be restored, " +
         std::to_string(result.failed) + " failed";
}

}  // namespace

bool IsUndoCommand(const std::vector<std::string>& parameters) {
  return !parameters.empty() && Same(parameters[0], "/UNDO");
}

int RunUndoCommand(const std::vector<std::string>& parameters) {
  bool quiet = false;
  std::string report;
  for (size_t i = 1; i < parameters.size(); ++i) {
    if (Same(parameters[i], "/Y"))
      quiet = true;
    else if (report.empty())
      report = parameters[i];
  }
  const Messages messages(quiet);
  if (report.empty()) {
    messages.Tell("Usage: VORTAN4.EXE /UNDO <report file> [/Y]", MB_ICONERROR);
    return kUndoNothingDone;
  }
  char full[MAX_PATH];
  if (GetFullPathNameA(report.c_str(), MAX_PATH, full, nullptr)) report = full;
  const engines::UndoPlaces places = engines::UndoPlacesOf(report);
  std::vector<std::string> log{"Undo of " + report + ", " + Now()};

  engines::UndoData data;
  try {
    data = engines::ReadUndoData(places.folder);
  } catch (const std::exception& error) {
    const std::string text = std::string("Nothing was undone: ") + error.what();
    log.push_back(text);
    WriteLog(places.log, log);
    messages.Tell(text, MB_ICONERROR);
    return kUndoNothingDone;
  }

  const engines::UndoPlan plan = engines::PlanUndo(data);
  log.push_back("Found: " + Summary(plan));
  bool overwrite = false;
  if (!quiet) {
    if (messages.Ask("Undo the install recorded in " + report + "?\r\n\r\n" + Summary(plan) + ".",
                     MB_OKCANCEL) != IDOK) {
      log.push_back("Nothing was undone: the user cancelled.");
      WriteLog(places.log, log);
      return kUndoNothingDone;
    }
    if (plan.changedSince > 0) {
      const int answer = messages.Ask(
          std::to_string(plan.changedSince) +
              " items were changed after the report. Put them back as before the install too?\r\n"
              "(No leaves them as they are now.)",
          MB_YESNOCANCEL);
      if (answer == IDCANCEL) {
        log.push_back("Nothing was undone: the user cancelled.");
        WriteLog(places.log, log);
        return kUndoNothingDone;
      }
      overwrite = answer == IDYES;
    }
  }
  const engines::UndoResult result = engines::CarryOutUndo(
      plan, overwrite, [&](const std::string& line) { log.push_back(line); });
  const std::string text = "Undo of " + report + ": " + ResultText(result) +
                           (result.Complete() ? "." : "; see " + places.log + ".");
  log.push_back(text);
  WriteLog(places.log, log);
  messages.Tell(text, result.Complete() ? MB_ICONINFORMATION : MB_ICONWARNING);
  return result.Complete() ? kUndoComplete : kUndoPartial;
}

}  // namespace app
