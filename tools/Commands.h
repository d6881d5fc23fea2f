// The subcommands of the morvane program; each takes the arguments after its name.
#pragma once

namespace morvane::cli {

int RunEncryptCommand(int argc, char** argv);
int RunDecryptCommand(int argc, char** argv);
int RunDigestCommand(int argc, char** argv);
int RunBase64Command(int argc, char** argv);
int RunUUEncodeCommand(int argc, char** argv);
int RunRandomCommand(int argc, char** argv);
int RunSpeedCommand(int argc, char** argv);

}  // namespace morvane::cli
