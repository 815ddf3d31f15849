#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

int runGhi(Arguments arguments, std::ostream& out);
int runGhiReplay(Arguments arguments, std::ostream& out);
int runJson(Arguments arguments, std::ostream& out);
int runManifestCommand(Arguments arguments, std::ostream& out);
int runPackageCommand(Arguments arguments, std::ostream& out);
int runSettings(Arguments arguments, std::ostream& out);
#ifdef _WIN32
int runSha256Command(Arguments arguments, std::ostream& out);
int runLockCommand(Arguments arguments, std::ostream& out);
int runInstallCommand(Arguments arguments, std::ostream& out);
int runRecoverCommand(Arguments arguments, std::ostream& out);
int runVerifyCommand(Arguments arguments, std::ostream& out);
int runServe(Arguments arguments, std::ostream& out);
int runLogin(Arguments arguments, std::ostream& out);
int runRegister(Arguments arguments, std::ostream& out);
int runReleaseCommand(Arguments arguments, std::ostream& out);
int runLoadingCommand(Arguments arguments, std::ostream& out);
#endif

// Each subcommand lives in a file of its own; this table is the only place that lists them.
std::span<const Command> commands() {
  static constexpr Command table[] = {
      Command{"ghi", "ghi check|tree|drawlist|accessible|render FILE ... (cvtool ghi for details)", runGhi},
      Command{"ghi replay", "ghi replay FILE [--size WxH] < SCRIPT", runGhiReplay},
      Command{"json", "json check|pretty FILE", runJson},
      Command{"manifest", "manifest check FILE KIND", runManifestCommand},
      Command{"package", "package resolve ROOT KIND", runPackageCommand},
      Command{"settings", "settings normalize FILE", runSettings},
#ifdef _WIN32
      Command{"sha256", "sha256 FILE...", runSha256Command},
      Command{"lock", "lock check GAME_FOLDER", runLockCommand},
      Command{"install", "install PACKAGE_ROOT GAME_FOLDER", runInstallCommand},
      Command{"recover", "recover GAME_FOLDER", runRecoverCommand},
      Command{"verify", "verify [--full] GAME_FOLDER", runVerifyCommand},
      Command{"serve", "serve [--port N] [--address 127.X.Y.Z] [--accounts FILE] [--token-length N]", runServe},
      Command{"login", "login [--port N] USER PASSWORD", runLogin},
      Command{"register", "register [--port N] USER PASSWORD EMAIL", runRegister},
      // One line of help per action.
      Command{"release",
              "release keygen PRIVATE_KEY_FILE PUBLIC_KEY_FILE\n"
              "  cvtool release publish --key PRIVATE_KEY_FILE --content N --build N [--notes FILE]\n"
              "         [--remove PATH]... [--test-only] [--expires-in DAYS] [--public-key FILE] TREE SOURCE\n"
              "  cvtool release refresh --key PRIVATE_KEY_FILE --expires-in DAYS [--public-key FILE] SOURCE\n"
              "  cvtool release rotate --key CURRENT_PRIVATE_KEY_FILE --next-key NEXT_PUBLIC_KEY_FILE\n"
              "         [--public-key FILE] SOURCE\n"
              "  cvtool release verify [--public-key FILE] SOURCE\n"
              "  cvtool release fetch [--public-key FILE] [--install] SOURCE GAME_FOLDER",
              runReleaseCommand},
      Command{"loading",
              "loading [--seconds S] [--size WxH] [--fullscreen] [--steps N] [--file TEXT] [--instance N] [--image PNG]",
              runLoadingCommand},
#endif
  };
  return table;
}

}  // namespace Corvanthorne::Tools
