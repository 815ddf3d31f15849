#include <windows.h>

#include <dpapi.h>

#include <fstream>
#include <vector>

#include "common/files.h"
#include "common/handle_win.h"
#include "launcher/credentials.h"
#include "launcher/game_folder.h"

namespace Corvanthorne {
namespace {

constexpr wchar_t kProtectionDescription[] = L"Qelmarin launcher";

std::filesystem::path credentialsFile() { return gamePath("launcher.credentials"); }

// A protected password takes a few hundred bytes; anything far larger is not ours to load.
constexpr std::size_t kMaxCredentialsBytes = 64 * 1024;

std::string readProtectedBlob(const std::filesystem::path& file) {
  return readFileBytes(file, kMaxCredentialsBytes).value_or(std::string());
}

DATA_BLOB blobOf(const void* data, size_t size) {
  return DATA_BLOB{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
}

}  // namespace

std::string readSavedPassword(const std::filesystem::path& file) {
  const std::string bytes = readProtectedBlob(file);
  if (bytes.empty()) return {};
  DATA_BLOB input = blobOf(bytes.data(), bytes.size());
  DATA_BLOB output{};
  if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output))
    return {};
  const ScopedLocalMemory owner(output.pbData);
  return std::string(reinterpret_cast<const char*>(output.pbData), output.cbData);
}

std::string readSavedPassword() { return readSavedPassword(credentialsFile()); }

void storePasswordPreference(std::string_view password, bool savePassword,
                             const std::filesystem::path& file) {
  if (!savePassword) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return;
  }
  DATA_BLOB input = blobOf(password.data(), password.size());
  DATA_BLOB output{};
  if (!CryptProtectData(&input, kProtectionDescription, nullptr, nullptr, nullptr,
                        CRYPTPROTECT_UI_FORBIDDEN, &output))
    return;
  const ScopedLocalMemory owner(output.pbData);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(output.pbData), output.cbData);
}

void storePasswordPreference(std::string_view password, bool savePassword) {
  storePasswordPreference(password, savePassword, credentialsFile());
}

}  // namespace Corvanthorne
