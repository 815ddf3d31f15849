#pragma once
// A fresh folder per test, removed afterwards (links inside are removed, not followed), and
// whole files read and written as bytes.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace Corvanthorne::Testing {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("qel-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The inputs kept from fuzzing a target (its seeds and any finding), as bytes.
inline std::vector<std::string> keptFuzzInputs(std::string_view target) {
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(QEL_TEST_DATA_DIR) / "fuzz" / target))
    inputs.push_back(readFile(entry.path()));
  return inputs;
}

}  // namespace Corvanthorne::Testing
