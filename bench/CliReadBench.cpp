// Wall time of `bravelle-cli read` against the simulated unit on a pty, beside the waits the link imposes
// and beside the window's complete reading, rounds interleaved so both see the same machine; and the
// processor time the command spends, most of its wall time being the link's pauses.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "bench/WindowReading.h"
#include "tests/support/SimUnitProcess.h"

extern char** environ;

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
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "LD_PRELOAD=", 11) != 0 && std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
      env.push_back(*e);
  // A pty drops the parity bit a UART keeps; the shim makes it take the link's settings.
  env.push_back(std::string("LD_PRELOAD=") + PTYSHIM_PATH);
  env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::string program = CLI_PATH;
  std::string read = "read", portOption = "--port", json = "--json", portPath = port;
  char* argv[] = {&program[0], &read[0], &portOption[0], &portPath[0], &json[0], nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const Steady::time_point t0 = Steady::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  CliRun run;
  if (spawned != 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double wall = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) run.WallMs = wall;
  run.CpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
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
  return failures == 0 ? 0 : 1;
}
