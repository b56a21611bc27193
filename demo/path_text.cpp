#include "demo/path_text.h"

#include <windows.h>

namespace vinsdemo::Module1 {

std::string ReverseString(const std::string& text) {
    // Walk the characters forwards (a lead byte and its trail byte form one character in a
    // double-byte code page) and put each one in front of what came before it.
    std::string reversed(text.size(), '\0');
    size_t end = text.size();
    const char* begin = text.c_str();
    for (const char* at = begin; *at != '\0' && at < begin + text.size();) {
        const char* next = CharNextA(at);
        size_t length = static_cast<size_t>(next - at);
        end -= length;
        reversed.replace(end, length, at, length);
        at = next;
    }
    return reversed;
}

namespace {

// Where the first `separator` character of `text` starts, or npos. Searches character by
// character, so that a trail byte equal to the separator is not taken for one.
size_t FindCharacter(const std::string& text, char separator) {
    for (const char* at = text.c_str(); *at != '\0'; at = CharNextA(at)) {
        if (*at == separator) return static_cast<size_t>(at - text.c_str());
    }
    return std::string::npos;
}

}  // namespace

std::string GetFileName(std::string path) {
    std::string reversed = ReverseString(path);
    size_t cut = FindCharacter(reversed, '\\');
    if (cut == std::string::npos) cut = FindCharacter(reversed, ':');
    if (cut != std::string::npos) reversed.resize(cut);
    return ReverseString(reversed);
}

}  // namespace vinsdemo::Module1
