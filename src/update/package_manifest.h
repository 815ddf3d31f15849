#pragma once
// Package manifests: what a game or launcher package contains, and the rule for which
// relative paths a package of a given kind may touch. Strict: any deviation fails the whole
// manifest with one exact message, and parsing has no side effects.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Corvanthorne::Update {

struct PackageFile {
  std::string sha256;  // 64 lowercase hexadecimal characters
  std::uint64_t size = 0;
  std::filesystem::path path;  // relative, forward slashes as written
};

struct PackageManifest {
  std::string kind;
  std::string version;
  std::string text;  // every byte as read; recorded unchanged as the installed manifest
  std::vector<PackageFile> files;
  std::vector<std::filesystem::path> removals;  // filled only from release metadata
  bool hasRemovalList = false;
};

struct LatestPackage {
  std::filesystem::path folder;
  PackageManifest manifest;
};

// Manifests, pointers and journals are small: anything larger is refused unread.
inline constexpr std::uint64_t maxPackageMetadataSize = 8'388'608;

// Reads a whole metadata file in binary mode.
std::string readPackageMetadata(const std::filesystem::path& path);

// Parses manifest bytes, at most maxPackageMetadataSize of them (manifests composed in memory
// too); the kind in the header must equal expectedKind.
PackageManifest parsePackageManifestText(std::string text, std::string_view expectedKind);

PackageManifest parsePackageManifest(const std::filesystem::path& manifestPath,
                                     std::string_view expectedKind);

// Resolves <packageRoot>/<kind>.latest to the package folder and its manifest.
LatestPackage loadLatestPackage(const std::filesystem::path& packageRoot, std::string_view kind);

bool isAllowedPackagePath(const std::filesystem::path& path, std::string_view kind);

// The path's own text in UTF-8 (separators as written), or "" when it is not valid text.
std::string nativeUtf8(const std::filesystem::path& path);

// A relative path from its UTF-8 text; an empty path (refused by every rule) when the bytes
// are not valid UTF-8.
std::filesystem::path packagePathFromUtf8(std::string_view bytes);

// Versions and version pointers: 1 to 99 ASCII letters, digits or "-".
bool isValidPackageVersion(std::string_view version);

// The path as wide text with backslashes turned into "/".
std::wstring packagePathKey(const std::filesystem::path& path);

// Two paths name the same file when their identities are equal: the key upper-cased code
// unit by code unit with the system's own table, which is exactly equality under ordinal
// comparison ignoring case (CompareStringOrdinal). Hashable, so duplicate checks stay linear.
std::wstring packagePathIdentity(const std::filesystem::path& path);

// Splits metadata text at LF; the piece after the final LF is a line only when not empty.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', position_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(position_, stop - position_);
    position_ = stop + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// Upper-cases each UTF-16 code unit with the simple mapping the system uses to compare names
// ignoring case (ordinal_case.cpp).
std::wstring ordinalCaseFold(std::wstring text);

}  // namespace Corvanthorne::Update
