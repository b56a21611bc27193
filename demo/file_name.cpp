#include "demo/file_name.h"

#include <windows.h>

namespace vinsdemo {
namespace {

// The number of bytes of the character at `at`: two for a lead byte and its trail byte in a
// double-byte code page, otherwise one (an embedded NUL counts as a character too).
size_t CharacterLength(const std::string& text, size_t at) {
    if (text[at] == '\0') return 1;
    const char* start = text.c_str() + at;
    return static_cast<size_t>(CharNextA(start) - start);
}

// Where the first `separator` character of `text` starts, or npos. Searches character by
// character, so that a trail byte equal to the separator is not taken for one.
size_t FindCharacter(const std::string& text, char separator) {
    for (size_t at = 0; at < text.size(); at += CharacterLength(text, at)) {
        if (text[at] == separator) return at;
    }
    return std::string::npos;
}

}  // namespace

std::string ReversedText(const std::string& text) {
    // Each character, taken from the front, goes to the back of what is still free.
    std::string reversed(text.size(), '\0');
    size_t end = text.size();
    for (size_t at = 0; at < text.size();) {
        size_t length = CharacterLength(text, at);
        end -= length;
        reversed.replace(end, length, text, at, length);
        at += length;
    }
    return reversed;
}

std::string FileNameOf(std::string path) {
    std::string reversed = ReversedText(path);
    size_t cut = FindCharacter(reversed, '\\');
    if (cut == std::string::npos) cut = FindCharacter(reversed, ':');
    if (cut != std::string::npos) reversed.resize(cut);
    return ReversedText(reversed);
}

}  // namespace vinsdemo
