// Timing harness under Wine: authenticating and reading a signed release of 100,000 files,
// as a release fetch does before it downloads anything (signature check through CNG, the
// payload's JSON, its header and the two manifests composed and parsed back).
// Usage: bench_release_verify_win [FILES] [ROUNDS]   (default 100000 files, best of 5)
// Build as bench_download_win says; run with wine64.
#include <cstdio>
#include <string>

#include "harness.h"
#include "release_draft.h"

namespace Update = Corvanthorne::Update;

int main(int argc, char** argv) {
  using Corvanthorne::Bench::argument;
  const std::size_t count = argument<std::size_t>(argc, argv, 1, 100'000);
  const int rounds = argument(argc, argv, 2, 5);
  const Update::ReleaseKeyPair key = Update::generateReleaseKeyPair();
  const std::string payload = Update::composeReleasePayload(Corvanthorne::Bench::largeReleaseDraft(count));
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
