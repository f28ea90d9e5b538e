// bravelle-cli with a bench's history in its record files: `read --log` and `read --csv` with journals of
// 0, 100,000 and 1,000,000 records (three months of a busy four-fixture bench) against the simulated
// unit on a pty, process start to exit, each size's wall time beside the empty journal's (rounds
// interleaved so that all see the same machine) and its peak memory; and `watch`'s start-up, from the
// spawn to its first line on a terminal. The first run on each journal builds its index (FILE.idx), and
// is told apart.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "bench/SpawnCli.h"
#include "record/RecordCodec.h"
#include "tests/support/SimUnitProcess.h"

namespace {

using Steady = std::chrono::steady_clock;

double MsSince(Steady::time_point t0) {
  return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

struct Run {
  double WallMs = -1;  // negative when the command failed
  double PeakMb = 0;
};

// One reading appended to a record file, start to exit.
Run TimeRead(const std::string& port, const std::string& option, const std::string& file) {
  Run run;
  const Steady::time_point t0 = Steady::now();
  const pid_t pid = Spawn({CLI_PATH, "read", "--fixture", "left=" + port, option, file, "--json"}, CliEnvironment());
  if (pid < 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) run.WallMs = MsSince(t0);
  run.PeakMb = usage.ru_maxrss / 1024.0;
  return run;
}

// A watch started on the journals: the time to its first line on a terminal (its fixture waiting for
// its port), once the files are open and looked at.
double WatchStartMs(const std::string& folder, const std::vector<std::string>& files) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  std::vector<std::string> args = {CLI_PATH, "watch", "--fixture", "left=" + folder + "/absent"};
  args.insert(args.end(), files.begin(), files.end());
  const Steady::time_point t0 = Steady::now();
  const pid_t pid = Spawn(args, CliEnvironment(), slave);
  close(slave);
  double ms = -1;
  pollfd shown{master, POLLIN, 0};
  if (pid > 0 && poll(&shown, 1, 60000) == 1) ms = MsSince(t0);
  if (pid > 0) {
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
  }
  close(master);
  return ms;
}

// A bench's records: four fixtures taking turns, units in sequence, now and then one read again on
// another fixture.
void WriteJournals(const std::string& json, const std::string& csv, long count) {
  std::ofstream j(json, std::ios::binary | std::ios::trunc);
  std::ofstream c(csv, std::ios::binary | std::ios::trunc);
  if (count > 0) c << kUtf8Mark << CsvHeader() << "\r\n";
  ReadingRecord r;
  r.Reading.HasType = r.Reading.HasSerial = r.Reading.HasCircuit = r.Reading.HasSoftware = true;
  r.Reading.HasStatus = true;
  r.Reading.Type = "P04";
  r.Reading.Circuit = 5;
  r.Reading.SoftwareMajor = 1;
  r.Reading.SoftwareMinor = 12;
  r.ElapsedMs = 1223;
  std::string jbuf, cbuf;
  for (long i = 0; i < count; ++i) {
    const int fixture = static_cast<int>(i % 4);
    r.Fixture = std::string("bench-") + static_cast<char>('a' + fixture);
    r.Port = "/dev/ttyUSB" + std::to_string(fixture);
    r.Location = "1-1." + std::to_string(fixture + 1);
    r.Reading.Serial = static_cast<uint32_t>(305000000 + (i % 50 == 49 ? i - 7 : i));
    r.StartUnixMs = 1780000000000 + i * 2500;
    r.Duplicate = i % 50 == 49;
    jbuf += RecordJson(r) + "\n";
    cbuf += RecordCsv(r) + "\r\n";
    if (jbuf.size() > (1 << 20)) {
      j << jbuf;
      c << cbuf;
      jbuf.clear();
      cbuf.clear();
    }
  }
  j << jbuf;
  c << cbuf;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const long largest = argc > 2 ? std::atol(argv[2]) : 1000000;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  SimUnitProcess unit;
  const std::string port = unit.PortFolder() + "/COM2";
  char folderName[] = "/tmp/bravelle-record-bench-XXXXXX";
  if (mkdtemp(folderName) == nullptr) return 1;
  const std::string folder = folderName;
  std::vector<long> sizes = {0};
  for (long n : {100000L, 1000000L})
    if (n <= largest) sizes.push_back(n);

  struct Size {
    long Records;
    std::string Json, Csv;
    std::vector<double> Log, LogMb, Table, TableMb, Watch;
  };
  std::vector<Size> all;
  for (long n : sizes) {
    Size s{n,
           folder + "/j" + std::to_string(n) + ".jsonl",
           folder + "/c" + std::to_string(n) + ".csv",
           {},
           {},
           {},
           {},
           {}};
    const Steady::time_point t0 = Steady::now();
    WriteJournals(s.Json, s.Csv, n);
    const double written = MsSince(t0);
    // The first reading on each builds the index; the others find it.
    const Run log = TimeRead(port, "--log", s.Json);
    const Run table = TimeRead(port, "--csv", s.Csv);
    std::printf(
        "%ld records: journals written in %.0f ms; first read --log %.0f ms (%.1f MB), first read --csv %.0f "
        "ms (%.1f MB), "
        "each building its index\n",
        n, written, log.WallMs, log.PeakMb, table.WallMs, table.PeakMb);
    all.push_back(s);
  }
  int failures = 0;
  for (int round = 1; round <= rounds; ++round) {
    for (Size& s : all) {
      const Run log = TimeRead(port, "--log", s.Json);
      const Run table = TimeRead(port, "--csv", s.Csv);
      const double watch = WatchStartMs(folder, {"--log", s.Json, "--csv", s.Csv});
      if (log.WallMs < 0 || table.WallMs < 0 || watch < 0) {
        ++failures;
        std::printf("round %d, %ld records: a command FAILED\n", round, s.Records);
        continue;
      }
      s.Log.push_back(log.WallMs);
      s.LogMb.push_back(log.PeakMb);
      s.Table.push_back(table.WallMs);
      s.TableMb.push_back(table.PeakMb);
      s.Watch.push_back(watch);
      std::printf(
          "round %d, %ld records: read --log %.1f ms (%.1f MB), read --csv %.1f ms (%.1f MB), watch start-up "
          "%.1f ms\n",
          round, s.Records, log.WallMs, log.PeakMb, table.WallMs, table.PeakMb, watch);
    }
  }
  const Size& empty = all[0];
  if (empty.Log.empty()) return 1;
  for (const Size& s : all) {
    if (s.Log.empty()) continue;
    std::printf(
        "median of %zu, %ld records: read --log %.1f ms, ratio %.3f, peak %.1f MB; read --csv %.1f ms, ratio "
        "%.3f, "
        "peak %.1f MB; watch start-up %.1f ms (goals: ratio at most 1.05, 10 MB, 100 ms)\n",
        s.Log.size(), s.Records, Median(s.Log), Median(s.Log) / Median(empty.Log), Median(s.LogMb),
        Median(s.Table), Median(s.Table) / Median(empty.Table), Median(s.TableMb), Median(s.Watch));
  }
  for (const Size& s : all) {
    for (const std::string& f : {s.Json, s.Csv}) {
      unlink(f.c_str());
      unlink((f + ".idx").c_str());
    }
  }
  unlink((folder + "/absent").c_str());
  rmdir(folder.c_str());
  return failures == 0 ? 0 : 1;
}
