#pragma once
// The install's "is this file current?" for one run over a game folder. A file whose
// directory-listing facts still equal those of the verified-state record is judged by the
// recorded SHA-256 without being read; any other file is hashed as before. Everything a run
// learns (vouched or hashed) is kept, so that the record written after the run holds it and no
// unchanged file is hashed twice, whether by the release fetch and the install that follows it
// or by the next start.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "update/package_manifest.h"
#include "update/verified_state.h"

namespace Corvanthorne::Update {

enum class CheckMode { UseRecord, Full };

class GameFileCheck {
 public:
  // Loads the record bound to the installed manifest (not in Full mode) and lists the folders
  // of files, one listing per folder; what is hashed is recorded with the listed facts.
  GameFileCheck(std::filesystem::path gameFolder, const std::vector<PackageFile>& files,
                CheckMode mode = CheckMode::UseRecord);

  // True when the file is a regular file of the record's size and SHA-256. Thread-safe.
  bool holds(const PackageFile& file);

  // rejectLinks(gameFolder, relative) for a whole run: each folder is examined once, and a file
  // the listing showed as a plain file is not examined again. Thread-safe.
  void rejectLinks(const std::filesystem::path& relative);

  // The installed file's size, from the listing when there is one; nothing when it is missing.
  std::optional<std::uint64_t> installedSize(const PackageFile& file) const;

  // After a verified copy hashed as sha256 with stagedFacts was moved over path: the record
  // takes the file as a listing of its folder shows it now, provided it is still that copy.
  // Called from one thread.
  void noteInstalled(const std::filesystem::path& path, std::string_view sha256, const FileFacts& stagedFacts);

  // Writes the record bound to manifestText, holding everything this run knows.
  void save(std::string_view manifestText);

  // How many files this run read whole.
  std::size_t hashedCount() const { return hashed_; }

 private:
  std::filesystem::path gameFolder_;
  std::uint32_t volumeSerial_ = 0;
  std::optional<VerifiedState> record_;
  std::unordered_map<std::wstring, FileFacts> listed_;  // by path identity
  std::unordered_set<std::wstring> relistedFolders_;  // after the commit, by noteInstalled alone
  std::unordered_map<std::wstring, FileFacts> relisted_;
  std::mutex mutex_;
  std::unordered_set<std::wstring> linkFreeFolders_;  // identities, "" for the game folder
  VerifiedState known_;
  std::atomic<std::size_t> hashed_{0};
};

// The installed manifest's text, or "" when none is installed.
std::string installedManifestText(const std::filesystem::path& gameFolder);

// The record bound to the installed manifest, or nothing.
std::optional<VerifiedState> loadVerifiedState(const std::filesystem::path& gameFolder);
void saveVerifiedState(const std::filesystem::path& gameFolder, const VerifiedState& state);
// Removes the record before files change, so that it never outlives what it vouches for.
void dropVerifiedState(const std::filesystem::path& gameFolder);

// Hashes a regular file through one open handle, with its size and times as they were before
// the first byte was read (its identity stays 0: that query is slow on some systems); nothing
// when it is not a regular file or stop was set.
struct HashedFile {
  std::string sha256;
  FileFacts facts;
};
std::optional<HashedFile> hashWithFacts(const std::filesystem::path& path, const std::atomic<bool>* stop = nullptr);

// The system time in the record's units.
std::uint64_t fileTimeNow();

}  // namespace Corvanthorne::Update
