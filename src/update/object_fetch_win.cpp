// Release objects from an HTTPS source through WinHTTP, or from a local folder: the update
// system's one HTTP implementation. Worker threads receive byte ranges into buffers; the
// calling thread writes them in order into "<destination>.part" while it hashes them, so
// hashing overlaps receiving and memory stays within a few buffers per request in flight.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/object_fetch.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr DWORD kResolveTimeoutMs = 15'000;
constexpr DWORD kConnectTimeoutMs = 15'000;
constexpr DWORD kSendTimeoutMs = 15'000;
constexpr DWORD kReceiveTimeoutMs = 30'000;  // until the pace of the request takes over
constexpr DWORD kMaxRead = 1 << 20;          // bytes asked of one WinHttpReadData
// Objects travel as ranges of about this size, each fetched by one request into one buffer;
// an assembled object's ranges end at chunk boundaries.
constexpr std::uint64_t kSegmentBytes = 4 << 20;
// On localhost under Wine 1 to 8 requests in flight download equally fast (SHA-256 and the
// CPU decide there); over real links several in flight hide latency and per-connection limits,
// and small files need them most.
constexpr unsigned kDefaultRequestsInFlight = 4;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// A failure that another try may cure.
struct TransientFailure : std::runtime_error {
  explicit TransientFailure(const std::string& message, std::chrono::milliseconds retryAfter = {})
      : std::runtime_error(message), retryAfter(retryAfter) {}
  std::chrono::milliseconds retryAfter;
};

// A transient failure that outlasted its tries: what arrived so far stays worth keeping.
struct RetriesExhausted : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A file the source does not publish: HTTP 404, or no such file in a local folder.
struct NotPublished {};

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
    if (left <= 0) throw TransientFailure("Patch download interrupted");
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

std::wstring httpsUrl(std::wstring_view base, std::string_view relativeName) {
  std::wstring url(base);
  if (!url.ends_with(L'/')) url += L'/';
  return url + utf8ToWide(relativeName);
}

ScopedInternetHandle openSession() {
  ScopedInternetHandle session(WinHttpOpen(L"Corvanthorne/1", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session ||
      !WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs))
    fail("Could not initialize HTTPS downloads");
  return session;
}

// Bytes first to last (inclusive) of an object of objectSize bytes.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t objectSize = 0;
  bool wholeObject() const { return first == 0 && last + 1 == objectSize; }
};

[[noreturn]] void failRequest() { throw TransientFailure(withWindowsError("HTTPS patch request failed", GetLastError())); }

std::string textHeader(HINTERNET request, DWORD info) {
  wchar_t value[128];
  DWORD size = sizeof(value);
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, value, &size, WINHTTP_NO_HEADER_INDEX)) return {};
  return wideToUtf8(std::wstring_view(value, size / sizeof(wchar_t)));
}

// Accepts 200 for a whole file, and for a range only when it covers the whole object; 206 only
// with the Content-Range asked for. 404 is NotPublished; 5xx and 429 are worth another try.
void checkStatus(HINTERNET request, const std::optional<ByteRange>& range) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    fail("Patch server did not return HTTP 200");
  const std::string unexpected = "Patch server did not return HTTP 200";
  if (status == 404) throw NotPublished{};
  if (status == 429) {
    const auto after = parseRetryAfter(textHeader(request, WINHTTP_QUERY_RETRY_AFTER));
    throw TransientFailure(unexpected, after.value_or(std::chrono::seconds(0)));
  }
  if (status >= 500 && status <= 599) throw TransientFailure(unexpected);
  if (status == 200 && (!range || range->wholeObject())) return;
  if (status != 206 || !range) fail(unexpected);
  const std::optional<ContentRange> answered = parseContentRange(textHeader(request, WINHTTP_QUERY_CONTENT_RANGE));
  if (!answered || answered->first != range->first || answered->last != range->last ||
      (answered->total && *answered->total != range->objectSize))
    fail(unexpected);
}

