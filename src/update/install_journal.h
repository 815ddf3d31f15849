#pragma once
// The undo journal of a game install: one line per file, "R <path>" (restore the backup)
// or "D <path>" (delete; the file did not exist before), each ending in LF, no header.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Corvanthorne::Update {

struct JournalEntry {
  bool restore = false;  // "R": restore from backup; otherwise "D": delete
  std::filesystem::path path;  // package-relative, "/" separators
};

std::string formatJournal(const std::vector<JournalEntry>& entries);

// Refuses, before anything is backed up or committed, an install whose journal of these
// changed and deleted files would be larger than recovery reads back (the metadata limit).
void refuseUnrecoverableJournal(const std::vector<std::filesystem::path>& changed,
                                const std::vector<std::filesystem::path>& deleted);

// Validates every line before anything is undone: "Invalid update recovery journal" for a
// malformed line, "Invalid update recovery path" for a path a game package may not hold.
std::vector<JournalEntry> parseJournal(std::string_view text);

}  // namespace Corvanthorne::Update
