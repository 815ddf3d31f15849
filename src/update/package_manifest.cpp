// Package manifest format (UTF-8, at most 8 MiB, lines end in LF, one CR before LF tolerated):
//
//   CVPACKAGE 1 <kind> <version>            header: exactly four white-space separated tokens
//   <sha256> <size> <path>                  one record per further line
//
// <sha256> is 64 lowercase hexadecimal characters, <size> ASCII decimal digits (unsigned
// 64-bit). Exactly one separator character follows the size token; the rest of the line is
// the path, verbatim (it may hold spaces). Empty lines (or a lone CR) are skipped anywhere.
// There is no terminator and no count.
#include "update/package_manifest.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "common/line_reader.h"
#include "common/text.h"

namespace Corvanthorne::Update {
namespace {

constexpr std::string_view kHeaderMagic = "CVPACKAGE";
constexpr std::string_view kFormatNumber = "1";
constexpr std::size_t kMaxVersionLength = 99;

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isLowerHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f'); }
bool isAsciiAlphanumeric(char c) {
  return isAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The runtime files a package kind must carry, noted record by record. Records have passed
// the path rule, so their text has "/" separators only and compares as written.
class RequiredFiles {
 public:
  void note(std::string_view path) {
    ++count_;
    client_ = client_ || path == "Qelmarin.exe" || path == "Corvanthorne.exe";
    launcherDocument_ = launcherDocument_ || path == "data/gui/launcher.ghi";
    gameDocument_ = gameDocument_ || path == "data/gui/game.ghi";
    firstWorld_ = firstWorld_ || path == "assets/worlds/world_1.world.json";
    launcherExe_ = launcherExe_ || path == "launcher.exe";
  }
  bool completeFor(std::string_view kind) const {
    if (count_ == 0) return false;
    if (kind == "launcher") return count_ == 1 && launcherExe_;
    if (kind == "game") return client_ && launcherDocument_ && gameDocument_ && firstWorld_;
    return true;
  }

 private:
  std::size_t count_ = 0;
  bool client_ = false, launcherDocument_ = false, gameDocument_ = false, firstWorld_ = false, launcherExe_ = false;
};

bool isReservedDeviceStem(std::string_view element) {
  const std::string stem = lowerAscii(element.substr(0, element.find('.')));
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

bool isAllowedElement(std::string_view element) {
  if (element.empty() || element == "." || element == "..") return false;
  if (element.back() == '.' || element.back() == ' ') return false;
  if (element.find_first_of("<>\"|?*") != std::string_view::npos) return false;
  return !isReservedDeviceStem(element);
}

bool allElementsAllowed(std::string_view text) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('/', start);
    if (!isAllowedElement(text.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool isOnKindAllowList(std::string_view text, std::string_view kind) {
  if (kind == "game") {
    if (text == "Qelmarin.exe" || text == "Corvanthorne.exe" || text == "patch notes.txt") return true;
    if (text.starts_with("assets/") || text.starts_with("data/gui/") || text.starts_with("interface/"))
      return true;
    // A top-folder DLL; a name that is only ".dll" has no extension, so it is no DLL.
    return text.find('/') == std::string_view::npos && text.size() > 4 && text.ends_with(".dll");
  }
  return kind == "launcher" && text == "launcher.exe";
}

// Duplicate detection over path identities without keeping them: a flat open-addressed
// table of (hash tag, record number), at most two thirds full; equal tags are confirmed by
// comparing the identities themselves. Eight-byte slots keep even a large table in cache,
// so the check stays linear in practice, not only in theory.
class IdentityTable {
 public:
  explicit IdentityTable(std::size_t records) {
    if (records >= std::numeric_limits<std::uint32_t>::max() / 2) fail("Package metadata is too large");
    slots_.resize(std::bit_ceil(records + records / 2 + 2));
  }

  // False when a record with an equal identity is already present.
  bool insert(const std::wstring& identity, const std::vector<PackageFile>& records) {
    const std::size_t hash = std::hash<std::wstring>{}(identity);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.number == 0) {
        slot = {tag, static_cast<std::uint32_t>(records.size() + 1)};
        return true;
      }
      if (slot.tag == tag && packagePathIdentity(records[slot.number - 1].path) == identity) return false;
    }
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;     // upper hash bits; the lower ones chose the slot
    std::uint32_t number = 0;  // record index + 1; 0 marks a free slot
  };
  std::vector<Slot> slots_;
};

// The path rule on a path's UTF-8 text (already known to be valid UTF-8).
bool isAllowedPathText(std::string_view text, std::string_view kind) {
  if (text.empty() || text.front() == '/' || text.find_first_of("\\:") != std::string_view::npos) return false;
  for (unsigned char c : text)
    if (c < 0x20) return false;
  return allElementsAllowed(text) && isOnKindAllowList(text, kind);
}

void parseHeader(std::string_view line, std::string_view expectedKind, PackageManifest& manifest) {
  LineReader reader(line);
  const std::string_view magic = reader.token();
  const std::string_view format = reader.token();
  const std::string_view kind = reader.token();
  const std::string_view version = reader.token();
  const bool extraToken = !reader.token().empty();
  if (extraToken || magic != kHeaderMagic || format != kFormatNumber || kind != expectedKind ||
      !isValidPackageVersion(version))
    fail("Invalid package manifest header");
  manifest.kind = kind;
  manifest.version = version;
}

bool isValidChecksum(std::string_view checksum) {
  if (checksum.size() != 64) return false;
  for (char c : checksum)
    if (!isLowerHexDigit(c)) return false;
  return true;
}

// Every byte must be a digit before the value is judged: "99999999999999999999x" is a bad
// size, not an out-of-range one.
std::uint64_t parseFileSize(std::string_view token) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (!std::all_of(token.begin(), token.end(), isAsciiDigit)) fail("Invalid package file size");
  std::uint64_t value = 0;
  for (char c : token) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) throw std::out_of_range("stoull argument out of range");
    value = value * 10 + digit;
  }
  return value;
}

// Parses one record; identity receives the path's case-folded identity for the duplicate check.
PackageFile parseRecord(std::string_view line, std::string_view kind, RequiredFiles& required,
                        std::wstring& identity) {
  LineReader reader(line);
  const std::string_view checksum = reader.token();
  const std::string_view sizeToken = reader.token();
  const std::string_view rest = reader.rest();
  if (checksum.empty() || sizeToken.empty() || rest.size() < 2) fail("Invalid package file record");
  PackageFile file;
  file.size = parseFileSize(sizeToken);
  const std::string_view pathBytes = rest.substr(1);
  std::wstring wide = utf8ToWide(pathBytes);  // "" when the bytes are not valid UTF-8
  if (!isValidChecksum(checksum) || wide.empty() || !isAllowedPathText(pathBytes, kind))
    fail("Invalid package file path or checksum");
  required.note(pathBytes);
  file.sha256 = checksum;
  file.path = pathFromUtf8(pathBytes);
  identity = ordinalCaseFold(std::move(wide));  // allowed paths hold no backslash
  return file;
}

}  // namespace

