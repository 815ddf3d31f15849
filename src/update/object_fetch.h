#pragma once
// Release objects brought from a source (an HTTPS base URL or a local folder) into package
// folders: several requests in flight over kept-alive connections of one session, byte ranges,
// a whole-object download continued from its ".part" file, transient failures retried with
// back-off, one bandwidth limit over all connections, SHA-256 computed as bytes arrive, and
// objects assembled from verified local chunks plus downloaded ranges.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/chunk_index.h"

namespace Corvanthorne::Update {

// Every download must keep moving: a response that delivers fewer than minimumBytes within
// window (counted from the request, and again from each moment minimumBytes more have come)
// is ended with "Patch download interrupted", and so is a request still running at deadline.
// At 16 KiB a minute a stalled or trickling server is left after a minute at most, while a
// player on the slowest line still counts as moving.
struct DownloadPace {
  std::uint64_t minimumBytes = 16 * 1024;
  std::chrono::milliseconds window{60'000};
  std::chrono::milliseconds deadline = std::chrono::milliseconds::max();
};

// Transient failures (connection reset or refused, time-out, a stalled response, HTTP 5xx, 429)
// are tried again, continuing where the bytes stopped, after firstDelay doubled per try (up to
// maxDelay, a 429's Retry-After when longer) with up to a quarter of jitter; the last
// failure's message stands once `tries` requests of one piece have failed. kDefaultRetry: 6
// tries, waits of 2, 4, 8, 16 and 32 s (62 s, at most 78 s with jitter), so with requests that
// time out a piece is given up after about two minutes.
struct RetryRule {
  unsigned tries = 0;
  std::chrono::milliseconds firstDelay{0};
  std::chrono::milliseconds maxDelay{0};
};
extern const RetryRule kDefaultRetry;

struct TransferOptions {
  unsigned requestsInFlight = 0;      // 0: the measured default
  std::uint64_t bytesPerSecond = 0;   // launcher.ini DownloadLimit; 0: no limit
  DownloadPace pace{};
  RetryRule retry = kDefaultRetry;
};

// Bytes received from the source (a retried range counts what it received again), bytes
// copied from local chunks, and requests sent (ranges read, for a folder source).
struct TransferTotals {
  std::uint64_t downloaded = 0;
  std::uint64_t reused = 0;
  std::uint64_t requests = 0;
};

// One object to bring into destination, always through "<destination>.part".
struct ObjectJob {
  std::string sha256;  // the signed record's; the object is objects/<sha256>
  std::uint64_t size = 0;
  std::filesystem::path destination;
  // Assembly from chunks: index and plan from chunk_index.h, and the files plan's local pieces
  // read from. Without an index the whole object is fetched, continuing a kept ".part".
  std::optional<ChunkIndex> index;
  AssemblyPlan plan;
  std::vector<std::filesystem::path> localFiles;
  // When set, no element from this folder down to destination may be a link: checked as the
  // object's file is opened and again before it is committed.
  std::filesystem::path linkFreeFrom;
};

class ObjectFetcher {
 public:
  // progress receives running totals, one call at a time, from any thread.
  ObjectFetcher(std::wstring_view sourceBase, const TransferOptions& options,
                std::function<void(const TransferTotals&)> progress = {});
  ~ObjectFetcher();
  ObjectFetcher(const ObjectFetcher&) = delete;
  ObjectFetcher& operator=(const ObjectFetcher&) = delete;

  // A small file the source may leave out, in memory: nothing when it is not published
  // (HTTP 404, no such file in the folder); "Patch file exceeds declared size" past maxBytes.
  std::optional<std::string> fetchOptional(std::string_view relativeName, std::uint64_t maxBytes);

  // Brings every job's object into place, each checked against its size and SHA-256 while
  // its bytes are written. A chunk that fails its SHA-256 sends its job back to the whole
  // object; an object failing its SHA-256 twice gives "Downloaded patch checksum failed".
  // The first failure, in job order, is rethrown once no request is left running.
  void fetch(std::vector<ObjectJob> jobs);

  TransferTotals totals() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Moves a finished "<destination>.part" over destination (replacing, write-through); "Could
// not commit downloaded file" when that fails.
void commitDownload(const std::filesystem::path& staging, const std::filesystem::path& destination);

// The rules the fetcher is built from, kept apart from Windows.

// The wait before the next try once `failures` (1 or more) tries of a piece failed; retryAfter
// is a 429's Retry-After (zero: none given) and jitter, in [0, 1), adds up to a quarter.
std::chrono::milliseconds retryDelay(const RetryRule& rule, unsigned failures, std::chrono::milliseconds retryAfter,
                                     double jitter);

// A Retry-After header in seconds; an HTTP date or anything malformed gives none.
std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value);

// The Content-Range header of a 206 answer (format in object_fetch.cpp).
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::optional<std::uint64_t> total;  // none: "*"
  bool operator==(const ContentRange&) const = default;
};
std::optional<ContentRange> parseContentRange(std::string_view value);

// One bandwidth limit shared by every connection: each read is charged once it arrived, and
// its reader then sleeps while the bytes charged so far are ahead of bytesPerSecond (at most
// 50 ms of unused time count as credit).
class RateLimiter {
 public:
  explicit RateLimiter(std::uint64_t bytesPerSecond) : rate_(bytesPerSecond) {}
  // How long the reader of `bytes`, arrived at `now`, sleeps; zero without a limit.
  std::chrono::nanoseconds charge(std::uint64_t bytes, std::chrono::steady_clock::time_point now);

 private:
  std::mutex mutex_;
  const std::uint64_t rate_;
  std::chrono::steady_clock::time_point paidUntil_{};
};

}  // namespace Corvanthorne::Update
