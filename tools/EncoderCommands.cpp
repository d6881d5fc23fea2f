// morvane base64 / morvane uuencode: the text encoders over a file or standard input.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "Commands.h"
#include "Interrupt.h"
#include "Program.h"
#include "ProgramIO.h"
#include "Progress.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/encode/internal/VRXEncodeKernels.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "morvane/framework/Streams.h"

namespace morvane::cli {

namespace {

constexpr const char* kBase64Usage =
    "usage: morvane base64 [options] [FILE]\n"
    "\n"
    "Encodes FILE (standard input when FILE is '-' or missing) as Base64 text: the standard\n"
    "alphabet, '=' padding, no line breaks and no final line feed.\n"
    "\n"
    "options:\n"
    "  -d, --decode       decode Base64 text instead; carriage returns and line feeds are\n"
    "                     removed first, so text wrapped into lines decodes too\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one\n";

constexpr const char* kUUEncodeUsage =
    "usage: morvane uuencode [options] [FILE]\n"
    "\n"
    "Writes FILE (standard input when FILE is '-' or missing) as a uuencoded document: a\n"
    "begin line with mode and name, lines of 45 bytes, an end line, lines ending in CR LF.\n"
    "\n"
    "options:\n"
    "  --name NAME        the name on the begin line (default: FILE without its folders,\n"
    "                     '-' for standard input); the mode is 444 for a read-only FILE,\n"
    "                     644 otherwise\n"
    "  --zero-line        also write a zero-length line (a lone backquote) before the end\n"
    "                     line: uudecode programs of the traditional format need it, the\n"
    "                     components read the document either way\n"
    "  -d, --decode       decode a uuencoded document instead; the data goes to the output\n"
    "                     (never to the name on the begin line), and the name and mode read\n"
    "                     are reported on standard error; mode 444 makes the output read-only.\n"
    "                     Documents of other programs (lines ending in a line feed alone,\n"
    "                     one blank before the name, mail text around) are read too. Each\n"
    "                     line is checked as it arrives: a fault leaves an output file as it\n"
    "                     was; on standard output the bytes before it stay written\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one\n";

std::unique_ptr<TInput> OpenInput(const TCommandLine& Args, const std::string& Dest) {
  Args.MaxOperands(1);
  auto in = std::make_unique<TInput>(Args.Operands().empty() ? "-" : Args.Operands()[0]);
  if (in->SameFileAs(Dest))
    throw EFCreateError("The input and the output are the same file (" + in->DisplayName() + ")");
  return in;
}

// Runs an encoder fed in pieces over the whole input.
void Encode(TCustomVRXCipher& Encoder, TCipherLayout Layout, TInput& In, TOutput& Out,
            const std::function<void(std::string&)>& AfterFinish = nullptr) {
  TVRXEncryptor e(Encoder, Layout);
  Transform(
      In, Out, [&](std::string_view Piece, std::string& Text) { e.Update(Piece, Text); },
      [&](std::string& Text) {
        e.Finish(Text);
        if (AfterFinish) AfterFinish(Text);
      });
}

int Base64(const TCommandLine& Args) {
  const std::string dest = Args.ValueOr("output", "-");
  auto in = OpenInput(Args, dest);
  TVRXBase64 b64;
  TOutput out(dest, false);
  in->Open();
  const bool decoding = Args.Has("decode");
  const int32_t group = decoding ? 4 : 3;
  TProgress progress(ProgressChoice(Args), decoding ? "base64 -d" : "base64", in->KnownSize(),
                     int64_t{BlocksPerChunk(group)} * group);
  b64.SetBufferSize(BlocksPerChunk(group));
  b64.SetOnProgress(progress.Handler());
  if (!decoding) {
    Encode(b64, layoutStream, *in, out);
  } else {
    // Text wrapped into lines decodes too: the line breaks go before the decoder sees it.
    TVRXDecryptor d(b64, layoutStream);
    const auto& kernels = detail::ActiveEncodeKernels();
    std::string text;
    Transform(
        *in, out,
        [&](std::string_view Piece, std::string& Data) {
          text.resize(Piece.size());
          const size_t kept =
              kernels.RemoveLineBreaks(reinterpret_cast<const uint8_t*>(Piece.data()), Piece.size(),
                                       reinterpret_cast<uint8_t*>(text.data()));
          text.resize(kept);
          d.Update(text, Data);
        },
        [&](std::string& Data) { d.Finish(Data); });
  }
  progress.Done();
  out.Commit();
  return kExitOk;
}

std::string BaseName(const std::string& Path) {
  std::string p = Path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

// A begin line ends at its line feed: a name holding one, or a carriage return, would make a
// document that decodes to garbage.
void CheckBeginLineName(const std::string& Name, bool Given) {
  if (Name.find_first_of("\r\n") == std::string::npos) return;
  const std::string what =
      "the name \"" + Name + "\" holds a line break, which a begin line cannot carry";
  if (Given) throw EUsageError("--name: " + what);
  throw EUsageError(what + "; give the name to record with --name");
}

int UUEncode(const TCommandLine& Args) {
  const std::string dest = Args.ValueOr("output", "-");
  auto in = OpenInput(Args, dest);
  TVRXUUCode uu;
  if (!Args.Has("decode")) {
    const std::string name =
        Args.ValueOr("name", in->IsStandardInput() ? "-" : BaseName(in->Name()));
    CheckBeginLineName(name, Args.Has("name"));
    uu.SetFileName(name);
    // The mode tells whether the source was read-only; the component would look for a file
    // called like the recorded name in the current folder instead.
    const bool readOnly = !in->IsStandardInput() && FileGetAttr(in->Name()) == faReadOnly;
    uu.SetStatus(readOnly ? "444  " : "644  ");
    TOutput out(dest, false);
    in->Open();
    TProgress progress(ProgressChoice(Args), "uuencode", in->KnownSize(),
                       int64_t{BlocksPerChunk(45)} * 45);
    uu.SetBufferSize(BlocksPerChunk(45));
    uu.SetOnProgress(progress.Handler());
    Encode(uu, layoutFile, *in, out, [&](std::string& Text) {
      // The zero-length line goes in front of the end line the component wrote last.
      if (!Args.Has("zero-line")) return;
      if (!Text.ends_with("end\r\n"))
        throw EInOutError("the uuencoded document does not end with its end line");
      Text.insert(Text.size() - 5, "`\r\n");
    });
    progress.Done();
    out.Commit();
    return kExitOk;
  }
  if (Args.Has("name") || Args.Has("zero-line"))
    throw EUsageError("--name and --zero-line apply to encoding only");
  // Every form is read line by line as it arrives: each line is checked before its bytes are
  // written, and a fault found late leaves no output file (on standard output the bytes of
  // the lines before it are out already, and the run fails).
  TOutput out(dest, false);
  in->Open();
  TProgress progress(ProgressChoice(Args), "uudecode", in->KnownSize(),
                     int64_t{BlocksPerChunk(63)} * 63);
  uu.SetBufferSize(BlocksPerChunk(63));
  uu.SetOnProgress(progress.Handler());
  TVRXUUDocumentReader reader(uu);
  Transform(
      *in, out, [&](std::string_view Piece, std::string& Data) { reader.Update(Piece, Data); },
      [&](std::string& Data) { reader.Finish(Data); });
  // The output is made read-only as the component's file driver does with its file.
  if (uu.GetStatus().starts_with("444")) out.SetReadOnly();
  progress.Done();
  out.Commit();
  std::string status = uu.GetStatus();
  while (!status.empty() && status.back() == ' ') status.pop_back();
  // Name and mode come from the document: PrintError escapes what a terminal would act upon.
  // The data went to the output, never to the carried name; the report shows that name
  // escaped, and the safe name a file would get where it differs.
  if (uu.GetFileName().empty() && status.empty()) {
    PrintError("the begin line holds no name and no mode");
  } else {
    std::string report = "decoded \"" + uu.GetFileName() + "\", mode " + status;
    const std::string safe = uu.GetSafeFileName();
    if (safe != uu.GetFileName()) report += " (as a file name: \"" + safe + "\")";
    PrintError(report);
  }
  return kExitOk;
}

}  // namespace

int RunBase64Command(int argc, char** argv) {
  std::vector<TOptionSpec> optionList = RunOptions();
  optionList.push_back({"decode", 'd', false});
  return GuardedRun("base64", kBase64Usage, argc, argv, std::move(optionList), Base64);
}

int RunUUEncodeCommand(int argc, char** argv) {
  std::vector<TOptionSpec> optionList = RunOptions();
  optionList.push_back({"decode", 'd', false});
  optionList.push_back({"name", 0, true});
  optionList.push_back({"zero-line", 0, false});
  return GuardedRun("uuencode", kUUEncodeUsage, argc, argv, std::move(optionList), UUEncode);
}

}  // namespace morvane::cli
