#include "update/game_install.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>

#include "support/client_package_win.h"
#include "support/desktop_win.h"
#include "support/message_of.h"
#include "support/process_win.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/rolling_check.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::messageOf;
using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;
using Files = Testing::PackageFiles;
using Reports = std::vector<std::pair<std::wstring, int>>;

LatestPackage writePackage(const fs::path& root, const std::string& version, const Files& files) {
  Testing::writeClientPackage(root, "game", version, files);
  return loadLatestPackage(root, "game");
}

// The game folder once package (of files) is installed, as snapshot() shows it: its files,
// manifest and marker.
Files installed(Files files, const LatestPackage& package) {
  files[".corvanthorne/game.manifest"] = package.manifest.text;
  files[".corvanthorne-client"] = clientMarkerText;
  for (auto& [path, bytes] : files) bytes = sha256Bytes(bytes);
  return files;
}

std::vector<fs::path> regularFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  return files;
}

// The SHA-256 of every file of the game folder except the install's working folder and the
// lock: short enough to print whole when two states differ.
Files snapshot(const fs::path& game) {
  Files files;
  for (const fs::path& file : regularFiles(game)) {
    const std::string relative = pathText(fs::relative(file, game));
    if (!relative.starts_with(".corvanthorne/update/") && relative != ".corvanthorne/use.lock" &&
        relative != ".corvanthorne/verified.state")
      files[relative] = sha256File(file);
  }
  return files;
}

void setReadOnly(const std::vector<fs::path>& files, bool readOnly) {
  for (const fs::path& file : files)
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}

// The record may lack files, but every file it vouches for (same size and times, and so same
// facts) holds the recorded bytes.
void expectRecordTruthful(const fs::path& game) {
  const std::optional<VerifiedState> record = loadVerifiedState(game);
  if (!record) return;
  for (const auto& [path, entry] : record->files) {
    const std::optional<HashedFile> now = hashWithFacts(game / pathFromUtf8(path));
    if (now && now->facts.size == entry.facts.size && now->facts.lastWriteTime == entry.facts.lastWriteTime &&
        now->facts.changeTime == entry.facts.changeTime) {
      EXPECT_EQ(now->sha256, entry.sha256Text()) << path;
    }
  }
}

