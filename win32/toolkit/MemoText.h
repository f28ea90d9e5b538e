// How the text pane's window text divides into the lines the forms appended.
#pragma once

#include <string>
#include <vector>

namespace memotext {

constexpr const char kLineBreak[] = "\r\n";

// Each appended line ends in CR LF, so a trailing CR LF closes the last line
// rather than opening an empty one; an empty text has no lines. A CR or LF
// on its own (the user may type into the pane) stays inside its line.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(kLineBreak, start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// What AppendLine inserts at the very end of the text: the line and its break,
// after a break of its own when the user typed text without a final one, so
// that the appended line never continues the user's.
inline std::string AppendedText(const std::string& current, const std::string& line) {
  const size_t n = current.size();
  const bool closed = n == 0 || (n >= 2 && current.compare(n - 2, 2, kLineBreak) == 0);
  return (closed ? std::string() : std::string(kLineBreak)) + line + kLineBreak;
}

}  // namespace memotext
