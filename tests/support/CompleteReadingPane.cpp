// Reads tests/support/complete_reading_pane.txt; its form is described at the top of the file.
#include "tests/support/CompleteReadingPane.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::strtoul(text.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> CompleteReadingPane(const std::string& language) {
  std::ifstream file(COMPLETE_READING_PANE);
  if (!file) throw std::runtime_error("cannot read " COMPLETE_READING_PANE);
  std::vector<std::string> lines;
  std::string section;
  std::string line;
  while (std::getline(file, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (section == language && line.size() >= 2 && line.front() == '|' && line.back() == '|') {
      lines.push_back(Unescape(line.substr(1, line.size() - 2)));
    }
  }
  if (lines.empty()) throw std::runtime_error("no pane lines for " + language);
  return lines;
}
