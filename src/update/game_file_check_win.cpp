#include "update/game_file_check.h"

#include <windows.h>

#include <map>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kListingBufferBytes = 64 * 1024;

std::uint64_t joined(std::uint32_t high, std::uint32_t low) { return (std::uint64_t{high} << 32) | low; }
std::uint64_t ticks(const LARGE_INTEGER& time) { return static_cast<std::uint64_t>(time.QuadPart); }

std::string recordKey(const fs::path& path) { return wideToUtf8(packagePathKey(path)); }

ScopedHandle openFolder(const fs::path& folder) {
  return ScopedHandle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The game folder's volume serial. Files below it are on the same volume: a mount point is a
// link, which no update path may pass. Queried once, since the query is slow on some systems.
std::uint32_t volumeSerialOf(const fs::path& gameFolder) {
  const ScopedHandle folder = openFolder(gameFolder);
  BY_HANDLE_FILE_INFORMATION about{};
  return folder && GetFileInformationByHandle(folder.get(), &about) ? about.dwVolumeSerialNumber : 0;
}

// Adds the facts of every regular file directly in folder, keyed by the identity of its path
// below the game folder. A folder that cannot be listed adds nothing: its files are hashed.
void listFolder(const fs::path& gameFolder, const fs::path& relative, std::uint32_t volumeSerial,
                std::unordered_map<std::wstring, FileFacts>& listed) {
  const ScopedHandle folder = openFolder(gameFolder / relative);
  if (!folder) return;
  std::vector<std::uint64_t> buffer(kListingBufferBytes / sizeof(std::uint64_t));  // aligned for the records
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(folder.get(), kind, buffer.data(), kListingBufferBytes)) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      if (!(entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        listed[packagePathIdentity(relative / name)] = {ticks(entry->EndOfFile), ticks(entry->LastWriteTime),
                                                        ticks(entry->ChangeTime), ticks(entry->FileId), volumeSerial};
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// Size and times of an open file; its identity stays 0.
FileFacts sizeAndTimesOf(HANDLE file) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
      !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)))
    return {};
  return FileFacts{ticks(standard.EndOfFile), ticks(basic.LastWriteTime), ticks(basic.ChangeTime), 0, 0};
}

bool sameSizeAndTimes(const FileFacts& a, const FileFacts& b) {
  return a.size == b.size && a.lastWriteTime == b.lastWriteTime && a.changeTime == b.changeTime;
}

const fs::path kRecordRelative = fs::path(L".corvanthorne") / L"verified.state";

}  // namespace

std::uint64_t fileTimeNow() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return joined(now.dwHighDateTime, now.dwLowDateTime);
}

std::optional<HashedFile> hashWithFacts(const fs::path& path, const std::atomic<bool>* stop) {
  if (!isExistingRegularFile(path)) return std::nullopt;
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw std::runtime_error("Could not read " + pathText(path));
  const FileFacts facts = sizeAndTimesOf(file.get());
  std::string sha256 = sha256OpenFile(file.get(), path, stop);
  if (sha256.empty()) return std::nullopt;
  return HashedFile{std::move(sha256), facts};
}

std::string installedManifestText(const fs::path& gameFolder) {
  const fs::path manifest = installedManifestPath(gameFolder);
  return isExistingRegularFile(manifest) ? readPackageMetadata(manifest) : std::string();
}

std::optional<VerifiedState> loadVerifiedState(const fs::path& gameFolder) {
  try {
    rejectLinks(gameFolder, kRecordRelative);
    const fs::path record = verifiedStatePath(gameFolder);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(record, error);
    if (error) return std::nullopt;
    std::string bytes(size, '\0');
    const ScopedHandle file(CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    DWORD read = 0;
    if (!file || size > MAXDWORD || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(size), &read, nullptr) ||
        read != size)
      return std::nullopt;
    return parseVerifiedState(bytes, sha256Bytes(installedManifestText(gameFolder)));
  } catch (const std::exception&) {
    return std::nullopt;  // an unreadable record or manifest is no record
  }
}

