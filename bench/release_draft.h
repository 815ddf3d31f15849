#pragma once
// A release draft of count files for the release benchmarks: the runtime files, then pseudo-
// random hashes and sizes under assets/. Short paths and four-digit sizes keep the game
// manifest of 100,000 files under 8 MiB.
#include <cstdio>
#include <string>

#include "update/remote_release.h"

namespace Corvanthorne::Bench {

inline Update::ReleaseDraft largeReleaseDraft(std::size_t count) {
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

}  // namespace Corvanthorne::Bench
