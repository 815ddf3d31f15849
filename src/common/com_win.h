#pragma once
// COM for the current thread for as long as the scope lives. A thread already in another
// apartment keeps it (the call fails with RPC_E_CHANGED_MODE and nothing is undone later).
#include <objbase.h>

namespace Corvanthorne {

class ComScope {
 public:
  explicit ComScope(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  HRESULT result() const { return result_; }
  bool initialised() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

}  // namespace Corvanthorne
