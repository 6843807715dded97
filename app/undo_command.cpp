#include "app/undo_command.h"

#include <windows.h>

#include "dialogs/form.h"
#include "report/undo_run.h"

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

 private:
  bool quiet_;
};

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

  // Data that cannot be trusted gets no log either: nothing is written anywhere.
  engines::UndoData data;
  try {
    data = report::ReadUndoDataOfReport(report);
  } catch (const std::exception& error) {
    messages.Tell(std::string("Nothing was undone: ") + error.what(), MB_ICONERROR);
    return kUndoNothingDone;
  }
  report::UndoLog log(report);
  auto nothingDone = [&](const std::string& why) {
    log.Add("Nothing was undone: " + why);
    log.Write();
    return kUndoNothingDone;
  };

  const engines::UndoPlan plan = engines::PlanUndo(data);
  bool overwrite = false;
  if (!quiet) {
    if (messages.Ask("Undo the install recorded in " + report + "?\r\n\r\n" +
                         report::UndoPlanText(plan) + ".",
                     MB_OKCANCEL) != IDOK)
      return nothingDone("the user cancelled.");
    if (plan.changedSince > 0) {
      const int answer = messages.Ask(
          std::to_string(plan.changedSince) +
              " items were changed after the report. Put them back as before the install too?\r\n"
              "(No leaves them as they are now.)",
          MB_YESNOCANCEL);
      if (answer == IDCANCEL) return nothingDone("the user cancelled.");
      overwrite = answer == IDYES;
    }
  }
  const engines::UndoResult result = report::UndoWithLog(plan, overwrite, log);
  messages.Tell("Undo of " + report + ": " + report::UndoResultText(result) +
                    (result.Complete() ? "." : "; see " + log.Path() + "."),
                result.Complete() ? MB_ICONINFORMATION : MB_ICONWARNING);
  return result.Complete() ? kUndoComplete : kUndoPartial;
}

}  // namespace app
