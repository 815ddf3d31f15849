// cvtool release: the studio's publisher of signed releases (keys, publishing, checking a
// published folder) and the player's fetch as the update bootstrap runs it, for test rigs.
#include <algorithm>
#include <chrono>
#include <ostream>
#include <stdexcept>
#include <unordered_set>

#include "common/files.h"
#include "common/text.h"
#include "tools/cvtool/update_win.h"
#include "update/chunk_index.h"
#include "update/file_ops.h"
#include "update/release_keys.h"
#include "update/release_patch.h"
#include "update/remote_release.h"

namespace Corvanthorne::Tools {
namespace {

namespace fs = std::filesystem;
using Update::ChunkIndex;
using Update::PackageFile;
using Update::ReleaseFile;

constexpr std::string_view kKeygenUsage = "release keygen PRIVATE_KEY_FILE PUBLIC_KEY_FILE";
constexpr std::string_view kPublishUsage =
    "release publish --key PRIVATE_KEY_FILE --content N --build N [--notes FILE] [--remove PATH]... "
    "[--test-only] [--expires-in DAYS] [--public-key FILE] TREE SOURCE";
constexpr std::string_view kRefreshUsage =
    "release refresh --key PRIVATE_KEY_FILE --expires-in DAYS [--public-key FILE] SOURCE";
constexpr std::string_view kRotateUsage =
    "release rotate --key CURRENT_PRIVATE_KEY_FILE --next-key NEXT_PUBLIC_KEY_FILE [--public-key FILE] SOURCE";
constexpr std::string_view kVerifyUsage = "release verify [--public-key FILE] SOURCE";
constexpr std::string_view kFetchUsage = "release fetch [--public-key FILE] [--install] SOURCE GAME_FOLDER";

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// Key and notes files: nothing larger than the release document they end up in.
std::string readTextFile(const fs::path& file) {
  std::optional<std::string> bytes = readFileBytes(file, Update::releaseMetadataSizeLimit);
  if (!bytes) fail("Could not read " + pathText(file));
  return std::move(*bytes);
}

// Key files hold one line of Base64 text.
std::string readKeyFile(const std::string& file) {
  std::string text = readTextFile(pathFromUtf8(file));
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  return text;
}

std::string publicKeyFile(const std::string& file) {
  std::string key = readKeyFile(file);
  if (!Update::isReleasePublicKeyText(key)) fail("Not a release public key file: " + file);
  return key;
}

// --public-key, or nothing for the built-in key.
std::string givenRootKey(const CommandLine& line) {
  const std::string file = line.value("public-key", "");
  return file.empty() ? std::string() : publicKeyFile(file);
}

// SOURCE/keys.json; empty when the source has no chain.
std::string keyChainText(const fs::path& source) {
  const fs::path keys = source / L"keys.json";
  return fs::exists(keys) ? Update::readReleaseMetadata(keys) : std::string();
}

// --public-key, or the built-in key.
std::string rootKeyOf(const CommandLine& line) {
  const std::string given = givenRootKey(line);
  return given.empty() ? std::string(Update::builtInReleaseKey()) : given;
}

// The keys of SOURCE/keys.json, walked from the root key.
std::vector<std::string> sourceKeys(const CommandLine& line, const fs::path& source) {
  return Update::walkReleaseKeyChain(keyChainText(source), rootKeyOf(line));
}

// Signing with a key the chain has retired would publish a release every launcher refuses.
void requireNewestKey(const std::vector<std::string>& keys, const std::string& privateKey) {
  if (Update::publicKeyOf(privateKey) != keys.back())
    fail("The private key is not the newest key of the release key chain");
}

// --expires-in DAYS as the moment, in seconds since 1970 UTC; nothing without the option.
std::optional<std::uint64_t> expiryOption(const CommandLine& line) {
  const std::string text = line.value("expires-in", "");
  if (text.empty()) return std::nullopt;
  const bool digits = text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
  const std::uint64_t days = digits ? std::stoull(text) : 0;
  if (days == 0 || days > 36'500) throw std::invalid_argument("--expires-in needs a whole number of days from 1 to 36500");
  return Update::utcSecondsNow() + days * 86'400;
}

std::uint64_t revisionOption(const CommandLine& line, std::string_view name) {
  const std::string text = line.value(name, "");
  const bool digits = !text.empty() && text.size() <= 16 && text.find_first_not_of("0123456789") == std::string::npos;
  const std::uint64_t value = digits ? std::stoull(text) : 0;
  if (value == 0 || value > Update::releaseIntegerLimit)
    throw std::invalid_argument("--" + std::string(name) + " needs a whole number from 1 to 9007199254740991");
  return value;
}

void refuseExisting(const fs::path& file) {
  if (fs::exists(file)) fail("Key file already exists: " + pathText(file));
}

int keygen(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 2) throwUsage(kKeygenUsage);
  const fs::path privateFile = pathFromUtf8(line.words()[0]);
  const fs::path publicFile = pathFromUtf8(line.words()[1]);
  refuseExisting(privateFile);
  refuseExisting(publicFile);
  const Update::ReleaseKeyPair pair = Update::generateReleaseKeyPair();
  Update::writeFileAtomically(privateFile, pair.privateKey + "\n");
  Update::writeFileAtomically(publicFile, pair.publicKey + "\n");
  out << "private key " << pathText(privateFile) << " (keep it secret; it signs your releases)\n"
      << "public key " << pathText(publicFile) << " (build with -DQEL_RELEASE_PUBLIC_KEY_FILE=<this file>)\n";
  return 0;
}

// Every file under tree, hashed, in byte order of its path. A path that no package may hold,
// or two that only differ in case, are refused by name.
std::vector<ReleaseFile> hashTree(const fs::path& tree) {
  std::vector<ReleaseFile> files;
  std::unordered_set<std::wstring> identities;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree)) {
    if (entry.is_directory()) continue;
    const std::string path = pathText(entry.path().lexically_relative(tree));
    const fs::path packagePath = Update::packagePathFromUtf8(path);
    if (!entry.is_regular_file() ||
        !Update::isAllowedPackagePath(packagePath, path == "launcher.exe" ? "launcher" : "game"))
      fail("This path cannot be published in a release: " + path);
    if (!identities.insert(Update::packagePathIdentity(packagePath)).second)
      fail("Two paths of the tree differ only in letter case: " + path);
    files.push_back({path, Update::sha256File(entry.path()), entry.file_size()});
  }
  std::sort(files.begin(), files.end(), [](const ReleaseFile& a, const ReleaseFile& b) { return a.path < b.path; });
  return files;
}

