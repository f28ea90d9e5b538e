// bravelle-cli started by a benchmark: its environment (the pty shim, no sanitizer options of ours) and
// the spawn, standard output thrown away.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

extern char** environ;

inline std::vector<std::string> CliEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "LD_PRELOAD=", 11) != 0 && std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
      env.push_back(*e);
  // A pty drops the parity bit a UART keeps; the shim makes it take the link's settings.
  env.push_back(std::string("LD_PRELOAD=") + PTYSHIM_PATH);
  env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  return env;
}

// -1 when it cannot be started; errFd, when given, becomes its standard error.
inline pid_t Spawn(std::vector<std::string> args, std::vector<std::string> env, int errFd = -1) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}
