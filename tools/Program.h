// What every subcommand shares: its entry point's error handling, the common options, and the
// hookup of a component run to the progress bar and the cancel request.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

namespace morvane {
class TCustomVRXCipher;
}

namespace morvane::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// "--help", and the options of every command that runs a component over an input.
TOptionSpec HelpOption();
std::vector<TOptionSpec> RunOptions();  // --output/-o, --progress, --no-progress

// Parses the command line against OptionList (plus --help), prints Usage for --help, runs Body, and
// turns what it throws into a message on standard error and an exit status: 2 for usage
// errors, 128 + the signal for a cancel, 1 for every other failure.
int GuardedRun(std::string_view Command, std::string_view Usage, int argc, char** argv,
               std::vector<TOptionSpec> OptionList,
               const std::function<int(const TCommandLine&)>& Body);

// Refuses binary output (What) to a terminal unless --force was given.
void CheckBinaryOutput(bool ToTerminal, const TCommandLine& Args, std::string_view What);

// Prints "morvane: <message>" on standard error, with every byte a terminal would act upon
// escaped.
void PrintError(std::string_view Message);

// Input bytes per chunk that the program gives the drivers: large enough to keep system calls
// rare, small enough to keep memory low.
inline constexpr int32_t kChunkBytes = 256 * 1024;
// BufferSize (in blocks) for a chunk of about kChunkBytes input bytes.
int32_t BlocksPerChunk(int32_t InputBlockBytes);

}  // namespace morvane::cli
