#include "launcher/launcher_main.h"

namespace Corvanthorne {

// The launcher window is not built yet; the stage finishes at once with success.
int runLauncherMain(void* /*moduleHandle*/, int /*showCommand*/) { return 0; }

}  // namespace Corvanthorne
