// The remote release flow and its downloads: HTTPS through WinHTTP, or a local folder.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/release_keys.h"
#include "update/remote_release.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kResolveTimeoutMs = 15'000;
constexpr DWORD kConnectTimeoutMs = 15'000;
constexpr DWORD kSendTimeoutMs = 15'000;
constexpr DWORD kReceiveTimeoutMs = 30'000;  // until the pace of the request takes over
constexpr DWORD kChunkSize = 65'536;
constexpr int kDownloadShare = 70;  // percent of the bootstrap's bar that downloads fill

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

using Clock = std::chrono::steady_clock;

// The progress rule of DownloadPace while one request runs.
class PaceWatch {
 public:
  explicit PaceWatch(const DownloadPace& pace) : pace_(pace), start_(Clock::now()), windowStart_(start_) {}

  // How long the next receive may wait, at least 1 ms; "Patch download interrupted" when the
  // window ended short of its bytes or the deadline passed.
  DWORD receiveTimeoutMs() const {
    using std::chrono::milliseconds;
    const Clock::time_point now = Clock::now();
    const milliseconds windowLeft = pace_.window - std::chrono::duration_cast<milliseconds>(now - windowStart_);
    const milliseconds deadlineLeft = pace_.deadline - std::chrono::duration_cast<milliseconds>(now - start_);
    const long long left = std::min(windowLeft, deadlineLeft).count();
    if (left <= 0) fail("Patch download interrupted");
    return static_cast<DWORD>(std::min<long long>(left, MAXDWORD - 1));
  }

  void received(std::uint64_t bytes) {
    windowBytes_ += bytes;
    if (windowBytes_ < pace_.minimumBytes) return;
    windowBytes_ = 0;
    windowStart_ = Clock::now();
  }

 private:
  const DownloadPace& pace_;
  Clock::time_point start_;
  Clock::time_point windowStart_;
  std::uint64_t windowBytes_ = 0;
};

// Every wait for the server ends when the pace says so: WinHTTP's own receive time-out
// restarts with every byte, so it is set anew before each receive.
void limitNextReceive(HINTERNET request, const PaceWatch& watch, DWORD option = WINHTTP_OPTION_RECEIVE_TIMEOUT) {
  DWORD timeout = watch.receiveTimeoutMs();
  if (!WinHttpSetOption(request, option, &timeout, sizeof(timeout))) fail("Could not initialize HTTPS downloads");
}

std::wstring httpsUrl(std::wstring_view base, std::string_view relativeName) {
  std::wstring url(base);
  if (!url.ends_with(L'/')) url += L'/';
  return url + utf8ToWide(relativeName);
}

struct UrlParts {
  std::wstring host;
  std::wstring path;
  INTERNET_PORT port = 0;
};

// An HTTPS URL without user, password, query or fragment; anything else is refused. Not every
// WinHTTP counts a fragment as extra information (Wine leaves it in the path), so "?" and "#"
// are refused outright: neither may stand unescaped in a path.
UrlParts crackHttpsUrl(const std::wstring& url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwUserNameLength = parts.dwPasswordLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS ||
      parts.dwUserNameLength != 0 || parts.dwPasswordLength != 0 || parts.dwExtraInfoLength != 0 ||
      url.find_first_of(L"?#") != std::wstring::npos)
    fail("Invalid HTTPS patch URL");
  return {std::wstring(parts.lpszHostName, parts.dwHostNameLength),
          std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength), parts.nPort};
}

ScopedInternetHandle openSession() {
  ScopedInternetHandle session(WinHttpOpen(L"Corvanthorne/1", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session ||
      !WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs))
    fail("Could not initialize HTTPS downloads");
  return session;
}

// A file the source does not publish: HTTP 404, or no such file in a local folder.
struct NotPublished {};

// Sends the GET and waits for the response head; redirects are answers, never followed.
ScopedInternetHandle sendRequest(HINTERNET connection, const std::wstring& path, const PaceWatch& watch) {
  ScopedInternetHandle request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  if (!request || !WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never)))
    throwWindowsError("HTTPS patch request failed");
  limitNextReceive(request.get(), watch);
  limitNextReceive(request.get(), watch, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT);
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
    throwWindowsError("HTTPS patch request failed");
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    if (GetLastError() == ERROR_WINHTTP_TIMEOUT) fail("Patch download interrupted");
    throwWindowsError("HTTPS patch request failed");
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    fail("Patch server did not return HTTP 200");
  if (status == 404) throw NotPublished{};
  if (status != 200) fail("Patch server did not return HTTP 200");
  return request;
}

