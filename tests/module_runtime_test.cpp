// The plug-ins' pthread_once (injector/module_runtime.cpp), linked into this
// test program exactly as into the plug-ins, with --wrap=pthread_once: the
// routine runs once, and every concurrent caller returns only after it has
// finished.
#include <pthread.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

pthread_once_t once = PTHREAD_ONCE_INIT;
std::atomic<int> runs{0};
std::atomic<bool> finished{false};
long state_while_running = -1;

void routine() {
  state_while_running = once;
  runs.fetch_add(1);
  // Long enough that the other callers arrive while it runs.
  volatile unsigned spin = 0;
  for (unsigned i = 0; i < 20'000'000; ++i) spin = spin + i;
  finished.store(true);
}

TEST(ModuleRuntimeOnce, RunsTheRoutineOnceAndNoCallerReturnsBeforeItHasFinished) {
  constexpr int kThreads = 8;
  std::atomic<bool> go{false};
  std::vector<int> saw_finished(kThreads, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      EXPECT_EQ(pthread_once(&once, routine), 0);
      saw_finished[static_cast<std::size_t>(i)] = finished.load() ? 1 : 0;
    });
  }
  go.store(true);
  for (auto& t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_THAT(saw_finished, testing::Each(1));
  EXPECT_EQ(state_while_running, 2) << "the wrapped once ran, not the threads library's";
  EXPECT_EQ(once, 1) << "done, as the threads library records it";

  EXPECT_EQ(pthread_once(&once, routine), 0);
  EXPECT_EQ(runs.load(), 1) << "a later call runs nothing";
}

}  // namespace
