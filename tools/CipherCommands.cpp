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
    "  --key-file FILE    the key is the file's bytes, exactly (a final line feed counts)\n"
    "                     without a key option the environment variable MORVANE_KEY is used\n"
    "  --iv IV            random (default: fresh bytes from the operating system), default\n"
    "                     (the cipher's built-in IV) or HEX (8 bytes; Twofish 16). The IV\n"
    "                     leads the output, so decrypt needs no IV\n"
    "  --rounds N         Twofish rounds, 2 to 16 (default 16); decrypt needs the same\n"
    "  --layout LAYOUT    file (default): IV, blocks, plaintext size (4 bytes, LSB first)\n"
    "                     string: plaintext size (4 bytes), IV, blocks (held in memory)\n"
    "                     stream: IV, blocks (the plaintext padded with zero bytes)\n"
    "  -o, --output FILE  write there ('-' or missing: standard output); the file is\n"
    "                     replaced only when the run succeeded\n"
    "  --progress         show a progress bar on standard error\n"
    "  --no-progress      never show one (default: when standard error is a terminal\n"
    "                     and the input is large)\n";

constexpr const char* kDecryptUsage =
    "usage: morvane decrypt [options] [FILE]\n"
    "\n"
    "Decrypts FILE (standard input when FILE is '-' or missing), as written by\n"
    "'morvane encrypt' or the Morvane cipher components, to the output. The IV comes from\n"
    "the data. A wrong key gives wrong bytes, not an error: the layouts hold no check.\n"
    "\n"
    "options:\n"
    "  --cipher NAME      blowfish (default), des or twofish\n"
    "  --mode MODE        ecb, cbc (default), cfb, ofb or pcbc (DES: ecb, cbc, pcbc)\n"
    "  -k, --key TEXT     the key, its bytes as they are\n"
    "  --key-hex HEX      the key as hexadecimal digits\n"
    "  --key-file FILE    the key is the file's bytes, exactly (a final line feed counts)\n"
    "                     without a key option the environment variable MORVANE_KEY is used\n"
    "  --rounds N         Twofish rounds, 2 to 16 (default 16)\n"
    "  --layout LAYOUT    file (default), string or stream, as given to encrypt; a stream\n"
    "                     decrypts to whole blocks, its zero padding included\n"
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

TCipherMode ParseMode(const std::string& Text) {
  const std::string m = ParseChoice(Text, "--mode", {"ecb", "cbc", "cfb", "ofb", "pcbc"});
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
  if (Encrypting) optionList.push_back({"iv", 0, true});
  return optionList;
}

// Holds key bytes and wipes them on every exit.
struct TWipedString {
  std::string Bytes;
  ~TWipedString() { SecureWipe(Bytes); }
};

// Everything both directions share: the cipher, its mode, rounds and key; the input and the
// output, checked against each other.
struct TCipherRun {
  TCipherSetup Setup;
  TLayout Layout = TLayout::File;
  std::string Dest;
  std::unique_ptr<TInput> Input;
};

TCipherRun PrepareCipherRun(const TCommandLine& Args) {
  TCipherRun run;
  Args.MaxOperands(1);
  const std::string cipher =
      ParseChoice(Args.ValueOr("cipher", "blowfish"), "--cipher", {"blowfish", "des", "twofish"});
  run.Setup = MakeCipher(cipher);
  TCustomVRXCipher& c = *run.Setup.Cipher;
  c.SetMode(ParseMode(Args.ValueOr("mode", "cbc")));
  if (auto rounds = Args.Value("rounds")) {
    if (cipher != "twofish") throw EUsageError("--rounds applies to Twofish only");
    // Before the key: on a component without key this sets the count of every key size.
    static_cast<TVRXTwoFish&>(c).SetNumRounds(
        static_cast<int32_t>(ParseCount(*rounds, "--rounds", 2, 16)));
  }
  run.Layout = ParseLayout(Args.ValueOr("layout", "file"));
  {
    TWipedString key{ReadKey(Args)};
    c.SetKey(key.Bytes);
  }
  run.Dest = Args.ValueOr("output", "-");
  run.Input = std::make_unique<TInput>(Args.Operands().empty() ? "-" : Args.Operands()[0]);
  if (run.Input->SameFileAs(run.Dest))
    throw EFCreateError("The input and the output are the same file (" + run.Input->DisplayName() +
                        ")");
  return run;
}

