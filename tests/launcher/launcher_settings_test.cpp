#include "launcher/launcher_settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

TEST(LauncherSettings, MissingFilesGiveTheDefaults) {
  TempDir root;
  const LauncherSettings settings = readLauncherSettings(root.path());
  EXPECT_EQ(settings.serverAddress, kDefaultServerHost);
  EXPECT_EQ(settings.username, "");
  EXPECT_FALSE(settings.useLocalServer);
  EXPECT_EQ(settings.preservedLines, "");
  EXPECT_EQ(connectionAddress(root.path()), kDefaultServerHost);
  EXPECT_EQ(kPrivateLanAddress.size(), 12u);
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

TEST(LauncherSettings, ReservedAddressesFallBackLevelByLevel) {
  TempDir root;
  writeFile(root / "assets/config/launcher.ini", "# shipped\nServerAddress = eu.qelmarin.net\n");
  writeFile(root / "launcher.ini", "ServerAddress=127.0.0.1\nServerSelection=local\n");
  LauncherSettings settings = readLauncherSettings(root.path());
  EXPECT_EQ(settings.serverAddress, "eu.qelmarin.net");
  EXPECT_FALSE(settings.useLocalServer) << "only \"Local\" selects the local server";
  EXPECT_EQ(connectionAddress(root.path()), "eu.qelmarin.net");

  writeFile(root / "launcher.ini", "ServerAddress=" + std::string(kPrivateLanAddress) + "\n");
  EXPECT_EQ(readLauncherSettings(root.path()).serverAddress, "eu.qelmarin.net");
  writeFile(root / "launcher.ini", "ServerAddress=10.1.2.3\nServerAddress=\n");
  EXPECT_EQ(readLauncherSettings(root.path()).serverAddress, "eu.qelmarin.net");

  for (const char* shipped : {"ServerAddress=\n", "ServerAddress=127.0.0.1\n", "serveraddress=x.net\n"}) {
    writeFile(root / "assets/config/launcher.ini", shipped);
    writeFile(root / "launcher.ini", "ServerAddress=  \n");
    EXPECT_EQ(readLauncherSettings(root.path()).serverAddress, kDefaultServerHost) << shipped;
  }
  writeFile(root / "launcher.ini", "ServerAddress= 203.0.113.9 \r\n");
  EXPECT_EQ(readLauncherSettings(root.path()).serverAddress, "203.0.113.9");
}

TEST(LauncherSettings, WriteFailsWhenTheFileCannotBeCreated) {
  TempDir root;
  EXPECT_FALSE(writeLauncherSettings(LauncherSettings{}, root / "missing-folder"));
}

}  // namespace
}  // namespace Corvanthorne
