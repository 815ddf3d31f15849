#include "update/parallel_tasks.h"

#include <algorithm>
#include <system_error>

namespace Corvanthorne::Update {

ParallelTasks::ParallelTasks(std::size_t count, Task task, unsigned threads, const ThreadStarter& start)
    : count_(count), task_(std::move(task)), done_(count), errors_(count) {
  const std::size_t wanted = count < 2 ? 0 : std::min<std::size_t>(std::max(threads, 1u), count);
  workers_.reserve(wanted);
  for (std::size_t i = 0; i < wanted; ++i) {
    try {
      workers_.push_back(start ? start([this] { work(); }) : std::thread([this] { work(); }));
    } catch (const std::system_error&) {
      break;  // fewer workers; wait() runs whatever none of them takes
    }
  }
}

ParallelTasks::~ParallelTasks() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  for (std::thread& worker : workers_) worker.join();
}

void ParallelTasks::wait(std::size_t index) {
  std::unique_lock lock(mutex_);
  while (!done_[index]) {
    if (next_ <= index) {
      const std::size_t untaken = next_++;
      lock.unlock();
      run(untaken);
      lock.lock();
    } else {
      finished_.wait(lock);
    }
  }
  if (errors_[index]) std::rethrow_exception(errors_[index]);
}

void ParallelTasks::work() {
  for (;;) {
    std::size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      if (stopping_ || next_ == count_) return;
      index = next_++;
    }
    run(index);
  }
}

void ParallelTasks::run(std::size_t index) {
  std::exception_ptr error;
  try {
    task_(index);
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(mutex_);
    done_[index] = true;
    errors_[index] = error;
  }
  finished_.notify_all();
}

}  // namespace Corvanthorne::Update
