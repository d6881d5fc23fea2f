// morvane digest: MD5, SHA-1, RIPEMD-160 and RIPEMD-128 of files, printed as md5sum and sha1sum
// print them, and the check of such lists.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "Commands.h"
#include "Interrupt.h"
#include "Program.h"
#include "ProgramIO.h"
#include "Progress.h"
#include "morvane/cipher/VRXCipher.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

namespace morvane::cli {

namespace {

constexpr const char* kUsage =
    "usage: morvane digest --algorithm NAME [options] [FILE...]\n"
    "       morvane digest --algorithm NAME --check LIST\n"
    "\n"
    "Prints the digest of each FILE (standard input when FILE is '-' or missing) as a line\n"
    "of lower-case hexadecimal digits, two blanks and the name, as md5sum and sha1sum do.\n"
    "\n"
    "options:\n"
    "  -a, --algorithm NAME  md5, sha1, ripemd160 or ripemd128\n"
    "  --raw                 write the raw digest bytes instead of lines\n"
    "  -f, --force           write --raw to a terminal too (refused otherwise)\n"
    "  -c, --check LIST      read such lines from LIST ('-': standard input; lines may end\n"
    "                        in CR LF), digest each named file and print 'NAME: OK' or\n"
    "                        'NAME: FAILED'; the exit status is 1 when any failed\n"
    "  --progress            show a progress bar on standard error\n"
    "  --no-progress         never show one (default: when standard error is a terminal\n"
    "                        and the input is large)\n";

constexpr int32_t kDigestBlock = 64;

std::unique_ptr<TCustomVRXHash> MakeHash(const std::string& Name) {
  if (Name == "md5") return std::make_unique<TVRXMD5>();
  if (Name == "sha1") return std::make_unique<TVRXSHA>();
  if (Name == "ripemd160") return std::make_unique<TVRXRIPEMD160>();
  return std::make_unique<TVRXRIPEMD128>();
}

size_t DigestBytes(const std::string& Name) {
  return Name == "md5" || Name == "ripemd128" ? 16 : 20;
}

// The raw digest of one input, fed to the component piece by piece as it is read: any size,
// from a pipe as from a file, in bounded memory.
std::string DigestOf(TCustomVRXHash& Hash, const std::string& Name, TProgressChoice Choice) {
  TInput in(Name);
  in.Open();
  TProgress progress(Choice, in.IsStandardInput() ? "standard input" : in.Name(), in.KnownSize(),
                     int64_t{BlocksPerChunk(kDigestBlock)} * kDigestBlock);
  Hash.SetBufferSize(BlocksPerChunk(kDigestBlock));
  Hash.SetOnProgress(progress.Handler());
  TVRXDigester digest(Hash);
  in.ForEachPiece([&](std::string_view Piece) { digest.Update(Piece); });
  std::string raw = digest.Finish();
  progress.Done();
  return raw;
}

// A name as md5sum writes it: a name holding a backslash, a line feed or a carriage return is
// escaped, and its line then starts with a backslash.
bool NeedsEscape(const std::string& Name) {
  return Name.find_first_of("\\\n\r") != std::string::npos;
}

std::string Escape(const std::string& Name) {
  std::string out;
  for (char c : Name) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// Undoes Escape; false for a lone or unknown escape.
bool Unescape(std::string_view Text, std::string& Name) {
  Name.clear();
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\\') {
      Name += Text[i];
      continue;
    }
    if (++i == Text.size()) return false;
    if (Text[i] == '\\')
      Name += '\\';
    else if (Text[i] == 'n')
      Name += '\n';
    else if (Text[i] == 'r')
      Name += '\r';
    else
      return false;
  }
  return true;
}

std::string Line(const std::string& Hex, const std::string& Name) {
  std::string line(NeedsEscape(Name) ? "\\" : "");
  line += Hex;
  line += "  ";
  line += NeedsEscape(Name) ? Escape(Name) : Name;
  line += '\n';
  return line;
}

// Reports a failure of one file and carries on with the next, as md5sum does.
void ReportFailure(const std::exception& e) {
  if (const auto* a = dynamic_cast<const EAssertionFailed*>(&e)) {
    PrintError(a->AssertMessage());
  } else {
    PrintError(e.what());
  }
}

// One line of a check list: the expected digest (lower case) and the name.
bool ParseCheckLine(std::string Line, size_t Bytes, std::string& Hex, std::string& Name) {
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  bool escaped = false;
  if (!Line.empty() && Line[0] == '\\') {
    escaped = true;
    Line.erase(0, 1);
  }
  const size_t digits = 2 * Bytes;
  // Digits, a blank, then a blank (text mode) or '*' (binary mode), then a name.
  if (Line.size() < digits + 3 || Line[digits] != ' ' ||
      (Line[digits + 1] != ' ' && Line[digits + 1] != '*'))
    return false;
  Hex = Line.substr(0, digits);
  for (auto& c : Hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const std::string_view rest = std::string_view(Line).substr(digits + 2);
  if (escaped) return Unescape(rest, Name);
  Name.assign(rest);
  return true;
}

int Check(TCustomVRXHash& Hash, const std::string& Algorithm, const std::string& List,
          TProgressChoice Choice) {
  // A list is text of a few lines a file; 64 MiB of it is far beyond any real one.
  TInput listInput(List);
  const std::string text = listInput.ReadAll(int64_t{64} << 20);
  int failed = 0, unreadable = 0, malformed = 0, good = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t lf = text.find('\n', at);
    std::string line = text.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
    at = lf == std::string::npos ? text.size() : lf + 1;
    std::string hex, name;
    if (!ParseCheckLine(line, DigestBytes(Algorithm), hex, name)) {
      if (!line.empty() && line != "\r") ++malformed;
      continue;
    }
    ++good;
    // The name as md5sum shows it, and nothing a terminal would act upon.
    std::string shown(NeedsEscape(name) ? "\\" : "");
    shown += NeedsEscape(name) ? Escape(name) : name;
    shown = Printable(shown);
    try {
      const bool ok = ToHexLower(DigestOf(Hash, name, Choice)) == hex;
      if (!ok) ++failed;
      WriteStdout(shown + (ok ? ": OK\n" : ": FAILED\n"));
    } catch (const EOutputError&) {
      throw;
    } catch (const Exception& e) {
      if (CancelRequested()) throw;
      ReportFailure(e);
      ++unreadable;
      WriteStdout(shown + ": FAILED open or read\n");
    }
  }
  const std::string listName = List == "-" ? "standard input" : List;
  if (good == 0)
    throw EInOutError(listName + ": no properly formatted " + Algorithm + " checksum lines found");
  if (malformed > 0)
    PrintError("WARNING: " + std::to_string(malformed) + " line" +
               (malformed > 1 ? "s are" : " is") + " improperly formatted");
  if (unreadable > 0)
    PrintError("WARNING: " + std::to_string(unreadable) + " listed file" +
               (unreadable > 1 ? "s" : "") + " could not be read");
  if (failed > 0)
    PrintError("WARNING: " + std::to_string(failed) + " computed checksum" +
               (failed > 1 ? "s" : "") + " did NOT match");
  return failed + unreadable > 0 ? kExitFailed : kExitOk;
}

int Digest(const TCommandLine& Args) {
  if (!Args.Has("algorithm"))
    throw EUsageError("choose a digest with --algorithm md5|sha1|ripemd160|ripemd128");
  const std::string algorithm = ParseChoice(*Args.Value("algorithm"), "--algorithm",
                                            {"md5", "sha1", "ripemd160", "ripemd128"});
  const TProgressChoice choice = ProgressChoice(Args);
  auto hash = MakeHash(algorithm);
  if (auto list = Args.Value("check")) {
    if (Args.Has("raw")) throw EUsageError("--raw and --check cannot be used together");
    if (!Args.Operands().empty())
      throw EUsageError("with --check the files come from the list, not from operands");
    return Check(*hash, algorithm, *list, choice);
  }
  if (Args.Has("raw")) CheckBinaryOutput(::isatty(1) != 0, Args, "raw digests");
  std::vector<std::string> names = Args.Operands();
  if (names.empty()) names.push_back("-");
  bool anyFailed = false;
  for (const auto& name : names) {
    try {
      const std::string digest = DigestOf(*hash, name, choice);
      WriteStdout(Args.Has("raw") ? digest : Line(ToHexLower(digest), name));
    } catch (const EOutputError&) {
      throw;  // a write error on the output ends the run; an unreadable input only its line
    } catch (const Exception& e) {
      if (CancelRequested()) throw;
      ReportFailure(e);
      anyFailed = true;
    }
  }
  return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace

int RunDigestCommand(int argc, char** argv) {
  std::vector<TOptionSpec> optionList = {{"algorithm", 'a', true}, {"raw", 0, false},
                                         {"force", 'f', false},    {"check", 'c', true},
                                         {"progress", 0, false},   {"no-progress", 0, false}};
  return GuardedRun("digest", kUsage, argc, argv, std::move(optionList), Digest);
}

}  // namespace morvane::cli
