#pragma once
// Starting programs from Windows tests: the launcher or cvtool of the same build, with
// standard output and standard error captured through one pipe.
#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "common/handle_win.h"
#include "common/text.h"

namespace Corvanthorne::Testing {

// The build passes host paths; under Wine the Z: drive maps to the host's "/".
inline std::filesystem::path hostPath(std::string_view utf8) {
  std::wstring path = utf8ToWide(utf8);
  if (!path.empty() && path.front() == L'/') path = L"Z:" + path;
  return path;
}

inline std::filesystem::path launcherPath() { return hostPath(QEL_LAUNCHER_PATH); }

inline std::wstring quotedPath(const std::filesystem::path& path) { return L"\"" + path.wstring() + L"\""; }

// The command line that runs this build's cvtool with the given arguments.
inline std::wstring cvtool(std::wstring_view arguments) {
  return quotedPath(hostPath(QEL_CVTOOL_PATH)) + L" " + std::wstring(arguments);
}

// A started program and the read end of the pipe that carries its output.
struct CapturedProcess {
  ScopedHandle process;
  ScopedHandle output;
};

// Starts commandLine without a window; the child inherits every inheritable handle. With
// output, the child's standard output and error go there, and its input comes from input.
inline ScopedHandle launchProcess(std::wstring commandLine, const std::filesystem::path& folder = {},
                                  DWORD flags = 0, HANDLE output = nullptr, HANDLE input = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    startup.hStdInput = input ? input : GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags | CREATE_NO_WINDOW, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    throwWindowsError("CreateProcessW");
  ScopedHandle thread(info.hThread);
  return ScopedHandle(info.hProcess);
}

// The same, with standard output and standard error captured through one pipe.
inline CapturedProcess startProcess(std::wstring commandLine, const std::filesystem::path& folder = {},
                                    DWORD flags = 0) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  CapturedProcess started;
  ScopedHandle writeEnd;
  if (!CreatePipe(started.output.receive(), writeEnd.receive(), &inherit, 0)) throwWindowsError("CreatePipe");
  SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0);
  started.process = launchProcess(std::move(commandLine), folder, flags, writeEnd.get());
  return started;
}

// Reads up to and including the next line feed, or to the end of the output.
inline std::string readLine(HANDLE pipe) {
  std::string line;
  char byte = 0;
  DWORD count = 0;
  while ((line.empty() || line.back() != '\n') && ReadFile(pipe, &byte, 1, &count, nullptr) && count == 1) line += byte;
  return line;
}

inline std::string readRest(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

struct ProcessResult {
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error together
};

// The exit code of process once it has ended, or STILL_ACTIVE when it still runs after timeoutMs.
inline DWORD exitCodeOf(HANDLE process, DWORD timeoutMs = 30000) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  return code;
}

// Runs commandLine to its end; a program still running 30 s after its output closed fails the test.
inline ProcessResult runProcess(const std::wstring& commandLine, const std::filesystem::path& folder = {}) {
  CapturedProcess started = startProcess(commandLine, folder);
  ProcessResult result{0, readRest(started.output.get())};
  if (WaitForSingleObject(started.process.get(), 30000) != WAIT_OBJECT_0) {
    TerminateProcess(started.process.get(), 99);
    throw std::runtime_error("The test process did not finish in time");
  }
  if (!GetExitCodeProcess(started.process.get(), &result.exitCode)) throwWindowsError("GetExitCodeProcess");
  return result;
}

}  // namespace Corvanthorne::Testing
