#include "Program.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <new>

#include "Interrupt.h"
#include "ProgramIO.h"
#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Exceptions.h"

namespace morvane::cli {

TOptionSpec HelpOption() {
  return {"help", 'h', false};
}

std::vector<TOptionSpec> RunOptions() {
  return {{"output", 'o', true}, {"progress", 0, false}, {"no-progress", 0, false}};
}

void PrintError(std::string_view Message) {
  std::string line = "morvane: ";
  line += Printable(Message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void CheckBinaryOutput(bool ToTerminal, const TCommandLine& Args, std::string_view What) {
  if (!ToTerminal || Args.Has("force")) return;
  throw EUsageError("refusing to write " + std::string(What) +
                    " to a terminal; redirect the output, use -o FILE, or add --force");
}

int GuardedRun(std::string_view Command, std::string_view Usage, int argc, char** argv,
               std::vector<TOptionSpec> OptionList,
               const std::function<int(const TCommandLine&)>& Body) {
  OptionList.push_back(HelpOption());
  auto usageError = [&](std::string_view Message) {
    PrintError(Message);
    std::fprintf(stderr, "Try 'morvane %.*s --help'.\n", static_cast<int>(Command.size()),
                 Command.data());
    return kExitUsage;
  };
  auto cancelled = [&] {
    PrintError(CancelText());
    const int sig = CancelSignal();
    return sig != 0 ? 128 + sig : kExitFailed;
  };
  try {
    const TCommandLine args(argc, argv, OptionList);
    if (args.Has("help")) {
      WriteStdout(Usage);
      return kExitOk;
    }
    return Body(args);
  } catch (const EUsageError& e) {
    return usageError(e.what());
  } catch (const ECancelled&) {
    return cancelled();
  } catch (const EVRXEncryptCancel&) {
    return cancelled();
  } catch (const EVRXDecryptCancel&) {
    return cancelled();
  } catch (const EVRXDamagedData& e) {
    PrintError("damaged or not encrypted with this cipher's layout: " + e.Message());
    return CancelRequested() ? 128 + CancelSignal() : kExitFailed;
  } catch (const EVRXUnsupportedCipherMode& e) {
    // A mode the cipher does not offer is a wrong command line.
    return usageError(e.Message());
  } catch (const EOutputError& e) {
    // A reader that went away (a pager quit, "| head"): end quietly, as a program killed by
    // SIGPIPE would.
    if (e.ErrorCode() == EPIPE) return 128 + SIGPIPE;
    PrintError(e.Message());
  } catch (const EAssertionFailed& e) {
    PrintError(e.AssertMessage());
  } catch (const Exception& e) {
    PrintError(e.Message());
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
  } catch (const std::exception& e) {
    PrintError(e.what());
  }
  // A cancel that a component reported as some other failure is still a cancel.
  return CancelRequested() ? 128 + CancelSignal() : kExitFailed;
}

int32_t BlocksPerChunk(int32_t InputBlockBytes) {
  return std::max<int32_t>(1, kChunkBytes / std::max<int32_t>(1, InputBlockBytes));
}

}  // namespace morvane::cli
