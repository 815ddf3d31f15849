#include "startup/loading_progress.h"

#include <algorithm>
#include <cstdio>

namespace Corvanthorne::Startup {

std::string statisticsLine(const LoadingStatistics& statistics) {
  char line[160];
  std::snprintf(line, sizeof line, "Presentation frames=%llu, seconds=%f, UI thread CPU seconds=%f",
                static_cast<unsigned long long>(statistics.presentationFrames), statistics.seconds,
                statistics.cpuSeconds);
  return line;
}

double progressFraction(const LoadingProgressBlock& block) {
  if (block.stepsPublished.load() == 0) return 0.0;
  const std::int32_t total = block.totalSteps.load();
  if (total < 1) return 0.0;
  const std::int32_t completed = block.completedSteps.load();
  return std::clamp(static_cast<double>(completed) / static_cast<double>(total), 0.0, 1.0);
}

std::wstring loadingCaption(std::int32_t instanceNumber) {
  if (instanceNumber < 1) return L"LOADING";
  return L"LOADING INSTANCE " + std::to_wstring(instanceNumber);
}

bool readFileText(const LoadingProgressBlock& block, std::wstring& text) {
  const std::uint32_t before = block.fileSequence.load();
  if (before % 2 != 0) return false;  // the client is rewriting it
  std::array<wchar_t, kFileTextCells> units;
  size_t length = 0;
  for (; length < kFileTextCells; ++length) {
    const std::uint32_t cell = block.fileText[length].load();
    if (cell == 0) break;
    units[length] = static_cast<wchar_t>(cell & 0xFFFF);
  }
  // A sequence that moved meanwhile means a torn read: show the old text one frame longer.
  if (block.fileSequence.load() != before) return false;
  const std::wstring_view collected(units.data(), length);
  if (collected == text) return false;
  text.assign(collected);
  return true;
}

void writeFileText(LoadingProgressBlock& block, std::wstring_view text) {
  block.fileSequence.fetch_add(1);
  const size_t length = std::min(text.size(), kFileTextCells);
  for (size_t i = 0; i < length; ++i) block.fileText[i].exchange(static_cast<std::uint16_t>(text[i]));
  if (length < kFileTextCells) block.fileText[length].exchange(0);
  block.fileSequence.fetch_add(1);
}

}  // namespace Corvanthorne::Startup
