// Processes racing for one port's UUCP lock file, fresh, stale or empty: never two holders at once, and
// none that goes ahead without the lock file naming it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "posix/PosixPortLock.h"

namespace {

// What the racers saw, in memory they share.
struct Tally {
  std::atomic<int> Holders;
  std::atomic<int> Most;
  std::atomic<int> Taken;
  std::atomic<int> WithoutFile;
  void Reset() {
    for (std::atomic<int>* n : {&Holders, &Most, &Taken, &WithoutFile}) n->store(0);
  }
};

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::trunc) << text; }

// The lock file's time moved by seconds: an empty one made long ago, or one being written now.
void Age(const std::string& path, int seconds) {
  timespec times[2] = {};
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec += seconds;
  times[1] = times[0];
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class PortLockRace : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/bravelle-lock-race-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    std::filesystem::create_directory(folder_ + "/locks");
    device_ = folder_ + "/ttyRACE";
    Write(device_, "");
    lock_ = folder_ + "/locks/LCK..ttyRACE";
    tally_ = static_cast<Tally*>(
        mmap(nullptr, sizeof(Tally), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(tally_, MAP_FAILED);
  }
  void TearDown() override {
    munmap(tally_, sizeof(Tally));
    std::filesystem::remove_all(folder_);
  }

  // Eight processes let go at once, each taking the lock once; while one holds it, the others look.
  void Race(const std::function<void()>& meanwhile = nullptr) {
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> racers;
    for (int i = 0; i < 8; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        close(start[1]);
        char byte;
        if (read(start[0], &byte, 1) < 0) _exit(1);
        PosixPortLocks locks(folder_ + "/locks");
        int32_t status = 0;
        PortHolder holder;
        std::unique_ptr<PortHold> hold = locks.Hold(device_, status, holder);
        if (hold) {
          const int now = ++tally_->Holders;
          for (int most = tally_->Most; now > most && !tally_->Most.compare_exchange_weak(most, now);) {
          }
          if (std::atoi(Read(lock_).c_str()) != getpid()) ++tally_->WithoutFile;
          ++tally_->Taken;
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          --tally_->Holders;
        }
        hold.reset();
        _exit(0);
      }
      racers.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    if (meanwhile) meanwhile();
    for (pid_t pid : racers) waitpid(pid, nullptr, 0);
  }

  std::string folder_, device_, lock_;
  Tally* tally_ = nullptr;
};

TEST_F(PortLockRace, NeverTwoHoldersWhateverTheLockFileWas) {
  const struct {
    const char* What;
    int Rounds;
    std::function<void()> Before;
  } cases[] = {
      {"fresh", 30, [] {}},
      {"stale", 30, [&] { Write(lock_, "   4194305\n"); }},
      {"empty, left by a process that died before writing its pid", 10,
       [&] {
         Write(lock_, "");
         Age(lock_, -10);
       }},
  };
  for (const auto& c : cases) {
    tally_->Reset();
    for (int round = 0; round < c.Rounds; ++round) {
      c.Before();
      Race();
    }
    EXPECT_EQ(tally_->Most.load(), 1) << c.What;
    EXPECT_EQ(tally_->WithoutFile.load(), 0) << c.What;
    EXPECT_GE(tally_->Taken.load(), c.Rounds) << c.What;
    EXPECT_FALSE(std::filesystem::exists(lock_)) << c.What << ": the last holder removed it";
  }
  // Empty because its holder is writing its pid (here, 100 ms late): nobody takes it.
  tally_->Reset();
  Write(lock_, "");
  Age(lock_, 3);
  Race([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char pid[16];
    std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(getpid()));
    Write(lock_, pid);
  });
  EXPECT_EQ(tally_->Taken.load(), 0);
  EXPECT_EQ(std::atoi(Read(lock_).c_str()), getpid());
  // Each racer's own file holding its pid is gone, taken or not.
  size_t left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/locks"))
    left += entry.path() != lock_;
  EXPECT_EQ(left, 0u);
}

}  // namespace