struct CopiedObjects {
  std::size_t count = 0;
  std::uint64_t bytes = 0;
};

// Copies each object the source lacks (or holds damaged) through "<sha256>.new", checked
// again after copying, so objects/<sha256> only ever holds exactly those bytes.
CopiedObjects storeObjects(const fs::path& tree, const std::vector<ReleaseFile>& files, const fs::path& objects) {
  fs::create_directories(objects);
  CopiedObjects copied;
  std::unordered_set<std::string> stored;
  for (const ReleaseFile& file : files) {
    const fs::path object = objects / file.sha256;
    if (!stored.insert(file.sha256).second || Update::holdsFile(object, file.size, file.sha256)) continue;
    const fs::path staging = object.native() + L".new";
    Update::copyFileReplacing(tree / Update::packagePathFromUtf8(file.path), staging);
    if (!Update::holdsFile(staging, file.size, file.sha256)) fail("This file changed while publishing: " + file.path);
    Update::flushFile(staging);
    Update::moveReplacing(staging, object);
    ++copied.count;
    copied.bytes += file.size;
  }
  return copied;
}

// The id's hexadecimal part names the file list: the manifest records of every file.
std::string releaseIdFor(const std::vector<ReleaseFile>& files) {
  std::string list;
  for (const ReleaseFile& file : files)
    list.append(file.sha256).append(" ").append(std::to_string(file.size)).append(" ").append(file.path).append("\n");
  const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
  return Update::makeReleaseId(now.time_since_epoch().count(), Update::sha256Bytes(list));
}

