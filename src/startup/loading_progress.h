#pragma once
// The loading progress block: 2080 bytes of shared memory through which the launcher, the game
// client and the loading screen follow the client's start-up. Every field is a 32-bit cell
// that all parties touch only with single atomic 32-bit operations, since the block is mapped
// into another process; there is no lock.
//
// Layout (little-endian cells):
//   0 totalSteps (signed)      planned start-up steps; the launcher sets 12
//   4 completedSteps (signed)  steps done so far (launcher checkpoints, then the client)
//   8 stepsPublished           non-zero once the counters mean something
//  12 ready                    the client's window has taken over
//  16 closed                   the loading window was closed or failed
//  20 clientProcessId          may take the foreground at the end
//  24 instanceNumber (signed)  above 0: "LOADING INSTANCE n"
//  28 fileSequence             odd while the client rewrites fileText
//  32 fileText                 512 cells, one UTF-16 unit in each cell's low 16 bits, ended by a
//                              0 cell unless all 512 are used
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Corvanthorne::Startup {

inline constexpr size_t kFileTextCells = 512;
inline constexpr size_t kLoadingProgressBlockSize = 2080;
// The step total the launcher plans before the client starts.
inline constexpr std::int32_t kPlannedStartupSteps = 12;

struct LoadingProgressBlock {
  std::atomic<std::int32_t> totalSteps;
  std::atomic<std::int32_t> completedSteps;
  std::atomic<std::uint32_t> stepsPublished;
  std::atomic<std::uint32_t> ready;
  std::atomic<std::uint32_t> closed;
  std::atomic<std::uint32_t> clientProcessId;
  std::atomic<std::int32_t> instanceNumber;
  std::atomic<std::uint32_t> fileSequence;
  std::array<std::atomic<std::uint32_t>, kFileTextCells> fileText;
};

static_assert(std::atomic<std::int32_t>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<std::uint32_t>) == 4 && sizeof(std::atomic<std::int32_t>) == 4);
static_assert(sizeof(LoadingProgressBlock) == kLoadingProgressBlockSize);
static_assert(offsetof(LoadingProgressBlock, totalSteps) == 0);
static_assert(offsetof(LoadingProgressBlock, completedSteps) == 4);
static_assert(offsetof(LoadingProgressBlock, stepsPublished) == 8);
static_assert(offsetof(LoadingProgressBlock, ready) == 12);
static_assert(offsetof(LoadingProgressBlock, closed) == 16);
static_assert(offsetof(LoadingProgressBlock, clientProcessId) == 20);
static_assert(offsetof(LoadingProgressBlock, instanceNumber) == 24);
static_assert(offsetof(LoadingProgressBlock, fileSequence) == 28);
static_assert(offsetof(LoadingProgressBlock, fileText) == 32);

// What one loading window did, measured by its thread.
struct LoadingStatistics {
  std::uint64_t presentationFrames = 0;
  double seconds = 0.0;
  double cpuSeconds = 0.0;  // the loading thread's user + kernel time
};

// "Presentation frames=N, seconds=S, UI thread CPU seconds=C" (seconds as printf "%f").
std::string statisticsLine(const LoadingStatistics& statistics);

// completed / total clamped to 0..1; 0 until the client publishes its counters, and for a
// total below 1.
double progressFraction(const LoadingProgressBlock& block);

// "LOADING", or "LOADING INSTANCE n" for an instance number above 0.
std::wstring loadingCaption(std::int32_t instanceNumber);

// Replaces `text` with the block's file text when the client is not rewriting it (the
// sequence is even and unchanged across the read); otherwise `text` keeps the previous value.
// Returns whether `text` changed. Allocates only when the text grows beyond its capacity.
bool readFileText(const LoadingProgressBlock& block, std::wstring& text);

// The client's side of the sequence protocol: odd sequence, cells, even sequence. Text beyond
// 512 code units is cut.
void writeFileText(LoadingProgressBlock& block, std::wstring_view text);

}  // namespace Corvanthorne::Startup
