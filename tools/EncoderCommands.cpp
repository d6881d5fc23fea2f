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
    "                     Documents whose lines end in a line feed alone (as other programs\n"
    "                     write them) are read too\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one\n";

// A read-only view of a file without its carriage returns and line feeds, so that the Base64
// decoder sees one unbroken text. Reads are filled whole unless the file ends.
class TLineBreakFilter : public TStream {
 public:
  explicit TLineBreakFilter(const std::string& FileName) : FSource(FileName, fmOpenReadShared) {}

  int32_t Read(void* Buffer, int32_t Count) override {
    auto* out = static_cast<uint8_t*>(Buffer);
    int32_t done = 0;
    const auto& kernels = detail::ActiveEncodeKernels();
    while (done < Count) {
      if (FPos == FFill) {
        FFill = FSource.Read(FChunk, sizeof FChunk);
        FPos = 0;
        if (FFill == 0) break;
      }
      // Never more input than room: what is kept cannot pass the end of Buffer.
      const int32_t take = std::min(FFill - FPos, Count - done);
      done += static_cast<int32_t>(
          kernels.RemoveLineBreaks(FChunk + FPos, static_cast<size_t>(take), out + done));
      FPos += take;
    }
    FPosition += done;
    return done;
  }
  int32_t Write(const void*, int32_t) override {
    throw EWriteError("Stream write error: the stream is read-only");
  }
  int64_t Seek(int64_t Offset) override {
    if (Offset != FPosition) throw EReadError("Stream read error: the filtered text only reads on");
    return FPosition;
  }
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return -1; }

  // The bytes a whole pass delivers.
  static int64_t CountKept(const std::string& FileName) {
    TFileStream f(FileName, fmOpenReadShared);
    char chunk[65536];
    int64_t kept = 0;
    for (int32_t n; (n = f.Read(chunk, sizeof chunk)) > 0;) {
      kept += n;
      for (int32_t i = 0; i < n; ++i) kept -= chunk[i] == '\r' || chunk[i] == '\n';
    }
    return kept;
  }

 private:
  TFileStream FSource;
  uint8_t FChunk[65536];
  int32_t FPos = 0;
  int32_t FFill = 0;
  int64_t FPosition = 0;
};

std::unique_ptr<TInput> OpenInput(const TCommandLine& Args, const std::string& Dest) {
  Args.MaxOperands(1);
  auto in = std::make_unique<TInput>(Args.Operands().empty() ? "-" : Args.Operands()[0]);
  if (in->SameFileAs(Dest))
    throw EFCreateError("The input and the output are the same file (" + in->DisplayName() + ")");
  return in;
}

// Refuses, before anything is written, text that the decoder could not read back.
void CheckDecodable(const TInput& In, int64_t TextBytes, const char* What) {
  if (TextBytes > kLayoutLimit)
    throw ERangeError(In.DisplayName() + " holds " + std::to_string(In.Size()) + " bytes; " + What +
                      " they would make " + std::to_string(TextBytes) +
                      " bytes, more than the signed 32-bit sizes of the components allow, so "
                      "they could never be decoded again");
}

int Base64(const TCommandLine& Args) {
  const std::string dest = Args.ValueOr("output", "-");
  auto in = OpenInput(Args, dest);
  TVRXBase64 b64;
  if (!Args.Has("decode")) {
    in->Prepare();
    CheckDecodable(*in, (in->Size() + 2) / 3 * 4, "as Base64 text");
    TOutput out(dest, true);
    TProgress progress(ProgressChoice(Args), "base64", in->Size(), int64_t{BlocksPerChunk(3)} * 3);
    b64.SetBufferSize(BlocksPerChunk(3));
    b64.SetOnProgress(progress.Handler());
    out.RunDriver([&] { b64.EncryptFile(in->Path(), out.DriverPath()); });
    progress.Done();
    out.Commit();
    return kExitOk;
  }
  // The text may be longer than the layouts allow as long as it fits once unwrapped.
  in->Prepare(INT64_MAX);
  const int64_t text = TLineBreakFilter::CountKept(in->Path());
  if (text > kLayoutLimit) RefuseOversized(in->DisplayName() + " without its line breaks", text);
  TOutput out(dest, true);
  TProgress progress(ProgressChoice(Args), "base64 -d", text, int64_t{BlocksPerChunk(4)} * 4);
  b64.SetBufferSize(BlocksPerChunk(4));
  b64.SetOnProgress(progress.Handler());
  {
    TLineBreakFilter source(in->Path());
    b64.DecryptStream(source, out.Stream(), static_cast<int32_t>(text));
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

// Puts the zero-length line "`" in front of the end line the component wrote.
void AddZeroLengthLine(const std::string& Document) {
  static constexpr char kEnd[] = "end\r\n";
  static constexpr char kZeroAndEnd[] = "`\r\nend\r\n";
  TUntypedFile f;
  f.Reset(Document, true);
  const int64_t size = f.FileSize();
  char tail[5] = {};
  if (size >= 5) {
    f.Seek(size - 5);
    f.BlockRead(tail, 5);
  }
  if (size < 5 || std::string_view(tail, 5) != std::string_view(kEnd, 5))
    throw EInOutError("the uuencoded document does not end with its end line");
  f.Seek(size - 5);
  f.BlockWrite(kZeroAndEnd, 8);
  f.Close();
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
    in->Prepare();
    // Begin line, 63 bytes for each 45 of data (a short last line no more), the zero-length
    // line and the end line.
    CheckDecodable(*in, 16 + static_cast<int64_t>(name.size()) + (in->Size() + 44) / 45 * 63 + 8,
                   "as a uuencoded document");
    uu.SetFileName(name);
    // The mode tells whether the source was read-only; the component would look for a file
    // called like the recorded name in the current folder instead.
    const bool readOnly = !in->IsStandardInput() && FileGetAttr(in->Name()) == faReadOnly;
    uu.SetStatus(readOnly ? "444  " : "644  ");
    TOutput out(dest, true);
    TProgress progress(ProgressChoice(Args), "uuencode", in->Size(),
                       int64_t{BlocksPerChunk(45)} * 45);
    uu.SetBufferSize(BlocksPerChunk(45));
    uu.SetOnProgress(progress.Handler());
    out.RunDriver([&] {
      uu.EncryptFile(in->Path(), out.DriverPath());
      if (Args.Has("zero-line")) AddZeroLengthLine(out.DriverPath());
    });
    progress.Done();
    out.Commit();
    return kExitOk;
  }
  if (Args.Has("name") || Args.Has("zero-line"))
    throw EUsageError("--name and --zero-line apply to encoding only");
  // The component reads the documents of other programs too (line feeds alone, one blank
  // between mode and name, mail headers before the begin line).
  in->Prepare();
  TOutput out(dest, true);
  TProgress progress(ProgressChoice(Args), "uudecode", in->Size(),
                     int64_t{BlocksPerChunk(63)} * 63);
  uu.SetBufferSize(BlocksPerChunk(63));
  uu.SetOnProgress(progress.Handler());
  out.RunDriver([&] { uu.DecryptFile(in->Path(), out.DriverPath()); });
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
