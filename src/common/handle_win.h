#pragma once
// Scope-bound owners for Win32 handles. One move-only template; each handle kind is a thin
// alias over a traits struct that says what "invalid" is and how to close. COM objects use
// Microsoft::WRL::ComPtr instead.
#include <windows.h>

#include <bcrypt.h>
#include <objbase.h>
#include <winhttp.h>
#include <winsock2.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "common/messages.h"

namespace Corvanthorne {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return Traits::isValid(handle_); }
  explicit operator bool() const noexcept { return valid(); }

  Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

  // Closing keeps the thread's last error, so code that gives up a handle because a call
  // failed can still report that call's error number afterwards.
  void reset(Handle handle = Traits::invalid()) noexcept {
    if (Traits::isValid(handle_)) {
      const DWORD lastError = GetLastError();
      Traits::close(handle_);
      SetLastError(lastError);
    }
    handle_ = handle;
  }

  // For APIs that return a handle through an out-parameter.
  Handle* receive() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::invalid();
};

// Kernel objects: files, processes, threads, events, mappings, pipes. Both null and
// INVALID_HANDLE_VALUE mean "no handle", since CreateFileW and CreateEventW disagree.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return nullptr; }
  static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Handle h) noexcept { CloseHandle(h); }
};
using ScopedHandle = UniqueHandle<KernelHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool isValid(Handle h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(Handle h) noexcept { FindClose(h); }
};
using ScopedFindHandle = UniqueHandle<FindHandleTraits>;

// Most handle kinds: null means "no handle", and one call closes.
template <typename H, auto Close>
struct NullInvalidTraits {
  using Handle = H;
  static Handle invalid() noexcept { return nullptr; }
  static bool isValid(Handle h) noexcept { return h != nullptr; }
  static void close(Handle h) noexcept { Close(h); }
};

inline void closeBcryptAlgorithm(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
inline void releaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }

using ScopedMappedView = UniqueHandle<NullInvalidTraits<void*, &UnmapViewOfFile>>;
using ScopedLocalMemory = UniqueHandle<NullInvalidTraits<HLOCAL, &LocalFree>>;
using ScopedModule = UniqueHandle<NullInvalidTraits<HMODULE, &FreeLibrary>>;
using ScopedBcryptAlgorithm = UniqueHandle<NullInvalidTraits<BCRYPT_ALG_HANDLE, &closeBcryptAlgorithm>>;
using ScopedBcryptHash = UniqueHandle<NullInvalidTraits<BCRYPT_HASH_HANDLE, &BCryptDestroyHash>>;
using ScopedBcryptKey = UniqueHandle<NullInvalidTraits<BCRYPT_KEY_HANDLE, &BCryptDestroyKey>>;
using ScopedInternetHandle = UniqueHandle<NullInvalidTraits<HINTERNET, &WinHttpCloseHandle>>;
using ScopedCoTaskMemory = UniqueHandle<NullInvalidTraits<void*, &CoTaskMemFree>>;
using ScopedRegistryKey = UniqueHandle<NullInvalidTraits<HKEY, &RegCloseKey>>;
using ScopedScreenDc = UniqueHandle<NullInvalidTraits<HDC, &releaseScreenDc>>;  // GetDC(nullptr)
// A window destroyed with its owner; only from the thread that created it.
using ScopedWindow = UniqueHandle<NullInvalidTraits<HWND, &DestroyWindow>>;

// GDI objects (fonts, pens, bitmaps) and memory device contexts. An object must be selected
// out of every device context before its owner deletes it.
template <typename H>
using ScopedGdiObject = UniqueHandle<NullInvalidTraits<H, &DeleteObject>>;
using ScopedMemoryDc = UniqueHandle<NullInvalidTraits<HDC, &DeleteDC>>;

struct SocketTraits {
  using Handle = SOCKET;
  static Handle invalid() noexcept { return INVALID_SOCKET; }
  static bool isValid(Handle h) noexcept { return h != INVALID_SOCKET; }
  static void close(Handle h) noexcept { closesocket(h); }
};
using ScopedSocket = UniqueHandle<SocketTraits>;

// Throws std::runtime_error(message + " (Windows error N)") with the given (or the
// thread's last) error number.
[[noreturn]] inline void throwWindowsError(std::string_view message, DWORD code = GetLastError()) {
  throw std::runtime_error(withWindowsError(message, code));
}

}  // namespace Corvanthorne
