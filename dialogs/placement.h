#pragma once
// Where each dialog remembers its place (and, when it can be resized, its size): the
// section "<form name> Settings" of the settings file. The settings store, a layer
// above the dialogs, keeps them; a dialog only asks at creation and tells at destruction.
#include <windows.h>

#include <string>

namespace dialogs {

class PlacementStore {
 public:
  // Puts the window at its saved place (and size); a place beyond the right or bottom
  // edge of the screen is pulled back onto it. The window's size on entry is the default.
  virtual void Restore(HWND window, const std::string& formName, bool resizable) const = 0;
  virtual void Save(HWND window, const std::string& formName, bool resizable) const = 0;

 protected:
  ~PlacementStore() = default;
};

}  // namespace dialogs
