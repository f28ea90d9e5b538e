// Wall time of `bravelle-cli read` against the simulated unit on a pty, beside the waits the link imposes
// and beside the window's complete reading, rounds interleaved so both see the same machine; the
// processor time the command spends, most of its wall time being the link's pauses; and a watch of
// four fixtures whose units are plugged in at once, against one reading, with its processor time while
// it waits; the processor share of a watch of eight usb: fixtures that are all absent, over a sysfs tree
// of a bench PC; and eight reads appending to one log and one CSV file at once.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/Median.h"
#include "bench/SpawnCli.h"
#include "bench/WindowReading.h"
#include "tests/support/SimUnitProcess.h"

namespace {

using Steady = std::chrono::steady_clock;

// The handshake's one-second pause and the release's 200 ms: what no reading can go below.
constexpr double kLinkWaitsMs = 1200;

struct CliRun {
  double WallMs = -1;  // negative when the command failed
  double CpuMs = 0;
};

// Runs the command to its end: the wall time from the spawn to the exit, and the processor time it used.
CliRun TimeCli(const std::string& port) {
  CliRun run;
  const Steady::time_point t0 = Steady::now();
  const pid_t pid = Spawn({CLI_PATH, "read", "--port", port, "--json"}, CliEnvironment());
  if (pid < 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double wall = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) run.WallMs = wall;
  run.CpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
  return run;
}

// Processor time a running process has used so far, from /proc.
double CpuMsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = close + 2; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += text[i];
    }
  }
  // utime and stime are the 12th and 13th fields after the command's name.
  if (fields.size() < 13) return 0;
  return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) * 1000.0 / sysconf(_SC_CLK_TCK);
}

