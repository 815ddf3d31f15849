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

inline ProcessResult runCvtool(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  ScopedHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.receive(), writeEnd.receive(), &inherit, 0)) throwWindowsError("CreatePipe");
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  ScopedHandle process = startCvtool(arguments, 0, writeEnd.get());
  writeEnd.reset();
  ProcessResult result;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(readEnd.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) result.output.append(buffer, read);
  WaitForSingleObject(process.get(), INFINITE);
  GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

}  // namespace Corvanthorne::Testing
