// Starting, stopping and reading the simulated unit from a test.
#include "tests/support/SimUnitProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

std::string WireByte::Text() const {
  char text[16];
  std::snprintf(text, sizeof text, "%s %02X", direction.c_str(), value);
  return text;
}

SimUnitProcess::SimUnitProcess(const std::vector<std::string>& options) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bravelle-link-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
  transcript_ = folder_ + "/transcript.txt";
  const std::string ready = folder_ + "/ready";
  std::vector<std::string> args = {SIMUNIT_PATH, "--transcript", transcript_, "--ready-file", ready,
                                   "--link", folder_ + "/COM2"};
  args.insert(args.end(), options.begin(), options.end());
  pid_ = fork();
  if (pid_ == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(ready);
    if (in && std::getline(in, slave_) && !slave_.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("the simulated unit did not start");
}

std::vector<WireByte> SimUnitProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  std::vector<WireByte> bytes;
  std::ifstream in(transcript_);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    WireByte b;
    std::string hex;
    if (fields >> b.ms >> b.direction >> hex) {
      b.value = static_cast<int>(std::strtol(hex.c_str(), nullptr, 16));
      bytes.push_back(b);
    }
  }
  return bytes;
}

SimUnitProcess::~SimUnitProcess() {
  Stop();
  std::remove(transcript_.c_str());
  std::remove((folder_ + "/ready").c_str());
  std::remove((folder_ + "/COM2").c_str());
  std::remove((folder_ + "/COM3").c_str());
  rmdir(folder_.c_str());
}

std::vector<std::string> Texts(const std::vector<WireByte>& bytes) {
  std::vector<std::string> texts;
  for (const WireByte& b : bytes) texts.push_back(b.Text());
  return texts;
}

std::vector<std::string> ExpectedBytes(const std::string& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}
