// morvane: the package at the shell. Each subcommand lives in its own file; this one only
// dispatches.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "Commands.h"
#include "ComponentsCommand.h"
#include "Interrupt.h"
#include "Program.h"
#include "ProgramIO.h"

namespace {

using morvane::cli::kExitOk;
using morvane::cli::kExitUsage;

struct TCommand {
  const char* Name;
  const char* Summary;
  int (*Run)(int argc, char** argv);
};

constexpr TCommand kCommands[] = {
    {"encrypt", "encrypt a file or standard input with Blowfish, DES or Twofish",
     morvane::cli::RunEncryptCommand},
    {"decrypt", "decrypt what encrypt wrote", morvane::cli::RunDecryptCommand},
    {"digest", "print or check MD5, SHA-1, RIPEMD-160 or RIPEMD-128 digests",
     morvane::cli::RunDigestCommand},
    {"base64", "encode to or decode from Base64", morvane::cli::RunBase64Command},
    {"uuencode", "write or read a uuencoded document", morvane::cli::RunUUEncodeCommand},
    {"random", "draw words from the ISAAC or MT19937B generator", morvane::cli::RunRandomCommand},
    {"speed", "measure the components on this machine", morvane::cli::RunSpeedCommand},
    {"components", "list the palette page, its classes and their bitmaps",
     morvane::cli::RunComponentsCommand},
};

std::string UsageText() {
  std::string text =
      "usage: morvane <command> [options] [arguments]\n"
      "\n"
      "Encrypt, hash, encode and generate data in the layouts of the Morvane components.\n"
      "\n"
      "commands:\n";
  for (const auto& c : kCommands) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-11s %s\n", c.Name, c.Summary);
    text += line;
  }
  text +=
      "\n"
      "options:\n"
      "  -h, --help   show this text ('morvane <command> --help' for a command)\n"
      "  --version    show the program's version\n"
      "\n"
      "Exit status: 0 on success, 1 when an operation failed, 2 for a usage error,\n"
      "130 when interrupted (Ctrl-C), 141 when the reader of the output went away.\n";
  return text;
}

// Text for standard output, with the failure of the write reported like any other.
int Print(const std::string& Text) {
  try {
    morvane::cli::WriteStdout(Text);
    return kExitOk;
  } catch (const morvane::cli::EOutputError& e) {
    if (e.ErrorCode() == EPIPE) return 128 + SIGPIPE;
    morvane::cli::PrintError(e.Message());
    return morvane::cli::kExitFailed;
  }
}

const TCommand* FindCommand(std::string_view Name) {
  for (const auto& c : kCommands)
    if (Name == c.Name) return &c;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  morvane::cli::HoldClosedStandardDescriptors();
  morvane::cli::InstallSignalHandlers();
  if (argc < 2) {
    const std::string usage = UsageText();
    std::fwrite(usage.data(), 1, usage.size(), stderr);
    return kExitUsage;
  }
  const std::string_view arg = argv[1];
  if (arg == "--help" || arg == "-h" || arg == "help") {
    if (arg == "help" && argc > 2) {
      if (const TCommand* c = FindCommand(argv[2])) {
        char help[] = "--help";
        char* helpArgv[] = {help, nullptr};
        return c->Run(1, helpArgv);
      }
      morvane::cli::PrintError("unknown command '" + std::string(argv[2]) + "'");
      return kExitUsage;
    }
    return Print(UsageText());
  }
  if (arg == "--version") {
    return Print(std::string("morvane ") + MORVANE_VERSION + "\n");
  }
  if (const TCommand* c = FindCommand(arg)) return c->Run(argc - 2, argv + 2);
  morvane::cli::PrintError("unknown command '" + std::string(arg) + "'");
  std::fputs("Try 'morvane --help'.\n", stderr);
  return kExitUsage;
}
