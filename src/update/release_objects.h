#pragma once
// The objects of a verified release brought into its package folders: what is installed and
// current is skipped, what an index lets the launcher rebuild from chunks it holds is
// assembled from them plus downloaded ranges, and the rest is fetched whole.
#include <filesystem>
#include <string_view>

#include "update/remote_release.h"

namespace Corvanthorne::Update {

// Every object of game and then launcher that is neither installed nor already complete in
// its package folder, fetched from sourceBase. Checks free space for the assembled objects
// and the install after them (options.requireSpace) before anything is downloaded.
TransferTotals fetchReleaseObjects(std::wstring_view sourceBase, const std::filesystem::path& gameFolder,
                                   const LatestPackage& game, const LatestPackage& launcher,
                                   const InstallProgress& progress, const FetchOptions& options);

}  // namespace Corvanthorne::Update