std::string readNotes(const CommandLine& line) {
  const std::string file = line.value("notes", "");
  if (file.empty()) return {};
  std::string notes = readTextFile(pathFromUtf8(file));
  if (!notes.empty() && utf8ToWide(notes).empty()) fail("Release notes are not UTF-8 text: " + file);
  return notes;
}

fs::path objectFile(const fs::path& source, std::string_view sha256) { return source / L"objects" / pathFromUtf8(sha256); }
fs::path chunkIndexFile(const fs::path& source, std::string_view sha256) {
  return source / pathFromUtf8(Update::chunkIndexName(sha256));
}

// The object's index as the source publishes it; nothing when there is none or it is damaged.
std::optional<ChunkIndex> publishedIndex(const fs::path& source, const std::string& sha256, std::uint64_t size) {
  const std::optional<std::string> bytes = readFileBytes(chunkIndexFile(source, sha256), Update::chunkIndexSizeLimit(size));
  if (!bytes) return std::nullopt;
  try {
    return Update::parseChunkIndex(*bytes, sha256, size);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

// Cuts a stored object; its bytes must still be the ones it is named for.
ChunkIndex chunkObject(const fs::path& source, const std::string& sha256, std::uint64_t size) {
  const fs::path object = objectFile(source, sha256);
  std::optional<ChunkIndex> index;
  if (fs::is_regular_file(object) && fs::file_size(object) == size) index = Update::chunkFile(object);
  if (!index || index->objectSha256 != sha256) fail("Release object is missing or damaged: objects/" + sha256);
  return std::move(*index);
}

// Every object large enough gets its index beside it, also one published before indexes were.
void writeChunkIndexes(const fs::path& source, const std::vector<ReleaseFile>& files) {
  std::unordered_set<std::string> indexed;
  for (const ReleaseFile& file : files)
    if (file.size >= Update::kChunkedObjectMinimum && indexed.insert(file.sha256).second &&
        !publishedIndex(source, file.sha256, file.size))
      Update::writeFileAtomically(chunkIndexFile(source, file.sha256),
                                  Update::composeChunkIndex(chunkObject(source, file.sha256, file.size)));
}

std::vector<PackageFile> releaseFiles(const Update::ReleasePlan& plan) {
  std::vector<PackageFile> files = plan.game.files;
  files.insert(files.end(), plan.launcher.files.begin(), plan.launcher.files.end());
  return files;
}

// What a player on the release the source held before (its document, verified like refresh
// does) downloads to reach next. The estimate never fails a publish that has happened.
std::string patchLine(const CommandLine& line, const fs::path& source, const std::string& previousDocument,
                      const std::vector<PackageFile>& next) {
  try {
    const Update::JsonDocument verified = Update::parseReleaseJson(
        Update::verifyWithKeyChain(previousDocument, sourceKeys(line, source), true));
    const Update::ReleaseHeader header = Update::readReleaseHeader(verified.root(), source.wstring(), 0);
    const std::vector<PackageFile> previous = releaseFiles(Update::planRelease(verified.root(), header));
    Update::PatchSources sources;
    sources.nextIndex = [&](const PackageFile& file) { return publishedIndex(source, file.sha256, file.size); };
    sources.previousChunks = [&](std::size_t file) {
      const PackageFile& old = previous[file];
      std::optional<ChunkIndex> index = publishedIndex(source, old.sha256, old.size);
      return index ? std::move(*index) : chunkObject(source, old.sha256, old.size);
    };
    // How ranges are bounded changes the requests, not the bytes.
    const std::uint64_t maxRange = 16 * std::uint64_t{Update::kChunkSizes.maximum};
    const Update::PatchTotals totals = Update::planPatch(next, previous, sources, maxRange);
    return "patch from " + header.id + ": " + std::to_string(totals.downloadBytes) + " bytes to download, " +
           std::to_string(totals.reusedBytes) + " bytes reused\n";
  } catch (const std::exception& error) {
    return std::string("patch size unknown: ") + error.what() + "\n";
  }
}

int publish(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 2 || line.value("key", "").empty()) throwUsage(kPublishUsage);
  const fs::path tree = pathFromUtf8(line.words()[0]);
  const fs::path source = pathFromUtf8(line.words()[1]);
  Update::ReleaseDraft draft;
  draft.testOnly = line.has("test-only");
  draft.expires = expiryOption(line);
  draft.content = revisionOption(line, "content");
  draft.build = revisionOption(line, "build");
  draft.notes = readNotes(line);
  draft.removals = line.values("remove");
  const std::string privateKey = readKeyFile(line.value("key", ""));
  draft.files = hashTree(tree);
  draft.id = releaseIdFor(draft.files);

  // The launcher's own reader checks the release before anything is written.
  const std::string payload = Update::composeReleasePayload(draft);
  const Update::JsonDocument checked = Update::parseReleaseJson(payload);
  const Update::JsonValue& parsed = checked.root();
  const Update::ReleasePlan plan = Update::planRelease(parsed, Update::readReleaseHeader(parsed, source.wstring()));
  if (fs::exists(source / L"keys.json")) requireNewestKey(sourceKeys(line, source), privateKey);
  const std::string document = Update::composeReleaseDocument(payload, Update::signReleasePayload(payload, privateKey));

  const std::optional<std::string> previous =
      fs::exists(source / L"latest.json") ? std::optional(Update::readReleaseMetadata(source / L"latest.json")) : std::nullopt;
  const CopiedObjects copied = storeObjects(tree, draft.files, source / L"objects");
  writeChunkIndexes(source, draft.files);
  Update::writeFileAtomically(source / L"latest.json", document);
  out << "published " << draft.id << " content " << draft.content << ": " << draft.files.size() << " files, "
      << copied.count << " new objects, " << copied.bytes << " bytes\n";
  if (previous) out << patchLine(line, source, *previous, releaseFiles(plan));
  return 0;
}

// Re-signs the current release with a new expiry and nothing else changed, so launchers take
// it as the same release.
int refresh(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 1 || line.value("key", "").empty() || line.value("expires-in", "").empty())
    throwUsage(kRefreshUsage);
  const fs::path source = pathFromUtf8(line.words()[0]);
  const std::vector<std::string> keys = sourceKeys(line, source);
  const std::string privateKey = readKeyFile(line.value("key", ""));
  requireNewestKey(keys, privateKey);
  const std::string current = Update::readReleaseMetadata(source / L"latest.json");
  // Signed by a key retired since, perhaps: a refresh is how a rotation reaches the release.
  const Update::JsonDocument verified = Update::parseReleaseJson(Update::verifyWithKeyChain(current, keys, true));
  const Update::ReleaseHeader header = Update::readReleaseHeader(verified.root(), source.wstring(), 0);
  Update::planRelease(verified.root(), header);
  Update::ReleaseDraft draft = Update::releaseDraftOf(verified.root(), header);
  draft.expires = expiryOption(line);
  const std::string payload = Update::composeReleasePayload(draft);
  Update::writeFileAtomically(source / L"latest.json",
                              Update::composeReleaseDocument(payload, Update::signReleasePayload(payload, privateKey)));
  out << "refreshed " << draft.id << " content " << draft.content << " expires " << *draft.expires << "\n";
  return 0;
}