void saveVerifiedState(const fs::path& gameFolder, const VerifiedState& state) {
  rejectLinks(gameFolder, kRecordRelative);
  writeFileAtomically(verifiedStatePath(gameFolder), formatVerifiedState(state));
}

void dropVerifiedState(const fs::path& gameFolder) {
  rejectLinks(gameFolder, kRecordRelative);
  removeFile(verifiedStatePath(gameFolder));
}

GameFileCheck::GameFileCheck(fs::path gameFolder, const std::vector<PackageFile>& files, CheckMode mode)
    : gameFolder_(std::move(gameFolder)), volumeSerial_(volumeSerialOf(gameFolder_)) {
  if (mode == CheckMode::UseRecord) record_ = loadVerifiedState(gameFolder_);
  std::map<std::wstring, fs::path> folders;  // by identity: each folder is listed once
  for (const PackageFile& file : files) folders.try_emplace(packagePathIdentity(file.path.parent_path()), file.path.parent_path());
  listed_.reserve(files.size());
  for (const auto& [identity, folder] : folders) listFolder(gameFolder_, folder, volumeSerial_, listed_);
}

void GameFileCheck::rejectLinks(const fs::path& relative) {
  fs::path folder;
  std::wstring identity;
  const auto examineOnce = [&] {
    {
      std::lock_guard lock(mutex_);
      if (linkFreeFolders_.contains(identity)) return;
    }
    rejectLink(gameFolder_ / folder);
    std::lock_guard lock(mutex_);
    linkFreeFolders_.insert(identity);
  };
  examineOnce();
  for (const fs::path& element : relative.parent_path()) {
    folder /= element;
    identity = packagePathIdentity(folder);
    examineOnce();
  }
  if (!listed_.contains(packagePathIdentity(relative))) rejectLink(gameFolder_ / relative);
}

std::optional<std::uint64_t> GameFileCheck::installedSize(const PackageFile& file) const {
  const auto listed = listed_.find(packagePathIdentity(file.path));
  if (listed == listed_.end()) return std::nullopt;
  return listed->second.size;
}

bool GameFileCheck::holds(const PackageFile& file) {
  const std::string key = recordKey(file.path);
  const auto listed = listed_.find(packagePathIdentity(file.path));
  if (record_ && listed != listed_.end()) {
    if (const std::optional<std::string_view> sha = record_->vouchedSha256(key, listed->second)) {
      const bool current = listed->second.size == file.size && *sha == file.sha256;
      std::lock_guard lock(mutex_);
      known_.files[key] = record_->files.at(key);
      return current;
    }
  }
  const std::optional<HashedFile> hashed = hashWithFacts(gameFolder_ / file.path);
  if (!hashed) return false;
  ++hashed_;
  // The listing came first: when the file still had its listed size and times as it was read,
  // the hash belongs to the listed file, identity included.
  if (listed != listed_.end() && sameSizeAndTimes(hashed->facts, listed->second)) {
    std::lock_guard lock(mutex_);
    known_.remember(key, listed->second, hashed->sha256, fileTimeNow());
  }
  return hashed->facts.size == file.size && hashed->sha256 == file.sha256;
}

void GameFileCheck::noteInstalled(const fs::path& path, std::string_view sha256, const FileFacts& stagedFacts) {
  const std::wstring folder = packagePathIdentity(path.parent_path());
  if (relistedFolders_.insert(folder).second) listFolder(gameFolder_, path.parent_path(), volumeSerial_, relisted_);
  const auto now = relisted_.find(packagePathIdentity(path));
  std::lock_guard lock(mutex_);
  const std::string key = recordKey(path);
  known_.files.erase(key);
  // A move keeps the file's size and last-write time; its change time moves.
  if (now != relisted_.end() && now->second.size == stagedFacts.size && now->second.lastWriteTime == stagedFacts.lastWriteTime)
    known_.remember(key, now->second, sha256, fileTimeNow());
}

void GameFileCheck::save(std::string_view manifestText) {
  std::lock_guard lock(mutex_);
  known_.manifestSha256 = sha256Bytes(manifestText);
  saveVerifiedState(gameFolder_, known_);
}

}  // namespace Corvanthorne::Update
