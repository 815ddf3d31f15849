// libFuzzer target: the manifest parser must either accept or throw a standard exception,
// never crash, hang or read out of bounds, for any bytes and either kind. Run with
// ./build.sh fuzz; seeds are in tests/data/fuzz/manifest_fuzz.
// A crashing input belongs in the manifest tests as a regression case.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "update/package_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* kind : {"game", "launcher"}) {
    try {
      const auto manifest = Corvanthorne::Update::parsePackageManifestText(text, kind);
      if (manifest.text != text || manifest.files.empty()) __builtin_trap();
    } catch (const std::exception&) {
    }
  }
  return 0;
}