// Sends the GET and waits for the response head; redirects are answers, never followed.
ScopedInternetHandle sendRequest(HINTERNET connection, const std::wstring& path, const std::optional<ByteRange>& range,
                                 const PaceWatch& watch) {
  ScopedInternetHandle request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  if (!request || !WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never)))
    failRequest();
  limitNextReceive(request.get(), watch);
  limitNextReceive(request.get(), watch, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT);
  const std::wstring header =
      range ? L"Range: bytes=" + std::to_wstring(range->first) + L"-" + std::to_wstring(range->last) : L"";
  if (!WinHttpSendRequest(request.get(), range ? header.c_str() : WINHTTP_NO_ADDITIONAL_HEADERS,
                          range ? static_cast<DWORD>(-1L) : 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
    failRequest();
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    if (GetLastError() == ERROR_WINHTTP_TIMEOUT) throw TransientFailure("Patch download interrupted");
    failRequest();
  }
  checkStatus(request.get(), range);
  return request;
}

// Reads a file's bytes from offset into out (appended), up to length; fewer at its end.
// False when it cannot be opened or read.
bool readFileRange(const fs::path& path, std::uint64_t offset, std::uint64_t length, std::vector<char>& out) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!file || !SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return false;
  const std::size_t start = out.size();
  out.resize(start + length);
  std::size_t filled = 0;
  while (filled < length) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(length - filled, kMaxRead));
    if (!ReadFile(file.get(), out.data() + start + filled, want, &read, nullptr)) return false;
    if (read == 0) break;
    filled += read;
  }
  out.resize(start + filled);
  return true;
}

// The source, its session and the running totals, shared by every thread of a fetch.
class Transfer {
 public:
  Transfer(std::wstring_view sourceBase, const TransferOptions& options,
           std::function<void(const TransferTotals&)> progress)
      : base_(sourceBase), options_(options), limiter_(options.bytesPerSecond), progress_(std::move(progress)) {
    if (options_.requestsInFlight == 0) options_.requestsInFlight = kDefaultRequestsInFlight;
    if (sourceBase.starts_with(L"https://")) {
      const UrlParts parts = crackHttpsUrl(std::wstring(sourceBase));
      session_ = openSession();
      connection_.reset(WinHttpConnect(session_.get(), parts.host.c_str(), parts.port, 0));
      if (!connection_) throwWindowsError("HTTPS patch request failed");
    } else if (sourceBase.find(L"://") != std::wstring_view::npos) {
      fail("Patch downloads require HTTPS");
    }
  }

  const TransferOptions& options() const { return options_; }
  // Ends the requests of a run that failed, and lets the next run start.
  void stop(bool stopping) { stopping_ = stopping; }

  // The published file whole, or nothing when the source leaves it out; a transient failure
  // fetches it again from its start.
  std::optional<std::string> wholeFile(std::string_view relativeName, std::uint64_t maxBytes) {
    std::vector<char> bytes;
    try {
      if (connection_)
        retrying([&] {
          bytes.clear();
          receive(requestPath(relativeName), std::nullopt, bytes, maxBytes);
        });
      else
        readFolderFile(relativeName, maxBytes, bytes);
    } catch (const NotPublished&) {
      return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.end());
  }

  // Bytes of objects/<sha256> into out: from the source, continuing after each transient
  // failure where its bytes stopped.
  void objectRange(const std::string& sha256, const ByteRange& range, std::vector<char>& out) {
    out.clear();
    const std::uint64_t length = range.last - range.first + 1;
    out.reserve(length);
    const std::string name = "objects/" + sha256;
    try {
      if (!connection_) return readFolderObject(name, range, out);
      const std::wstring path = requestPath(name);
      retrying([&] {
        const std::uint64_t from = range.first + out.size();
        const ByteRange rest{from, range.last, range.objectSize};
        receive(path, rest.wholeObject() ? std::nullopt : std::optional(rest), out, length);
        if (out.size() < length) throw TransientFailure("Patch download interrupted");
      });
    } catch (const NotPublished&) {
      fail("Patch server did not return HTTP 200");
    }
  }

