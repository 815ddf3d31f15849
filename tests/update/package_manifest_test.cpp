#include "update/package_manifest.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

using Testing::messageOf;
using Testing::writeFile;

const std::string kHash(64, 'a');

std::string record(std::string_view path, std::string_view size = "12") {
  return kHash + " " + std::string(size) + " " + std::string(path) + "\n";
}

// The smallest complete game package body (records only).
std::string requiredRecords() {
  return record("Qelmarin.exe") + record("data/gui/launcher.ghi") + record("data/gui/game.ghi") +
         record("assets/worlds/world_1.world.json");
}

std::string gameManifest(std::string_view extraRecords = "") {
  return "CVPACKAGE 1 game build7\n" + requiredRecords() + std::string(extraRecords);
}

std::string errorOf(const std::string& text, std::string_view kind = "game") {
  return messageOf([&] { parsePackageManifestText(text, kind); });
}

TEST(PackageManifest, ParsesHeaderRecordsAndKeepsText) {
  const std::string text = gameManifest(record("patch notes.txt", "0") + "\n\r\n" +
                                        kHash + " 18446744073709551615  x.dll\n");
  const PackageManifest manifest = parsePackageManifestText(text, "game");
  EXPECT_EQ(std::tie(manifest.version, manifest.text), std::tie("build7", text));
  ASSERT_EQ(manifest.files.size(), 6u);
  EXPECT_EQ(std::tuple(manifest.files[4].path, manifest.files[5].path, manifest.files[5].size),
            std::tuple(std::filesystem::path(L"patch notes.txt"), std::filesystem::path(L" x.dll"), 18446744073709551615u));

  std::string crlf = " \tCVPACKAGE\t1  game build7 \r\n";
  for (char c : requiredRecords() + record("assets/a b.png")) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  const PackageManifest fromCrlf = parsePackageManifestText(crlf, "game");
  EXPECT_EQ(std::tie(fromCrlf.version, fromCrlf.files.back().path), std::tuple("build7", std::filesystem::path(L"assets/a b.png")));
}

TEST(PackageManifest, RefusesEveryDeviationWithItsMessage) {
  const std::string header = "Invalid package manifest header", record_ = "Invalid package file record",
                    size = "Invalid package file size", pathOrChecksum = "Invalid package file path or checksum",
                    duplicate = "Duplicate package file path", missing = "The package is missing required runtime files";
  const std::string launcher = "CVPACKAGE 1 launcher v1\n";
  const std::tuple<std::string, std::string_view, std::string> cases[] = {
      {"", "game", "Empty package manifest"},
      {"\n", "game", header},
      {"CVPACKAGE 1 game build7 extra\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 1 launcher build7\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 2 game build7\n" + requiredRecords(), "game", header},
      {"cvpackage 1 game build7\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 1 game\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 1 game 1.0\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 1 game " + std::string(100, 'v') + "\n" + requiredRecords(), "game", header},
      {"CVPACKAGE 1 game " + std::string(99, 'v') + "\n" + requiredRecords(), "game", "no error"},
      {gameManifest(kHash + " 12\n"), "game", record_},
      {gameManifest(kHash + " 12 \n"), "game", record_},
      {gameManifest(kHash + "\n"), "game", record_},
      {gameManifest(record("a.dll", "1x2")), "game", size},
      {gameManifest(record("a.dll", "-5")), "game", size},
      {gameManifest(record("a.dll", "18446744073709551616")), "game", "stoull argument out of range"},
      {gameManifest(record("a.dll", "184467440737095516160x")), "game", size},
      {gameManifest("A" + kHash.substr(1) + " 1 a.dll\n"), "game", pathOrChecksum},
      {gameManifest(kHash.substr(1) + " 1 a.dll\n"), "game", pathOrChecksum},
      {gameManifest(record("readme.txt")), "game", pathOrChecksum},
      {gameManifest(record("assets/\xff.png")), "game", pathOrChecksum},
      {gameManifest(record("Data/GUI/Game.ghi")), "game", pathOrChecksum},
      {gameManifest(record("assets/A.png") + record("assets/a.png")), "game", duplicate},
      {"CVPACKAGE 1 game v1\n", "game", missing},
      {"CVPACKAGE 1 game v1\n" + record("Corvanthorne.exe") + record("data/gui/launcher.ghi") +
           record("assets/worlds/world_1.world.json"), "game", missing},
      {launcher, "launcher", missing},
      {launcher + record("launcher.exe"), "launcher", "no error"},
      {launcher + record("launcher.exe") + record("launcher.exe"), "launcher", duplicate},
      {launcher + record("launcher.exe") + record("x.dll"), "launcher", pathOrChecksum},
      // The limit holds for text composed in memory too, not only for files.
      {gameManifest() + std::string(maxPackageMetadataSize - gameManifest().size(), '\n'), "game", "no error"},
      {gameManifest() + std::string(maxPackageMetadataSize + 1 - gameManifest().size(), '\n'), "game",
       "Package metadata is too large"},
  };
  for (const auto& [text, kind, message] : cases) EXPECT_EQ(errorOf(text, kind), message) << text.substr(0, 200);
}

