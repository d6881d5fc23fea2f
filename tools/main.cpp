// morvane: the package at the shell.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: morvane <command> [options]\n"
    "\n"
    "Encrypt, hash, encode and generate data in the layouts of the Morvane components.\n"
    "\n"
    "options:\n"
    "  --help       show this text\n"
    "  --version    show the program's version\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string arg = argv[1];
  if (arg == "--help" || arg == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (arg == "--version") {
    std::printf("morvane %s\n", MORVANE_VERSION);
    return 0;
  }
  std::fprintf(stderr, "morvane: unknown command '%s'\n%s", arg.c_str(), kUsage);
  return 2;
}