int rotate(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 1 || line.value("key", "").empty() || line.value("next-key", "").empty())
    throwUsage(kRotateUsage);
  const fs::path source = pathFromUtf8(line.words()[0]);
  const std::string root = rootKeyOf(line);
  const std::string next = Update::appendReleaseKeyStatement(
      keyChainText(source), root, readKeyFile(line.value("key", "")), publicKeyFile(line.value("next-key", "")));
  Update::writeFileAtomically(source / L"keys.json", next);
  out << "rotated to key " << Update::walkReleaseKeyChain(next, root).size() - 1
      << "; now sign latest.json with it: cvtool release refresh --key NEXT_PRIVATE_KEY_FILE --expires-in DAYS\n";
  return 0;
}

// An object with an index is cut again: the index must be exactly the one publish writes.
void verifyObject(const fs::path& source, const PackageFile& file) {
  const fs::path index = chunkIndexFile(source, file.sha256);
  if (!fs::exists(index)) {
    if (!Update::holdsFile(objectFile(source, file.sha256), file.size, file.sha256))
      fail("Release object is missing or damaged: objects/" + file.sha256);
    return;
  }
  const std::string expected = Update::composeChunkIndex(chunkObject(source, file.sha256, file.size));
  if (readFileBytes(index, expected.size()) != expected)
    fail("Release chunk index is damaged: " + Update::chunkIndexName(file.sha256));
}

