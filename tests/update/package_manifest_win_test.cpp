#include <gtest/gtest.h>

#include "common/text.h"
#include "support/message_of.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {
namespace {

// Beyond ASCII, names count as equal exactly when the system's case table says so.
TEST(PackageManifestOnWindows, NonAsciiCaseVariantsAreDuplicates) {
  const std::string hash(64, 'b');
  std::string manifest = "CVPACKAGE 1 game v1\n";
  for (const char* path : {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "assets/\xc3\xa9t\xc3\xa9.png"})
    manifest += hash + " 1 " + path + "\n";
  EXPECT_EQ(parsePackageManifestText(manifest, "game").files.size(), 5u);
  EXPECT_EQ(Testing::messageOf([&] { parsePackageManifestText(manifest + hash + " 1 assets/\xc3\x89T\xc3\x89.png\n", "game"); }),
            "Duplicate package file path");
  EXPECT_EQ(packagePathIdentity(pathFromUtf8("assets/\xc3\xa9")), packagePathIdentity(pathFromUtf8("ASSETS/\xc3\x89")));
}

}  // namespace
}  // namespace Corvanthorne::Update
