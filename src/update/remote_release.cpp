// Release payload: the JSON object inside a signed release document (release_document.h).
// Every field is required with exactly this JSON type:
//
//   testOnly             boolean   a test fixture, installable from a local folder only
//   schema               number    1
//   compatibilityEpoch   number    1
//   requiredServerEpoch  number    1
//   id                   string    "r" + 17 digits (UTC yyyymmddhhmmssmmm) + "-" + 12 lowercase hex
//   content              number    content revision, >= 1; orders releases
//   build                number    build number, >= 1
//   notes                string    release notes
//   files                array     1 to 100,000 objects {"path": string, "sha256": string,
//                                  "size": number <= 16 GiB}; "launcher.exe" is the launcher
//                                  package, every other path belongs to the game package
//   remove               array     game paths to delete when this release is installed
//   expires              number    optional: seconds since 1970 UTC after which the release is
//                                  refused, so a mirror cannot keep serving it forever
//
// Numbers are whole, 0 to 2^53 - 1. Paths follow the package path rule of their kind and
// may not repeat, case and "\" versus "/" aside.
#include "update/remote_release.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <unordered_set>

namespace Corvanthorne::Update {
namespace {

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLowerHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); }
bool isLowerHex(std::string_view text) { return std::all_of(text.begin(), text.end(), isLowerHexDigit); }
bool isDecimal(std::string_view text) { return std::all_of(text.begin(), text.end(), isDigit); }

// Composes one manifest from the release's records for kind and parses it back.
class ManifestComposer {
 public:
  ManifestComposer(std::string_view kind, std::string_view version)
      : kind_(kind), text_("CVPACKAGE 1 " + std::string(kind) + " " + std::string(version) + "\n") {}
  void add(std::string_view sha256, std::uint64_t size, std::string_view path) {
    text_.append(sha256).append(" ").append(std::to_string(size)).append(" ").append(path).append("\n");
  }
  PackageManifest parse() { return parsePackageManifestText(std::move(text_), kind_); }

 private:
  std::string_view kind_;
  std::string text_;
};

void addRemovals(const JsonValue& payload, const std::unordered_set<std::wstring>& incoming,
                 PackageManifest& game) {
  game.hasRemovalList = true;
  for (const JsonValue& item : releaseField(payload, "remove", JsonType::Array).array()) {
    if (item.type() != JsonType::String) fail("Invalid release removal");
    std::filesystem::path path = packagePathFromUtf8(item.string());
    if (!isAllowedPackagePath(path, "game")) fail("Unsafe release removal");
    if (incoming.contains(packagePathIdentity(path))) fail("Release removes an incoming file");
    game.removals.push_back(std::move(path));
  }
}

void appendNumberField(std::string& out, std::string_view name, std::uint64_t value) {
  out.append(",\"").append(name).append("\":").append(std::to_string(value));
}

void appendStringField(std::string& out, std::string_view name, std::string_view value) {
  out.append(",\"").append(name).append("\":");
  appendJsonString(out, value);
}

}  // namespace

std::uint64_t utcSecondsNow() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

ReleaseHeader readReleaseHeader(const JsonValue& payload, std::wstring_view sourceBase, std::uint64_t nowUtcSeconds) {
  ReleaseHeader header;
  if (payload.type() == JsonType::Object && payload.object().find("expires")) {
    header.expires = releaseInteger(payload, "expires");
    if (*header.expires < nowUtcSeconds) fail("Release document has expired");
  }
  header.testOnly = releaseField(payload, "testOnly", JsonType::Boolean).boolean();
  if (header.testOnly && sourceBase.starts_with(L"https://"))
    fail("Test fixtures cannot be installed from a production HTTPS source");
  for (const char* epoch : {"schema", "compatibilityEpoch", "requiredServerEpoch"})
    if (releaseInteger(payload, epoch) != 1) fail("Release requires a different client/server compatibility epoch");
  header.id = releaseField(payload, "id", JsonType::String).string();
  header.content = releaseInteger(payload, "content");
  header.build = releaseInteger(payload, "build");
  if (header.content == 0 || header.build == 0) fail("Invalid release version");
  return header;
}

