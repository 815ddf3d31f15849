// Verified-state record format (binary, integers little-endian):
//
//   8 bytes   "CVSTATE1"
//   64 bytes  SHA-256 of the installed manifest's text, lowercase hexadecimal
//   u32       entry count
//   entries:  u64 size, u64 last-write time, u64 change time, u64 file index, u32 volume serial,
//             u64 last full hash time, 64 bytes SHA-256 (lowercase hexadecimal),
//             u16 path length, path (UTF-8, "/" separators, 1 to 4,096 bytes, no repeats)
//   u64       64-bit FNV-1a of every byte before it
//
// Nothing may follow the checksum. Every read goes through a bounds-checked peek, so a
// truncated or overlong record, a bad digit or a checksum mismatch rejects the whole record.
#include "update/verified_state.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"

namespace Corvanthorne::Update {
namespace {

constexpr std::string_view kMagic = "CVSTATE1";
constexpr std::size_t kMaxPathBytes = 4096;
constexpr std::uint64_t kGiB = 1ull << 30;

std::uint64_t fnv1aBytes(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

bool isLowerHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::optional<std::pair<std::string, VerifiedFile>> readEntry(ByteReader& in) {
  VerifiedFile file;
  file.facts.size = in.number<std::uint64_t>();
  file.facts.lastWriteTime = in.number<std::uint64_t>();
  file.facts.changeTime = in.number<std::uint64_t>();
  file.facts.fileIndex = in.number<std::uint64_t>();
  file.facts.volumeSerial = in.number<std::uint32_t>();
  file.lastFullHash = in.number<std::uint64_t>();
  const std::optional<std::string_view> sha = in.take(file.sha256.size());
  const auto pathLength = in.number<std::uint16_t>();
  const std::optional<std::string_view> path = in.take(pathLength);
  if (!sha || !path || !isLowerHex(*sha) || path->empty() || path->size() > kMaxPathBytes) return std::nullopt;
  std::memcpy(file.sha256.data(), sha->data(), sha->size());
  return std::make_pair(std::string(*path), file);
}

}  // namespace

void VerifiedState::remember(const std::string& path, const FileFacts& facts, std::string_view sha256,
                             std::uint64_t hashedAt) {
  VerifiedFile& file = files[path];
  file.facts = facts;
  file.lastFullHash = hashedAt;
  std::copy_n(sha256.begin(), std::min(sha256.size(), file.sha256.size()), file.sha256.begin());
}

std::string formatVerifiedState(const VerifiedState& state) {
  std::string out(kMagic);
  out += state.manifestSha256;
  appendLittleEndian(out, static_cast<std::uint32_t>(state.files.size()));
  for (const auto& [path, file] : state.files) {
    appendLittleEndian(out, file.facts.size);
    appendLittleEndian(out, file.facts.lastWriteTime);
    appendLittleEndian(out, file.facts.changeTime);
    appendLittleEndian(out, file.facts.fileIndex);
    appendLittleEndian(out, file.facts.volumeSerial);
    appendLittleEndian(out, file.lastFullHash);
    out += file.sha256Text();
    appendLittleEndian(out, static_cast<std::uint16_t>(path.size()));
    out += path;
  }
  appendLittleEndian(out, fnv1aBytes(out));
  return out;
}

std::optional<VerifiedState> parseVerifiedState(std::string_view bytes, std::string_view manifestSha256) {
  if (bytes.size() < sizeof(std::uint64_t)) return std::nullopt;
  const std::string_view body = bytes.substr(0, bytes.size() - sizeof(std::uint64_t));
  ByteReader trailer(bytes.substr(body.size()));
  if (trailer.number<std::uint64_t>() != fnv1aBytes(body)) return std::nullopt;
  ByteReader in(body);
  VerifiedState state;
  if (in.take(kMagic.size()) != kMagic) return std::nullopt;
  const std::optional<std::string_view> manifest = in.take(64);
  if (!manifest || *manifest != manifestSha256) return std::nullopt;
  state.manifestSha256 = std::string(*manifest);
  const auto count = in.number<std::uint32_t>();
  if (!in.ok() || count > body.size()) return std::nullopt;  // every entry takes many bytes
  state.files.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::optional<std::pair<std::string, VerifiedFile>> entry = readEntry(in);
    if (!entry || !state.files.insert(std::move(*entry)).second) return std::nullopt;
  }
  if (!in.atEnd()) return std::nullopt;
  return state;
}

std::vector<std::string> oldestHashedFirst(const VerifiedState& state, std::uint64_t budget) {
  std::vector<const std::pair<const std::string, VerifiedFile>*> order;
  order.reserve(state.files.size());
  for (const auto& entry : state.files) order.push_back(&entry);
  std::sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
    return a->second.lastFullHash != b->second.lastFullHash ? a->second.lastFullHash < b->second.lastFullHash
                                                            : a->first < b->first;
  });
  std::vector<std::string> chosen;
  std::uint64_t planned = 0;
  for (const auto* entry : order) {
    if (!chosen.empty() && planned >= budget) break;
    chosen.push_back(entry->first);
    planned += entry->second.facts.size;
  }
  return chosen;
}

std::uint64_t rollingCheckBudget(std::uint64_t gameBytes) { return std::max(kGiB, gameBytes / 50); }

}  // namespace Corvanthorne::Update
