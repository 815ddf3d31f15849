#pragma once
// For end-to-end runs of Play: a game folder laid out from the repository's game/ with the
// demo client, and a development server of its own.
#include <windows.h>

#include <filesystem>
#include <random>
#include <string>

#include "common/text.h"
#include "support/desktop_win.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Testing {

inline std::filesystem::path repositoryGameFolder() { return std::filesystem::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game"; }
inline std::filesystem::path demoClientPath() { return hostPath(QEL_DEMO_CLIENT_PATH); }

// A development server of its own on a random loopback address at the game's fixed port, so
// that runs in parallel (and other checkouts' runs) do not meet, with the account demo.
class PlayServer {
 public:
  PlayServer(const std::filesystem::path& folder, int tokenLength = 32) {
    std::mt19937 random(static_cast<unsigned>(GetCurrentProcessId() ^ GetTickCount()));
    for (int attempt = 0; attempt < 5 && address_.empty(); ++attempt) {
      const std::string candidate = "127." + std::to_string(random() % 250 + 2) + "." + std::to_string(random() % 250 + 2) +
                                    "." + std::to_string(random() % 250 + 2);
      child_ = startProcess(cvtool(utf8ToWide("serve --address " + candidate + " --accounts accounts.txt --token-length " +
                                              std::to_string(tokenLength))),
                            folder);
      if (readLine(child_.output.get()).starts_with("Serving on " + candidate + ":")) address_ = candidate;
    }
    if (address_.empty()) throw std::runtime_error("No development server could start");
    writeFile(folder / "launcher.ini", "ServerAddress=" + address_ + "\nServerSelection=Server\n");
    const ProcessResult registered = runProcess(cvtool(L"register demo demo-pass demo@example.org"), folder);
    if (registered.exitCode != 0) throw std::runtime_error("register: " + registered.output);
  }
  ~PlayServer() { stop(); }
  PlayServer(const PlayServer&) = delete;
  PlayServer& operator=(const PlayServer&) = delete;

  // Ends the server and returns what it logged.
  std::string stop() {
    if (!child_.process) return {};
    TerminateProcess(child_.process.get(), 0);
    WaitForSingleObject(child_.process.get(), 10000);
    child_.process.reset();
    return readRest(child_.output.get());
  }

 private:
  CapturedProcess child_;
  std::string address_;
};

// The SHA-256 after "key=" in a log, or "" when the log has none.
inline std::string loggedHash(const std::string& log, const std::string& key) {
  const size_t at = log.find(key + "=");
  return at == std::string::npos ? std::string() : log.substr(at + key.size() + 1, 64);
}

// A game folder: the repository's game/ data, the demo client under clientName and a
// demo-client.ini.
inline void layOutGameFolder(const std::filesystem::path& folder, const std::string& demoConfig,
                             const std::wstring& clientName = L"Qelmarin.exe") {
  std::filesystem::copy(repositoryGameFolder(), folder, std::filesystem::copy_options::recursive);
  std::filesystem::copy_file(demoClientPath(), folder / clientName);
  writeFile(folder / "demo-client.ini", demoConfig);
}

}  // namespace Corvanthorne::Testing
