#pragma once
// A text file shown in a rich edit control: the control reads the file in chunks of its
// own (EM_STREAMIN, plain text), so no copy of the whole text is made on the way.
#include <windows.h>

#include <string>

namespace platform {

// Replaces the control's text with the beginning of the file: all of it when it has at
// most limit bytes; else the whole lines within limit bytes, followed by note. A file
// that cannot be opened gives an empty control. Answers whether the file was cut.
bool StreamFileIntoRichEdit(HWND control, const std::string& path, size_t limit,
                            const std::string& note);

}  // namespace platform
