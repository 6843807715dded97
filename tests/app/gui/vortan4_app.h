#pragma once
// A fresh copy of VORTAN4.EXE for each test, in a folder of its own (so with its own
// settings file), started under a chosen Windows version and driven from outside.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "app/mainu_ids.h"
#include "support/gui_driver.h"
#include "support/temp_folder.h"

namespace gui_tests {

inline const char kCaption[] = "Vortan4 - Ostrel for Windows";
// Recording, install and report of a whole session.
constexpr DWORD kSessionTimeout = 60000;

class Vortan4 : public ::testing::Test {
 protected:
  Vortan4();
  ~Vortan4() override;

  // Starts the program; fails the test when its window does not appear.
  void Start(const std::string& version = "win98", const std::string& arguments = "");
  // Closes the window and answers the program's exit code.
  long Close();

  HWND Item(int id) const { return gui::FindById(window, id); }
  std::string Text(int id) const { return gui::Text(Item(id)); }
  bool Enabled(int id) const { return gui::Enabled(Item(id)); }
  bool Checked(int id) const { return gui::Checked(Item(id)); }
  // Types into an edit control as a person would: the program hears the change.
  void Type(int id, const std::string& value) const { gui::SetText(Item(id), value); }
  std::string Setting(const std::string& section, const std::string& key) const;
  // The program's folder in lower case, as the program names it.
  std::string LowerFolder() const;

  // A session as a person runs it: the program, its parameters and the mode; "&GO!" and
  // the wait until "Install &Complete" may be clicked; the click and the wait for the
  // report's preview.
  void ChooseProgram(const std::string& program, const std::string& parameters, int modeButton);
  bool GoAndWaitForTheInstall();
  bool CompleteAndWaitForTheReport();

  testing_support::TempFolder folder;
  std::string exe;  // the copy the test runs
  bool withTrapDriver = true;  // VORTTRAP.VXD beside the copy
  std::unique_ptr<gui::App> app;
  HWND window{};
};

}  // namespace gui_tests
