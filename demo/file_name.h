// Text helpers of the demonstration program: the file-name part of a path, and text reversal.
// Both work on ANSI text of any length and keep double-byte characters whole.
#pragma once

#include <string>

namespace vinsdemo {

// The text after the last backslash of `path`; without a backslash, the text after its last
// colon; with neither, the whole path. A forward slash is not a separator.
std::string FileNameOf(std::string path);

// `text` with its characters in reverse order.
std::string ReversedText(const std::string& text);

}  // namespace vinsdemo