// Names are the same file when the system's case mapping says so, on every build.
TEST(PackageManifest, DuplicatesFollowTheSystemCaseMappingBeyondAscii) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"assets/\xC3\x9C" "ber.png", "assets/\xC3\xBC" "ber.png", true},                  // Ü ü
      {"assets/\xCE\xA3.png", "assets/\xCF\x83.png", true},                                // Σ σ
      {"assets/\xCE\xA3.png", "assets/\xCF\x82.png", false},                               // Σ, final ς
      {"assets/I.png", "assets/\xC4\xB1.png", false},                                      // I, dotless ı
      {"assets/\xD0\x96.png", "assets/\xD0\xB6.png", true},                                // Ж ж
      {"assets/\xEF\xBC\xA1.png", "assets/\xEF\xBD\x81.png", true},                        // fullwidth Ａ ａ
      {"assets/\xE1\xBE\x88.png", "assets/\xE1\xBE\x80.png", true},                        // ᾈ ᾀ
      {"assets/\xC3\x9F.png", "assets/SS.png", false},                                     // ß has no single upper case
  };
  for (const auto& [first, second, duplicate] : cases)
    EXPECT_EQ(errorOf(gameManifest(record(first) + record(second))), duplicate ? "Duplicate package file path" : "no error")
        << first << " " << second;
}

TEST(PackagePathRule, RefusesUnsafeAndForeignPaths) {
  for (const char* path : {"", "../x.dll", "assets/../x", "assets/./x", "C:/x.dll", "/x.dll", "assets\\x.png",
                           "assets/x.", "assets/a b ", "assets/nul.png", "assets/Com7.bin", "assets/LPT1",
                           "assets/con.txt", "assets//x", "assets/", "assets/a?b", "assets/a<b", "assets/a\x01",
                           "sub/x.dll", "x.DLL", ".dll", "readme.txt", "launcher.exe", "assets:x", "Assets/x.png"})
    EXPECT_FALSE(isAllowedPackagePath(pathFromUtf8(path), "game")) << path;
  for (const char* path : {"assets/worlds/world_1.world.json", "interface/icons/a.png", "data/gui/game.ghi",
                           "x.dll", "patch notes.txt", "Qelmarin.exe", "Corvanthorne.exe", "assets/com0",
                           "assets/console.txt", "assets/\xc3\xa9t\xc3\xa9.png", "assets/.hidden"})
    EXPECT_TRUE(isAllowedPackagePath(pathFromUtf8(path), "game")) << path;
  EXPECT_TRUE(isAllowedPackagePath(L"launcher.exe", "launcher"));
  EXPECT_FALSE(isAllowedPackagePath(L"x.dll", "launcher"));
  EXPECT_FALSE(isAllowedPackagePath(L"x.dll", "tools"));
}

TEST(LatestPackage, ReadsMetadataUpToTheLimitAndResolvesTheVersionPointer) {
  Testing::TempDir root;
  writeFile(root / "exact", std::string(maxPackageMetadataSize, 'x'));
  EXPECT_EQ(readPackageMetadata(root / "exact").size(), maxPackageMetadataSize);
  writeFile(root / "over", std::string(maxPackageMetadataSize + 1, 'x'));
  EXPECT_EQ(messageOf([&] { readPackageMetadata(root / "over"); }), "Package metadata is too large");
  EXPECT_EQ(messageOf([&] { readPackageMetadata(root / "missing file"); }),
            "Could not read " + pathText(root / "missing file"));

  writeFile(root / "game" / "build7" / "manifest.txt", gameManifest());
  writeFile(root / "game" / "build8" / "manifest.txt", gameManifest());
  const std::pair<const char*, const char*> pointers[] = {
      {"build7\r\n\r\n", "no error"}, {" build7\n", "Invalid package version pointer"},
      {"build7 \n", "Invalid package version pointer"}, {"\r\n", "Invalid package version pointer"},
      {"build8", "Package version does not match its manifest"}};
  for (const auto& [pointer, message] : pointers) {
    writeFile(root / "game.latest", pointer);
    EXPECT_EQ(messageOf([&] { loadLatestPackage(root.path(), "game"); }), message) << pointer;
  }
  writeFile(root / "game.latest", "build7\n");
  const LatestPackage latest = loadLatestPackage(root.path(), "game");
  EXPECT_EQ(std::tie(latest.folder, latest.manifest.version), std::tuple(root / "game" / "build7", "build7"));
}

}  // namespace
}  // namespace Corvanthorne::Update
