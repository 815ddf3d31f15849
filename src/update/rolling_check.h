#pragma once
// The rolling check: while the launcher window is open, a background thread re-reads the
// recorded game files whose last full hash is oldest, a bounded amount per start, at the
// system's background priority. A file that still matches has its hash time renewed; one that
// does not loses its record entry, so that the next start replaces it. Stopping is immediate
// and keeps what was checked so far.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>

namespace Corvanthorne::Update {

struct RollingCheckReport {
  std::uint64_t bytesChecked = 0;
  std::size_t filesChecked = 0;
  std::size_t damaged = 0;
};

class RollingCheck {
 public:
  // onDamage is called on the check's thread when the first damaged file is found.
  RollingCheck(std::filesystem::path gameFolder, std::function<void()> onDamage,
               std::uint64_t budget = 0 /* 0: the start's share, rollingCheckBudget */);
  ~RollingCheck() { stop(); }
  RollingCheck(const RollingCheck&) = delete;
  RollingCheck& operator=(const RollingCheck&) = delete;

  // Stops at once (within one 64 KiB read), records the progress and returns what was done.
  RollingCheckReport stop();
  // Waits until the check has used its budget.
  RollingCheckReport wait();

 private:
  void run();

  std::filesystem::path gameFolder_;
  std::function<void()> onDamage_;
  std::uint64_t budget_;
  std::atomic<bool> stopping_{false};
  RollingCheckReport report_;
  std::thread thread_;
};

}  // namespace Corvanthorne::Update
