// The object fetcher against the local HTTPS test server and a local folder: faults the server
// makes on purpose, a kept part, the bandwidth limit, and objects assembled from chunks.
#include <gtest/gtest.h>

#include <random>

#include "support/https_server_win.h"
#include "support/message_of.h"
#include "update/file_ops.h"
#include "update/object_fetch.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Testing::messageOf;
using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;
using Clock = std::chrono::steady_clock;

std::string randomBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::minstd_rand random(seed);
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

const TransferOptions kQuickRetry{4, 0, {}, {4, 20ms, 100ms}};

ObjectJob wholeJob(const std::string& bytes, const fs::path& destination, std::uint64_t size) {
  ObjectJob job;
  job.sha256 = sha256Bytes(bytes);
  job.size = size;
  job.destination = destination;
  return job;
}

fs::path partOf(const fs::path& destination) { return destination.native() + L".part"; }

TEST(ObjectFetchWin, WholeObjectsContinueWhereTheyStoppedAndRefuseWhatBreaksTheRules) {
  const Testing::SharedHttpsServers& rig = Testing::sharedHttpsServers();
  const fs::path& root = rig.root.path();
  const Testing::LocalHttpsServer& server = rig.scripted;
  const std::string bytes = randomBytes(1 << 20, 1), object = "/rel/objects/" + sha256Bytes(bytes);
  writeFile(root / "rel" / "objects" / sha256Bytes(bytes), bytes);
  const std::string half = " bytes=524288-1048575", quarter = " bytes=262144-1048575", ok = "no error";
  const struct {
    std::string prefix, kept;
    std::uint64_t size;
    std::string expected;
    std::vector<std::string> requests;  // the object's path after prefix, then this
    Clock::duration atLeast;
  } rows[] = {
      {"/drop", "", bytes.size(), ok, {"", half}, 0s},
      {"/fail503", "", bytes.size(), ok, {"", ""}, 0s},
      {"/fail429", "", bytes.size(), ok, {"", ""}, 1s},  // Retry-After outlasts the back-off
      {"", bytes.substr(0, 262144), bytes.size(), ok, {quarter}, 0s},
      {"", std::string(262144, 'x'), bytes.size(), ok, {quarter, ""}, 0s},  // a wrong part: once more whole
      {"/gone", "", bytes.size(), "Patch server did not return HTTP 200", {""}, 0s},
      {"", "", bytes.size() - 1, "Patch file exceeds declared size", {""}, 0s},
  };
  for (const auto& row : rows) {
    TempDir game;
    const fs::path target = game / "assets" / "big.bin";
    if (!row.kept.empty()) writeFile(partOf(target), row.kept);
    server.forget();
    ObjectFetcher fetcher(server.url(row.prefix + "/rel"), kQuickRetry);
    const auto started = Clock::now();
    EXPECT_EQ(messageOf([&] { fetcher.fetch({wholeJob(bytes, target, row.size)}); }), row.expected) << row.prefix;
    EXPECT_GE(Clock::now() - started, row.atLeast);
    std::vector<std::string> requests;
    for (const std::string& range : row.requests) requests.push_back(row.prefix + object + range);
    EXPECT_EQ(server.requests(), requests) << row.prefix;
    EXPECT_EQ(holdsFile(target, bytes.size(), sha256Bytes(bytes)), row.expected == ok);
    EXPECT_FALSE(fs::exists(partOf(target)));
  }

  // Several jobs in one fetch: those before the first failure are in place, and it is reported.
  TempDir game;
  const std::string other = randomBytes(5 << 20, 4);
  writeFile(root / "rel" / "objects" / sha256Bytes(other), other);
  ObjectFetcher fetcher(server.url("/rel"), kQuickRetry);
  EXPECT_EQ(messageOf([&] {
              fetcher.fetch({wholeJob(other, game / "a", other.size()), wholeJob(bytes, game / "b", bytes.size()),
                             wholeJob("absent", game / "c", 6), wholeJob(other, game / "d", other.size())});
            }),
            "Patch server did not return HTTP 200");
  EXPECT_TRUE(holdsFile(game / "a", other.size(), sha256Bytes(other)) && holdsFile(game / "b", bytes.size(), sha256Bytes(bytes)));
  EXPECT_FALSE(fs::exists(game / "c"));
}

