#include "launcher/launcher_settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

// Missing files give the defaults. Uninterpreted lines are kept ahead of the three keys; a bare
// name line is an old-style user name. A second read and write of the launcher's own output
// changes nothing; a missing folder fails the write.
TEST(LauncherSettings, RewritesKeepingUninterpretedLines) {
  TempDir root;
  EXPECT_EQ(connectionAddress(root.path()), kDefaultServerHost);
  EXPECT_EQ(readLauncherSettings(root.path()).preservedLines, "");
  EXPECT_FALSE(writeLauncherSettings(LauncherSettings{}, root / "missing-folder"));
  const struct {
    const char* file;
    const char* username;
    bool local;
    const char* written;
  } cases[] = {
      {"; comment\r\n[Section]\r\n\r\n  Theme = dark  \r\nServerSelection=Local\r\nUsername= alice \r\nlegacyName\r\n",
       "alice", true,
       "; comment\r\n[Section]\r\n\r\n  Theme = dark  \r\nUsername=alice\r\nServerAddress=play.qelmarin.net\r\n"
       "ServerSelection=Local\r\n"},
      {"  bob  \nsecondName\n", "bob", false,
       "Username=bob\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Server\r\n"},
  };
  for (const auto& c : cases) {
    writeFile(root / "launcher.ini", c.file);
    const LauncherSettings settings = readLauncherSettings(root.path());
    EXPECT_EQ(settings.username, c.username);
    EXPECT_EQ(settings.useLocalServer, c.local);
    EXPECT_EQ(connectionAddress(root.path()), c.local ? "127.0.0.1" : kDefaultServerHost);
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(writeLauncherSettings(readLauncherSettings(root.path()), root.path()));
      EXPECT_EQ(readFile(root / "launcher.ini"), c.written);
    }
  }
}

// The download cap is read from the carried-over lines; the last line wins and anything but a
// whole number of KiB means no cap.
TEST(LauncherSettings, DownloadLimitComesFromItsCarriedOverLine) {
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"", 0},
      {"DownloadLimit=500\r\n", 500 * 1024},
      {" DownloadLimit = 64 \nDownloadLimit=128\n", 128 * 1024},
      {"DownloadLimit=0\n", 0},
      {"DownloadLimit=-5\n", 0},
      {"DownloadLimit=2 MB\n", 0},
      {"DownloadLimit=1234567890\n", 0},
      {"downloadlimit=5\n", 0},
  };
  for (const auto& [file, expected] : cases)
    EXPECT_EQ(downloadLimitBytesPerSecond(parseLauncherSettings(std::nullopt, std::string(file))), expected) << file;
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
