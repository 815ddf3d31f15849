#pragma once
// Signed remote releases: a source (an HTTPS base URL or a local folder) publishes one signed
// document, latest.json, and content-addressed file objects, objects/<sha256>. The flow
// authenticates the document, refuses other epochs and anything older than the release
// already accepted, turns the file list into a game and a launcher package, and downloads
// the missing objects into package folders that the journaled install reads like a local
// client package. Nothing is installed here, and nothing at all unless the signature holds.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/game_install.h"
#include "update/object_fetch.h"
#include "update/package_manifest.h"
#include "update/release_document.h"
#include "update/release_json.h"

namespace Corvanthorne::Update {

inline constexpr std::size_t maxReleaseFiles = 100'000;
inline constexpr std::uint64_t maxReleaseFileSize = 17'179'869'184;  // 16 GiB

// The payload fields that decide whether a release may be installed at all.
struct ReleaseHeader {
  bool testOnly = false;
  std::string id;
  std::uint64_t content = 0;
  std::uint64_t build = 0;
  std::optional<std::uint64_t> expires{};  // seconds since 1970 UTC; none: never expires
};

// What a release installs, composed from its payload.
struct ReleasePlan {
  PackageManifest game;  // carries the release's removal list
  PackageManifest launcher;
  std::string notes;
};

struct RemoteRelease {
  LatestPackage game;
  LatestPackage launcher;
  std::string notes;
  std::string document;  // exactly as downloaded; stored as accepted.json after an install
  TransferTotals transferred;  // the objects and their chunk indexes
};

// One file of a release draft, as the publisher lists it.
struct ReleaseFile {
  std::string path;  // UTF-8, "/" separators
  std::string sha256;
  std::uint64_t size = 0;
};

struct ReleaseDraft {
  bool testOnly = false;
  std::string id;
  std::uint64_t content = 0;
  std::uint64_t build = 0;
  std::string notes;
  std::vector<ReleaseFile> files;
  std::vector<std::string> removals;
  std::optional<std::uint64_t> expires{};
};

// Seconds since 1970 UTC, now.
std::uint64_t utcSecondsNow();

// expires (refused once it lies before nowUtcSeconds), testOnly, the three epochs, id,
// content and build, checked in that order. Test fixtures are refused from an "https://"
// source.
ReleaseHeader readReleaseHeader(const JsonValue& payload, std::wstring_view sourceBase,
                                std::uint64_t nowUtcSeconds = utcSecondsNow());

// Refuses a release older than the accepted one (its verified payload), or of the same
// content revision under another id.
void refuseRollback(const ReleaseHeader& incoming, const JsonValue& acceptedPayload);

// "r", 17 decimal digits (UTC time to the millisecond), "-", 12 lowercase hexadecimal digits.
bool isValidReleaseId(std::string_view id);

// The id for a release published at utcMilliseconds (since 1970) whose file list hashes to
// fileListSha256 (its first 12 digits are used).
std::string makeReleaseId(std::int64_t utcMilliseconds, std::string_view fileListSha256);

// The id form, the file list and the removals, composed into the two manifests and parsed
// back with the manifest parser.
ReleasePlan planRelease(const JsonValue& payload, const ReleaseHeader& header);

// The payload JSON of a draft (format at the top of remote_release.cpp).
std::string composeReleasePayload(const ReleaseDraft& draft);

// The draft a verified payload was composed from, for re-signing it unchanged but for expires.
ReleaseDraft releaseDraftOf(const JsonValue& payload, const ReleaseHeader& header);

struct FetchOptions {
  // The key the chain of keys.json starts from; empty: the built-in key, which refuses
  // "https://" sources when it is the development key.
  std::string rootKey;
  TransferOptions transfer{};  // its pace applies to the documents too
  // keys.json and latest.json each arrive whole within this, or the fetch ends: 16 MiB at
  // 28 KB/s, so a slow feed cannot hold a player on an old release.
  std::chrono::milliseconds documentDeadline{600'000};
  // Called, before any object is downloaded, with the bytes the objects and then their
  // install add to the game folder's volume; throws when they do not fit.
  std::function<void(std::uint64_t bytes)> requireSpace;
};

// The whole flow into <gameFolder>/.corvanthorne/remote; progress may be empty. The chain of
// keys.json that verified is kept there as accepted-keys.json, and a later fetch refuses a
// chain that does not extend it.
RemoteRelease fetchRemoteRelease(std::wstring_view sourceBase, const std::filesystem::path& gameFolder,
                                 const InstallProgress& progress, const FetchOptions& options = {});

// Stores the release's document as .corvanthorne/remote/accepted.json, the rollback guard's
// reference; call it only after the release's game package was installed.
void recordAcceptedRelease(const std::filesystem::path& gameFolder, const RemoteRelease& release);

// Fetches sourceBase + "/" + relativeName to destination through "<destination>.part"; a
// body longer than maxBytes is refused while it arrives.
void downloadFile(std::wstring_view sourceBase, std::string_view relativeName,
                  const std::filesystem::path& destination, std::uint64_t maxBytes, const DownloadPace& pace = {});

// downloadFile for a file the source may leave out: false, with nothing written, when it does
// (HTTP 404, or no such file in the folder).
bool downloadPublishedFile(std::wstring_view sourceBase, std::string_view relativeName,
                           const std::filesystem::path& destination, std::uint64_t maxBytes, const DownloadPace& pace);

}  // namespace Corvanthorne::Update