TEST(ObjectFetchWin, TheBandwidthLimitHoldsOverEveryConnection) {
  TempDir game;
  const Testing::SharedHttpsServers& rig = Testing::sharedHttpsServers();
  const fs::path& root = rig.root.path();
  const Testing::LocalHttpsServer& server = rig.nginx;
  server.forget();
  const std::string bytes = randomBytes(16 << 20, 2);
  writeFile(root / "objects" / sha256Bytes(bytes), bytes);
  const double limit = 8 << 20;
  // Timed between the first reports past 1 MiB and past 15 MiB, so that neither connecting nor
  // committing the object counts.
  using Mark = std::pair<Clock::time_point, std::uint64_t>;
  std::optional<Mark> first, last;
  ObjectFetcher fetcher(server.url(), {4, static_cast<std::uint64_t>(limit)}, [&](const TransferTotals& totals) {
    if (!first && totals.downloaded >= 1 << 20) first.emplace(Clock::now(), totals.downloaded);
    if (!last && totals.downloaded >= 15 << 20) last.emplace(Clock::now(), totals.downloaded);
  });
  fetcher.fetch({wholeJob(bytes, game / "big.bin", bytes.size())});
  ASSERT_TRUE(first && last);
  const double seconds = std::chrono::duration<double>(last->first - first->first).count();
  EXPECT_NEAR((last->second - first->second) / seconds / limit, 1.0, 0.1) << seconds;
  EXPECT_TRUE(holdsFile(game / "big.bin", bytes.size(), sha256Bytes(bytes)));
  EXPECT_EQ(server.requests().size(), 4u);
}

// 24 chunks of 128 KiB; pieces of two chunks each, local and remote by turns. The local file
// holds the object after 1000 other bytes.
constexpr std::uint32_t kChunk = 128 << 10;
ObjectJob assembledJob(const std::string& bytes, const fs::path& destination, const fs::path& local) {
  ObjectJob job = wholeJob(bytes, destination, bytes.size());
  job.index = ChunkIndex{job.sha256, job.size, {}};
  job.localFiles = {local};
  for (std::size_t c = 0; c * kChunk < bytes.size(); ++c)
    job.index->chunks.push_back({c * kChunk, kChunk, sha256Bytes(std::string_view(bytes).substr(c * kChunk, kChunk))});
  for (std::size_t c = 0; c < job.index->chunks.size(); c += 2) {
    job.plan.pieces.push_back({c * kChunk, 2 * kChunk, std::nullopt, c, 2});
    if (c % 4 == 0) job.plan.pieces.back().local = LocalChunk{0, 1000 + c * kChunk};
  }
  return job;
}

TEST(ObjectFetchWin, AssembledObjectsUseOnlyVerifiedChunksAndOtherwiseTheWholeObject) {
  const Testing::SharedHttpsServers& rig = Testing::sharedHttpsServers();
  const fs::path& root = rig.root.path();
  const Testing::LocalHttpsServer& server = rig.nginx;
  server.forget();
  const std::string bytes = randomBytes(24 * kChunk, 3);
  writeFile(root / "objects" / sha256Bytes(bytes), bytes);
  const struct {
    bool https;
    std::size_t changedLocalByte, wrongChunkRecord;  // 0: none
    TransferTotals totals;
  } rows[] = {
      {true, 0, 0, {12 * kChunk, 12 * kChunk, 6}},
      {false, 0, 0, {12 * kChunk, 12 * kChunk, 6}},
      {true, 1000 + 4 * kChunk + 7, 0, {}},
      {false, 0, 6, {}},
      {true, 0, 10, {}},
  };
  for (const auto& row : rows) {
    TempDir game;
    std::string local = std::string(1000, 'x') + bytes;
    if (row.changedLocalByte) local[row.changedLocalByte] ^= 1;
    writeFile(game / "old.bin", local);
    ObjectJob job = assembledJob(bytes, game / "new.bin", game / "old.bin");
    if (row.wrongChunkRecord) job.index->chunks[row.wrongChunkRecord].sha256 = sha256Bytes("other");
    TransferTotals reported;
    ObjectFetcher fetcher(row.https ? server.url() : root.wstring(), kQuickRetry,
                          [&](const TransferTotals& totals) { reported = totals; });
    EXPECT_EQ(messageOf([&] { fetcher.fetch({std::move(job)}); }), "no error");
    EXPECT_TRUE(holdsFile(game / "new.bin", bytes.size(), sha256Bytes(bytes)));
    const TransferTotals totals = fetcher.totals();
    EXPECT_EQ(reported.downloaded, totals.downloaded);
    if (row.totals.requests == 0) {
      EXPECT_GE(totals.downloaded, bytes.size()) << "the whole object after a chunk failed";
    } else {
      EXPECT_EQ(totals.downloaded, row.totals.downloaded);
      EXPECT_EQ(totals.reused, row.totals.reused);
      EXPECT_EQ(totals.requests, row.totals.requests);
    }
  }
}

}  // namespace
}  // namespace Corvanthorne::Update
