#pragma once
// Starting programs from Windows tests: the launcher or cvtool of the same build, optionally
// with standard output and standard error captured through one pipe.
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

inline std::wstring cvtoolPath() { return hostPath(QEL_CVTOOL_PATH).wstring(); }

inline std::wstring quotedPath(const std::filesystem::path& path) { return L"\"" + path.wstring() + L"\""; }

// Starts commandLine without a window; the child inherits every inheritable handle. With
// output, the child's standard output and error go there, and its input comes from input.
inline ScopedHandle startProcess(std::wstring commandLine, const std::filesystem::path& folder = {},
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

// Runs commandLine to its end and returns the exit code; throws when it outlives timeoutMs.
inline DWORD runProcess(const std::wstring& commandLine, const std::filesystem::path& folder = {},
                        DWORD timeoutMs = 30000) {
  ScopedHandle process = startProcess(commandLine, folder);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 99);
    throw std::runtime_error("The test process did not finish in time");
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) throwWindowsError("GetExitCodeProcess");
  return exitCode;
}

inline ScopedHandle startCvtool(const std::wstring& arguments, DWORD flags = 0, HANDLE output = nullptr,
                                const std::filesystem::path& folder = {}) {
  return startProcess(quotedPath(cvtoolPath()) + L" " + arguments, folder, flags, output);
}

// A started cvtool and the read end of its output pipe.
struct CapturedProcess {
  ScopedHandle process;
  ScopedHandle output;
};

inline CapturedProcess startCvtoolCaptured(const std::wstring& arguments, const std::filesystem::path& folder = {}) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  CapturedProcess started;
  ScopedHandle writeEnd;
  if (!CreatePipe(started.output.receive(), writeEnd.receive(), &inherit, 0)) throwWindowsError("CreatePipe");
  SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0);
  started.process = startCvtool(arguments, 0, writeEnd.get(), folder);
  return started;
}

// Reads up to and including the next line feed, or to the end of the output.
inline std::string readLine(HANDLE pipe) {
  std::string line;
  char byte = 0;
  DWORD count = 0;
  while (ReadFile(pipe, &byte, 1, &count, nullptr) && count == 1) {
    line += byte;
    if (byte == '\n') break;
  }
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

inline ProcessResult runCvtool(const std::wstring& arguments, const std::filesystem::path& folder = {}) {
  CapturedProcess started = startCvtoolCaptured(arguments, folder);
  ProcessResult result;
  result.output = readRest(started.output.get());
  WaitForSingleObject(started.process.get(), INFINITE);
  GetExitCodeProcess(started.process.get(), &result.exitCode);
  return result;
}

}  // namespace Corvanthorne::Testing
