#include "update/launcher_update.h"

namespace Corvanthorne::Update {

HelperInvocation classifyHelperArguments(const std::vector<std::wstring>& arguments) {
  if (arguments.size() < 2 || arguments[1] != L"--apply-launcher-update")
    return HelperInvocation::NotHelper;
  return arguments.size() == 4 ? HelperInvocation::Complete : HelperInvocation::WrongArgumentCount;
}

}  // namespace Corvanthorne::Update
