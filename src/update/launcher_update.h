#pragma once
// Stages 1 and 2 of the launcher: the self-update helper mode and the update bootstrap.
#include <optional>
#include <string>
#include <vector>

namespace Corvanthorne::Update {

enum class HelperInvocation { NotHelper, WrongArgumentCount, Complete };

// Classifies the process arguments (program name first): the helper is recognised by
// "--apply-launcher-update" as the second argument and needs exactly four.
HelperInvocation classifyHelperArguments(const std::vector<std::wstring>& arguments);

// Stage 1. No value: not the helper. A value: this process's exit code.
std::optional<int> runLauncherUpdateHelper();

// Stage 2. False: the process must end now (exit code 0).
bool runUpdateBootstrap(void* moduleHandle);

}  // namespace Corvanthorne::Update
