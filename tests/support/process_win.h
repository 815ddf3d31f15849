#pragma once
// Starting helper processes from Windows tests: cvtool of the same build, with its output
// captured through a pipe.
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

struct ProcessResult {
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error together
};

// Starts cvtool with the given argument text; the child inherits every inheritable handle.
inline ScopedHandle startCvtool(const std::wstring& arguments, DWORD flags = 0, HANDLE output = nullptr) {
  std::wstring commandLine = L"\"" + cvtoolPath() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                      &info))
    throwWindowsError("CreateProcessW");
  ScopedHandle thread(info.hThread);
  return ScopedHandle(info.hProcess);
}

// A started cvtool and the read end of its output pipe.
struct CapturedProcess {
  ScopedHandle process;
  ScopedHandle output;
};

inline CapturedProcess startCvtoolCaptured(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  CapturedProcess started;
  ScopedHandle writeEnd;
  if (!CreatePipe(started.output.receive(), writeEnd.receive(), &inherit, 0)) throwWindowsError("CreatePipe");
  SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0);
  started.process = startCvtool(arguments, 0, writeEnd.get());
  return started;
}

inline ProcessResult runCvtool(const std::wstring& arguments) {
  CapturedProcess started = startCvtoolCaptured(arguments);
  ProcessResult result;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(started.output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    result.output.append(buffer, read);
  WaitForSingleObject(started.process.get(), INFINITE);
  GetExitCodeProcess(started.process.get(), &result.exitCode);
  return result;
}

}  // namespace Corvanthorne::Testing
