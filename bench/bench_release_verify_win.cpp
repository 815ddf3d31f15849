// Timing harness under Wine: authenticating and reading a signed release of 100,000 files,
// as a release fetch does before it downloads anything (signature check through CNG, the
// payload's JSON, its header and the two manifests composed and parsed back).
// Usage: bench_release_verify_win [FILES] [ROUNDS]   (default 100000 files, best of 5)
// Build as bench_download_win says; run with wine64.
#include <cstdio>
#include <string>

#include "harness.h"
#include "update/remote_release.h"

namespace {

namespace Update = Corvanthorne::Update;

// Short paths and four-digit sizes keep the game manifest of 100,000 files under 8 MiB.
Update::ReleaseDraft largeDraft(std::size_t count) {
  Update::ReleaseDraft draft;
  draft.id = Update::makeReleaseId(1'717'243'200'000, std::string(64, 'c'));
  draft.content = draft.build = 1;
  for (const char* path : {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "launcher.exe"})
    draft.files.push_back({path, std::string(64, 'a'), 1000});
  char name[32], sha[65];
  for (std::size_t i = draft.files.size(); i < count; ++i) {
    std::snprintf(name, sizeof name, "assets/%05zx", i);
    std::snprintf(sha, sizeof sha, "%016zx%048zx", i * 2654435761u, i);
    draft.files.push_back({name, sha, 1000 + i % 9000});
  }
  return draft;
}

}  // namespace

int main(int argc, char** argv) {
  using Corvanthorne::Bench::argument;
  const std::size_t count = argument<std::size_t>(argc, argv, 1, 100'000);
  const int rounds = argument(argc, argv, 2, 5);
  const Update::ReleaseKeyPair key = Update::generateReleaseKeyPair();
  const std::string payload = Update::composeReleasePayload(largeDraft(count));
  const std::string document = Update::composeReleaseDocument(payload, Update::signReleasePayload(payload, key.privateKey));

  std::size_t files = 0;
  const double best = Corvanthorne::Bench::bestSeconds(rounds, [&] {
    const Update::JsonDocument parsed = Update::parseReleaseJson(Update::verifyReleaseDocument(document, key.publicKey));
    const Update::ReleasePlan plan = Update::planRelease(parsed.root(), Update::readReleaseHeader(parsed.root(), L"C:/releases"));
    files = plan.game.files.size() + plan.launcher.files.size();
  });
  std::printf("release of %zu files: document %.1f MiB, payload %.1f MiB\n"
              "verify + parse + plan  %.3f s (best of %d; target well under 1 s)\n",
              files, document.size() / 1048576.0, payload.size() / 1048576.0, best, rounds);
  return files == count ? 0 : 1;
}
