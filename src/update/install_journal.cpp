// Journal format: UTF-8, one entry per line, each ending in LF (no CR), no header.
//   R <path>    the file existed before the commit; its backup is backup/<path>
//   D <path>    the file did not exist before the commit
// Paths are package-relative with "/" separators and must pass the game path rule.
#include "update/install_journal.h"

#include <stdexcept>

#include "common/text.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {

namespace {

std::string journalPath(const std::filesystem::path& path) { return wideToUtf8(packagePathKey(path)); }

}  // namespace

std::string formatJournal(const std::vector<JournalEntry>& entries) {
  std::string text;
  for (const JournalEntry& entry : entries) {
    text += entry.restore ? "R " : "D ";
    text += journalPath(entry.path);
    text += '\n';
  }
  return text;
}

void refuseUnrecoverableJournal(const std::vector<std::filesystem::path>& changed,
                                const std::vector<std::filesystem::path>& deleted) {
  std::uint64_t size = 0;
  for (const auto* paths : {&changed, &deleted})
    for (const std::filesystem::path& path : *paths) size += nativeUtf8(path).size() + 3;  // "R ", path, LF
  if (size > maxPackageMetadataSize)
    throw std::runtime_error("This update changes too many files to install safely: its recovery journal would exceed 8 MiB");
}

std::vector<JournalEntry> parseJournal(std::string_view text) {
  std::vector<JournalEntry> entries;
  LineSplitter lines(text);
  std::string_view line;
  while (lines.next(line)) {
    if (line.size() < 3 || (line[0] != 'R' && line[0] != 'D') || line[1] != ' ')
      throw std::runtime_error("Invalid update recovery journal");
    const std::filesystem::path path = packagePathFromUtf8(line.substr(2));
    if (!isAllowedPackagePath(path, "game")) throw std::runtime_error("Invalid update recovery path");
    entries.push_back({line[0] == 'R', path});
  }
  return entries;
}

}  // namespace Corvanthorne::Update
