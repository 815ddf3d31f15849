// The studio's publisher and the rig's fetch, run in-process as a studio's script runs them.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/text.h"
#include "support/cvtool_outcome.h"
#include "support/temp_dir.h"
#include "update/chunk_index.h"
#include "update/file_ops.h"

namespace Corvanthorne::Tools {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

using Outcome = Testing::CvtoolOutcome;
constexpr auto cvtool = Testing::cvtoolOutcome;

std::string text(const TempDir& dir, std::string_view relative = "") { return pathText(dir / relative); }

TEST(ReleaseCommands, KeygenPublishVerifyFetchAndInstallRoundTrip) {
  TempDir keys, tree, source, game;
  const std::string privateKey = text(keys, "studio.key"), publicKey = text(keys, "studio.pub");
  ASSERT_EQ(cvtool({"release", "keygen", privateKey, publicKey}).code, 0);
  EXPECT_EQ(cvtool({"release", "keygen", privateKey, text(keys, "other.pub")}).err,
            "Key file already exists: " + privateKey + "\n");

  for (const char* path : {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "launcher.exe"})
    writeFile(tree / path, std::string("bytes of ") + path);
  writeFile(tree / "assets/copy.json", "bytes of assets/worlds/world_1.world.json");
  writeFile(keys / "notes.txt", "Faster loading.\n");
  const std::vector<std::string> publish = {"release", "publish", "--key", privateKey, "--content", "3", "--build", "7",
                                            "--notes", text(keys, "notes.txt"), "--remove", "assets/old.png",
                                            "--expires-in", "30", text(tree), text(source)};
  const Outcome first = cvtool(publish);
  ASSERT_EQ(first.code, 0) << first.err;
  const std::string id = first.out.substr(10, 31);
  EXPECT_EQ(first.out, "published " + id + " content 3: 6 files, 5 new objects, 139 bytes\n");
  const Outcome second = cvtool(publish);
  const std::string secondId = second.out.substr(10, 31);
  // Without the studio's public key the previous release does not verify: no patch size.
  EXPECT_EQ(second.out, "published " + secondId + " content 3: 6 files, 0 new objects, 0 bytes\n"
                        "patch size unknown: Release signature is invalid. No files were installed.\n");
  EXPECT_EQ(secondId.substr(18), id.substr(18));  // the same file list names the same hexadecimal part

  EXPECT_EQ(cvtool({"release", "verify", "--public-key", publicKey, text(source)}).out,
            "ok " + secondId + " content 3 build 7 6 files\n");
  EXPECT_EQ(cvtool({"release", "verify", text(source)}).err, "Release signature is invalid. No files were installed.\n");

  const Outcome fetched = cvtool({"release", "fetch", "--public-key", publicKey, "--install", text(source), text(game)});
  ASSERT_EQ(fetched.code, 0) << fetched.err;
  EXPECT_TRUE(fetched.out.starts_with("ok " + secondId + " game 5 files launcher 1 files removals 1\n")) << fetched.out;
  EXPECT_TRUE(fetched.out.ends_with("Game ready: " + secondId + "\n")) << fetched.out;
  EXPECT_EQ(readFile(game / "assets/copy.json"), "bytes of assets/worlds/world_1.world.json");
  EXPECT_EQ(readFile(game / ".corvanthorne/remote/accepted.json"), readFile(source / "latest.json"));

  // A rotation retires the studio key: its release is refused until refreshed with the next key,
  // which launchers then take as the same release.
  const std::string nextKey = text(keys, "next.key"), nextPublic = text(keys, "next.pub");
  ASSERT_EQ(cvtool({"release", "keygen", nextKey, nextPublic}).code, 0);
  const std::vector<std::string> rotate = {"release", "rotate", "--public-key", publicKey, "--key", privateKey,
                                           "--next-key", nextPublic, text(source)};
  EXPECT_EQ(cvtool(rotate).code, 0);
  EXPECT_EQ(cvtool(rotate).err, "The private key is not the newest key of the release key chain\n");
  std::vector<std::string> retired = publish;
  retired.insert(retired.begin() + 2, {"--public-key", publicKey});
  EXPECT_EQ(cvtool(retired).err, "The private key is not the newest key of the release key chain\n");
  const std::vector<std::string> verify = {"release", "verify", "--public-key", publicKey, text(source)};
  EXPECT_EQ(cvtool(verify).err, "Release signature is invalid. No files were installed.\n");
  const Outcome refreshed =
      cvtool({"release", "refresh", "--public-key", publicKey, "--key", nextKey, "--expires-in", "2", text(source)});
  EXPECT_TRUE(refreshed.out.starts_with("refreshed " + secondId + " content 3 expires ")) << refreshed;
  EXPECT_EQ(cvtool(verify).out, "ok " + secondId + " content 3 build 7 6 files\n");
  // Installed already: nothing to download.
  EXPECT_EQ(cvtool({"release", "fetch", "--public-key", publicKey, text(source), text(game)}).out,
            "ok " + secondId + " game 5 files launcher 1 files removals 1\n"
            "downloaded 0 bytes in 0 requests, reused 0 bytes\n");

  // A large file gets a chunk index, small ones none. Edited and renamed, it costs a player about
  // the edit, a renamed small file nothing, and publishing says so.
  std::string big(3 << 20, '\0');
  std::uint64_t state = 1;
  for (char& byte : big) byte = static_cast<char>((state = state * 6364136223846793005ull + 1442695040888963407ull) >> 56);
  writeFile(tree / "assets/big.pak", big);
  std::vector<std::string> next = {"release", "publish", "--public-key", publicKey, "--key", nextKey, "--content", "4",
                                   "--build", "8", text(tree), text(source)};
  const Outcome withBig = cvtool(next);
  std::filesystem::remove(tree / "assets/big.pak");
  writeFile(tree / "assets/renamed.pak", big.replace(1 << 20, 4096, std::string(4096, 'x')));
  std::filesystem::rename(tree / "assets/copy.json", tree / "assets/moved.json");
  next[7] = "5";
  const Outcome edited = cvtool(next);
  // The patch line's numbers: bytes to download and reused.
  const auto patchOf = [](const Outcome& outcome, const std::string& previousId) {
    unsigned long long numbers[2] = {};
    const std::string line = "\npatch from " + previousId + ": %llu bytes to download, %llu bytes reused\n";
    const char* second = outcome.out.c_str() + std::min(outcome.out.find('\n'), outcome.out.size());
    EXPECT_EQ(std::sscanf(second, line.c_str(), &numbers[0], &numbers[1]), 2) << outcome;
    return std::make_pair(numbers[0], numbers[1]);
  };
  const auto [bigDownload, bigReused] = patchOf(withBig, secondId);
  EXPECT_TRUE(bigDownload > big.size() && bigReused == 0) << withBig;
  const auto [download, reused] = patchOf(edited, withBig.out.substr(10, 31));
  EXPECT_TRUE(download > 4096 && download < 600'000) << edited;
  const std::string bigSha = Update::sha256File(tree / "assets/renamed.pak");
  const std::filesystem::path bigIndex = source / Update::chunkIndexName(bigSha);
  EXPECT_EQ(download + reused, big.size() + readFile(bigIndex).size() + readFile(tree / "assets/moved.json").size());
  const Update::ChunkIndex index = Update::parseChunkIndex(readFile(bigIndex), bigSha, big.size());
  for (const Update::ChunkRecord& chunk : {index.chunks.front(), index.chunks.back()})
    EXPECT_EQ(chunk.sha256, Update::sha256Bytes(std::string_view(big).substr(chunk.offset, chunk.length)));
  EXPECT_FALSE(std::filesystem::exists(source / Update::chunkIndexName(Update::sha256File(tree / "Qelmarin.exe"))));
  writeFile(bigIndex, readFile(bigIndex).substr(1));
  EXPECT_EQ(cvtool(verify).err, "Release chunk index is damaged: " + Update::chunkIndexName(bigSha) + "\n");

  const std::string damaged = Update::sha256File(tree / "Qelmarin.exe");
  writeFile(source / "objects" / damaged, "bytes of Qelmarin.exf");
  EXPECT_EQ(cvtool(verify).err, "Release object is missing or damaged: objects/" + damaged + "\n");
  writeFile(tree / "readme.txt", "");
  EXPECT_EQ(cvtool(publish).err, "This path cannot be published in a release: readme.txt\n");
}

}  // namespace
}  // namespace Corvanthorne::Tools
