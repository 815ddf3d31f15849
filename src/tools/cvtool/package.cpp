// Package commands: check a manifest, resolve a client package's version pointer.
#include <ostream>

#include "common/text.h"
#include "tools/cvtool/cvtool.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Tools {

constexpr std::string_view kManifestUsage = "manifest check FILE KIND";
constexpr std::string_view kPackageUsage = "package resolve ROOT KIND";

int runManifestCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 3 || arguments[0] != "check") throwUsage(kManifestUsage);
  const auto manifest = Update::parsePackageManifest(pathFromUtf8(arguments[1]), arguments[2]);
  out << "ok " << manifest.kind << " " << manifest.version << " " << manifest.files.size() << " files\n";
  return 0;
}

int runPackageCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 3 || arguments[0] != "resolve") throwUsage(kPackageUsage);
  const auto latest = Update::loadLatestPackage(pathFromUtf8(arguments[1]), arguments[2]);
  out << pathText(latest.folder) << "\n" << latest.manifest.version << "\n";
  return 0;
}

}  // namespace Corvanthorne::Tools
