#pragma once
#include <string>

namespace Corvanthorne {

// The last-resort error box: no owner, title "Qelmarin Launcher", OK with the error icon.
void showLauncherErrorBox(const std::wstring& message);

}  // namespace Corvanthorne