// Streams the body into staging in chunks, stopping as soon as it outgrows maxBytes or
// stops moving.
void receiveBody(HINTERNET request, const fs::path& staging, std::uint64_t maxBytes, PaceWatch& watch) {
  std::ofstream out(staging, std::ios::binary | std::ios::trunc);
  if (!out) fail("Could not stage download");
  std::vector<char> chunk(kChunkSize);
  std::uint64_t total = 0;
  DWORD filled = 0;
  while (true) {
    // Waiting for what is available, then reading no more than that, returns with every
    // arrival: a read of a whole chunk would wait until the chunk is full, however slowly
    // it fills. The chunk is written once full.
    DWORD available = 0, read = 0;
    limitNextReceive(request, watch);
    if (!WinHttpQueryDataAvailable(request, &available) ||
        !WinHttpReadData(request, chunk.data() + filled, std::min(available, kChunkSize - filled), &read))
      fail("Patch download interrupted");
    if (read == 0) break;
    watch.received(read);
    total += read;
    if (total > maxBytes) fail("Patch file exceeds declared size");
    filled += read;
    if (filled == kChunkSize && !out.write(chunk.data(), std::exchange(filled, 0))) fail("Could not write patch download");
  }
  if (!out.write(chunk.data(), filled)) fail("Could not write patch download");
  out.close();
  if (!out) fail("Could not finish patch download");
}

void downloadOverHttps(const std::wstring& url, const fs::path& staging, std::uint64_t maxBytes,
                       const DownloadPace& pace) {
  const UrlParts parts = crackHttpsUrl(url);
  const ScopedInternetHandle session = openSession();
  const ScopedInternetHandle connection(WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
  if (!connection) throwWindowsError("HTTPS patch request failed");
  PaceWatch watch(pace);
  const ScopedInternetHandle request = sendRequest(connection.get(), parts.path, watch);
  receiveBody(request.get(), staging, maxBytes, watch);
}

void copyFromFolder(const fs::path& folder, std::string_view relativeName, const fs::path& staging,
                    std::uint64_t maxBytes) {
  const fs::path relative = pathFromUtf8(relativeName);
  rejectLinks(folder, relative);
  const fs::path source = folder / relative;
  std::error_code error;
  const std::uintmax_t size = fs::file_size(source, error);
  if (error == std::errc::no_such_file_or_directory) throw NotPublished{};
  if (error) fail("Could not read " + pathText(source));
  if (size > maxBytes) fail("Patch file exceeds declared size");
  copyFileReplacing(source, staging);
}

bool holdsRecord(const fs::path& path, const PackageFile& record) { return holdsFile(path, record.size, record.sha256); }

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

// Counts handled files across both packages for the progress percentage.
struct DownloadRun {
  std::wstring_view sourceBase;
  const fs::path& gameFolder;
  const fs::path& remote;
  const InstallProgress& progress;
  const DownloadPace& pace;
  std::size_t handled = 0;
  std::size_t total = 0;
};

// installed answers whether an installed file is current; the launcher package, outside the
// game's record, is hashed.
void downloadMissingObjects(const LatestPackage& package, DownloadRun& run, GameFileCheck* installed) {
  for (const PackageFile& record : package.manifest.files) {
    rejectLinks(run.gameFolder, record.path);
    if (installed ? installed->holds(record) : holdsRecord(run.gameFolder / record.path, record)) {
      ++run.handled;
      continue;
    }
    // The path passed the package rule, so it has no "..": the lexical form is exact, and it
    // checks every element from R down, whatever the file system would resolve it to.
    const fs::path target = package.folder / record.path;
    rejectLinks(run.remote, target.lexically_relative(run.remote));
    if (run.progress)
      run.progress(L"Downloading " + packagePathKey(record.path), static_cast<int>(run.handled * kDownloadShare / run.total));
    if (!holdsRecord(target, record)) {
      downloadFile(run.sourceBase, "objects/" + record.sha256, target, record.size, run.pace);
      if (!holdsRecord(target, record)) {
        std::error_code ignored;
        fs::remove(target, ignored);
        fail("Downloaded patch checksum failed");
      }
    }
    ++run.handled;
  }
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
  try {
    if (sourceBase.starts_with(L"https://"))
      downloadOverHttps(httpsUrl(sourceBase, relativeName), staging, maxBytes, pace);
    else if (sourceBase.find(L"://") != std::wstring_view::npos)
      fail("Patch downloads require HTTPS");
    else
      copyFromFolder(fs::path(sourceBase), relativeName, staging, maxBytes);
    if (!MoveFileExW(staging.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      fail("Could not commit downloaded file");
  } catch (const NotPublished&) {
    std::error_code ignored;
    fs::remove(staging, ignored);
    return false;
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
  DownloadPace documentPace = options.pace;
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

  DownloadRun run{sourceBase, gameFolder, remote, progress, options.pace};
  run.total = release.game.manifest.files.size() + release.launcher.manifest.files.size();
  GameFileCheck installed(gameFolder, release.game.manifest.files);
  downloadMissingObjects(release.game, run, &installed);
  // What was hashed here is recorded, so that the install that follows reads no file again.
  if (installed.hashedCount() > 0) installed.save(installedManifestText(gameFolder));
  downloadMissingObjects(release.launcher, run, nullptr);
  return release;
}

}  // namespace Corvanthorne::Update