  void count(const TransferTotals& added) {
    TransferTotals snapshot;
    {
      const std::lock_guard lock(totalsMutex_);
      totals_.downloaded += added.downloaded;
      totals_.reused += added.reused;
      totals_.requests += added.requests;
      const Clock::time_point now = Clock::now();
      if (!progress_ || now - lastReport_ < kProgressInterval) return;
      lastReport_ = now;
      snapshot = totals_;
    }
    const std::lock_guard lock(reportMutex_);
    progress_(snapshot);
  }

  void reportTotals() {
    if (!progress_) return;
    const TransferTotals snapshot = totals();
    const std::lock_guard lock(reportMutex_);
    progress_(snapshot);
  }

  TransferTotals totals() const {
    const std::lock_guard lock(totalsMutex_);
    return totals_;
  }

 private:
  std::wstring requestPath(std::string_view relativeName) const { return crackHttpsUrl(httpsUrl(base_, relativeName)).path; }

  template <typename Attempt>
  void retrying(Attempt attempt) {
    static thread_local std::minstd_rand jitter{std::random_device{}()};
    for (unsigned failures = 1;; ++failures) {
      try {
        return attempt();
      } catch (const TransientFailure& failure) {
        if (failures >= options_.retry.tries || stopping_) throw RetriesExhausted(failure.what());
        const auto delay = retryDelay(options_.retry, failures, failure.retryAfter,
                                      std::uniform_real_distribution<double>(0, 1)(jitter));
        for (const auto until = Clock::now() + delay; Clock::now() < until && !stopping_;)
          std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(50)));
      }
    }
  }

  // One request; its body is appended to out, which may hold limit bytes in all.
  void receive(const std::wstring& path, const std::optional<ByteRange>& range, std::vector<char>& out,
               std::uint64_t limit) {
    PaceWatch watch(options_.pace);
    count({0, 0, 1});
    const ScopedInternetHandle request = sendRequest(connection_.get(), path, range, watch);
    while (!stopping_) {
      // Waiting for what is available, then reading no more than that, returns with every
      // arrival: a larger read would wait until it is full, however slowly it fills.
      DWORD available = 0;
      limitNextReceive(request.get(), watch);
      if (!WinHttpQueryDataAvailable(request.get(), &available)) throw TransientFailure("Patch download interrupted");
      if (available == 0) return;
      if (out.size() >= limit) fail("Patch file exceeds declared size");
      const std::size_t at = out.size();
      const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>({available, kMaxRead, limit - at}));
      out.resize(at + want);
      DWORD read = 0;
      const bool received = WinHttpReadData(request.get(), out.data() + at, want, &read);
      out.resize(at + read);
      if (!received) throw TransientFailure("Patch download interrupted");
      if (read == 0) return;
      watch.received(read);
      count({read, 0, 0});
      std::this_thread::sleep_for(limiter_.charge(read, Clock::now()));
    }
    fail("Patch download interrupted");
  }

  fs::path folderPath(std::string_view relativeName) const {
    const fs::path relative = pathFromUtf8(relativeName);
    rejectLinks(fs::path(base_), relative);
    return fs::path(base_) / relative;
  }

  void readFolderFile(std::string_view relativeName, std::uint64_t maxBytes, std::vector<char>& out) {
    const fs::path source = folderPath(relativeName);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(source, error);
    if (error == std::errc::no_such_file_or_directory) throw NotPublished{};
    if (error) fail("Could not read " + pathText(source));
    if (size > maxBytes) fail("Patch file exceeds declared size");
    count({0, 0, 1});
    if (!readFileRange(source, 0, size, out) || out.size() != size) fail("Could not read " + pathText(source));
    count({out.size(), 0, 0});
  }

  void readFolderObject(const std::string& name, const ByteRange& range, std::vector<char>& out) {
    const fs::path source = folderPath(name);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(source, error);
    if (error) fail("Could not read " + pathText(source));
    if (size > range.objectSize) fail("Patch file exceeds declared size");
    count({0, 0, 1});
    if (!readFileRange(source, range.first, range.last - range.first + 1, out)) fail("Could not read " + pathText(source));
    count({out.size(), 0, 0});
    if (out.size() != range.last - range.first + 1) fail("Downloaded patch checksum failed");
  }

  std::wstring base_;
  TransferOptions options_;
  ScopedInternetHandle session_;  // declared before its connection, which closes first
  ScopedInternetHandle connection_;
  RateLimiter limiter_;
  std::atomic<bool> stopping_ = false;
  std::function<void(const TransferTotals&)> progress_;
  mutable std::mutex totalsMutex_;
  TransferTotals totals_;
  Clock::time_point lastReport_{};
  std::mutex reportMutex_;
};