std::string nativeUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
  return wideToUtf8(path.native());
#else
  return utf8ToWide(path.native()).empty() ? std::string() : path.native();
#endif
}

std::filesystem::path packagePathFromUtf8(std::string_view bytes) {
  return utf8ToWide(bytes).empty() ? std::filesystem::path() : pathFromUtf8(bytes);
}

bool isValidPackageVersion(std::string_view version) {
  if (version.empty() || version.size() > kMaxVersionLength) return false;
  for (char c : version)
    if (!isAsciiAlphanumeric(c) && c != '-') return false;
  return true;
}

bool isAllowedPackagePath(const std::filesystem::path& path, std::string_view kind) {
  return isAllowedPathText(nativeUtf8(path), kind);  // "" when the path is not valid text
}

std::wstring packagePathKey(const std::filesystem::path& path) {
#ifdef _WIN32
  std::wstring key = isValidUtf16(path.native()) ? path.native() : std::wstring();  // no round trip per file
#else
  std::wstring key = utf8ToWide(nativeUtf8(path));
#endif
  for (wchar_t& c : key)
    if (c == L'\\') c = L'/';
  return key;
}

std::wstring packagePathIdentity(const std::filesystem::path& path) { return ordinalCaseFold(packagePathKey(path)); }

PackageManifest parsePackageManifestText(std::string text, std::string_view expectedKind) {
  if (text.size() > maxPackageMetadataSize) fail("Package metadata is too large");
  PackageManifest manifest;
  LineSplitter lines(text);
  std::string_view line;
  if (!lines.next(line)) fail("Empty package manifest");
  parseHeader(line, expectedKind, manifest);
  // At most one record per remaining line, and a record takes at least 68 bytes (hash, space,
  // one digit, separator, one path character): sizing once keeps large manifests linear
  // without letting a text of empty lines reserve memory for records it cannot hold.
  const auto lineCount = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  const std::size_t maxRecords = std::min(lineCount, text.size() / 68 + 1);
  manifest.files.reserve(maxRecords);
  IdentityTable seen(maxRecords);
  RequiredFiles required;
  while (lines.next(line)) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    std::wstring identity;
    PackageFile file = parseRecord(line, manifest.kind, required, identity);
    if (!seen.insert(identity, manifest.files)) fail("Duplicate package file path");
    manifest.files.push_back(std::move(file));
  }
  if (!required.completeFor(manifest.kind)) fail("The package is missing required runtime files");
  manifest.text = std::move(text);
  return manifest;
}

std::string readPackageMetadata(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Could not read " + pathText(path));
  const std::uintmax_t size = std::filesystem::file_size(path);
  if (size > maxPackageMetadataSize) fail("Package metadata is too large");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
    throw std::runtime_error("Could not read " + pathText(path));
  return bytes;
}

PackageManifest parsePackageManifest(const std::filesystem::path& manifestPath,
                                     std::string_view expectedKind) {
  return parsePackageManifestText(readPackageMetadata(manifestPath), expectedKind);
}

LatestPackage loadLatestPackage(const std::filesystem::path& packageRoot, std::string_view kind) {
  std::string pointer = readPackageMetadata(packageRoot / pathFromUtf8(std::string(kind) + ".latest"));
  while (!pointer.empty() && (pointer.back() == '\n' || pointer.back() == '\r')) pointer.pop_back();
  if (!isValidPackageVersion(pointer)) fail("Invalid package version pointer");
  LatestPackage latest;
  latest.folder = packageRoot / pathFromUtf8(kind) / pointer;
  latest.manifest = parsePackageManifest(latest.folder / L"manifest.txt", kind);
  if (latest.manifest.version != pointer) fail("Package version does not match its manifest");
  return latest;
}

}  // namespace Corvanthorne::Update
