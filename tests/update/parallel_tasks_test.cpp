#include "update/parallel_tasks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <system_error>

#include "support/message_of.h"

namespace Corvanthorne::Update {
namespace {

// Starts real threads until `limit` of them run, then fails as a system out of threads would.
struct LimitedStarter {
  int limit;
  int started = 0;
  int refused = 0;
  ParallelTasks::ThreadStarter starter() {
    return [this](std::function<void()> body) {
      if (started == limit) {
        ++refused;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      ++started;
      return std::thread(std::move(body));
    };
  }
};

TEST(ParallelTasks, OutcomesComeInIndexOrderWhateverThreadsCanStart) {
  for (const int limit : {4, 1, 0}) {
    LimitedStarter threads{limit};
    std::vector<std::atomic<int>> runs(300);
    std::vector<std::thread::id> ranOn(runs.size());
    {
      ParallelTasks tasks(runs.size(), [&](std::size_t i) {
        ++runs[i];
        ranOn[i] = std::this_thread::get_id();
        if (i % 100 == 50) throw std::runtime_error("task " + std::to_string(i));
      }, 4, threads.starter());
      EXPECT_EQ(threads.started, limit);
      EXPECT_EQ(threads.refused, limit < 4 ? 1 : 0);
      for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(Testing::messageOf([&] { tasks.wait(i); }), i % 100 == 50 ? "task " + std::to_string(i) : "no error");
    }
    for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i], 1) << "task " << i << " with " << limit << " threads";
    if (limit == 0) {
      EXPECT_EQ(std::count(ranOn.begin(), ranOn.end(), std::this_thread::get_id()), 300);
    }
  }
}

TEST(ParallelTasks, NoThreadForASingleTaskAndNoTaskAfterTheOwnerGivesUp) {
  LimitedStarter threads{8};
  int ran = 0;
  ParallelTasks(1, [&](std::size_t) { ++ran; }, 8, threads.starter()).wait(0);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(threads.started, 0);

  std::atomic<int> started{0};
  {
    ParallelTasks tasks(1000, [&](std::size_t) { ++started; std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, 2);
    tasks.wait(0);
  }
  EXPECT_LT(started.load(), 1000);  // the owner stopped waiting, so the rest never ran
}

}  // namespace
}  // namespace Corvanthorne::Update
