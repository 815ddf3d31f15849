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
  // Loads the record bound to the installed manifest (not in Full mode), lists the folders of
  // files, one listing per folder, and examines each of those folders for links once; what is
  // hashed is recorded with the listed facts. files must outlive the check, unchanged.
  GameFileCheck(std::filesystem::path gameFolder, const std::vector<PackageFile>& files,
                CheckMode mode = CheckMode::UseRecord);

  // True when the file is a regular file of the record's size and SHA-256. Thread-safe for
  // different files; each file is asked about once.
  bool holds(const PackageFile& file);

  // rejectLinks(gameFolder, file.path) for a whole run: folders were examined when the check
  // was made, and a file the listing showed as a plain file is not examined again. Thread-safe.
  void rejectLinks(const PackageFile& file) const;

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
  using RecordEntry = std::pair<const std::string, VerifiedFile>;
  // What the run knows of one of its files, without a lock: only the file's own check writes it.
  struct Entry {
    FileFacts listed;
    bool isListed = false;  // as a regular file
    bool folderLinkFree = false;  // neither the game folder nor a folder below it down to the file's is a link
    bool vouched = false;  // the record's entry holds for the file as listed
    const RecordEntry* recorded = nullptr;
  };
  const Entry* entryOf(const PackageFile& file) const;
  Entry* entryOf(const PackageFile& file) { return const_cast<Entry*>(std::as_const(*this).entryOf(file)); }
  void listFolders();

  std::filesystem::path gameFolder_;
  const std::vector<PackageFile>& files_;
  std::uint32_t volumeSerial_ = 0;
  std::optional<VerifiedState> record_;
  std::vector<Entry> entries_;  // one per file, in files order
  std::unordered_map<std::wstring, std::size_t> byIdentity_;  // path identity to file number
  std::unordered_set<std::wstring> relistedFolders_;  // after the commit, by noteInstalled alone
  std::unordered_map<std::wstring, FileFacts> relisted_;
  std::mutex mutex_;
  VerifiedState known_;  // files hashed or installed by this run
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
