#pragma once
// The help source text: the topics as the writer of the manual types them.
//
//   ; a comment
//   .title Vortan4 Help          the help file's title (the viewer's caption)
//   .contents NAME               the contents topic (otherwise the first topic)
//   .topic NAME [NUMBER ...]     a topic: its context name and help context numbers
//   # Title                      the topic's title, shown as its first line
//   ## Heading                   a heading inside the topic
//   * item                       a bulleted paragraph
//   text                         each line is a paragraph
//
// Inside text, {words|NAME} jumps to the topic NAME.
#include <istream>
#include <string>

#include "helpfile.h"

namespace hlpc {

// Throws std::runtime_error naming the line for a mistake in the source.
HelpFile ParseHelpSource(std::istream& in);

}  // namespace hlpc