// Writes one buffer at a time on a thread of its own, so that its writer hashes meanwhile.
class DiskWriter {
 public:
  DiskWriter() : thread_([this] { run(); }) {}
  ~DiskWriter() {
    {
      const std::lock_guard lock(mutex_);
      quitting_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // bytes stay untouched until finish() returned.
  void start(HANDLE file, const std::vector<char>& bytes) {
    {
      const std::lock_guard lock(mutex_);
      file_ = file;
      pending_ = &bytes;
    }
    changed_.notify_all();
  }

  void finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_ == nullptr; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (true) {
      changed_.wait(lock, [&] { return pending_ || quitting_; });
      if (!pending_) return;
      lock.unlock();
      try {
        writeAll(file_, *pending_);
      } catch (...) {
        error_ = std::current_exception();
      }
      lock.lock();
      pending_ = nullptr;
      changed_.notify_all();
    }
  }

  static void writeAll(HANDLE file, const std::vector<char>& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      DWORD wrote = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      if (!WriteFile(file, bytes.data() + done, piece, &wrote, nullptr) || wrote == 0)
        fail("Could not write patch download");
      done += wrote;
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  HANDLE file_ = nullptr;
  const std::vector<char>* pending_ = nullptr;
  std::exception_ptr error_;
  bool quitting_ = false;
  std::thread thread_;  // last: it starts once the members above exist
};

// "<destination>.part" while its object is written, hashed as it grows.
class PartFile {
 public:
  // Keeps the first `keep` bytes of an existing part (hashing them) and drops the rest.
  PartFile(const ObjectJob& job, std::uint64_t keep) : job_(job), path_(partPath(job.destination)) {
    rejectLinksToDestination();
    fs::create_directories(job.destination.parent_path());
    rejectLinks(path_.parent_path(), path_.filename());
    file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) fail("Could not stage download");
    std::vector<char> kept;
    for (std::uint64_t at = 0; at < keep; at += kept.size()) {
      kept.clear();
      if (!readFileRange(path_, at, std::min<std::uint64_t>(keep - at, kSegmentBytes), kept) || kept.empty()) {
        restart();
        return;
      }
      hasher_.add(kept.data(), kept.size());
    }
    written_ = keep;
    truncateAt(keep);
  }

  static fs::path partPath(const fs::path& destination) { return destination.native() + L".part"; }

  void restart() {
    hasher_ = Sha256Hasher();
    written_ = 0;
    truncateAt(0);
  }

  // Hashes bytes while disk writes them.
  void write(const std::vector<char>& bytes, DiskWriter& disk) {
    if (written_ + bytes.size() > job_.size) fail("Patch file exceeds declared size");
    disk.start(file_.get(), bytes);
    try {
      hasher_.add(bytes.data(), bytes.size());
    } catch (...) {
      disk.finish();
      throw;
    }
    disk.finish();
    written_ += bytes.size();
  }

  // Whether what was written is the job's object; ends this hash.
  bool holdsObject() { return written_ == job_.size && hasher_.finish() == job_.sha256; }

  void commit() {
    file_.reset();
    rejectLinksToDestination();
    commitDownload(path_, job_.destination);
  }

  void discard() {
    file_.reset();
    DeleteFileW(path_.c_str());  // a part left behind is refetched or continued later
  }

 private:
  // A link planted while other objects downloaded is refused before anything is written
  // through it.
  void rejectLinksToDestination() const {
    if (job_.linkFreeFrom.empty())
      rejectLinks(job_.destination.parent_path(), job_.destination.filename());
    else
      rejectLinks(job_.linkFreeFrom, job_.destination.lexically_relative(job_.linkFreeFrom));
  }

  void truncateAt(std::uint64_t size) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get()))
      fail("Could not stage download");
  }

  const ObjectJob& job_;
  fs::path path_;
  ScopedHandle file_;
  Sha256Hasher hasher_;
  std::uint64_t written_ = 0;
};

