#include "update/game_file_check.h"

#include <windows.h>

#include <functional>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"
#include "update/parallel_tasks.h"

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

// Calls found(name, facts) for every regular file directly in folder. A folder that cannot be
// listed reports nothing: its files are hashed.
template <typename Found>
void listFolder(const fs::path& folder, std::uint32_t volumeSerial, const Found& found) {
  const ScopedHandle handle = openFolder(folder);
  if (!handle) return;
  std::vector<std::uint64_t> buffer(kListingBufferBytes / sizeof(std::uint64_t));  // aligned for the records
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(handle.get(), kind, buffer.data(), kListingBufferBytes)) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      if (!(entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        found(std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)),
              FileFacts{ticks(entry->EndOfFile), ticks(entry->LastWriteTime), ticks(entry->ChangeTime),
                        ticks(entry->FileId), volumeSerial});
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// Adds the facts of every regular file directly in folder, keyed by the identity of its path
// below the game folder.
void listFolder(const fs::path& gameFolder, const fs::path& relative, std::uint32_t volumeSerial,
                std::unordered_map<std::wstring, FileFacts>& listed) {
  listFolder(gameFolder / relative, volumeSerial, [&](std::wstring_view name, const FileFacts& facts) {
    listed[packagePathIdentity(relative / name)] = facts;
  });
}

// Whether neither the game folder nor any folder from it down to relative is a link. memo holds
// the answers by folder identity, so that each folder is examined once.
bool linkFreeFolder(const fs::path& gameFolder, const fs::path& relative, std::unordered_map<std::wstring, bool>& memo) {
  const auto [known, inserted] = memo.try_emplace(packagePathIdentity(relative), false);
  bool& answer = known->second;  // stays valid while the recursion adds answers
  if (inserted)
    answer = relative.empty() ? !isLink(gameFolder)
                              : linkFreeFolder(gameFolder, relative.parent_path(), memo) && !isLink(gameFolder / relative);
  return answer;
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
    : gameFolder_(std::move(gameFolder)), files_(files), volumeSerial_(volumeSerialOf(gameFolder_)), entries_(files.size()) {
  if (mode == CheckMode::UseRecord) record_ = loadVerifiedState(gameFolder_);
  byIdentity_.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    byIdentity_.try_emplace(packagePathIdentity(files[i].path), i);
    if (!record_) continue;
    const auto recorded = record_->files.find(recordKey(files[i].path));
    if (recorded != record_->files.end()) entries_[i].recorded = &*recorded;
  }
  listFolders();
}

// One link examination and one listing per folder of files. A folder that is a link, or lies
// below one, is not listed: its files take the path that refuses them. Listing costs the
// system a look at every file, so folders are listed on all cores; each writes only the
// entries of its own files.
void GameFileCheck::listFolders() {
  std::unordered_map<std::wstring_view, std::vector<std::size_t>> byFolder;  // folder identity to its files
  for (const auto& [identity, file] : byIdentity_) {
    const std::size_t slash = identity.rfind(L'/');
    byFolder[std::wstring_view(identity).substr(0, slash == std::wstring::npos ? 0 : slash)].push_back(file);
  }
  std::unordered_map<std::wstring, bool> linkFree;
  std::vector<std::pair<std::wstring_view, fs::path>> listable;
  for (const auto& [folderIdentity, numbers] : byFolder) {
    const fs::path folder = files_[numbers.front()].path.parent_path();
    if (!linkFreeFolder(gameFolder_, folder, linkFree)) continue;
    for (const std::size_t file : numbers) entries_[file].folderLinkFree = true;
    listable.emplace_back(folderIdentity, folder);
  }
  ParallelTasks listings(listable.size(), [&](std::size_t i) {
    const auto& [folderIdentity, folder] = listable[i];
    std::wstring identity;
    listFolder(gameFolder_ / folder, volumeSerial_, [&](std::wstring_view name, const FileFacts& facts) {
      identity.assign(folderIdentity);
      if (!identity.empty()) identity += L'/';
      identity += ordinalCaseFold(std::wstring(name));
      const auto found = byIdentity_.find(identity);
      if (found == byIdentity_.end()) return;
      entries_[found->second].listed = facts;
      entries_[found->second].isListed = true;
    });
  });
  for (std::size_t i = 0; i < listable.size(); ++i) listings.wait(i);
}

// Files of the vector the check was made for are found by position, any other by identity.
const GameFileCheck::Entry* GameFileCheck::entryOf(const PackageFile& file) const {
  const std::less<const PackageFile*> before;
  if (!files_.empty() && !before(&file, files_.data()) && before(&file, files_.data() + files_.size()))
    return &entries_[static_cast<std::size_t>(&file - files_.data())];
  const auto found = byIdentity_.find(packagePathIdentity(file.path));
  return found == byIdentity_.end() ? nullptr : &entries_[found->second];
}

void GameFileCheck::rejectLinks(const PackageFile& file) const {
  const Entry* entry = entryOf(file);
  if (!entry || !entry->folderLinkFree) return Update::rejectLinks(gameFolder_, file.path);
  if (!entry->isListed) rejectLink(gameFolder_ / file.path);
}

std::optional<std::uint64_t> GameFileCheck::installedSize(const PackageFile& file) const {
  const Entry* entry = entryOf(file);
  if (!entry || !entry->isListed) return std::nullopt;
  return entry->listed.size;
}

bool GameFileCheck::holds(const PackageFile& file) {
  Entry* entry = entryOf(file);
  if (entry && entry->isListed && entry->recorded && entry->recorded->second.facts == entry->listed) {
    entry->vouched = true;
    return entry->listed.size == file.size && entry->recorded->second.sha256Text() == file.sha256;
  }
  const std::optional<HashedFile> hashed = hashWithFacts(gameFolder_ / file.path);
  if (!hashed) return false;
  ++hashed_;
  // The listing came first: when the file still had its listed size and times as it was read,
  // the hash belongs to the listed file, identity included.
  if (entry && entry->isListed && sameSizeAndTimes(hashed->facts, entry->listed)) {
    std::lock_guard lock(mutex_);
    known_.remember(recordKey(file.path), entry->listed, hashed->sha256, fileTimeNow());
  }
  return hashed->facts.size == file.size && hashed->sha256 == file.sha256;
}

void GameFileCheck::noteInstalled(const fs::path& path, std::string_view sha256, const FileFacts& stagedFacts) {
  const std::wstring identity = packagePathIdentity(path);
  if (const auto file = byIdentity_.find(identity); file != byIdentity_.end()) entries_[file->second].vouched = false;
  const std::wstring folder = packagePathIdentity(path.parent_path());
  if (relistedFolders_.insert(folder).second) listFolder(gameFolder_, path.parent_path(), volumeSerial_, relisted_);
  const auto now = relisted_.find(identity);
  std::lock_guard lock(mutex_);
  const std::string key = recordKey(path);
  known_.files.erase(key);
  // A move keeps the file's size and last-write time; its change time moves.
  if (now != relisted_.end() && now->second.size == stagedFacts.size && now->second.lastWriteTime == stagedFacts.lastWriteTime)
    known_.remember(key, now->second, sha256, fileTimeNow());
}

void GameFileCheck::save(std::string_view manifestText) {
  std::lock_guard lock(mutex_);
  for (const Entry& entry : entries_)
    if (entry.vouched) known_.files.try_emplace(entry.recorded->first, entry.recorded->second);
  known_.manifestSha256 = sha256Bytes(manifestText);
  saveVerifiedState(gameFolder_, known_);
}

}  // namespace Corvanthorne::Update