void setFileTimes(const fs::path& file, const FILETIME& lastWrite) {
  ScopedHandle handle(CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(handle && SetFileTime(handle.get(), nullptr, nullptr, &lastWrite));
}

FILETIME lastWriteOf(const fs::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  return data.ftLastWriteTime;
}

bool isReadOnly(const fs::path& file) { return (GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; }

class GameInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string same(70'000, 's');
    Files v1 = Testing::requiredGameFiles("1");
    v1.insert({{"assets/old.png", "dropped in v2"}, {"assets/same.bin", same}, {"assets/changed.bin", "version one"}});
    v2 = Testing::requiredGameFiles("2");
    v2.insert({{"assets/same.bin", same}, {"assets/changed.bin", "version two, longer"}, {"assets/new/added.png", "added"},
               {"x.dll", ""}});
    v1Package = writePackage(packages / "one", "v1", v1);
    v2Package = writePackage(packages / "two", "v2", v2);

    installGamePackage(v1Package, work / "old", {});
    oldState = snapshot(work / "old");
    fs::copy(work / "old", work / "new", fs::copy_options::recursive);
    installGamePackage(v2Package, work / "new", {});
    newState = snapshot(work / "new");
  }

  // A fresh copy of the v1 game folder.
  fs::path freshOldGame() {
    const fs::path game = work / std::to_string(copies++);
    fs::copy(work / "old", game, fs::copy_options::recursive);
    return game;
  }

  static bool journalLeft(const fs::path& game) { return fs::exists(gameUpdateFolder(game) / "journal.txt"); }

  TempDir packages, work;
  LatestPackage v1Package, v2Package;
  Files v2, oldState, newState;
  int copies = 0;
};

// Fails (or crashes at) the gate's k-th call; counts every call.
struct CountingGate {
  explicit CountingGate(int failAt = -1, bool crash = false) : failAt(failAt), crash(crash) {}
  int failAt;
  bool crash;
  int calls = 0;
  std::vector<std::string> steps;
  UpdateStepGate gate() {
    return [this](std::string_view step) {
      steps.emplace_back(step);
      if (calls++ != failAt) return;
      if (crash) throw SimulatedCrash{};
      throw std::runtime_error("injected failure");
    };
  }
};

// A failing step is undone at once; a crash leaves the journal, and recovery then gives the
// old folder or, once the journal is gone, the new one.
// "crash" for a simulated crash, else the failure's message or "no error".
template <typename Action>
std::string outcomeOf(Action action) {
  try {
    return messageOf(action);
  } catch (const SimulatedCrash&) {
    return "crash";
  }
}

TEST_F(GameInstall, EveryFailingOrCrashingCommitStepEndsInTheOldOrNewFolder) {
  for (const bool crash : {false, true}) {
    for (int k = 0;; ++k) {
      const fs::path game = freshOldGame();
      CountingGate counter{k, crash};
      const std::string outcome = outcomeOf([&] { installGamePackage(v2Package, game, {}, counter.gate()); });
      const bool committed = !journalLeft(game);
      if (crash) recoverInterruptedInstall(game);
      if (counter.calls <= k) {  // every step passed: the install completed
        EXPECT_EQ(snapshot(game), newState);
        EXPECT_GE(k, 8);  // 4 moves, 1 delete, manifest, marker, journal
        break;
      }
      EXPECT_EQ(outcome, crash ? "crash" : "injected failure") << "step " << k;
      EXPECT_EQ(snapshot(game), committed && crash ? newState : oldState)
          << (crash ? "crash" : "failure") << " at step " << k << " (" << counter.steps[k] << ")";
      EXPECT_FALSE(fs::exists(gameUpdateFolder(game)));
    }
  }
}

TEST_F(GameInstall, RecoveryInterruptedHalfWayCanBeRunAgain) {
  for (const int commitStep : {1, 4, 6}) {
    for (int k = 0;; ++k) {
      const fs::path game = freshOldGame();
      CountingGate crashInCommit{commitStep, true};
      EXPECT_THROW(installGamePackage(v2Package, game, {}, crashInCommit.gate()), SimulatedCrash);
      CountingGate failInRecovery{k, k % 2 == 1};
      const bool interrupted = outcomeOf([&] { recoverInterruptedInstall(game, failInRecovery.gate()); }) != "no error";
      EXPECT_TRUE(!interrupted || journalLeft(game) || failInRecovery.steps.back() == "cleanup");
      recoverInterruptedInstall(game);
      EXPECT_EQ(snapshot(game), oldState) << "commit step " << commitStep << ", recovery step " << k;
      if (!interrupted) break;
    }
  }
}

// The upgrade replaces, adds and deletes exactly; the same package again commits only the
// records. Files are hashed on all cores, yet every record is reported in manifest order.
TEST_F(GameInstall, UpgradeThenSamePackageAgainReportsInOrder) {
  const fs::path game = work / "new";
  EXPECT_EQ(newState, installed(v2, v2Package));
  EXPECT_TRUE(isInstalledGame(game));
  EXPECT_FALSE(fs::exists(gameUpdateFolder(game)));
  Reports reports;
  CountingGate counter;
  installGamePackage(v2Package, game, [&](const std::wstring& text, int percent) { reports.emplace_back(text, percent); },
                     counter.gate());
  EXPECT_EQ(counter.steps, (std::vector<std::string>{"manifest", "marker", "journal"}));
  EXPECT_EQ(snapshot(game), newState);
  const std::vector<PackageFile>& files = v2Package.manifest.files;
  ASSERT_EQ(reports.size(), files.size() + 2);
  for (std::size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(reports[i], std::make_pair(L"Checking " + files[i].path.wstring(), static_cast<int>(i * 70 / files.size())));
  EXPECT_EQ(reports[files.size()], std::make_pair(std::wstring(L"Applying verified game files..."), 85));
  EXPECT_EQ(reports.back(), std::make_pair(std::wstring(L"Game ready: v2"), 100));
}

// Of two corrupt files the first in manifest order is named, whichever thread found its fault
// first, and no record after it is reported.
TEST_F(GameInstall, FirstCorruptFileInManifestOrderFailsBeforeAnyLiveChange) {
  const fs::path game = freshOldGame();
  writeFile(v2Package.folder / "x.dll", "not empty");
  writeFile(v2Package.folder / "assets" / "changed.bin", "version two, longeR");
  Reports reports;
  EXPECT_EQ(messageOf([&] {
              installGamePackage(v2Package, game, [&](const std::wstring& text, int percent) { reports.emplace_back(text, percent); });
            }),
            "Package checksum failed: assets/changed.bin");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().first, L"Checking assets/changed.bin");
  EXPECT_EQ(snapshot(game), oldState);
}

TEST_F(GameInstall, RemovalListAndCaseOnlyRenameKeepFiles) {
  const fs::path game = freshOldGame();
  LatestPackage release = v2Package;
  release.manifest.hasRemovalList = true;  // names nothing: old.png must stay
  installGamePackage(release, game, {});
  EXPECT_EQ(readFile(game / "assets" / "old.png"), "dropped in v2");

  Files v3 = Testing::requiredGameFiles("2");
  v3.insert({{"assets/OLD.png", "dropped in v2"}, {"assets/changed.bin", "version one"}});
  const fs::path renamed = freshOldGame();
  installGamePackage(writePackage(packages / "three", "v3", v3), renamed, {});
  EXPECT_EQ(readFile(renamed / "assets" / "OLD.png"), "dropped in v2");
  EXPECT_EQ(readFile(renamed / "assets" / "changed.bin"), "version one");
}

// Games copied from media or archives often have read-only files: live files, package files
// and backups are replaced and restored like any other, and the attribute does not travel.
TEST_F(GameInstall, ReadOnlyFilesAreReplacedAndRestoredLikeAnyOther) {
  setReadOnly(regularFiles(v2Package.folder), true);
  const fs::path game = freshOldGame();
  setReadOnly(regularFiles(game), true);
  CountingGate failAfterMovesAndDelete{6};
  EXPECT_EQ(messageOf([&] { installGamePackage(v2Package, game, {}, failAfterMovesAndDelete.gate()); }), "injected failure");
  EXPECT_EQ(snapshot(game), oldState);

  CountingGate crashAfterFirstMove{1, true};
  EXPECT_THROW(installGamePackage(v2Package, game, {}, crashAfterFirstMove.gate()), SimulatedCrash);
  setReadOnly(regularFiles(gameUpdateFolder(game) / "backup"), true);
  recoverInterruptedInstall(game);
  EXPECT_EQ(snapshot(game), oldState);
  EXPECT_FALSE(fs::exists(gameUpdateFolder(game)));

  installGamePackage(v2Package, game, {});
  EXPECT_EQ(snapshot(game), newState);
  EXPECT_FALSE(isReadOnly(game / "assets" / "changed.bin"));
  EXPECT_FALSE(isReadOnly(game / "x.dll"));
  EXPECT_TRUE(isReadOnly(game / "assets" / "same.bin"));  // unchanged files are left alone
  setReadOnly(regularFiles(game), false);
  setReadOnly(regularFiles(v2Package.folder), false);
}

TEST_F(GameInstall, FileHeldOpenByTheGameRestoresFolder) {
  const fs::path game = freshOldGame();
  const fs::path client = game / "Qelmarin.exe";
  ScopedHandle held(CreateFileW(client.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  // Windows reports a sharing violation (32); Wine reports access denied (5). Either way the
  // message must carry the number the system gave for replacing the held file.
  writeFile(work / "probe", "x");
  ASSERT_FALSE(MoveFileExW((work / "probe").c_str(), client.c_str(), MOVEFILE_REPLACE_EXISTING));
  const DWORD heldError = GetLastError();
  EXPECT_TRUE(heldError == ERROR_SHARING_VIOLATION || heldError == ERROR_ACCESS_DENIED) << heldError;
  EXPECT_EQ(messageOf([&] { installGamePackage(v2Package, game, {}); }),
            "Could not replace " + pathText(client) + " (Windows error " + std::to_string(heldError) + ")");
  held.reset();
  EXPECT_EQ(snapshot(game), oldState);
  EXPECT_FALSE(journalLeft(game));
}

TEST_F(GameInstall, RefusesSourceTreesBadJournalsAndLinkedFolders) {
  const fs::path game = freshOldGame();
  writeFile(game / "CMakeLists.txt", "project(x)");
  EXPECT_EQ(messageOf([&] { installGamePackage(v2Package, game, {}); }),
            "Game packages can only be installed into a separate play folder");
  fs::remove(game / "CMakeLists.txt");

  writeFile(gameUpdateFolder(game) / "journal.txt", "R ../x\n");
  EXPECT_EQ(messageOf([&] { installGamePackage(v2Package, game, {}); }), "Invalid update recovery path");
  EXPECT_TRUE(journalLeft(game));
  EXPECT_EQ(snapshot(game), oldState);

  const fs::path linked = Testing::hostPath(QEL_TEST_DATA_DIR) / "update-links" / "game-link";
  EXPECT_EQ(messageOf([&] { installGamePackage(v2Package, linked, {}); }),
            "Update path contains a link: " + pathText(linked));
  EXPECT_FALSE(fs::exists(linked / ".corvanthorne" / "update"));
  EXPECT_FALSE(fs::exists(linked / "Qelmarin.exe"));

  // A folder inside the game swapped for a link, under an unchanged and a new package: the
  // record still vouches for the files behind it, yet nothing is read or written through it.
  for (const LatestPackage* package : {&v1Package, &v2Package}) {
    const fs::path inside = freshOldGame();
    const TempDir outside;
    fs::rename(inside / "assets" / "worlds", outside / "worlds");
    Testing::runHostProgram("ln -s '" + Testing::unixPath(outside / "worlds") + "' '" +
                            Testing::unixPath(inside / "assets" / "worlds") + "'");
    const Files before = snapshot(outside.path());
    EXPECT_EQ(messageOf([&] { installGamePackage(*package, inside, {}); }),
              "Update path contains a link: " + pathText(inside / "assets" / "worlds"));
    EXPECT_EQ(snapshot(outside.path()), before);
    EXPECT_FALSE(journalLeft(inside));
  }
}

// Starts "cvtool install", follows its progress lines and kills it the way a crash or power
// cut would, once it has printed `line` lines and `delayMs` more have passed.
void killInstallerAfter(const std::wstring& arguments, int line, int delayMs) {
  Testing::CapturedProcess installer = Testing::startProcess(Testing::cvtool(arguments));
  char buffer[4096];
  DWORD read = 0;
  for (int seen = 0; seen < line && ReadFile(installer.output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0;)
    seen += static_cast<int>(std::count(buffer, buffer + read, '\n'));
  Sleep(delayMs);
  TerminateProcess(installer.process.get(), 9);
  WaitForSingleObject(installer.process.get(), INFINITE);
}

// Kills a real installer once while it stages and twice around its commit, then recovers
// from the command line: the folder must be the old one or the new one, nothing between.
TEST_F(GameInstall, KilledInstallerRecoversToOldOrNewFolder) {
  Files big = Testing::requiredGameFiles("big");
  for (int i = 0; i < 300; ++i) big["assets/many/file" + std::to_string(i) + ".bin"] = std::string(2'000 + i, 'a' + i % 26);
  const Files bigState = installed(big, writePackage(packages / "big", "big", big));
  const std::wstring packageRoot = Testing::quotedPath(packages / "big");
  const int checkingLines = static_cast<int>(big.size());
  std::mt19937 random(std::random_device{}());
  for (int kill = 0; kill < 3; ++kill) {
    const fs::path game = freshOldGame();
    const bool staging = kill == 0;
    const int line = staging ? std::uniform_int_distribution<int>(1, checkingLines)(random) : checkingLines + 1;
    const int delay = staging ? 0 : std::uniform_int_distribution<int>(0, 200)(random);
    killInstallerAfter(L"install " + packageRoot + L" " + Testing::quotedPath(game), line, delay);
    installGamePackage(v1Package, game, {});  // records the copy's own files
    ASSERT_TRUE(loadVerifiedState(game));
    const auto recovered = Testing::runProcess(Testing::cvtool(L"recover " + Testing::quotedPath(game)));
    EXPECT_EQ(recovered.exitCode, 0u) << recovered.output;
    const Files after = snapshot(game);
    EXPECT_TRUE(after == oldState || (!staging && after == bigState))
        << (staging ? "killed while staging" : "killed in the commit") << ", after line " << line << " and " << delay << " ms";
    expectRecordTruthful(game);
  }
  const auto done = Testing::runProcess(Testing::cvtool(L"install " + packageRoot + L" " + Testing::quotedPath(freshOldGame())));
  EXPECT_EQ(done.exitCode, 0u);
  EXPECT_TRUE(done.output.ends_with("100% Game ready: big\nGame ready: big\n")) << done.output;
}

}  // namespace
}  // namespace Corvanthorne::Update

namespace Corvanthorne::Update {
namespace {

// Each fact changed alone makes the file read again; the same bytes rewritten with the last-write
// time put back are caught by the change time; a record of another manifest, a truncated
// record or one naming a file that is gone is not trusted; and the repair is recorded.
TEST_F(GameInstall, RecordVouchesOnlyForTheFileThatWasHashed) {
  const fs::path changed = "assets/changed.bin", same = "assets/same.bin";
  const struct {
    const char* name;
    std::function<void(const fs::path& game)> change;
    std::size_t hashed, repaired;
  } cases[] = {
      {"nothing", [](const fs::path&) {}, 0, 0},
      {"size", [&](const fs::path& game) { writeFile(game / changed, "version one!"); }, 1, 1},
      {"last-write time", [&](const fs::path& game) { setFileTimes(game / same, FILETIME{1, 1}); }, 1, 0},
      {"content, time put back",
       [&](const fs::path& game) {
         const FILETIME before = lastWriteOf(game / changed);
         Sleep(20);
         writeFile(game / changed, "version ONE");
         setFileTimes(game / changed, before);
       },
       1, 1},
      {"identity, same bytes",
       [&](const fs::path& game) {
         writeFile(game / "copy", readFile(game / same));
         setFileTimes(game / "copy", lastWriteOf(game / same));
         ASSERT_TRUE(MoveFileExW((game / "copy").c_str(), (game / same).c_str(), MOVEFILE_REPLACE_EXISTING));
       },
       1, 0},
      {"file gone", [&](const fs::path& game) { fs::remove(game / changed); }, 0, 1},
      {"truncated record", [](const fs::path& game) { fs::resize_file(verifiedStatePath(game), 100); }, 7, 0},
      {"other manifest", [](const fs::path& game) { writeFile(installedManifestPath(game), readFile(installedManifestPath(game)) + "\n"); }, 7, 0},
  };
  for (const auto& c : cases) {
    const fs::path game = freshOldGame();
    EXPECT_EQ(installGamePackage(v1Package, game, {}).hashed, 7u) << "the copy's files are new to the record";
    c.change(game);
    const InstallOutcome outcome = installGamePackage(v1Package, game, {});
    EXPECT_EQ(outcome.hashed, c.hashed) << c.name;
    EXPECT_EQ(outcome.repaired, c.repaired) << c.name;
    EXPECT_EQ(snapshot(game), oldState) << c.name;
    EXPECT_EQ(installGamePackage(v1Package, game, {}).hashed, 0u) << c.name << ": everything is recorded again";
    expectRecordTruthful(game);
  }
}

// Verify reads every file whatever the record says and repairs what is damaged or missing;
// cvtool verify reports the same through the record's own checks.
TEST_F(GameInstall, FullCheckFindsAndRepairsDamageTheRecordCannotSee) {
  const fs::path game = freshOldGame();
  installGamePackage(v1Package, game, {});
  const std::wstring folder = Testing::quotedPath(game);
  EXPECT_EQ(Testing::runProcess(Testing::cvtool(L"verify " + folder)).output, "ok 7 files\n");
  // Damage that keeps size and every fact the record holds cannot be made from here; a record
  // whose hash is wrong for the unchanged file stands in for it.
  VerifiedState record = *loadVerifiedState(game);
  record.files.at("assets/same.bin").sha256.fill('0');
  saveVerifiedState(game, record);
  fs::remove(game / "assets" / "old.png");
  const auto quick = Testing::runProcess(Testing::cvtool(L"verify " + folder));
  EXPECT_EQ(quick.output, "missing assets/old.png\ndamaged assets/same.bin\n2 of 7 files need repair\n");
  EXPECT_EQ(quick.exitCode, 1u);
  const auto full = Testing::runProcess(Testing::cvtool(L"verify --full " + folder));
  EXPECT_EQ(full.output, "missing assets/old.png\n1 of 7 files need repair\n");
  const InstallOutcome outcome = installGamePackage(v1Package, game, {}, {}, CheckMode::Full);
  EXPECT_EQ(outcome.hashed, 6u);
  EXPECT_EQ(outcome.repaired, 1u);
  EXPECT_EQ(snapshot(game), oldState);

  // The rolling check reads the oldest entries first; the one whose bytes do not match loses
  // its entry and is reported once, so the next start reads it again.
  record = *loadVerifiedState(game);
  record.files.at("assets/same.bin").sha256.fill('0');
  record.files.at("assets/same.bin").lastFullHash = 0;
  saveVerifiedState(game, record);
  int reports = 0;
  EXPECT_EQ(RollingCheck(game, [&] { ++reports; }, 1).wait().filesChecked, 1u);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(RollingCheck(game, {}, 1 << 20).wait().filesChecked, 6u);
  EXPECT_EQ(installGamePackage(v1Package, game, {}).hashed, 1u);
}

}  // namespace
}  // namespace Corvanthorne::Update
