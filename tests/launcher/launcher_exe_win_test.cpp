// The built launcher.exe as a whole: its stages' exit codes as a process, and what the
// executable file carries (imports, manifest, icon, version).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {
namespace fs = std::filesystem;
using Testing::launcherPath;
using Testing::quotedPath;
using Testing::runProcess;
using Testing::TempDir;

// Run from a developer tree of its own (where the update bootstrap steps aside): helper
// arguments of the wrong count end with 1, and nothing is written beside it.
TEST(LauncherExe, ExitCodesAsAProcess) {
  TempDir folder;
  const fs::path exe = folder / "launcher.exe";
  fs::copy_file(launcherPath(), exe);
  Testing::writeFile(folder / "CMakeLists.txt", "");
  fs::create_directories(folder / "assets" / "worlds");
  const std::pair<const wchar_t*, DWORD> runs[] = {
      {L" --apply-launcher-update C:\\Games", 1}, {L" --apply-launcher-update C:\\Games 12 extra", 1}};
  for (const auto& [arguments, code] : runs)
    EXPECT_EQ(runProcess(quotedPath(exe) + arguments, folder.path()).exitCode, code) << arguments;
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3);
}

std::vector<std::string> importedDlls(HMODULE image) {
  auto* base = reinterpret_cast<const BYTE*>(image);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    names.push_back(name);
  }
  return names;
}

TEST(LauncherExe, IsA64BitGuiProgramImportingOnlySystemDlls) {
  ScopedModule image(LoadLibraryExW(launcherPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(image) << GetLastError();
  auto* base = reinterpret_cast<const BYTE*>(image.get());
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  const std::vector<std::string> system = {
      "kernel32.dll", "user32.dll",  "gdi32.dll",    "shell32.dll",  "msvcrt.dll",
      "advapi32.dll", "ole32.dll",   "ws2_32.dll",   "bcrypt.dll",   "crypt32.dll",
      "winhttp.dll",  "msimg32.dll", "comdlg32.dll", "d3d12.dll",    "dxgi.dll",
      "d3d11.dll",    "d2d1.dll",    "dwrite.dll",   "windowscodecs.dll"};
  const std::vector<std::string> imports = importedDlls(image.get());
  EXPECT_FALSE(imports.empty());
  for (const std::string& dll : imports)
    EXPECT_TRUE(std::find(system.begin(), system.end(), dll) != system.end() ||
                dll.starts_with("api-ms-win-"))
        << dll << " is not a system DLL";
}

std::string resourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
  HRSRC found = FindResourceW(module, name, type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  return data ? std::string(static_cast<const char*>(data), SizeofResource(module, found)) : std::string();
}

TEST(LauncherExe, CarriesManifestAndIcon) {
  ScopedModule image(LoadLibraryExW(launcherPath().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(image) << GetLastError();
  const std::string manifest = resourceBytes(image.get(), RT_MANIFEST, MAKEINTRESOURCEW(1));
  for (const char* setting : {"level=\"asInvoker\"", ">PerMonitorV2<", ">UTF-8<",
                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(manifest.find(setting), std::string::npos) << setting;
  EXPECT_FALSE(resourceBytes(image.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(101)).empty());
}

}  // namespace
}  // namespace Corvanthorne