size_t LinesIn(const std::string& path) {
  std::ifstream in(path);
  size_t n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

struct WatchRun {
  double PlugToLastRecordMs = -1;
  double WaitingCpuPercent = 0;  // no unit plugged: the ports are looked for
  double PresentCpuPercent = 0;  // the units read and still plugged: each is asked whether it is still there
};

// A watch of four fixtures; after a quiet spell, the four units appear at once.
WatchRun WatchFourFixtures() {
  WatchRun result;
  std::vector<std::unique_ptr<SimUnitProcess>> units;
  for (int i = 0; i < 4; ++i)
    units.push_back(
        std::make_unique<SimUnitProcess>(std::vector<std::string>{"--serial", std::to_string(1000 + i)}));
  const std::string folder = units[0]->PortFolder();
  const std::string log = folder + "/watch.jsonl";
  std::vector<std::string> args = {CLI_PATH, "watch", "--log", log};
  std::vector<std::string> fixtures;
  for (int i = 0; i < 4; ++i) {
    fixtures.push_back(folder + "/fixture" + std::to_string(i));
    args.push_back("--port");
    args.push_back(fixtures.back());
  }
  const pid_t watch = Spawn(args, CliEnvironment());
  if (watch < 0) return result;
  auto cpuShare = [&](double seconds) {
    const double cpu0 = CpuMsOf(watch);
    const Steady::time_point t0 = Steady::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
    return 100.0 * (CpuMsOf(watch) - cpu0) / wall;
  };
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  result.WaitingCpuPercent = cpuShare(4);
  // Plugged in: each fixture's port appears.
  const Steady::time_point plug = Steady::now();
  for (int i = 0; i < 4; ++i) symlink(units[i]->SlavePath().c_str(), fixtures[i].c_str());
  while (LinesIn(log) < 4 && Steady::now() - plug < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (LinesIn(log) >= 4)
    result.PlugToLastRecordMs = std::chrono::duration<double, std::milli>(Steady::now() - plug).count();
  result.PresentCpuPercent = cpuShare(4);
  kill(watch, SIGINT);
  int status = 0;
  waitpid(watch, &status, 0);
  for (const std::string& f : fixtures) unlink(f.c_str());
  unlink(log.c_str());
  return result;
}

// A sysfs tree like a bench PC's: serial ports on the board, and USB adapters that none of the fixtures
// names, each with its device, interface and driver links.
std::string FakeSysfs(const std::string& root) {
  auto dir = [](const std::string& path) { return std::system(("mkdir -p '" + path + "'").c_str()) == 0; };
  auto file = [](const std::string& path, const std::string& text) { std::ofstream(path) << text << "\n"; };
  dir(root + "/bus/drivers/serial8250");
  dir(root + "/bus/drivers/ftdi_sio");
  for (int i = 0; i < 4; ++i) {
    const std::string tty = "ttyS" + std::to_string(i);
    const std::string device = root + "/devices/platform/serial8250/" + tty;
    dir(device);
    symlink((root + "/bus/drivers/serial8250").c_str(), (device + "/driver").c_str());
    dir(root + "/class/tty/" + tty);
    symlink(device.c_str(), (root + "/class/tty/" + tty + "/device").c_str());
  }
  for (int i = 0; i < 4; ++i) {
    const std::string tty = "ttyUSB" + std::to_string(i);
    const std::string usb = root + "/devices/pci0000:00/usb1/1-" + std::to_string(i + 1);
    dir(usb + "/1-" + std::to_string(i + 1) + ":1.0/" + tty);
    file(usb + "/idVendor", "0403");
    file(usb + "/idProduct", "6001");
    file(usb + "/serial", "FT" + std::to_string(i));
    file(usb + "/bNumInterfaces", " 1");
    file(usb + "/1-" + std::to_string(i + 1) + ":1.0/bInterfaceNumber", "00");
    const std::string device = usb + "/1-" + std::to_string(i + 1) + ":1.0/" + tty;
    symlink((root + "/bus/drivers/ftdi_sio").c_str(), (device + "/driver").c_str());
    dir(root + "/class/tty/" + tty);
    symlink(device.c_str(), (root + "/class/tty/" + tty + "/device").c_str());
  }
  return root;
}

// A watch of eight usb: fixtures none of which is plugged in: what it costs the bench PC to wait.
double AbsentFixturesCpuPercent(const std::string& folder, double seconds) {
  const std::string sysfs = FakeSysfs(folder + "/sys");
  std::system(("mkdir -p '" + folder + "/dev' && : > '" + folder + "/consoles'").c_str());
  std::vector<std::string> env = CliEnvironment();
  env.push_back("BRAVELLE_SYSFS=" + sysfs);
  env.push_back("BRAVELLE_DEV=" + folder + "/dev");
  env.push_back("BRAVELLE_CONSOLES=" + folder + "/consoles");
  std::vector<std::string> args = {CLI_PATH, "watch", "--log", folder + "/absent.jsonl"};
  for (int i = 1; i <= 8; ++i) {
    args.push_back("--port");
    args.push_back("usb:10c4:ea60:000" + std::to_string(i));
  }
  const pid_t watch = Spawn(args, env);
  if (watch < 0) return -1;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double cpu0 = CpuMsOf(watch);
  const Steady::time_point t0 = Steady::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
  const double share = 100.0 * (CpuMsOf(watch) - cpu0) / wall;
  kill(watch, SIGINT);
  int status = 0;
  waitpid(watch, &status, 0);
  return share;
}

// Eight reads at once, each on its own unit, appending to one log and one CSV file: the wall time of
// them all beside one reading's, and whether the files came out whole (one header, eight rows).
struct AppendRun {
  double WallMs = -1;
  bool Whole = false;
};

AppendRun EightWritersAtOnce() {
  AppendRun result;
  std::vector<std::unique_ptr<SimUnitProcess>> units;
  for (int i = 0; i < 8; ++i)
    units.push_back(
        std::make_unique<SimUnitProcess>(std::vector<std::string>{"--serial", std::to_string(i)}));
  const std::string folder = units[0]->PortFolder();
  const std::string log = folder + "/eight.jsonl";
  const std::string csv = folder + "/eight.csv";
  const Steady::time_point t0 = Steady::now();
  std::vector<pid_t> runs;
  for (auto& u : units)
    runs.push_back(Spawn({CLI_PATH, "read", "--port", u->PortFolder() + "/COM2", "--log", log, "--csv", csv},
                         CliEnvironment()));
  bool ok = true;
  for (pid_t pid : runs) {
    int status = 0;
    ok = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  result.WallMs = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
  std::ifstream in(csv);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t headers = 0;
  for (size_t at = text.find("schema,"); at != std::string::npos; at = text.find("schema,", at + 1))
    ++headers;
  result.Whole = ok && headers == 1 && LinesIn(csv) == 9 && LinesIn(log) == 8;
  unlink(log.c_str());
  unlink(csv.c_str());
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  // Whole lines at once: the units' processes are forked from this one and must not inherit half a buffer.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  SimUnitProcess unit;
  const std::string port = unit.PortFolder() + "/COM2";
  const double windowMandated = WindowReading::MandatedMs();
  std::printf(
      "link waits: handshake pause 1000 + release pause 200 = %.0f ms; window's mandated reading %.0f ms\n",
      kLinkWaitsMs, windowMandated);

  std::vector<double> cli;
  std::vector<double> cpu;
  std::vector<double> window;
  int failures = 0;
  for (int n = 1; n <= rounds; ++n) {
    const CliRun run = TimeCli(port);
    const double c = run.WallMs;
    WindowReadingResult w;
    {
      // The window keeps its port open between readings; it lets go when it is destroyed.
      WindowReading reading(unit.PortFolder());
      if (reading.Ready()) w = reading.ReadOnce();
    }
    if (c < 0 || !w.Complete) {
      ++failures;
      std::printf("round %d: %s\n", n,
                  c < 0 ? "bravelle-cli read failed" : "the window's reading is NOT complete");
      continue;
    }
    cli.push_back(c);
    cpu.push_back(run.CpuMs);
    window.push_back(w.WallMs);
    std::printf(
        "round %d: bravelle-cli read %.1f ms (%+.2f%% over the link's waits, processor %.1f ms), window %.1f "
        "ms, cli/window %.3f\n",
        n, c, 100.0 * (c / kLinkWaitsMs - 1.0), run.CpuMs, w.WallMs, c / w.WallMs);
  }
  if (!cli.empty()) {
    const double c = Median(cli);
    const double w = Median(window);
    std::printf(
        "median of %zu: bravelle-cli read %.1f ms, ratio to the link's waits %.4f (%+.2f%%, goal within "
        "10%%)\n",
        cli.size(), c, c / kLinkWaitsMs, 100.0 * (c / kLinkWaitsMs - 1.0));
    std::printf("median of %zu: bravelle-cli processor time %.1f ms, %.1f%% of its wall time\n", cpu.size(),
                Median(cpu), 100.0 * Median(cpu) / c);
    std::printf("median of %zu: window's complete reading %.1f ms (mandated %.0f ms); cli/window %.3f\n",
                window.size(), w, windowMandated, c / w);
  }
  if (cli.empty()) return 1;

  const double one = Median(cli);
  std::vector<double> plugToLast, waiting, present;
  for (int n = 1; n <= rounds; ++n) {
    const WatchRun run = WatchFourFixtures();
    if (run.PlugToLastRecordMs < 0) {
      ++failures;
      std::printf("watch round %d: the four records did NOT come\n", n);
      continue;
    }
    plugToLast.push_back(run.PlugToLastRecordMs);
    waiting.push_back(run.WaitingCpuPercent);
    present.push_back(run.PresentCpuPercent);
    std::printf(
        "watch round %d: four units plugged at once, last record after %.1f ms (%.3f x one reading); "
        "processor %.2f%% while waiting, %.2f%% with the units read\n",
        n, run.PlugToLastRecordMs, run.PlugToLastRecordMs / one, run.WaitingCpuPercent,
        run.PresentCpuPercent);
  }
  if (!plugToLast.empty()) {
    std::printf(
        "median of %zu: watch of 4 fixtures, plug to last record %.1f ms, %.3f x one reading (%.1f ms; "
        "goal at most 1.25)\n",
        plugToLast.size(), Median(plugToLast), Median(plugToLast) / one, one);
    std::printf(
        "median of %zu: watch processor time %.2f%% of wall time while waiting for units, %.2f%% while "
        "they stay plugged (goal at most 5%%)\n",
        waiting.size(), Median(waiting), Median(present));
  }

  std::vector<double> idle;
  for (int n = 1; n <= rounds; ++n) {
    const double share = AbsentFixturesCpuPercent(unit.PortFolder() + "/idle" + std::to_string(n), 5);
    std::printf("idle round %d: watch of 8 absent usb: fixtures, processor %.3f%% of wall time\n", n, share);
    if (share >= 0) idle.push_back(share);
  }
  if (!idle.empty())
    std::printf(
        "median of %zu: watch of 8 absent usb: fixtures, processor %.3f%% of wall time (goal at most "
        "0.5%%)\n",
        idle.size(), Median(idle));

  std::vector<double> eight;
  for (int n = 1; n <= rounds; ++n) {
    const AppendRun run = EightWritersAtOnce();
    std::printf(
        "append round %d: eight reads on one log and CSV file at once, %.1f ms (%.3f x one reading), %s\n", n,
        run.WallMs, run.WallMs / one,
        run.Whole ? "one header, eight whole rows and lines" : "files NOT whole");
    if (!run.Whole) ++failures;
    eight.push_back(run.WallMs);
  }
  std::printf(
      "median of %zu: eight concurrent reads appending to one log and CSV file, %.1f ms, %.3f x one "
      "reading\n",
      eight.size(), Median(eight), Median(eight) / one);
  return failures == 0 ? 0 : 1;
}
