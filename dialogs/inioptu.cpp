#include "dialogs/inioptu.h"

#include "dialogs/folderbrowser.h"
#include "platform/system.h"

namespace dialogs {

TTrackIniForm::TTrackIniForm(const PlacementStore& placements)
    : TOptForm(placements, {"TrackIniForm", "INI file options",
                            "Vortan4 will track changes to the INI files listed here.", 38, 40}) {}

std::string TTrackIniForm::RunOpenDialog1() const {
  FileChoosing choosing;
  choosing.title = "Select INI file";
  choosing.filter = "INI Files\0*.INI\0";
  choosing.folder = platform::WindowsFolder();
  choosing.defaultExtension = "INI";
  choosing.flags = OFN_FILEMUSTEXIST | OFN_ENABLESIZING;
  return ChooseFileToOpen(Handle(), choosing);
}

void TTrackIniForm::btnAddClick() {
  const std::string chosen = RunOpenDialog1();
  if (chosen.empty()) return;
  const std::string quoted = "\"" + chosen + "\"";
  // A name typed with another extension is taken as it is; only .INI files are listed.
  const size_t dot = chosen.find_last_of(".\\");
  const bool iniExtension = dot != std::string::npos && chosen[dot] == '.' &&
                            engines::LowerAscii(chosen.substr(dot)) == ".ini";
  if (!iniExtension) return Notice(quoted + " is not an .INI file.", "Warning", MB_ICONWARNING);

  const std::string entry = engines::LowerAscii(chosen);
  for (const std::string& item : ListItems())
    if (engines::LowerAscii(item) == entry)
      return Notice(quoted + " is already present on the list.", "Warning", MB_ICONWARNING);

  if (engines::IsIniFile(chosen))
    InsertItem(entry);
  else
    Notice("Although " + quoted + " has the .INI extension, it does not appear to be an .INI file.",
           "Warning", MB_ICONWARNING);
}

}  // namespace dialogs