// One request's worth of an object, in object order: read from a local file or fetched.
struct Segment {
  enum class Stage { waiting, fetching, ready, mismatch, failed };
  Segment(std::size_t job, std::uint64_t offset, std::uint64_t length) : job(job), offset(offset), length(length) {}
  std::size_t job = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::optional<LocalChunk> local;  // at the offset of this segment
  std::size_t firstChunk = 0;       // chunks to check before use (none for whole objects)
  std::size_t chunkCount = 0;
  Stage stage = Stage::waiting;
  std::vector<char> bytes;
  std::exception_ptr error;
};

// A plan the fetcher can follow: index and plan describe this object and tile it exactly.
bool followsPlan(const ObjectJob& job) {
  const ChunkIndex& index = *job.index;
  if (index.objectSha256 != job.sha256 || index.objectSize != job.size) return false;
  std::uint64_t offset = 0;
  std::size_t chunk = 0;
  for (const AssemblyPiece& piece : job.plan.pieces) {
    if (piece.offset != offset || piece.firstChunk != chunk || piece.chunkCount == 0 ||
        piece.chunkCount > index.chunks.size() - chunk || (piece.local && piece.local->file >= job.localFiles.size()))
      return false;
    for (std::size_t c = chunk; c < chunk + piece.chunkCount; offset += index.chunks[c++].length)
      if (index.chunks[c].offset != offset) return false;
    if (offset != piece.offset + piece.length) return false;
    chunk += piece.chunkCount;
  }
  return offset == job.size && chunk == index.chunks.size();
}

// All jobs of one fetch() cut into segments; workers fetch them ahead of the writer, at most
// two segments more than workers past the one it waits for: memory stays within about
// kSegmentBytes * (requests in flight + 2).
class FetchRun {
 public:
  FetchRun(Transfer& transfer, std::vector<ObjectJob>& jobs) : transfer_(transfer), jobs_(jobs), kept_(jobs.size()) {
    for (std::size_t j = 0; j < jobs_.size(); ++j) {
      jobStarts_.push_back(segments_.size());
      if (jobs_[j].index && !followsPlan(jobs_[j])) jobs_[j].index.reset();
      if (jobs_[j].index)
        planAssembly(j);
      else
        planWhole(j);
    }
    jobStarts_.push_back(segments_.size());
    abandoned_.assign(jobs_.size(), false);
    const unsigned workers =
        static_cast<unsigned>(std::min<std::size_t>(transfer_.options().requestsInFlight, segments_.size()));
    window_ = std::max(workers, 1u) + 2;
    try {
      for (unsigned w = 0; w < workers; ++w) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      // fewer workers; the writer fetches whatever none of them takes
    }
  }

