#pragma once
// The verified-state record: what the file system said about each game file at the moment its
// SHA-256 was established, so that a start can take that SHA-256 again without reading the
// file, but only while the file is provably the one that was hashed: same size, same last-write
// time, same change time (which no program can set back) and the same file identity (volume
// serial and file index). The record is bound to the installed game manifest's text; another
// manifest, or damage of any kind, means no record at all.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Corvanthorne::Update {

// What the file system reports about one file, all of it from one directory listing or from one
// open handle. Times are in 100-nanosecond units, as the system keeps them.
struct FileFacts {
  std::uint64_t size = 0;
  std::uint64_t lastWriteTime = 0;
  std::uint64_t changeTime = 0;
  std::uint64_t fileIndex = 0;
  std::uint32_t volumeSerial = 0;
  bool operator==(const FileFacts&) const = default;
};

struct VerifiedFile {
  FileFacts facts;
  std::uint64_t lastFullHash = 0;  // when the whole file was last read, in the same units
  std::array<char, 64> sha256{};  // lowercase hexadecimal
  std::string_view sha256Text() const { return {sha256.data(), sha256.size()}; }
};

struct VerifiedState {
  std::string manifestSha256;  // of the installed manifest's text ("" text when none is installed)
  std::unordered_map<std::string, VerifiedFile> files;  // by package path, UTF-8, "/" separators

  void remember(const std::string& path, const FileFacts& facts, std::string_view sha256, std::uint64_t hashedAt);
};

// Whole-file byte form (see the top of verified_state.cpp).
std::string formatVerifiedState(const VerifiedState& state);
// The record, or nothing when the bytes are damaged in any way or bound to another manifest.
std::optional<VerifiedState> parseVerifiedState(std::string_view bytes, std::string_view manifestSha256);

// The files the rolling check reads next: those whose last full hash is oldest, until their
// sizes reach budget (at least one file while any is recorded).
std::vector<std::string> oldestHashedFirst(const VerifiedState& state, std::uint64_t budget);

// The rolling check's share of one start: 1 GiB, or 2 % of the game, whichever is larger.
std::uint64_t rollingCheckBudget(std::uint64_t gameBytes);

inline std::filesystem::path verifiedStatePath(const std::filesystem::path& gameFolder) {
  return gameFolder / L".corvanthorne" / L"verified.state";
}

}  // namespace Corvanthorne::Update
