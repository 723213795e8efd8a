// The crash guard: faults come back with address and registers; other threads and signals pass.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

int* volatile nullTarget = nullptr;
int* volatile farTarget = reinterpret_cast<int*>(uintptr_t{16});

// The null write is the fault under test: the undefined-behaviour checker must not stop it first.
__attribute__((no_sanitize("undefined"))) void WriteNull(void* context) {
  *static_cast<int*>(context) += 1;
  *nullTarget = 1;
  *static_cast<int*>(context) += 100;  // never reached
}

void WriteFar(void*) { *farTarget = 1; }

void Count(void* context) { *static_cast<int*>(context) += 1; }

TEST(Crash, FaultLeavesTheRegionWithAddressAndRegistersAndTheGuardWorksAgain) {
  struct sigaction before = {}, after = {};
  stack_t stackBefore = {}, stackAfter = {};
  ASSERT_EQ(sigaction(SIGSEGV, nullptr, &before), 0);
  ASSERT_EQ(sigaltstack(nullptr, &stackBefore), 0);
  for (int round = 0; round < 3; ++round) {
    platform::CrashInfo info;
    int steps = 0;
    EXPECT_FALSE(platform::RunGuarded(WriteNull, &steps, &info)) << round;
    EXPECT_TRUE(steps == 1 && info.signal == SIGSEGV && info.address == 0u && info.instruction != 0u);
    EXPECT_TRUE(info.registerCount > 0 && info.registerNames[0] != nullptr);

    // The same info record after a clean region says nothing of the old fault.
    EXPECT_TRUE(platform::RunGuarded(Count, &steps, &info));
    EXPECT_TRUE(steps == 2 && info.registerCount == 0 && info.address == 0u);
  }
  platform::CrashInfo info;
  EXPECT_FALSE(platform::RunGuarded(WriteFar, nullptr, &info));
  EXPECT_EQ(info.address, 16u);

  // The handler and signal stack that were there before come back when a region closes.
  ASSERT_EQ(sigaction(SIGSEGV, nullptr, &after), 0);
  EXPECT_EQ(after.sa_flags & SA_SIGINFO, before.sa_flags & SA_SIGINFO);
  EXPECT_EQ(reinterpret_cast<void*>(after.sa_sigaction), reinterpret_cast<void*>(before.sa_sigaction));
  ASSERT_EQ(sigaltstack(nullptr, &stackAfter), 0);
  EXPECT_EQ(stackAfter.ss_sp, stackBefore.ss_sp);
  EXPECT_EQ(stackAfter.ss_flags & SS_DISABLE, stackBefore.ss_flags & SS_DISABLE);
}

// An inner region's fault returns to the inner region; the outer one goes on.
void Nested(void* context) {
  platform::CrashInfo inner;
  *static_cast<bool*>(context) = platform::RunGuarded(WriteFar, nullptr, &inner);
}

void FaultOnAnotherThread(void*) {
  std::thread other([] { *nullTarget = 1; });
  other.join();
}

std::atomic<int> fpeSeen{0};
void OnFpe(int) { ++fpeSeen; }
void RaiseFpe(void*) { std::raise(SIGFPE); }

// Regions nest and each thread's are its own; a fault outside any region and other signals pass.
TEST(Crash, RegionsNestAndCatchOnlyTheirOwnThreadsAccessViolations) {
  bool innerReturned = true;
  platform::CrashInfo outer;
  EXPECT_TRUE(platform::RunGuarded(Nested, &innerReturned, &outer));
  EXPECT_FALSE(innerReturned);

  // A thread with a clean region finishes normally while another thread's regions fault.
  std::atomic<bool> stop{false};
  std::atomic<int> cleanRuns{0}, cleanFailures{0};
  std::thread clean([&] {
    for (int steps = 0; !stop; steps = 0) {
      platform::CrashInfo info;
      ++(platform::RunGuarded(Count, &steps, &info) && steps == 1 ? cleanRuns : cleanFailures);
    }
  });
  int faults = 0;
  for (int i = 0; i < 200; ++i) {
    int steps = 0;
    platform::CrashInfo info;
    faults += !platform::RunGuarded(WriteNull, &steps, &info);
  }
  while (cleanRuns == 0) std::this_thread::yield();
  stop = true;
  clean.join();
  EXPECT_EQ(faults, 200);
  EXPECT_EQ(cleanFailures, 0);

  // A fault on a thread outside any region crashes the process as usual.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(platform::RunGuarded(FaultOnAnotherThread, nullptr, nullptr), "");

  // A signal other than an access violation goes to its own handler; the region returns.
  struct sigaction action = {}, previous = {};
  action.sa_handler = OnFpe;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGFPE, &action, &previous), 0);
  platform::CrashInfo info;
  EXPECT_TRUE(platform::RunGuarded(RaiseFpe, nullptr, &info));
  EXPECT_TRUE(fpeSeen == 1 && info.signal == 0);
  sigaction(SIGFPE, &previous, nullptr);
}

}  // namespace
