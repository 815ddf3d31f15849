#pragma once
// COM for the calling thread while a scope needs it.
#include <objbase.h>

namespace Corvanthorne {

// A single-threaded apartment for this thread; a thread already in another apartment keeps it.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

}  // namespace Corvanthorne
