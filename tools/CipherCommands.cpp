// morvane encrypt / morvane decrypt: the block ciphers over a file or standard input, in the
// encrypted-file, encrypted-string or encrypted-stream layout.
#include <cstdio>
#include <memory>

#include "Commands.h"
#include "KeySource.h"
#include "Program.h"
#include "ProgramIO.h"
#include "Progress.h"
#include "morvane/cipher/VRXCipher.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Endian.h"
#include "morvane/framework/Guid.h"
#include "morvane/framework/SecureWipe.h"
#include "morvane/framework/Streams.h"

namespace morvane::cli {

namespace {

constexpr const char* kEncryptUsage =
    "usage: morvane encrypt [options] [FILE]\n"
    "\n"
    "Encrypts FILE (standard input when FILE is '-' or missing) to the output.\n"
    "\n"
    "options:\n"
    "  --cipher NAME      blowfish (default), des or twofish\n"
    "  --mode MODE        ecb, cbc (default), cfb, ofb or pcbc (DES: ecb, cbc, pcbc)\n"
    "  -k, --key TEXT     the key, its bytes as they are\n"
    "  --key-hex HEX      the key as hexadecimal digits\n"
    "  --key-file FILE    the key is the file's bytes, exactly (a final line feed counts);\n"
    "                     at most 4096 bytes are read, and a longer file is refused;\n"
    "                     '-' is standard input, when the data comes from a file\n"
    "                     without a key option the environment variable MORVANE_KEY is used\n"
    "  --iv IV            random (default: fresh bytes from the operating system), default\n"
    "                     (the cipher's built-in IV) or HEX (8 bytes; Twofish 16). The IV\n"
    "                     leads the output, so decrypt needs no IV\n"
    "  --rounds N         Twofish rounds, 2 to 16 (default 16); decrypt needs the same\n"
    "  --layout LAYOUT    file (default): IV, blocks, plaintext size (4 bytes, LSB first)\n"
    "                     string: plaintext size (4 bytes), IV, blocks; its size comes\n"
    "                     first, so the whole input is read into memory before any output\n"
    "                     stream: IV, blocks (the plaintext padded with zero bytes)\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  -f, --force        write ciphertext to a terminal too (refused otherwise)\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one (default: when standard error is a terminal\n"
    "                     and the input is large)\n";

constexpr const char* kDecryptUsage =
    "usage: morvane decrypt [options] [FILE]\n"
    "\n"
    "Decrypts FILE (standard input when FILE is '-' or missing), as written by\n"
    "'morvane encrypt' or the Morvane cipher components, to the output. The IV comes from\n"
    "the data. A wrong key gives wrong bytes, not an error: the layouts hold no check.\n"
    "Data whose layout is damaged (cut short, a size that disagrees with the blocks) is\n"
    "refused with exit status 1: an output file is then left as it was; on standard output,\n"
    "where the data streams as it is decrypted, what came before the damage showed stays\n"
    "written and the run ends with the error.\n"
    "\n"
    "options:\n"
    "  --cipher NAME      blowfish (default), des or twofish\n"
    "  --mode MODE        ecb, cbc (default), cfb, ofb or pcbc (DES: ecb, cbc, pcbc)\n"
    "  -k, --key TEXT     the key, its bytes as they are\n"
    "  --key-hex HEX      the key as hexadecimal digits\n"
    "  --key-file FILE    the key is the file's bytes, exactly (a final line feed counts);\n"
    "                     at most 4096 bytes are read, and a longer file is refused;\n"
    "                     '-' is standard input, when the data comes from a file\n"
    "                     without a key option the environment variable MORVANE_KEY is used\n"
    "  --rounds N         Twofish rounds, 2 to 16 (default 16)\n"
    "  --layout LAYOUT    file (default), string or stream, as given to encrypt; a stream\n"
    "                     decrypts to whole blocks, its zero padding included; a string\n"
    "                     is read whole into memory first\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one\n";

enum class TLayout : uint8_t { File, String, Stream };

// A cipher component chosen by name, with what the program needs to know of it.
struct TCipherSetup {
  std::unique_ptr<TCustomVRXCipher> Cipher;
  const char* Title = "";
  int32_t Block = 8;  // bytes of a block, and of the IV in the leading data
  // Sets the IV from the bytes that will lead the output: word i is bytes 4i..4i+3, least
  // significant first, as the start hooks write it.
  std::function<void(const uint8_t*)> SetIVBytes;
};

template <class T>
std::function<void(const uint8_t*)> IVSetter(T* Cipher, int32_t Words) {
  return [Cipher, Words](const uint8_t* Bytes) {
    for (int32_t i = 0; i < Words; ++i) Cipher->SetIV(i, LoadLE32(Bytes + 4 * i));
  };
}

TCipherSetup MakeCipher(const std::string& Name) {
  TCipherSetup s;
  if (Name == "blowfish") {
    auto c = std::make_unique<TVRXBlowFish>();
    s.SetIVBytes = IVSetter(c.get(), 2);
    s.Cipher = std::move(c);
    s.Title = "Blowfish";
  } else if (Name == "des") {
    auto c = std::make_unique<TVRXDES>();
    s.SetIVBytes = IVSetter(c.get(), 2);
    s.Cipher = std::move(c);
    s.Title = "DES";
  } else {
    auto c = std::make_unique<TVRXTwoFish>();
    s.SetIVBytes = IVSetter(c.get(), 4);
    s.Cipher = std::move(c);
    s.Title = "Twofish";
    s.Block = 16;
  }
  return s;
}

TCipherMode ParseMode(const std::string& Text, const std::string& Cipher) {
  const std::string m = ParseChoice(Text, "--mode", {"ecb", "cbc", "cfb", "ofb", "pcbc"});
  if (Cipher == "des" && (m == "cfb" || m == "ofb"))
    throw EUsageError("--mode " + m +
                      ": Mode not supported in current version; DES offers ecb, cbc and pcbc");
  if (m == "ecb") return cipherECB;
  if (m == "cfb") return cipherCFB;
  if (m == "ofb") return cipherOFB;
  if (m == "pcbc") return cipherPCBC;
  return cipherCBC;
}

TLayout ParseLayout(const std::string& Text) {
  const std::string l = ParseChoice(Text, "--layout", {"file", "string", "stream"});
  if (l == "string") return TLayout::String;
  if (l == "stream") return TLayout::Stream;
  return TLayout::File;
}

std::vector<TOptionSpec> CipherOptions(bool Encrypting) {
  std::vector<TOptionSpec> optionList = RunOptions();
  for (auto& k : KeyOptions()) optionList.push_back(k);
  optionList.push_back({"cipher", 'c', true});
  optionList.push_back({"mode", 'm', true});
  optionList.push_back({"rounds", 0, true});
  optionList.push_back({"layout", 0, true});
  if (Encrypting) {
    optionList.push_back({"iv", 0, true});
    optionList.push_back({"force", 'f', false});
  }
  return optionList;
}

// Holds key or plaintext bytes and wipes them on every exit.
struct TWipedString {
  std::string Bytes;
  ~TWipedString() { SecureWipe(Bytes); }
};

// Everything both directions share: the cipher, its mode, rounds and key; the input and the
// output, checked against each other.
struct TCipherRun {
  TCipherSetup Setup;
  std::string CipherName;
  TLayout Layout = TLayout::File;
  std::unique_ptr<TInput> Input;
  std::unique_ptr<TOutput> Output;
  // Why the component may call the key weak, for the message.
  std::string WeakReason;
};

TCipherRun PrepareCipherRun(const TCommandLine& Args, bool Encrypting) {
  TCipherRun run;
  Args.MaxOperands(1);
  run.CipherName =
      ParseChoice(Args.ValueOr("cipher", "blowfish"), "--cipher", {"blowfish", "des", "twofish"});
  run.Setup = MakeCipher(run.CipherName);
  TCustomVRXCipher& c = *run.Setup.Cipher;
  c.SetMode(ParseMode(Args.ValueOr("mode", "cbc"), run.CipherName));
  if (auto rounds = Args.Value("rounds")) {
    if (run.CipherName != "twofish") throw EUsageError("--rounds applies to Twofish only");
    // Before the key: on a component without key this sets the count of every key size.
    dynamic_cast<TVRXTwoFish&>(c).SetNumRounds(
        static_cast<int32_t>(ParseCount(*rounds, "--rounds", 2, 16)));
  }
  run.Layout = ParseLayout(Args.ValueOr("layout", "file"));
  run.Input = std::make_unique<TInput>(Args.Operands().empty() ? "-" : Args.Operands()[0]);
  // A key read from where the data comes from would take the data's bytes: from standard
  // input, all of them, leaving nothing to encrypt.
  if (auto keyFile = Args.Value("key-file"); keyFile && run.Input->SameSourceAs(TInput(*keyFile))) {
    throw EUsageError("--key-file: \"" + *keyFile + "\" is where the data comes from (" +
                      run.Input->DisplayName() +
                      "); give the key with --key, --key-hex, MORVANE_KEY or another file");
  }
  {
    TWipedString key{ReadKey(Args)};
    const bool blank =
        key.Bytes.find_first_not_of(std::string_view("\0\t \x7f", 4)) == std::string::npos;
    run.WeakReason = blank ? "the key is white space only (bytes 0, 9, 32 and 127)"
                           : "the key is one of the 16 published weak and semi-weak DES keys";
    c.SetKey(key.Bytes);
  }
  const std::string dest = Args.ValueOr("output", "-");
  if (run.Input->SameFileAs(dest))
    throw EFCreateError("The input and the output are the same file (" + run.Input->DisplayName() +
                        ")");
  run.Output = std::make_unique<TOutput>(dest, false);
  if (Encrypting) CheckBinaryOutput(run.Output->IsTerminal(), Args, "ciphertext");
  return run;
}

// The one place where a direction meets a layout. The stream and file layouts are fed in
// pieces as the input is read; the string layout records its length first, so it needs the
// whole input in memory.
void RunLayout(TCipherRun& Run, bool Encrypting, TProgressChoice Choice) {
  TCustomVRXCipher& c = *Run.Setup.Cipher;
  TInput& in = *Run.Input;
  TOutput& out = *Run.Output;
  const int64_t block = Run.Setup.Block;
  TWipedString whole;
  int64_t size = -1;
  if (Run.Layout == TLayout::String) {
    whole.Bytes = in.ReadAll();
    size = static_cast<int64_t>(whole.Bytes.size());
  } else {
    in.Open();
    size = in.KnownSize();
  }
  // An encrypted file or string records the size in signed 32 bits, and its encrypted form
  // must stay decryptable: refused before anything is written where the size is known (from a
  // pipe the encryptor stops where the limit is passed).
  if (Encrypting && Run.Layout != TLayout::Stream && size >= 0) {
    const int64_t encrypted = block + std::max<int64_t>(1, (size + block - 1) / block) * block;
    if (encrypted > kLayoutLimit)
      throw ERangeError(in.DisplayName() + " holds " + std::to_string(size) +
                        " bytes; encrypted with " + Run.Setup.Title + " they would make " +
                        std::to_string(encrypted) +
                        " bytes, more than the signed 32-bit sizes of the layouts allow, so they "
                        "could never be decrypted");
  }
  TProgress progress(Choice, Encrypting ? "encrypt" : "decrypt", size,
                     int64_t{BlocksPerChunk(Run.Setup.Block)} * block);
  c.SetBufferSize(BlocksPerChunk(Run.Setup.Block));
  c.SetOnProgress(progress.Handler());
  try {
    if (Run.Layout == TLayout::String) {
      TWipedString result{Encrypting ? c.EncryptString(whole.Bytes) : c.DecryptString(whole.Bytes)};
      out.Write(result.Bytes);
    } else {
      const TCipherLayout layout = Run.Layout == TLayout::File ? layoutFile : layoutStream;
      if (Encrypting) {
        TVRXEncryptor e(c, layout);
        Transform(
            in, out, [&](std::string_view Piece, std::string& Out) { e.Update(Piece, Out); },
            [&](std::string& Out) { e.Finish(Out); });
      } else {
        TVRXDecryptor d(c, layout);
        Transform(
            in, out, [&](std::string_view Piece, std::string& Out) { d.Update(Piece, Out); },
            [&](std::string& Out) { d.Finish(Out); });
      }
    }
  } catch (const EVRXWeakCipherKey& e) {
    throw EVRXWeakCipherKey(e.Message() + ": " + Run.WeakReason);
  }
  progress.Done();
  out.Commit();
}

int Encrypt(const TCommandLine& Args) {
  TCipherRun run = PrepareCipherRun(Args, true);
  const std::string iv = Args.ValueOr("iv", "random");
  if (iv == "random") {
    uint8_t bytes[16];
    SystemRandomBytes(bytes, static_cast<size_t>(run.Setup.Block));
    run.Setup.SetIVBytes(bytes);
    SecureWipe(bytes, sizeof bytes);
  } else if (iv != "default") {
    const std::string bytes = ParseHex(iv, "--iv");
    if (bytes.size() != static_cast<size_t>(run.Setup.Block))
      throw EUsageError("--iv: " + std::string(run.Setup.Title) + " takes an IV of " +
                        std::to_string(run.Setup.Block) + " bytes (" +
                        std::to_string(2 * run.Setup.Block) + " hexadecimal digits), not " +
                        std::to_string(bytes.size()));
    run.Setup.SetIVBytes(reinterpret_cast<const uint8_t*>(bytes.data()));
  }
  RunLayout(run, true, ProgressChoice(Args));
  return kExitOk;
}

int Decrypt(const TCommandLine& Args) {
  TCipherRun run = PrepareCipherRun(Args, false);
  RunLayout(run, false, ProgressChoice(Args));
  return kExitOk;
}

}  // namespace

int RunEncryptCommand(int argc, char** argv) {
  return GuardedRun("encrypt", kEncryptUsage, argc, argv, CipherOptions(true), Encrypt);
}

int RunDecryptCommand(int argc, char** argv) {
  return GuardedRun("decrypt", kDecryptUsage, argc, argv, CipherOptions(false), Decrypt);
}

}  // namespace morvane::cli