void refuseRollback(const ReleaseHeader& incoming, const JsonValue& acceptedPayload) {
  const std::uint64_t content = releaseInteger(acceptedPayload, "content");
  const std::string_view id = releaseField(acceptedPayload, "id", JsonType::String).string();
  if (incoming.content < content || (incoming.content == content && incoming.id != id))
    fail("The patch server returned an older release. A rollback must be published as a new signed revision.");
}

bool isValidReleaseId(std::string_view id) {
  return id.size() == 31 && id[0] == 'r' && isDecimal(id.substr(1, 17)) && id[18] == '-' &&
         isLowerHex(id.substr(19));
}

std::string makeReleaseId(std::int64_t utcMilliseconds, std::string_view fileListSha256) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(utcMilliseconds)};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{time - day};
  char text[32];
  std::snprintf(text, sizeof text, "r%04d%02u%02u%02d%02d%02d%03d-", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text + std::string(fileListSha256.substr(0, 12));
}

ReleasePlan planRelease(const JsonValue& payload, const ReleaseHeader& header) {
  if (!isValidReleaseId(header.id)) fail("Invalid release ID");
  ReleasePlan plan;
  plan.notes = releaseField(payload, "notes", JsonType::String).string();
  const std::span<const JsonValue> files = releaseField(payload, "files", JsonType::Array).array();
  if (files.empty() || files.size() > maxReleaseFiles) fail("Invalid release file count");

  ManifestComposer game("game", header.id), launcher("launcher", header.id);
  std::unordered_set<std::wstring> incoming;
  incoming.reserve(files.size());
  for (const JsonValue& entry : files) {
    const std::string_view path = releaseField(entry, "path", JsonType::String).string();
    const std::string_view sha256 = releaseField(entry, "sha256", JsonType::String).string();
    const std::uint64_t size = releaseInteger(entry, "size");
    const bool isLauncher = path == "launcher.exe";
    const std::filesystem::path packagePath = packagePathFromUtf8(path);
    if (!isAllowedPackagePath(packagePath, isLauncher ? "launcher" : "game") || sha256.size() != 64 ||
        !isLowerHex(sha256) || size > maxReleaseFileSize || !incoming.insert(packagePathIdentity(packagePath)).second)
      fail("Invalid release file entry");
    (isLauncher ? launcher : game).add(sha256, size, path);
  }
  plan.game = game.parse();
  plan.launcher = launcher.parse();
  addRemovals(payload, incoming, plan.game);
  return plan;
}

std::string composeReleasePayload(const ReleaseDraft& draft) {
  std::string out = draft.testOnly ? "{\"testOnly\":true" : "{\"testOnly\":false";
  out += ",\"schema\":1,\"compatibilityEpoch\":1,\"requiredServerEpoch\":1";
  if (draft.expires) appendNumberField(out, "expires", *draft.expires);
  appendStringField(out, "id", draft.id);
  appendNumberField(out, "content", draft.content);
  appendNumberField(out, "build", draft.build);
  appendStringField(out, "notes", draft.notes);
  out += ",\"files\":[";
  for (const ReleaseFile& file : draft.files) {
    out += &file == draft.files.data() ? "{\"path\":" : ",\n{\"path\":";
    appendJsonString(out, file.path);
    appendStringField(out, "sha256", file.sha256);
    appendNumberField(out, "size", file.size);
    out += '}';
  }
  out += "],\"remove\":[";
  for (const std::string& path : draft.removals) {
    if (&path != draft.removals.data()) out += ',';
    appendJsonString(out, path);
  }
  out += "]}\n";
  return out;
}

ReleaseDraft releaseDraftOf(const JsonValue& payload, const ReleaseHeader& header) {
  ReleaseDraft draft{header.testOnly, header.id, header.content, header.build,
                     std::string(releaseField(payload, "notes", JsonType::String).string()), {}, {}, header.expires};
  for (const JsonValue& entry : releaseField(payload, "files", JsonType::Array).array())
    draft.files.push_back({std::string(releaseField(entry, "path", JsonType::String).string()),
                           std::string(releaseField(entry, "sha256", JsonType::String).string()),
                           releaseInteger(entry, "size")});
  for (const JsonValue& item : releaseField(payload, "remove", JsonType::Array).array())
    draft.removals.push_back(std::string(item.string()));
  return draft;
}

}  // namespace Corvanthorne::Update
