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

// Adds the facts of every regular file directly in folder, keyed by the identity of its path
// below the game folder. A folder that cannot be listed adds nothing: its files are hashed.
void listFolder(const fs::path& gameFolder, const fs::path& relative,
                std::unordered_map<std::wstring, FileFacts>& listed) {
  const ScopedHandle folder = openFolder(gameFolder / relative);
  BY_HANDLE_FILE_INFORMATION about{};
  if (!folder || !GetFileInformationByHandle(folder.get(), &about)) return;
  std::vector<std::uint64_t> buffer(kListingBufferBytes / sizeof(std::uint64_t));  // aligned for the records
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(folder.get(), kind, buffer.data(), kListingBufferBytes)) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      if (!(entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        listed[packagePathIdentity(relative / name)] = {ticks(entry->EndOfFile), ticks(entry->LastWriteTime),
                                                        ticks(entry->ChangeTime), ticks(entry->FileId),
                                                        about.dwVolumeSerialNumber};
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

std::optional<FileFacts> factsOfOpenFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION about{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandle(file, &about) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
      (about.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return std::nullopt;
  return FileFacts{joined(about.nFileSizeHigh, about.nFileSizeLow), ticks(basic.LastWriteTime), ticks(basic.ChangeTime),
                   joined(about.nFileIndexHigh, about.nFileIndexLow), about.dwVolumeSerialNumber};
}

std::optional<FileFacts> factsOf(const fs::path& path) {
  const ScopedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return std::nullopt;
  return factsOfOpenFile(file.get());
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
  const std::optional<FileFacts> facts = factsOfOpenFile(file.get());
  std::string sha256 = sha256OpenFile(file.get(), path, stop);
  if (sha256.empty()) return std::nullopt;
  // Facts that could not be read are facts that can never match: the file is hashed again.
  return HashedFile{std::move(sha256), facts.value_or(FileFacts{})};
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
    : gameFolder_(std::move(gameFolder)) {
  if (mode == CheckMode::Full) return;
  record_ = loadVerifiedState(gameFolder_);
  if (!record_ || record_->files.empty()) return;
  std::map<std::wstring, fs::path> folders;  // by identity: each folder is listed once
  for (const PackageFile& file : files) folders.try_emplace(packagePathIdentity(file.path.parent_path()), file.path.parent_path());
  listed_.reserve(files.size());
  for (const auto& [identity, folder] : folders) listFolder(gameFolder_, folder, listed_);
  listing_ = true;
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
  if (listing_) {
    const auto listed = listed_.find(packagePathIdentity(file.path));
    if (listed == listed_.end()) return std::nullopt;
    return listed->second.size;
  }
  std::error_code error;
  const std::uintmax_t size = fs::file_size(gameFolder_ / file.path, error);
  if (error) return std::nullopt;
  return size;
}

bool GameFileCheck::holds(const PackageFile& file) {
  const std::string key = recordKey(file.path);
  if (record_) {
    const auto listed = listed_.find(packagePathIdentity(file.path));
    if (listed != listed_.end()) {
      if (const std::optional<std::string_view> sha = record_->vouchedSha256(key, listed->second)) {
        const bool current = listed->second.size == file.size && *sha == file.sha256;
        std::lock_guard lock(mutex_);
        known_.files[key] = record_->files.at(key);
        return current;
      }
    }
  }
  const std::optional<HashedFile> hashed = hashWithFacts(gameFolder_ / file.path);
  if (!hashed) return false;
  ++hashed_;
  std::lock_guard lock(mutex_);
  known_.remember(key, hashed->facts, hashed->sha256, fileTimeNow());
  return hashed->facts.size == file.size && hashed->sha256 == file.sha256;
}

void GameFileCheck::noteInstalled(const fs::path& path, std::string_view sha256, const FileFacts& stagedFacts) {
  const std::optional<FileFacts> now = factsOf(gameFolder_ / path);
  std::lock_guard lock(mutex_);
  const std::string key = recordKey(path);
  known_.files.erase(key);
  // A move keeps the file's identity, size and last-write time; only its change time moves.
  if (now && now->fileIndex == stagedFacts.fileIndex && now->volumeSerial == stagedFacts.volumeSerial &&
      now->size == stagedFacts.size && now->lastWriteTime == stagedFacts.lastWriteTime)
    known_.remember(key, *now, sha256, fileTimeNow());
}

void GameFileCheck::save(std::string_view manifestText) {
  std::lock_guard lock(mutex_);
  known_.manifestSha256 = sha256Bytes(manifestText);
  saveVerifiedState(gameFolder_, known_);
}

}  // namespace Corvanthorne::Update
