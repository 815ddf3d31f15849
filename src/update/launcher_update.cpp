#include "update/launcher_update.h"

#include "common/text.h"

namespace Corvanthorne::Update {

namespace fs = std::filesystem;

HelperInvocation classifyHelperArguments(const std::vector<std::wstring>& arguments) {
  if (arguments.size() < 2 || arguments[1] != L"--apply-launcher-update")
    return HelperInvocation::NotHelper;
  return arguments.size() == 4 ? HelperInvocation::Complete : HelperInvocation::WrongArgumentCount;
}

std::optional<std::uint64_t> parseHelperHandle(std::wstring_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t digit : text) {
    if (digit < L'0' || digit > L'9') return std::nullopt;
    const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(digit - L'0');
    if (next / 10 != value) return std::nullopt;  // beyond 64 bits
    value = next;
  }
  if (value == 0) return std::nullopt;
  return value;
}

std::wstring quotedCommandLinePath(const fs::path& path) {
  std::wstring text = path.wstring();
  const std::size_t kept = text.find_last_not_of(L'\\') + 1;  // npos + 1 is 0: all backslashes
  text.append(text.size() - kept, L'\\');
  return L"\"" + text + L"\"";
}

std::wstring helperCommandLine(const fs::path& helper, const fs::path& gameFolder, std::uint64_t handle) {
  return quotedCommandLinePath(helper) + L" --apply-launcher-update " + quotedCommandLinePath(gameFolder) + L" " +
         std::to_wstring(handle);
}

LauncherDecision decideLauncherUpdate(const std::optional<PackageManifest>& installed, std::string_view runningSha256,
                                      const PackageManifest& package) {
  LauncherDecision decision{true, "copied build", false};
  if (installed && installed->files.front().sha256 == runningSha256) {
    decision.installedLabel = installed->version;
    // std::string compares as unsigned bytes; a common prefix orders the shorter first.
    decision.offer = package.version > installed->version;
  }
  if (package.files.front().sha256 == runningSha256) {
    decision.offer = false;
    decision.recordPackage = true;
  }
  return decision;
}

std::wstring launcherUpdatePromptText(std::string_view installedLabel, std::string_view availableVersion) {
  return L"Installed: " + utf8ToWide(installedLabel) + L"\nAvailable: " + utf8ToWide(availableVersion) +
         L"\n\nPress OK to update this launcher and restart it. Your settings are kept.";
}

LauncherUpdatePaths::LauncherUpdatePaths(const fs::path& gameFolder)
    : launcher(gameFolder / L"launcher.exe"),
      manifest(gameFolder / L".corvanthorne" / L"launcher.manifest"),
      updateFolder(gameFolder / L".corvanthorne" / L"update"),
      staging(updateFolder / L"launcher"),
      staged(staging / L"launcher.exe"),
      pending(staging / L"pending.manifest"),
      previousManifest(staging / L"previous.manifest"),
      backup(staging / L"previous-launcher.exe"),
      helper(updateFolder / L"apply.exe") {}

}  // namespace Corvanthorne::Update
