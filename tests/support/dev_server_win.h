#pragma once
// The development game server (cvtool serve) for Windows tests, as a separate process.
#include <windows.h>

#include <filesystem>
#include <random>
#include <string>

#include "common/text.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Testing {

// A development server of its own on a random loopback address at the game's fixed port, so
// that runs in parallel (and other checkouts' runs) do not meet. The folder's launcher.ini
// points at it and its accounts live in the folder's accounts.txt.
class DevServer {
 public:
  explicit DevServer(const std::filesystem::path& folder, int tokenLength = 32) : folder_(folder) {
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
  }
  ~DevServer() { stop(); }
  DevServer(const DevServer&) = delete;
  DevServer& operator=(const DevServer&) = delete;

  // Runs "cvtool <arguments>" in the server's folder, whose launcher.ini leads to this server.
  ProcessResult run(const std::string& arguments) const { return runProcess(cvtool(utf8ToWide(arguments)), folder_); }

  // Ends the server and returns what it logged.
  std::string stop() {
    if (!child_.process) return {};
    TerminateProcess(child_.process.get(), 0);
    WaitForSingleObject(child_.process.get(), 10000);
    child_.process.reset();
    return readRest(child_.output.get());
  }

 private:
  std::filesystem::path folder_;
  CapturedProcess child_;
  std::string address_;
};

}  // namespace Corvanthorne::Testing
