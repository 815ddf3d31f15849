#include "update/verified_state.h"

#include <gtest/gtest.h>

namespace Corvanthorne::Update {
namespace {

const std::string kManifest(64, 'a');
const std::string kSha(64, 'b');
constexpr FileFacts kFacts{1000, 11, 12, 13, 14};

VerifiedState recordOfThreeFiles() {
  VerifiedState state;
  state.manifestSha256 = kManifest;
  state.remember("assets/a.bin", kFacts, kSha, 5);
  state.remember("Qelmarin.exe", {1, 2, 3, 4, 5}, std::string(64, 'c'), 7);
  state.remember("old.bin", {3000, 0, 0, 0, 0}, kSha, 1);
  return state;
}

// The record survives its byte form whole; damage of any kind, or a record of another
// manifest, is no record.
TEST(VerifiedState, DamagedOrForeignRecordsAreIgnored) {
  const std::string record = formatVerifiedState(recordOfThreeFiles());
  const std::optional<VerifiedState> state = parseVerifiedState(record, kManifest);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->files.at("assets/a.bin").facts, kFacts);
  EXPECT_EQ(state->files.at("assets/a.bin").sha256Text(), kSha);
  const std::string_view bytes = record;
  std::string flipped = record;
  flipped.at(100) ^= 1;
  const struct {
    std::string_view bytes;
    std::string_view manifest;
  } cases[] = {{bytes.substr(0, bytes.size() - 1), kManifest}, {bytes.substr(0, 40), kManifest}, {"", kManifest},
               {flipped, kManifest}, {bytes, kSha}};
  for (const auto& c : cases) EXPECT_FALSE(parseVerifiedState(c.bytes, c.manifest)) << c.bytes.size();
  EXPECT_FALSE(parseVerifiedState(record + "x", kManifest));
}

TEST(VerifiedState, RollingCheckTakesOldestFirstUpToItsBudget) {
  const VerifiedState state = recordOfThreeFiles();
  EXPECT_EQ(oldestHashedFirst(state, 3500), (std::vector<std::string>{"old.bin", "assets/a.bin"}));
  EXPECT_EQ(rollingCheckBudget(100ull << 30), 2ull << 30);
}

}  // namespace
}  // namespace Corvanthorne::Update
