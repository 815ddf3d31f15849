#include "update/remote_release.h"

#include <gtest/gtest.h>

#include <map>

#include "support/message_of.h"

namespace Corvanthorne::Update {
namespace {

using Testing::messageOf;

const std::string kSha(64, 'a');
constexpr std::string_view kRollback =
    "The patch server returned an older release. A rollback must be published as a new signed revision.";

std::string fileEntry(std::string_view path, std::string_view sha = kSha, std::string_view size = "1") {
  return "{\"path\":\"" + std::string(path) + "\",\"sha256\":\"" + std::string(sha) + "\",\"size\":" + std::string(size) + "}";
}

std::string runtimeFiles(std::string_view extra = "") {
  std::string files = "[";
  for (const char* path : {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "launcher.exe"})
    files += fileEntry(path) + ",";
  files += extra.empty() ? fileEntry("patch notes.txt") : std::string(extra);
  return files + "]";
}

// A valid payload with the fields of changes set to their JSON text ("" drops the field).
std::string payloadWith(const std::map<std::string, std::string>& changes) {
  std::map<std::string, std::string> fields = {
      {"testOnly", "false"}, {"schema", "1"}, {"compatibilityEpoch", "1"}, {"requiredServerEpoch", "1"},
      {"id", "\"r20240601120000000-0123456789ab\""}, {"content", "3"}, {"build", "9"}, {"notes", "\"n\""},
      {"files", runtimeFiles()}, {"remove", "[]"}};
  for (const auto& [name, value] : changes) fields[name] = value;
  std::string text = "{";
  for (const auto& [name, value] : fields)
    if (!value.empty()) text += (text.size() > 1 ? ",\"" : "\"") + name + "\":" + value;
  return text + "}";
}

std::string planOutcome(const std::string& payload, std::wstring_view source = L"C:/releases") {
  return messageOf([&] {
    const JsonDocument json = parseReleaseJson(payload);
    planRelease(json.root(), readReleaseHeader(json.root(), source));
  });
}

TEST(ReleasePayload, FieldAndNumberRules) {
  const std::string epoch = "Release requires a different client/server compatibility epoch";
  std::string clientAndLauncherOnly = "[";  // appended: MinGW's GCC warns falsely on "[" + ...
  clientAndLauncherOnly.append(fileEntry("Qelmarin.exe")).append(",").append(fileEntry("launcher.exe")).append("]");
  const struct {
    std::string field, value, expected;
    std::wstring_view source = L"C:/releases";
  } cases[] = {
      {"schema", "1", "no error"},
      // Test fixtures come only from local folders.
      {"testOnly", "true", "Test fixtures cannot be installed from a production HTTPS source", L"https://updates.example/q"},
      {"testOnly", "true", "no error", L"D:/fixtures/release"},
      {"schema", "2", epoch}, {"compatibilityEpoch", "0", epoch}, {"requiredServerEpoch", "2", epoch},
      {"schema", "1.5", "Invalid release number"}, {"schema", "-1", "Invalid release number"},
      {"schema", "\"1\"", "Invalid release field: schema"}, {"testOnly", "1", "Invalid release field: testOnly"},
      {"remove", "", "Invalid release field: remove"}, {"notes", "7", "Invalid release field: notes"},
      {"content", "0", "Invalid release version"}, {"build", "0", "Invalid release version"},
      {"content", "9007199254740992", "Invalid release number"},
      {"id", "\"r20240601120000000-0123456789AB\"", "Invalid release ID"},
      {"id", "\"r20240601120000000_0123456789ab\"", "Invalid release ID"},
      {"id", "\"r2024060112000000-0123456789ab\"", "Invalid release ID"}, {"id", "5", "Invalid release field: id"},
      {"files", "[]", "Invalid release file count"},
      {"files", runtimeFiles(fileEntry("Assets/a.png") + "," + fileEntry("assets/A.png")), "Invalid release file entry"},
      {"files", runtimeFiles(fileEntry("assets/a.png", std::string(63, 'a') + "A")), "Invalid release file entry"},
      {"files", runtimeFiles(fileEntry("assets/a.png", kSha, "17179869185")), "Invalid release file entry"},
      {"files", runtimeFiles(fileEntry("assets/a.png", kSha, "1.5")), "Invalid release number"},
      {"files", runtimeFiles(fileEntry("../a.dll")), "Invalid release file entry"},
      {"files", runtimeFiles("{\"path\":5,\"sha256\":\"" + kSha + "\",\"size\":1}"), "Invalid release field: path"},
      {"files", clientAndLauncherOnly, "The package is missing required runtime files"},
      {"remove", "[\"assets/old.png\",\"x.dll\"]", "no error"},
      {"remove", "[\"assets/Worlds/world_1.world.json\"]", "Release removes an incoming file"},
      {"remove", "[\"../x\"]", "Unsafe release removal"}, {"remove", "[5]", "Invalid release removal"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(planOutcome(payloadWith({{c.field, c.value}}), c.source), c.expected) << c.field << " = " << c.value;
}

TEST(ReleasePayload, RollbackGuardAgainstAcceptedContentSeven) {
  const JsonDocument accepted = parseReleaseJson(payloadWith({{"content", "7"}}));
  const std::string sameId = "r20240601120000000-0123456789ab";
  const struct {
    std::uint64_t content;
    std::string id, expected;
  } cases[] = {{6, sameId, std::string(kRollback)},
               {7, sameId, "no error"},
               {7, "r20240602120000000-0123456789ab", std::string(kRollback)},
               {8, "r20240602120000000-0123456789ab", "no error"}};
  for (const auto& c : cases)
    EXPECT_EQ(messageOf([&] { refuseRollback({false, c.id, c.content, 1}, accepted.root()); }), c.expected) << c.content;
}

TEST(ReleasePayload, IdsNameTheUtcMillisecondAndTheFileList) {
  EXPECT_EQ(makeReleaseId(1'717'243'200'123, "0123456789abcdef" + std::string(48, '0')),
            "r20240601120000123-0123456789ab");
}

}  // namespace
}  // namespace Corvanthorne::Update
