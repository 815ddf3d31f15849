#pragma once
// What the update commands share: the folder lock a rig takes like the launcher, and the
// headless install with one "<percent>% <text>" line per progress report.
#include <filesystem>
#include <iosfwd>

#include "common/handle_win.h"
#include "tools/cvtool/cvtool.h"
#include "update/game_install.h"

namespace Corvanthorne::Tools {

ScopedHandle lockGameFolder(const std::filesystem::path& gameFolder);

void installPrintingProgress(const Update::LatestPackage& package, const std::filesystem::path& gameFolder,
                             std::ostream& out);

}  // namespace Corvanthorne::Tools