// Writes bytes the string drivers returned to the temporary output file.
void WriteBytes(const std::string& Path, const std::string& Bytes) {
  TFileStream out(Path, fmCreate);
  size_t done = 0;
  while (done < Bytes.size()) {
    const auto n = static_cast<int32_t>(std::min<size_t>(Bytes.size() - done, 1 << 30));
    out.WriteBuffer(Bytes.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

int Encrypt(const TCommandLine& Args) {
  TCipherRun run = PrepareCipherRun(Args);
  TCustomVRXCipher& c = *run.Setup.Cipher;
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

  TInput& in = *run.Input;
  in.Prepare();
  // The encrypted data must stay decryptable: its size too is a signed 32-bit count.
  const int64_t block = run.Setup.Block;
  const int64_t encrypted = block + std::max<int64_t>(1, (in.Size() + block - 1) / block) * block;
  if (encrypted > kLayoutLimit)
    throw ERangeError(in.DisplayName() + " holds " + std::to_string(in.Size()) +
                      " bytes; encrypted with " + run.Setup.Title + " they would make " +
                      std::to_string(encrypted) +
                      " bytes, more than the signed 32-bit sizes of the layouts allow, so they "
                      "could never be decrypted");

  TSafeOutput out(run.Dest);
  TProgress progress(ProgressChoice(Args), "encrypt", in.Size(),
                     int64_t{BlocksPerChunk(run.Setup.Block)} * block);
  c.SetBufferSize(BlocksPerChunk(run.Setup.Block));
  c.SetOnProgress(progress.Handler());
  switch (run.Layout) {
    case TLayout::File:
      c.EncryptFile(in.Path(), out.Path());
      break;
    case TLayout::Stream: {
      TFileStream source(in.Path(), fmOpenReadShared);
      TFileStream dest(out.Path(), fmCreate);
      c.EncryptStream(source, dest, static_cast<int32_t>(in.Size()));
      break;
    }
    case TLayout::String: {
      TWipedString plain{in.ReadAll()};
      WriteBytes(out.Path(), c.EncryptString(plain.Bytes));
      break;
    }
  }
  progress.Done();
  out.Commit();
  return kExitOk;
}

int Decrypt(const TCommandLine& Args) {
  TCipherRun run = PrepareCipherRun(Args);
  TCustomVRXCipher& c = *run.Setup.Cipher;
  TInput& in = *run.Input;
  // An encrypted file carries 4 bytes of size trailer beyond the encrypted stream's limit.
  in.Prepare(run.Layout == TLayout::Stream ? kLayoutLimit : kLayoutLimit + 4);
  TSafeOutput out(run.Dest);
  const int64_t block = run.Setup.Block;
  TProgress progress(ProgressChoice(Args), "decrypt", in.Size(),
                     int64_t{BlocksPerChunk(run.Setup.Block)} * block);
  c.SetBufferSize(BlocksPerChunk(run.Setup.Block));
  c.SetOnProgress(progress.Handler());
  switch (run.Layout) {
    case TLayout::File:
      c.DecryptFile(in.Path(), out.Path());
      break;
    case TLayout::Stream: {
      TFileStream source(in.Path(), fmOpenReadShared);
      TFileStream dest(out.Path(), fmCreate);
      c.DecryptStream(source, dest, static_cast<int32_t>(in.Size()));
      break;
    }
    case TLayout::String: {
      const std::string data = in.ReadAll();
      TWipedString plain{c.DecryptString(data)};
      WriteBytes(out.Path(), plain.Bytes);
      break;
    }
  }
  progress.Done();
  out.Commit();
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
