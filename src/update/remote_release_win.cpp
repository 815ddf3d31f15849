// The remote release flow; its downloads go through the object fetcher.
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"
#include "update/release_keys.h"
#include "update/release_objects.h"
#include "update/remote_release.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// Documents are fetched whole again after any failure: one try, the pace deciding when it failed.
constexpr RetryRule kDocumentRetry{1, {}, {}};

fs::path acceptedReleaseRelative() { return fs::path(L".corvanthorne") / L"remote" / L"accepted.json"; }
fs::path acceptedKeysRelative() { return fs::path(L".corvanthorne") / L"remote" / L"accepted-keys.json"; }

// The release document of the last install, if any, may not be newer than the incoming one.
void guardAgainstRollback(const fs::path& gameFolder, const ReleaseHeader& incoming,
                          const std::vector<std::string>& keys) {
  rejectLinks(gameFolder, acceptedReleaseRelative());
  const fs::path accepted = gameFolder / acceptedReleaseRelative();
  if (!isExistingRegularFile(accepted)) return;
  refuseRollback(incoming, parseReleaseJson(verifyWithKeyChain(readReleaseMetadata(accepted), keys, true)).root());
}

// The source's chain (keys.json), walked from the root key and checked against the chain
// this game folder accepted before.
struct KeyChain {
  std::string document;  // empty: the source publishes none
  std::vector<std::string> keys;
  std::size_t heldLength = 1;
};

KeyChain readKeyChain(std::wstring_view sourceBase, const fs::path& gameFolder, std::string_view rootKey,
                      const DownloadPace& pace) {
  const fs::path remote = gameFolder / L".corvanthorne" / L"remote";
  KeyChain chain;
  if (downloadPublishedFile(sourceBase, "keys.json", remote / L"candidate-keys.json", releaseKeyChainSizeLimit, pace))
    chain.document = readReleaseMetadata(remote / L"candidate-keys.json");
  chain.keys = walkReleaseKeyChain(chain.document, rootKey);
  rejectLinks(gameFolder, acceptedKeysRelative());
  if (isExistingRegularFile(gameFolder / acceptedKeysRelative())) {
    const std::vector<std::string> held =
        walkReleaseKeyChain(readReleaseMetadata(gameFolder / acceptedKeysRelative()), rootKey);
    refuseShorterKeyChain(chain.keys, held);
    chain.heldLength = held.size();
  }
  return chain;
}

// Kept as soon as a release verified under it, installed or not, so the chain never shrinks.
void recordKeyChain(const fs::path& gameFolder, const KeyChain& chain) {
  if (chain.keys.size() <= chain.heldLength) return;
  rejectLinks(gameFolder, acceptedKeysRelative());
  writeFileAtomically(gameFolder / acceptedKeysRelative(), chain.document);
}

LatestPackage writePackage(const fs::path& folder, PackageManifest manifest) {
  fs::create_directories(folder);
  writeFileAtomically(folder / L"manifest.txt", manifest.text);
  return {folder, std::move(manifest)};
}

}  // namespace

void recordAcceptedRelease(const fs::path& gameFolder, const RemoteRelease& release) {
  rejectLinks(gameFolder, acceptedReleaseRelative());
  writeFileAtomically(gameFolder / acceptedReleaseRelative(), release.document);
}

bool downloadPublishedFile(std::wstring_view sourceBase, std::string_view relativeName, const fs::path& destination,
                           std::uint64_t maxBytes, const DownloadPace& pace) {
  rejectLinks(destination.parent_path(), destination.filename());
  fs::create_directories(destination.parent_path());
  const fs::path staging = destination.native() + L".part";
  rejectLinks(staging.parent_path(), staging.filename());
  ObjectFetcher fetcher(sourceBase, {1, 0, pace, kDocumentRetry});
  const std::optional<std::string> bytes = fetcher.fetchOptional(relativeName, maxBytes);
  if (!bytes) return false;
  try {
    std::ofstream out(staging, std::ios::binary | std::ios::trunc);
    if (!out) fail("Could not stage download");
    if (!out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()))) fail("Could not write patch download");
    out.close();
    if (!out) fail("Could not finish patch download");
    commitDownload(staging, destination);
  } catch (...) {
    std::error_code ignored;
    fs::remove(staging, ignored);
    throw;
  }
  return true;
}

void downloadFile(std::wstring_view sourceBase, std::string_view relativeName, const fs::path& destination,
                  std::uint64_t maxBytes, const DownloadPace& pace) {
  if (!downloadPublishedFile(sourceBase, relativeName, destination, maxBytes, pace))
    fail(sourceBase.starts_with(L"https://") ? "Patch server did not return HTTP 200"
                                             : "Could not read " + pathText(fs::path(sourceBase) / pathFromUtf8(relativeName)));
}

RemoteRelease fetchRemoteRelease(std::wstring_view sourceBase, const fs::path& gameFolder,
                                 const InstallProgress& progress, const FetchOptions& options) {
  if (options.rootKey.empty() && builtInKeyIsDevelopmentKey() && sourceBase.starts_with(L"https://"))
    fail("This launcher trusts the development release key and installs releases from a local folder only");
  const std::string_view rootKey = options.rootKey.empty() ? builtInReleaseKey() : options.rootKey;
  const fs::path remote = gameFolder / L".corvanthorne" / L"remote";
  rejectLinks(gameFolder, fs::path(L".corvanthorne") / L"remote");
  fs::create_directories(remote);
  DownloadPace documentPace = options.transfer.pace;
  documentPace.deadline = options.documentDeadline;
  const KeyChain chain = readKeyChain(sourceBase, gameFolder, rootKey, documentPace);
  downloadFile(sourceBase, "latest.json", remote / L"candidate.json", releaseMetadataSizeLimit, documentPace);

  RemoteRelease release;
  release.document = readReleaseMetadata(remote / L"candidate.json");
  const JsonDocument parsed = parseReleaseJson(verifyWithKeyChain(release.document, chain.keys));
  const JsonValue& payload = parsed.root();
  const ReleaseHeader header = readReleaseHeader(payload, sourceBase);
  guardAgainstRollback(gameFolder, header, chain.keys);
  recordKeyChain(gameFolder, chain);
  ReleasePlan plan = planRelease(payload, header);
  release.notes = std::move(plan.notes);
  release.game = writePackage(remote / L"game", std::move(plan.game));
  release.launcher = writePackage(remote / L"launcher", std::move(plan.launcher));

  release.transferred = fetchReleaseObjects(sourceBase, gameFolder, release.game, release.launcher, progress, options);
  return release;
}

}  // namespace Corvanthorne::Update
