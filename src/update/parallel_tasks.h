#pragma once
// Numbered tasks run on all cores while the caller takes their outcomes in order, so that a
// flow driven by them (progress reports, the first failure) goes exactly as when the tasks
// ran one after the other on the caller's thread.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Corvanthorne::Update {

class ParallelTasks {
 public:
  using Task = std::function<void(std::size_t index)>;
  // Starts one worker thread; throws std::system_error when the system refuses.
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

  // Runs task(0) .. task(count - 1), each once, taken in index order by up to `threads`
  // workers; a single task gets no thread at all. A worker that cannot start is no error:
  // the others, or the caller in wait(), do its share.
  ParallelTasks(std::size_t count, Task task, unsigned threads = std::thread::hardware_concurrency(),
                const ThreadStarter& start = {});
  // Starts no further task, lets running ones finish and joins the workers.
  ~ParallelTasks();
  ParallelTasks(const ParallelTasks&) = delete;
  ParallelTasks& operator=(const ParallelTasks&) = delete;

  // Returns once task `index` has run, running it (and any untaken one before it) on this
  // thread if no worker has taken it yet; rethrows what the task threw.
  void wait(std::size_t index);

 private:
  void work();
  void run(std::size_t index);

  const std::size_t count_;
  const Task task_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::size_t next_ = 0;
  std::vector<bool> done_;
  std::vector<std::exception_ptr> errors_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace Corvanthorne::Update