  ~FetchRun() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    transfer_.stop(true);
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    transfer_.stop(false);
  }

  // Writes every job in order on this thread; the first failure ends the run.
  void writeAll() {
    for (std::size_t j = 0; j < jobs_.size(); ++j) writeJob(j);
  }

 private:
  void planWhole(std::size_t j) {
    const ObjectJob& job = jobs_[j];
    rejectLinks(job.destination.parent_path(), job.destination.filename());
    std::error_code error;
    const std::uintmax_t partSize = fs::file_size(PartFile::partPath(job.destination), error);
    kept_[j] = !error && partSize <= job.size ? partSize : 0;
    for (std::uint64_t offset = kept_[j]; offset < job.size; offset += kSegmentBytes)
      segments_.emplace_back(j, offset, std::min(kSegmentBytes, job.size - offset));
  }

  // Pieces become segments of whole chunks, cut once kSegmentBytes are reached.
  void planAssembly(std::size_t j) {
    const ObjectJob& job = jobs_[j];
    for (const AssemblyPiece& piece : job.plan.pieces) {
      for (std::size_t c = piece.firstChunk, end = piece.firstChunk + piece.chunkCount; c < end;) {
        Segment segment(j, job.index->chunks[c].offset, 0);
        segment.firstChunk = c;
        for (; c < end && (segment.length == 0 || segment.length + job.index->chunks[c].length <= kSegmentBytes); ++c) {
          segment.length += job.index->chunks[c].length;
          ++segment.chunkCount;
        }
        if (piece.local) segment.local = LocalChunk{piece.local->file, piece.local->offset + segment.offset - piece.offset};
        segments_.push_back(std::move(segment));
      }
    }
  }

  // Fills a segment; false when a chunk of it does not match its index.
  bool bring(Segment& segment) {
    const ObjectJob& job = jobs_[segment.job];
    if (segment.local) {
      segment.bytes.clear();
      if (!readFileRange(job.localFiles[segment.local->file], segment.local->offset, segment.length, segment.bytes) ||
          segment.bytes.size() != segment.length)
        return false;
    } else {
      transfer_.objectRange(job.sha256, {segment.offset, segment.offset + segment.length - 1, job.size}, segment.bytes);
    }
    for (std::size_t c = segment.firstChunk; c < segment.firstChunk + segment.chunkCount; ++c) {
      const ChunkRecord& chunk = job.index->chunks[c];
      if (sha256Bytes({segment.bytes.data() + (chunk.offset - segment.offset), chunk.length}) != chunk.sha256)
        return false;
    }
    return true;
  }

  // Takes segment `next_` (the lock is held on entry and exit) and brings it in.
  void take(std::unique_lock<std::mutex>& lock) {
    Segment& segment = segments_[next_++];
    if (abandoned_[segment.job]) {
      segment.stage = Segment::Stage::mismatch;
      return;
    }
    segment.stage = Segment::Stage::fetching;
    if (!spare_.empty()) {
      segment.bytes = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    Segment::Stage stage = Segment::Stage::ready;
    try {
      if (!bring(segment)) stage = Segment::Stage::mismatch;
    } catch (...) {
      segment.error = std::current_exception();
      stage = Segment::Stage::failed;
    }
    lock.lock();
    segment.stage = stage;
    if (stage == Segment::Stage::failed) failedJob_ = std::min(failedJob_, segment.job);
  }

  bool mayTake() const {
    return next_ < segments_.size() && next_ < written_ + window_ && segments_[next_].job <= failedJob_;
  }

  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      changed_.wait(lock, [&] { return stopping_ || mayTake() || next_ == segments_.size(); });
      if (stopping_ || !mayTake()) return;
      take(lock);
      changed_.notify_all();
    }
  }

  // Waits for segment `at` (fetching it here when no worker took it) and hands it over.
  Segment& await(std::size_t at) {
    std::unique_lock lock(mutex_);
    while (segments_[at].stage == Segment::Stage::waiting || segments_[at].stage == Segment::Stage::fetching) {
      if (next_ == at)
        take(lock);
      else
        changed_.wait(lock);
    }
    return segments_[at];
  }

  // Its buffer serves a later segment: buffers are allocated once per run, not per request.
  void release(std::size_t at) {
    {
      const std::lock_guard lock(mutex_);
      segments_[at].bytes.clear();
      spare_.push_back(std::move(segments_[at].bytes));
      written_ = at + 1;
    }
    changed_.notify_all();
  }

  void abandon(std::size_t j) {
    const std::lock_guard lock(mutex_);
    abandoned_[j] = true;
  }

  // The whole object again from its first byte, one request at a time, on this thread.
  void refetchWhole(std::size_t j, PartFile& part) {
    const ObjectJob& job = jobs_[j];
    part.restart();
    std::vector<char> bytes;
    for (std::uint64_t offset = 0; offset < job.size; offset += kSegmentBytes) {
      transfer_.objectRange(job.sha256, {offset, std::min(offset + kSegmentBytes, job.size) - 1, job.size}, bytes);
      part.write(bytes, disk_);
    }
  }

  void writeJob(std::size_t j) {
    const ObjectJob& job = jobs_[j];
    PartFile part(job, kept_[j]);
    try {
      bool assembled = true;
      for (std::size_t at = jobStarts_[j]; at < jobStarts_[j + 1]; release(at++)) {
        Segment& segment = await(at);
        if (segment.stage == Segment::Stage::failed) std::rethrow_exception(segment.error);
        if (segment.stage == Segment::Stage::mismatch && assembled) {
          assembled = false;
          abandon(j);
        }
        if (!assembled) continue;
        part.write(segment.bytes, disk_);
        if (segment.local) transfer_.count({0, segment.length, 0});
      }
      if (!assembled) refetchWhole(j, part);
      if (!part.holdsObject()) {
        // A kept part or a source that sent other bytes: once more from the start.
        refetchWhole(j, part);
        if (!part.holdsObject()) fail("Downloaded patch checksum failed");
      }
      part.commit();
    } catch (const RetriesExhausted&) {
      throw;  // the part holds verified-order bytes a later run continues
    } catch (...) {
      part.discard();
      throw;
    }
  }

  Transfer& transfer_;
  std::vector<ObjectJob>& jobs_;
  std::vector<std::uint64_t> kept_;  // bytes of each job's part continued
  std::vector<Segment> segments_;
  std::vector<std::size_t> jobStarts_;  // each job's first segment, and the end
  std::vector<bool> abandoned_;
  std::vector<std::vector<char>> spare_;
  DiskWriter disk_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;     // the next segment a worker takes
  std::size_t written_ = 0;  // segments handed to the writer
  std::size_t window_ = 2;
  std::size_t failedJob_ = SIZE_MAX;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

void commitDownload(const fs::path& staging, const fs::path& destination) {
  if (!MoveFileExW(staging.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    fail("Could not commit downloaded file");
}

struct ObjectFetcher::State : Transfer {
  using Transfer::Transfer;
};

ObjectFetcher::ObjectFetcher(std::wstring_view sourceBase, const TransferOptions& options,
                             std::function<void(const TransferTotals&)> progress)
    : state_(std::make_unique<State>(sourceBase, options, std::move(progress))) {}

ObjectFetcher::~ObjectFetcher() = default;

std::optional<std::string> ObjectFetcher::fetchOptional(std::string_view relativeName, std::uint64_t maxBytes) {
  return state_->wholeFile(relativeName, maxBytes);
}

void ObjectFetcher::fetch(std::vector<ObjectJob> jobs) {
  try {
    FetchRun run(*state_, jobs);
    run.writeAll();
  } catch (...) {
    state_->reportTotals();
    throw;
  }
  state_->reportTotals();
}

TransferTotals ObjectFetcher::totals() const { return state_->totals(); }

}  // namespace Corvanthorne::Update
