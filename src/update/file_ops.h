#pragma once
// Safe file primitives of the update system: every write into the game folder goes through
// a ".new" sibling and one replacing move, and no update path may pass through a link.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace Corvanthorne::Update {

// Replaces target's content with bytes: writes "<target>.new", flushes it, then moves it
// over target (replace + write-through). On failure target is untouched.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Read-only files (common in games copied from media or archives) never block an update:
// the primitives below clear the attribute of a file they replace or delete, and their copies
// are never read-only.

// Moves from over to, replacing it, write-through.
void moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies from over to (created or overwritten); failures raise the "copy_file" file-system
// error naming both paths.
void copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Deletes a file; one that is already gone is fine, another failure raises the "remove"
// file-system error.
void removeFile(const std::filesystem::path& path);

// Deletes a folder and everything below it, read-only files included; links inside are
// removed, not followed. Failures raise the "remove_all" file-system error.
void removeTree(const std::filesystem::path& folder);

// Forces an existing file's data to disk.
void flushFile(const std::filesystem::path& path);

// Any reparse point counts: symbolic links, junctions and mount points alike. A path that does
// not exist is no link.
bool isLink(const std::filesystem::path& path);

// Refuses ("Update path contains a link: " + path) when path itself is a link.
void rejectLink(const std::filesystem::path& path);

// Refuses when base, or any path formed by appending relative's elements one at a time, is a
// link (any reparse point). Paths that do not exist pass.
void rejectLinks(const std::filesystem::path& base, const std::filesystem::path& relative);

// The file's SHA-256 as 64 lowercase hexadecimal characters.
std::string sha256File(const std::filesystem::path& path);

// The SHA-256 of an open file (a HANDLE) read from its current position to its end; path
// names it in messages. Returns "" when stop is set before the end is reached.
std::string sha256OpenFile(void* file, const std::filesystem::path& path, const std::atomic<bool>* stop = nullptr);

// A SHA-256 computed piece by piece through the same provider, for bytes that arrive over
// time (downloads, chunks) and are never read back.
class Sha256Hasher {
 public:
  Sha256Hasher();  // "Could not initialize SHA-256" and the like when the provider fails
  ~Sha256Hasher();
  Sha256Hasher(Sha256Hasher&&) noexcept;
  Sha256Hasher& operator=(Sha256Hasher&&) noexcept;

  // failureMessage names the input should the provider refuse it.
  void add(const void* data, std::size_t size, const std::string& failureMessage = "Could not compute SHA-256");
  // 64 lowercase hexadecimal characters; call once.
  std::string finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// SHA-256 of bytes in memory through the same provider.
std::string sha256Bytes(std::string_view bytes);

// True when path is a regular file of exactly this size and SHA-256.
bool holdsFile(const std::filesystem::path& path, std::uint64_t size, std::string_view sha256);

inline std::filesystem::path gameUpdateFolder(const std::filesystem::path& gameFolder) {
  return gameFolder / L".corvanthorne" / L"update" / L"game";
}

}  // namespace Corvanthorne::Update
