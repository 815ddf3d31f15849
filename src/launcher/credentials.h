#pragma once
// The saved password: launcher.credentials in the game root holds exactly the blob that the
// per-user data protection of Windows made from the password's UTF-8 bytes, so only the same
// Windows user on the same machine can read it back. Every failure is silent.
#include <filesystem>
#include <string>
#include <string_view>

namespace Corvanthorne {

// The saved password as UTF-8, or "" when there is none or it cannot be unprotected.
std::string readSavedPassword(const std::filesystem::path& file);
std::string readSavedPassword();

// Saves the protected password when savePassword is set (a failed protection keeps the old
// file), otherwise deletes the file.
void storePasswordPreference(std::string_view password, bool savePassword,
                             const std::filesystem::path& file);
void storePasswordPreference(std::string_view password, bool savePassword);

}  // namespace Corvanthorne
