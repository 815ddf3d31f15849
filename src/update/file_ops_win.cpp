#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"

namespace Corvanthorne::Update {
namespace {

constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
constexpr DWORD kHashChunkSize = 65'536;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// Lets a replace or delete go ahead on a read-only file. Should this fail, the operation that
// follows fails and reports it.
void clearReadOnly(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

}  // namespace

// The CNG provider's objects. Members are declared in acquisition order, so the hash, its
// object and the provider are released in reverse order on every path.
struct Sha256Hasher::State {
  ScopedBcryptAlgorithm algorithm;
  std::vector<UCHAR> object;
  ScopedBcryptHash hash;
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(state_->algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    fail("Could not initialize SHA-256");
  DWORD objectLength = 0;
  ULONG received = 0;
  if (!BCRYPT_SUCCESS(BCryptGetProperty(state_->algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                        reinterpret_cast<PUCHAR>(&objectLength), sizeof(objectLength), &received, 0)))
    fail("Could not initialize SHA-256 storage");
  state_->object.assign(objectLength, 0);
  if (!BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm.get(), state_->hash.receive(), state_->object.data(),
                                       objectLength, nullptr, 0, 0)))
    fail("Could not initialize SHA-256 hash");
}

Sha256Hasher::~Sha256Hasher() = default;
Sha256Hasher::Sha256Hasher(Sha256Hasher&&) noexcept = default;
Sha256Hasher& Sha256Hasher::operator=(Sha256Hasher&&) noexcept = default;

void Sha256Hasher::add(const void* data, std::size_t size, const std::string& failureMessage) {
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    if (!BCRYPT_SUCCESS(BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes), piece, 0))) fail(failureMessage);
    bytes += piece;
    size -= piece;
  }
}

std::string Sha256Hasher::finish() {
  unsigned char digest[32];
  if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash.get(), digest, sizeof(digest), 0)))
    fail("Could not finish SHA-256");
  return lowerHex(std::string_view(reinterpret_cast<const char*>(digest), sizeof(digest)));
}


bool isLink(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void rejectLink(const std::filesystem::path& path) {
  if (isLink(path)) fail("Update path contains a link: " + pathText(path));
}

void rejectLinks(const std::filesystem::path& base, const std::filesystem::path& relative) {
  rejectLink(base);
  std::filesystem::path current = base;
  for (const auto& element : relative) {
    current /= element;
    rejectLink(current);
  }
}

void moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  clearReadOnly(to);
  if (!MoveFileExW(from.c_str(), to.c_str(), kReplaceFlags))
    throwWindowsError("Could not replace " + pathText(to));
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  const std::filesystem::path temporary = target.native() + L".new";
  rejectLinks(target.parent_path(), target.filename());
  rejectLinks(temporary.parent_path(), temporary.filename());
  {
    ScopedHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) fail("Could not write " + pathText(target));
    DWORD written = 0;
    if (bytes.size() > MAXDWORD ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file.get()))
      fail("Could not finish writing " + pathText(target));
  }
  moveReplacing(temporary, target);
}

void copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  clearReadOnly(to);
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
    throw std::filesystem::filesystem_error("copy_file", from, to,
                                            std::error_code(static_cast<int>(GetLastError()), std::system_category()));
  clearReadOnly(to);  // the copy takes the source's attributes
}

void removeFile(const std::filesystem::path& path) {
  clearReadOnly(path);
  if (DeleteFileW(path.c_str())) return;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    throw std::filesystem::filesystem_error("remove", path,
                                            std::error_code(static_cast<int>(error), std::system_category()));
}

void removeTree(const std::filesystem::path& folder) {
  std::error_code error;
  for (auto entry = std::filesystem::recursive_directory_iterator(folder, error);
       !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
    if (isLink(entry->path()))
      entry.disable_recursion_pending();
    else
      clearReadOnly(entry->path());
  }
  std::filesystem::remove_all(folder);
}

void flushFile(const std::filesystem::path& path) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !FlushFileBuffers(file.get())) fail("Could not flush update file: " + pathText(path));
}

std::string sha256File(const std::filesystem::path& path) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) fail("Could not read " + pathText(path));
  return sha256OpenFile(file.get(), path);
}

std::string sha256OpenFile(void* file, const std::filesystem::path& path, const std::atomic<bool>* stop) {
  Sha256Hasher sha;
  std::vector<unsigned char> chunk(kHashChunkSize);
  const std::string hashFailure = "Could not hash " + pathText(path);
  while (!(stop && *stop)) {
    DWORD read = 0;
    if (!ReadFile(file, chunk.data(), kHashChunkSize, &read, nullptr))
      fail("Could not finish reading " + pathText(path));
    if (read == 0) return sha.finish();
    sha.add(chunk.data(), read, hashFailure);
  }
  return {};
}

std::string sha256Bytes(std::string_view bytes) {
  Sha256Hasher sha;
  sha.add(bytes.data(), bytes.size(), "Could not hash memory");
  return sha.finish();
}

bool holdsFile(const std::filesystem::path& path, std::uint64_t size, std::string_view sha256) {
  return isExistingRegularFile(path) && std::filesystem::file_size(path) == size && sha256File(path) == sha256;
}

}  // namespace Corvanthorne::Update
