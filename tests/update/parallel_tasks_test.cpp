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
ParallelTasks::ThreadStarter limitedStarter(int limit, int& started) {
  return [limit, &started](std::function<void()> body) {
    if (started == limit) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++started;
    return std::thread(std::move(body));
  };
}

// Each task runs once and its outcome arrives in index order, whether 4, 1 or no worker
// thread could start (then the caller runs every task itself).
TEST(ParallelTasks, OutcomesComeInIndexOrderWhateverThreadsCanStart) {
  for (const int limit : {4, 1, 0}) {
    int started = 0;
    std::vector<std::atomic<int>> runs(300);
    std::vector<std::thread::id> ranOn(runs.size());
    {
      ParallelTasks tasks(runs.size(), [&](std::size_t i) {
        ++runs[i];
        ranOn[i] = std::this_thread::get_id();
        if (i % 100 == 50) throw std::runtime_error("task " + std::to_string(i));
      }, 4, limitedStarter(limit, started));
      EXPECT_EQ(started, limit);
      for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(Testing::messageOf([&] { tasks.wait(i); }), i % 100 == 50 ? "task " + std::to_string(i) : "no error");
    }
    EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 300) << limit << " threads";
    if (limit == 0) {
      EXPECT_EQ(std::count(ranOn.begin(), ranOn.end(), std::this_thread::get_id()), 300);
    }
  }
}

TEST(ParallelTasks, NoThreadForASingleTaskAndNoTaskAfterTheOwnerGivesUp) {
  int started = 0, ran = 0;
  ParallelTasks(1, [&](std::size_t) { ++ran; }, 8, limitedStarter(8, started)).wait(0);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(started, 0);
  std::atomic<int> begun{0};
  {
    ParallelTasks tasks(1000, [&](std::size_t) { ++begun; std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, 2);
    tasks.wait(0);
  }
  EXPECT_LT(begun.load(), 1000);
}

}  // namespace
}  // namespace Corvanthorne::Update
