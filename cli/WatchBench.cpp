// The fixtures' shared port list, output and files.
#include "cli/WatchBench.h"

bool TickPortList::ListPorts(std::vector<PortInfo>& ports) {
  const int64_t age = age_.ElapsedMs();
  bool walk = !read_ || age >= kStillMs;
  std::string stamp;
  if (!walk && age >= kPollMs) {
    stamp = access_.PortListStamp();
    walk = stamp.empty() || stamp != stamp_;
  }
  if (walk) {
    // The stamp is taken before the walk: a port that comes during the walk moves it again.
    stamp_ = stamp.empty() ? access_.PortListStamp() : stamp;
    listed_ = access_.Lister().ListPorts(ports_);
    read_ = true;
    age_.Restart();
  }
  ports = ports_;
  return listed_;
}

bool Bench::Publish(ReadingRecord& record, const std::string& givenPort) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The last of --count is taken once: the fixtures still reading when it came stop unrecorded.
  if (countReached_) return false;
  previous_.Alias(givenPort, record.Port);
  previous_.Mark(record);
  bool written = true;
  for (OutputFile* file : {&log_, &csv_})
    if (file->IsOpen() && !file->AppendRecord(record)) written = false;
  if (!written) {
    failed_ = true;
    if (exitCode_ == 0) exitCode_ = kExitWriteFailed;
    return false;
  }
  cx_.Terminal.Human(WatchLine(record, cx_.Language, Several()));
  if (cx_.Terminal.OutError() != 0) {
    failed_ = true;
    if (exitCode_ == 0) exitCode_ = kExitWriteFailed;
  }
  if (cx_.Options.Count > 0 && ++published_ >= cx_.Options.Count) countReached_ = true;
  return true;
}

void Bench::Show(size_t fixture, const std::string& state) {
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    states_[fixture] = state;
    for (const std::string& s : states_) line += (line.empty() ? "" : "  |  ") + s;
  }
  cx_.Terminal.Progress(line);
}
