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

}  // namespace memotext