int verify(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 1) throwUsage(kVerifyUsage);
  const fs::path source = pathFromUtf8(line.words()[0]);
  const std::string document = Update::readReleaseMetadata(source / L"latest.json");
  const Update::JsonDocument verified =
      Update::parseReleaseJson(Update::verifyWithKeyChain(document, sourceKeys(line, source)));
  const Update::JsonValue& payload = verified.root();
  const Update::ReleaseHeader header = Update::readReleaseHeader(payload, source.wstring());
  const Update::ReleasePlan plan = Update::planRelease(payload, header);
  std::unordered_set<std::string> checked;
  for (const Update::PackageManifest* manifest : {&plan.game, &plan.launcher})
    for (const Update::PackageFile& file : manifest->files)
      if (checked.insert(file.sha256).second) verifyObject(source, file);
  out << "ok " << header.id << " content " << header.content << " build " << header.build << " "
      << plan.game.files.size() + plan.launcher.files.size() << " files\n";
  return 0;
}

int fetch(const CommandLine& line, std::ostream& out) {
  if (line.words().size() != 2) throwUsage(kFetchUsage);
  const std::wstring source = utf8ToWide(line.words()[0]);
  const fs::path gameFolder = pathFromUtf8(line.words()[1]);
  Update::FetchOptions options;
  options.rootKey = givenRootKey(line);
  const ScopedHandle lock = lockGameFolder(gameFolder);
  const Update::RemoteRelease release = Update::fetchRemoteRelease(source, gameFolder, {}, options);
  out << "ok " << release.game.manifest.version << " game " << release.game.manifest.files.size()
      << " files launcher " << release.launcher.manifest.files.size() << " files removals "
      << release.game.manifest.removals.size() << "\n"
      << "downloaded " << release.transferred.downloaded << " bytes in " << release.transferred.requests
      << " requests, reused " << release.transferred.reused << " bytes\n";
  if (line.has("install")) {
    installPrintingProgress(release.game, gameFolder, out);
    Update::recordAcceptedRelease(gameFolder, release);
  }
  return 0;
}

}  // namespace

int runReleaseCommand(Arguments arguments, std::ostream& out) {
  const std::string_view action = arguments.empty() ? "" : arguments[0];
  const Arguments rest = arguments.empty() ? arguments : arguments.subspan(1);
  if (action == "keygen") return keygen(CommandLine(rest, {}, {}, kKeygenUsage), out);
  if (action == "publish")
    return publish(CommandLine(rest, {"key", "content", "build", "notes", "remove", "expires-in", "public-key"}, {"test-only"},
                               kPublishUsage),
                   out);
  if (action == "refresh")
    return refresh(CommandLine(rest, {"key", "expires-in", "public-key"}, {}, kRefreshUsage), out);
  if (action == "rotate")
    return rotate(CommandLine(rest, {"key", "next-key", "public-key"}, {}, kRotateUsage), out);
  if (action == "verify") return verify(CommandLine(rest, {"public-key"}, {}, kVerifyUsage), out);
  if (action == "fetch") return fetch(CommandLine(rest, {"public-key"}, {"install"}, kFetchUsage), out);
  throwUsage("release keygen|publish|refresh|rotate|verify|fetch ...");
}

}  // namespace Corvanthorne::Tools
