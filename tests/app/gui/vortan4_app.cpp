#include "vortan4_app.h"

#include "engines/helpers.h"
#include "platform/owners.h"
#include "platform/profile.h"

namespace gui_tests {

Vortan4::Vortan4() : exe(folder / "VORTAN4.EXE") {}

Vortan4::~Vortan4() {
  if (app && window && IsWindow(window)) app->Close(window);
  app.reset();
}

void Vortan4::Start(const std::string& version, const std::string& arguments) {
  if (GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
    ASSERT_TRUE(CopyFileA("C:\\tests\\VORTAN4.EXE", exe.c_str(), FALSE))
        << "VORTAN4.EXE is staged beside the tests by tools/wine-test (VORTAN4_STAGE)";
    if (withTrapDriver) {
      ASSERT_TRUE(CopyFileA("C:\\tests\\VORTTRAP.VXD", (folder / "VORTTRAP.VXD").c_str(), FALSE))
          << "the trap driver is staged with the program";
      ASSERT_TRUE(CopyFileA("C:\\tests\\VORTCAP.DLL", (folder / "VORTCAP.DLL").c_str(), FALSE))
          << "the capture the trap driver puts into traced programs is staged with it";
    }
    // Its help file goes with it, as an installation has it.
    CopyFileA("C:\\tests\\VORTAN4.HLP", (folder / "VORTAN4.HLP").c_str(), FALSE);
  }
  ASSERT_TRUE(gui::SetWindowsVersion("VORTAN4.EXE", version));
  app = std::make_unique<gui::App>(exe, arguments);
  ASSERT_TRUE(app->Started());
  window = app->WaitWindow(kCaption);
  ASSERT_NE(window, nullptr) << "no main window";
}

long Vortan4::Close() {
  long code = app->Close(window);
  window = nullptr;
  return code;
}

std::string Vortan4::Setting(const std::string& section, const std::string& key) const {
  return platform::ReadProfileString(folder / "VORTAN4.INI", section, key, "<missing>");
}

std::string Vortan4::LowerFolder() const { return engines::LowerAscii(folder.Path()); }

void Vortan4::ChooseProgram(const std::string& program, const std::string& parameters,
                            int modeButton) {
  Type(IDC_ebInstallProg, program);
  Type(IDC_ebParams, parameters);
  gui::Click(Item(modeButton));
}

bool Vortan4::GoAndWaitForTheInstall() {
  gui::ClickAsync(Item(IDC_btnInstall));
  return gui::WaitFor([&] { return Enabled(IDC_btnInstDone); }, kSessionTimeout);
}

bool Vortan4::CompleteAndWaitForTheReport() {
  gui::ClickAsync(Item(IDC_btnInstDone));
  return gui::WaitFor([&] { return gui::Visible(Item(IDC_meRept)); }, kSessionTimeout);
}

}  // namespace gui_tests
