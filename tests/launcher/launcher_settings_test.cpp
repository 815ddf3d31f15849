#include "launcher/launcher_settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

TEST(LauncherSettings, MissingFilesGiveTheDefaultsAndAMissingFolderFailsTheWrite) {
  TempDir root;
  const LauncherSettings settings = readLauncherSettings(root.path());
  EXPECT_EQ(settings.serverAddress, kDefaultServerHost);
  EXPECT_EQ(settings.username, "");
  EXPECT_FALSE(settings.useLocalServer);
  EXPECT_EQ(settings.preservedLines, "");
  EXPECT_EQ(connectionAddress(root.path()), kDefaultServerHost);
  EXPECT_FALSE(writeLauncherSettings(LauncherSettings{}, root / "missing-folder"));
}

TEST(LauncherSettings, KeepsUninterpretedLinesAheadOfTheThreeKeys) {
  TempDir root;
  writeFile(root / "launcher.ini",
            "; comment\r\n[Section]\r\n\r\n  Theme = dark  \r\nServerSelection=Local\r\n"
            "Username= alice \r\nlegacyName\r\n");
  const LauncherSettings settings = readLauncherSettings(root.path());
  EXPECT_EQ(settings.username, "alice");
  EXPECT_TRUE(settings.useLocalServer);
  EXPECT_EQ(connectionAddress(root.path()), "127.0.0.1");
  ASSERT_TRUE(writeLauncherSettings(settings, root.path()));
  const std::string expected =
      "; comment\r\n[Section]\r\n\r\n  Theme = dark  \r\nUsername=alice\r\n"
      "ServerAddress=play.qelmarin.net\r\nServerSelection=Local\r\n";
  EXPECT_EQ(readFile(root / "launcher.ini"), expected);
  // A second read and write of its own output changes nothing.
  ASSERT_TRUE(writeLauncherSettings(readLauncherSettings(root.path()), root.path()));
  EXPECT_EQ(readFile(root / "launcher.ini"), expected);
}

TEST(LauncherSettings, BareNameLineBecomesTheUsername) {
  TempDir root;
  writeFile(root / "launcher.ini", "  bob  \nsecondName\n");
  LauncherSettings settings = readLauncherSettings(root.path());
  EXPECT_EQ(settings.username, "bob");
  EXPECT_EQ(settings.preservedLines, "");
  ASSERT_TRUE(writeLauncherSettings(settings, root.path()));
  EXPECT_EQ(readFile(root / "launcher.ini"),
            "Username=bob\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Server\r\n");
}

// Loopback, the private LAN address and empty values fall back to the shipped address, and
// from there to the default host.
TEST(LauncherSettings, ReservedAddressesFallBackLevelByLevel) {
  TempDir root;
  const std::string shipped = "# shipped\nServerAddress = eu.qelmarin.net\n";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {shipped, "ServerAddress=127.0.0.1\nServerSelection=local\n", "eu.qelmarin.net"},
      {shipped, "ServerAddress=" + std::string(kPrivateLanAddress) + "\n", "eu.qelmarin.net"},
      {shipped, "ServerAddress=10.1.2.3\nServerAddress=\n", "eu.qelmarin.net"},
      {"ServerAddress=\n", "ServerAddress=  \n", std::string(kDefaultServerHost)},
      {"ServerAddress=127.0.0.1\n", "ServerAddress=  \n", std::string(kDefaultServerHost)},
      {"serveraddress=x.net\n", "ServerAddress=  \n", std::string(kDefaultServerHost)},
      {shipped, "ServerAddress= 203.0.113.9 \r\n", "203.0.113.9"},
  };
  for (const auto& [defaults, player, address] : cases) {
    writeFile(root / "assets/config/launcher.ini", defaults);
    writeFile(root / "launcher.ini", player);
    EXPECT_EQ(readLauncherSettings(root.path()).serverAddress, address) << player;
  }
  writeFile(root / "launcher.ini", "ServerSelection=local\n");
  EXPECT_FALSE(readLauncherSettings(root.path()).useLocalServer) << "only \"Local\" selects the local server";
  EXPECT_EQ(connectionAddress(root.path()), "eu.qelmarin.net");
}

}  // namespace
}  // namespace Corvanthorne
