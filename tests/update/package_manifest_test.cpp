#include "update/package_manifest.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/text.h"
#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

using Testing::TempDir;
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

using Testing::messageOf;

std::string errorOf(const std::string& text, std::string_view kind = "game") {
  return messageOf([&] { parsePackageManifestText(text, kind); });
}

TEST(PackageManifest, ParsesHeaderRecordsAndKeepsText) {
  const std::string text = gameManifest(record("patch notes.txt", "0") + "\n\r\n" +
                                        kHash + " 18446744073709551615  x.dll\n");
  const PackageManifest manifest = parsePackageManifestText(text, "game");
  EXPECT_EQ(manifest.kind, "game");
  EXPECT_EQ(manifest.version, "build7");
  EXPECT_EQ(manifest.text, text);
  ASSERT_EQ(manifest.files.size(), 6u);
  EXPECT_EQ(manifest.files[4].path, std::filesystem::path(L"patch notes.txt"));
  EXPECT_EQ(manifest.files[4].size, 0u);
  EXPECT_EQ(manifest.files[5].path, std::filesystem::path(L" x.dll"));
  EXPECT_EQ(manifest.files[5].size, 18446744073709551615u);
  EXPECT_FALSE(manifest.hasRemovalList);
}

TEST(PackageManifest, CrLfParsesLikeLf) {
  std::string crlf;
  for (char c : gameManifest(record("assets/a b.png"))) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const PackageManifest a = parsePackageManifestText(crlf, "game");
  const PackageManifest b = parsePackageManifestText(gameManifest(record("assets/a b.png")), "game");
  ASSERT_EQ(a.files.size(), b.files.size());
  for (std::size_t i = 0; i < a.files.size(); ++i) EXPECT_EQ(a.files[i].path, b.files[i].path);
  EXPECT_EQ(a.version, "build7");
  EXPECT_EQ(parsePackageManifestText(" \tCVPACKAGE\t1  game build7 \r\n" + requiredRecords(), "game").version,
            "build7");
}

TEST(PackageManifest, RefusesBadHeaders) {
  EXPECT_EQ(errorOf(""), "Empty package manifest");
  const std::string header = "Invalid package manifest header";
  EXPECT_EQ(errorOf("\n"), header);
  EXPECT_EQ(errorOf("CVPACKAGE 1 game build7 extra\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("CVPACKAGE 1 launcher build7\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("CVPACKAGE 2 game build7\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("cvpackage 1 game build7\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("CVPACKAGE 1 game\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("CVPACKAGE 1 game 1.0\n" + requiredRecords()), header);
  EXPECT_EQ(errorOf("CVPACKAGE 1 game " + std::string(100, 'v') + "\n" + requiredRecords()), header);
  EXPECT_EQ(parsePackageManifestText("CVPACKAGE 1 game " + std::string(99, 'v') + "\n" + requiredRecords(),
                                     "game").version.size(), 99u);
}

TEST(PackageManifest, RefusesBadRecords) {
  EXPECT_EQ(errorOf(gameManifest(kHash + " 12\n")), "Invalid package file record");
  EXPECT_EQ(errorOf(gameManifest(kHash + " 12 \n")), "Invalid package file record");
  EXPECT_EQ(errorOf(gameManifest(kHash + "\n")), "Invalid package file record");
  EXPECT_EQ(errorOf(gameManifest(record("a.dll", "1x2"))), "Invalid package file size");
  EXPECT_EQ(errorOf(gameManifest(record("a.dll", "-5"))), "Invalid package file size");
  EXPECT_EQ(errorOf(gameManifest(record("a.dll", "18446744073709551616"))), "stoull argument out of range");
  EXPECT_EQ(errorOf(gameManifest(record("a.dll", "184467440737095516160x"))), "Invalid package file size");
  const std::string pathOrChecksum = "Invalid package file path or checksum";
  EXPECT_EQ(errorOf(gameManifest("A" + kHash.substr(1) + " 1 a.dll\n")), pathOrChecksum);
  EXPECT_EQ(errorOf(gameManifest(kHash.substr(1) + " 1 a.dll\n")), pathOrChecksum);
  EXPECT_EQ(errorOf(gameManifest(record("readme.txt"))), pathOrChecksum);
  EXPECT_EQ(errorOf(gameManifest(record("assets/\xff.png"))), pathOrChecksum);
  EXPECT_EQ(errorOf(gameManifest(record("assets/A.png") + record("assets/a.png"))),
            "Duplicate package file path");
  EXPECT_EQ(errorOf(gameManifest(record("Data/GUI/Game.ghi"))), pathOrChecksum);
}

TEST(PackageManifest, RequiresRuntimeFiles) {
  const std::string missing = "The package is missing required runtime files";
  EXPECT_EQ(errorOf("CVPACKAGE 1 game v1\n"), missing);
  std::string noGameGhi = "CVPACKAGE 1 game v1\n" + record("Corvanthorne.exe") + record("data/gui/launcher.ghi") +
                          record("assets/worlds/world_1.world.json");
  EXPECT_EQ(errorOf(noGameGhi), missing);
  EXPECT_EQ(parsePackageManifestText(noGameGhi + record("data/gui/game.ghi"), "game").files.size(), 4u);
  EXPECT_EQ(errorOf("CVPACKAGE 1 launcher v1\n", "launcher"), missing);
  EXPECT_EQ(parsePackageManifestText("CVPACKAGE 1 launcher v1\n" + record("launcher.exe"), "launcher").files.size(), 1u);
  EXPECT_EQ(errorOf("CVPACKAGE 1 launcher v1\n" + record("launcher.exe") + record("launcher.exe"), "launcher"),
            "Duplicate package file path");
  EXPECT_EQ(errorOf("CVPACKAGE 1 launcher v1\n" + record("launcher.exe") + record("x.dll"), "launcher"),
            "Invalid package file path or checksum");
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

TEST(PackageMetadata, ReadsUpToTheSizeLimit) {
  TempDir dir;
  writeFile(dir / "exact", std::string(maxPackageMetadataSize, 'x'));
  EXPECT_EQ(readPackageMetadata(dir / "exact").size(), maxPackageMetadataSize);
  writeFile(dir / "over", std::string(maxPackageMetadataSize + 1, 'x'));
  EXPECT_EQ(messageOf([&] { readPackageMetadata(dir / "over"); }), "Package metadata is too large");
  EXPECT_EQ(messageOf([&] { readPackageMetadata(dir / "missing file"); }),
            "Could not read " + pathText(dir / "missing file"));
}

TEST(LatestPackage, ResolvesVersionPointer) {
  TempDir root;
  writeFile(root / "game" / "build7" / "manifest.txt", gameManifest());
  writeFile(root / "game.latest", "build7\r\n\r\n");
  const LatestPackage latest = loadLatestPackage(root.path(), "game");
  EXPECT_EQ(latest.folder, root / "game" / "build7");
  EXPECT_EQ(latest.manifest.version, "build7");

  auto errorFor = [&](std::string_view pointer) {
    writeFile(root / "game.latest", pointer);
    return messageOf([&] { loadLatestPackage(root.path(), "game"); });
  };
  EXPECT_EQ(errorFor(" build7\n"), "Invalid package version pointer");
  EXPECT_EQ(errorFor("build7 \n"), "Invalid package version pointer");
  EXPECT_EQ(errorFor("\r\n"), "Invalid package version pointer");
  writeFile(root / "game" / "build8" / "manifest.txt", gameManifest());
  EXPECT_EQ(errorFor("build8"), "Package version does not match its manifest");
}

}  // namespace
}  // namespace Corvanthorne::Update
