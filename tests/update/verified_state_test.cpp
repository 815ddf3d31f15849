#include "update/verified_state.h"

#include <gtest/gtest.h>

namespace Corvanthorne::Update {
namespace {

const std::string kManifest(64, 'a');
const std::string kSha(64, 'b');
constexpr FileFacts kFacts{1000, 11, 12, 13, 14};

VerifiedState recordOfTwoFiles() {
  VerifiedState state;
  state.manifestSha256 = kManifest;
  state.remember("assets/a.bin", kFacts, kSha, 5);
  state.remember("Qelmarin.exe", {1, 2, 3, 4, 5}, std::string(64, 'c'), 7);
  return state;
}

// Any change of one fact alone makes the record stop vouching for the file.
TEST(VerifiedState, VouchesOnlyWhileEveryFactMatches) {
  const std::optional<VerifiedState> state = parseVerifiedState(formatVerifiedState(recordOfTwoFiles()), kManifest);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->vouchedSha256("assets/a.bin", kFacts), kSha);
  const auto changed = [](auto change) {
    FileFacts facts = kFacts;
    change(facts);
    return facts;
  };
  for (const FileFacts& facts : {changed([](FileFacts& f) { ++f.size; }), changed([](FileFacts& f) { ++f.lastWriteTime; }),
                                 changed([](FileFacts& f) { ++f.changeTime; }), changed([](FileFacts& f) { ++f.fileIndex; }),
                                 changed([](FileFacts& f) { ++f.volumeSerial; })})
    EXPECT_FALSE(state->vouchedSha256("assets/a.bin", facts));
  EXPECT_FALSE(state->vouchedSha256("assets/A.bin", kFacts));
}

// Damage of any kind, or a record of another manifest, is no record.
TEST(VerifiedState, DamagedOrForeignRecordsAreIgnored) {
  const std::string record = formatVerifiedState(recordOfTwoFiles());
  const std::string_view bytes = record;
  const std::string otherManifest(64, 'd');
  std::string flipped = record;
  flipped[100] ^= 1;
  const struct {
    std::string_view bytes;
    std::string_view manifest;
  } cases[] = {
      {bytes.substr(0, bytes.size() - 1), kManifest},  // truncated
      {bytes.substr(0, 40), kManifest},
      {"", kManifest},
      {flipped, kManifest},
      {bytes, otherManifest},
  };
  for (const auto& c : cases) EXPECT_FALSE(parseVerifiedState(c.bytes, c.manifest)) << c.bytes.size();
  EXPECT_FALSE(parseVerifiedState(record + "x", kManifest));
}

TEST(VerifiedState, RollingCheckTakesOldestFirstUpToItsBudget) {
  VerifiedState state = recordOfTwoFiles();
  state.remember("old.bin", {3000, 0, 0, 0, 0}, kSha, 1);
  EXPECT_EQ(oldestHashedFirst(state, 1), (std::vector<std::string>{"old.bin"}));
  EXPECT_EQ(oldestHashedFirst(state, 3500), (std::vector<std::string>{"old.bin", "assets/a.bin"}));
  EXPECT_EQ(oldestHashedFirst(state, 1 << 30).size(), 3u);
  EXPECT_EQ(rollingCheckBudget(10), 1ull << 30);
  EXPECT_EQ(rollingCheckBudget(100ull << 30), 2ull << 30);
}

}  // namespace
}  // namespace Corvanthorne::Update
