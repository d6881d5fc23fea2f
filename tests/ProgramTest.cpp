// The morvane program end to end: runs the built program (MORVANE_PROGRAM) on scratch files and
// checks what it writes, what it refuses, and that it agrees with other programs that read and
// write the same formats.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/Vectors.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using morvane::test::FromHex;
using morvane::test::RandomBytes;
using morvane::test::TempPath;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Program() {
  const char* p = std::getenv("MORVANE_PROGRAM");
  return p != nullptr ? p : "";
}

// A directory the program uses for its own temporary files (TMPDIR), so a test can see that
// nothing is left behind.
std::string ScratchTmp() {
  static const std::string dir = [] {
    const std::string d = TempPath("tmpdir");
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

struct TResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  int64_t outSize = 0;
  long maxRssKiB = 0;
};

struct TRunOptions {
  std::string input;             // standard input bytes
  std::vector<std::string> env;  // NAME=VALUE added to the environment
  std::string inputPath;         // standard input from this file instead
  bool captureOut = true;        // false: standard output is only counted (TResult::outSize)
  std::string outputPath;        // standard output to this file (or device) instead
  int outputFd = -1;             // standard output to this descriptor instead
  int deadlineSeconds = 0;       // kill the run after this long (status -1)
  std::vector<int> closed;       // standard descriptors the run starts without
};

TRunOptions Stdin(std::string bytes) {
  TRunOptions o;
  o.input = std::move(bytes);
  return o;
}

TRunOptions ToPath(std::string path) {
  TRunOptions o;
  o.outputPath = std::move(path);
  return o;
}

TRunOptions ToFd(int fd) {
  TRunOptions o;
  o.outputFd = fd;
  return o;
}

TRunOptions WithEnv(std::string variable) {
  TRunOptions o;
  o.env.push_back(std::move(variable));
  return o;
}

std::vector<std::string> Environment(const TRunOptions& o) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string v = *e;
    if (v.starts_with("MORVANE_KEY=") || v.starts_with("TMPDIR=")) continue;
    env.push_back(v);
  }
  env.push_back("TMPDIR=" + ScratchTmp());
  // A variable given for the run replaces one of the same name.
  for (const auto& v : o.env) {
    const std::string name = v.substr(0, v.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    env.push_back(v);
  }
  return env;
}

// Runs a program (the first element, looked up in PATH) with files for its three streams.
TResult RunArgv(const std::vector<std::string>& argv, const TRunOptions& o = {}) {
  static int serial = 0;
  const std::string base = TempPath("run" + std::to_string(++serial));
  const std::string inPath = o.inputPath.empty() ? base + ".in" : o.inputPath;
  if (o.inputPath.empty()) WriteFile(inPath, o.input);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, inPath.c_str(), O_RDONLY, 0);
  if (o.outputFd >= 0)
    posix_spawn_file_actions_adddup2(&fa, o.outputFd, 1);
  else
    posix_spawn_file_actions_addopen(&fa, 1,
                                     (o.outputPath.empty() ? base + ".out" : o.outputPath).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, (base + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  for (const int fd : o.closed) posix_spawn_file_actions_addclose(&fa, fd);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::vector<std::string> envStrings = Environment(o);
  std::vector<char*> env;
  for (const auto& e : envStrings) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  pid_t pid = 0;
  TResult r;
  if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), env.data()) != 0) {
    posix_spawn_file_actions_destroy(&fa);
    ADD_FAILURE() << "cannot start " << argv[0];
    return r;
  }
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  struct rusage ru {};
  bool timedOut = false;
  if (o.deadlineSeconds > 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(o.deadlineSeconds);
    while (wait4(pid, &status, WNOHANG, &ru) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        wait4(pid, &status, 0, &ru);
        timedOut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  } else {
    wait4(pid, &status, 0, &ru);
  }
  r.status = timedOut ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (o.outputPath.empty() && o.outputFd < 0) {
    r.outSize = static_cast<int64_t>(fs::file_size(base + ".out"));
    if (o.captureOut) r.out = ReadFile(base + ".out");
    fs::remove(base + ".out");
  }
  r.err = ReadFile(base + ".err");
  r.maxRssKiB = ru.ru_maxrss;
  return r;
}

TResult Morvane(std::vector<std::string> args, const TRunOptions& o = {}) {
  args.insert(args.begin(), Program());
  return RunArgv(args, o);
}

bool HaveProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  return false;
}

// Files the program's temporary files would be named like, left in a directory.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.find("morvane-") != std::string::npos) out.push_back(n);
  }
  return out;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Program().empty()) GTEST_SKIP() << "MORVANE_PROGRAM is not set";
  }
  void TearDown() override {
    if (!Program().empty()) {
      EXPECT_TRUE(Leftovers(ScratchTmp()).empty()) << "temporary files left in TMPDIR";
    }
  }
  // A scratch file with the given content.
  std::string File(const std::string& name, const std::string& bytes) {
    const std::string p = TempPath(name);
    WriteFile(p, bytes);
    return p;
  }
};

// ---- The program itself

TEST_F(ProgramTest, UsageErrorsExitWithTwoAndHelpExitsWithZero) {
  EXPECT_EQ(Morvane({}).status, 2);
  const TResult unknown = Morvane({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("morvane: unknown command 'frobnicate'"), std::string::npos);

  const TResult badOption = Morvane({"encrypt", "--frob"});
  EXPECT_EQ(badOption.status, 2);
  EXPECT_NE(badOption.err.find("morvane: unknown option '--frob'"), std::string::npos);
  EXPECT_NE(badOption.err.find("morvane encrypt --help"), std::string::npos);
  EXPECT_EQ(Morvane({"encrypt", "-k", "x", "--mode"}).status, 2);  // option without its value
  EXPECT_EQ(Morvane({"encrypt", "-k", "x", "--mode", "ctr"}).status, 2);
  EXPECT_EQ(Morvane({"encrypt", "-k", "x", "a", "b"}).status, 2);  // two inputs

  const TResult help = Morvane({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"encrypt", "decrypt", "base64", "uuencode", "random", "speed"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
    const TResult h = Morvane({command, "--help"});
    EXPECT_EQ(h.status, 0) << command;
    EXPECT_TRUE(h.out.starts_with(std::string("usage: morvane ") + command)) << h.out;
    EXPECT_EQ(Morvane({"help", command}).out, h.out);
  }
  const TResult version = Morvane({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("morvane ")) << version.out;
}

// ---- Ciphers

struct TCipherCase {
  std::string name;
  int block;
  std::vector<std::string> modes;
};

std::vector<TCipherCase> Ciphers() {
  return {{"blowfish", 8, {"ecb", "cbc", "cfb", "ofb", "pcbc"}},
          {"des", 8, {"ecb", "cbc", "pcbc"}},
          {"twofish", 16, {"ecb", "cbc", "cfb", "ofb", "pcbc"}}};
}

int64_t Padded(int64_t n, int block) {
  return std::max<int64_t>(1, (n + block - 1) / block) * block;
}

TEST_F(ProgramTest, EveryCipherModeAndLayoutRoundTrips) {
  // Empty, a partial block, and past the program's 256 KiB chunk: each mode meets every size
  // across the layouts, and each layout across the modes.
  const size_t sizes[] = {0, 17, 300001};
  const std::string layouts[] = {"file", "string", "stream"};
  for (const auto& c : Ciphers()) {
    for (size_t m = 0; m < c.modes.size(); ++m) {
      const std::string& mode = c.modes[m];
      for (size_t l = 0; l < 3; ++l) {
        const std::string& layout = layouts[l];
        {
          const size_t n = sizes[(m + l) % 3];
          SCOPED_TRACE(c.name + " " + mode + " " + layout + " " + std::to_string(n));
          const std::string plain = RandomBytes(n, n + 7);
          const std::string in = File("plain", plain);
          const std::string enc = TempPath("enc");
          const std::string dec = TempPath("dec");
          const std::vector<std::string> common = {"--cipher", c.name, "--mode", mode,
                                                   "--layout", layout, "--key",  "a key phrase"};
          auto args = common;
          args.insert(args.begin(), "encrypt");
          args.insert(args.end(), {in, "-o", enc});
          ASSERT_EQ(Morvane(args).status, 0);
          const std::string e = ReadFile(enc);
          const int64_t body = Padded(static_cast<int64_t>(n), c.block);
          if (layout == "stream") {
            EXPECT_EQ(static_cast<int64_t>(e.size()), c.block + body);
          } else {
            ASSERT_EQ(static_cast<int64_t>(e.size()), 4 + c.block + body);
            // The size sits in front of a string and behind a file, least significant first.
            const std::string size = layout == "file" ? e.substr(e.size() - 4) : e.substr(0, 4);
            EXPECT_EQ(static_cast<uint8_t>(size[0]) | static_cast<uint8_t>(size[1]) << 8 |
                          static_cast<uint8_t>(size[2]) << 16,
                      static_cast<int64_t>(n));
          }
          args = common;
          args.insert(args.begin(), "decrypt");
          args.insert(args.end(), {enc, "-o", dec});
          ASSERT_EQ(Morvane(args).status, 0);
          std::string expect = plain;
          if (layout == "stream") expect.resize(static_cast<size_t>(body), '\0');
          EXPECT_TRUE(ReadFile(dec) == expect);
        }
      }
    }
  }
}

TEST_F(ProgramTest, CipherSpecificChoicesAreCheckedAndHonoured) {
  const std::string in = File("plain", RandomBytes(100, 5));
  // DES refuses the modes it does not offer (a usage error) and weak keys (a failure).
  TResult r = Morvane({"encrypt", "--cipher", "des", "--mode", "cfb", "-k", "12345678", in});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Mode not supported in current version"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("DES offers ecb, cbc and pcbc"), std::string::npos) << r.err;
  // "Weak Key" says why.
  const std::string dest = File("dest", "precious");
  r = Morvane({"encrypt", "--cipher", "des", "--key-hex", "0101010101010101", in, "-o", dest});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "morvane: Weak Key: the key is one of the 16 published weak and semi-weak DES keys\n");
  EXPECT_EQ(ReadFile(dest), "precious");
  r = Morvane({"encrypt", "--cipher", "twofish", "--key", "                ", in});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "morvane: Weak Key: the key is white space only (bytes 0, 9, 32 and 127)\n");

  // Twofish rounds: decryption needs the same count; other ciphers have none to set.
  const std::string enc = TempPath("enc");
  ASSERT_EQ(
      Morvane({"encrypt", "--cipher", "twofish", "--rounds", "8", "-k", "k", in, "-o", enc}).status,
      0);
  EXPECT_EQ(Morvane({"decrypt", "--cipher", "twofish", "--rounds", "8", "-k", "k", enc}).out,
            ReadFile(in));
  EXPECT_NE(Morvane({"decrypt", "--cipher", "twofish", "-k", "k", enc}).out, ReadFile(in));
  EXPECT_NE(
      Morvane({"encrypt", "--cipher", "twofish", "--iv", "default", "--rounds", "8", "-k", "k", in})
          .out,
      Morvane({"encrypt", "--cipher", "twofish", "--iv", "default", "-k", "k", in}).out);
  EXPECT_EQ(Morvane({"encrypt", "--cipher", "twofish", "--rounds", "1", "-k", "k", in}).status, 2);
  EXPECT_EQ(Morvane({"encrypt", "--cipher", "twofish", "--rounds", "17", "-k", "k", in}).status, 2);
  EXPECT_EQ(Morvane({"encrypt", "--cipher", "blowfish", "--rounds", "8", "-k", "k", in}).status, 2);
  // The IV is a block: 16 bytes for Twofish.
  r = Morvane({"encrypt", "--cipher", "twofish", "--layout", "stream", "-k", "k", "--iv",
               "00112233445566778899AABBCCDDEEFF", in});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 16), FromHex("00112233445566778899AABBCCDDEEFF"));
  EXPECT_EQ(
      Morvane({"encrypt", "--cipher", "twofish", "-k", "k", "--iv", "0011223344556677", in}).status,
      2);
  EXPECT_EQ(Morvane({"encrypt", "--cipher", "rot13", "-k", "k", in}).status, 2);
}

TEST_F(ProgramTest, StandardInputAndOutputCarryTheSameBytesAsFiles) {
  const std::string plain = RandomBytes(70000, 3);
  const std::string in = File("plain", plain);
  const std::string enc = TempPath("enc");
  const std::vector<std::string> key = {"--key", "k", "--iv", "0102030405060708"};
  auto args = key;
  args.insert(args.begin(), "encrypt");
  const TResult viaStdio = Morvane(args, Stdin(plain));
  ASSERT_EQ(viaStdio.status, 0) << viaStdio.err;
  args.insert(args.end(), {in, "-o", enc});
  ASSERT_EQ(Morvane(args).status, 0);
  EXPECT_TRUE(viaStdio.out == ReadFile(enc));
  const TResult back = Morvane({"decrypt", "--key", "k", "-"}, Stdin(viaStdio.out));
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(back.out == plain);
}

TEST_F(ProgramTest, TheIVIsFreshByDefaultAndCanBeGivenOrKept) {
  const std::string in = File("plain", std::string(64, 'x'));
  auto encrypt = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"encrypt", "--key", "key", "--layout", "stream", in};
    args.insert(args.end(), extra.begin(), extra.end());
    const TResult r = Morvane(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  const std::string a = encrypt({});
  const std::string b = encrypt({});
  EXPECT_NE(a.substr(0, 8), b.substr(0, 8));
  EXPECT_NE(a.substr(8), b.substr(8));
  EXPECT_EQ(encrypt({"--iv", "A0B1C2D3E4F5A6B7"}).substr(0, 8), FromHex("A0B1C2D3E4F5A6B7"));
  // The component's built-in IV: words 0x5E3A91C7 and 0x2B84D06F, least significant byte first.
  const std::string kept = encrypt({"--iv", "default"});
  EXPECT_EQ(kept.substr(0, 8), FromHex("C7913A5E6FD0842B"));
  EXPECT_EQ(kept, encrypt({"--iv", "default"}));
  EXPECT_EQ(Morvane({"encrypt", "--key", "k", "--iv", "0011", in}).status, 2);
  EXPECT_EQ(Morvane({"encrypt", "--key", "k", "--iv", "zz11223344556677", in}).status, 2);
  EXPECT_EQ(Morvane({"decrypt", "--key", "k", "--iv", "0011223344556677", in}).status, 2);
}

TEST_F(ProgramTest, EveryKeySourceGivesTheSameKeyBytes) {
  const std::string in = File("plain", "some plaintext");
  const std::string keyFile = File("key", std::string("k\0y\n", 4));
  auto encrypt = [&](std::vector<std::string> keyArgs, TRunOptions o = {}) {
    std::vector<std::string> args = {"encrypt", "--iv", "0001020304050607", in};
    args.insert(args.end(), keyArgs.begin(), keyArgs.end());
    return Morvane(args, o);
  };
  const TResult fromFile = encrypt({"--key-file", keyFile});
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_EQ(encrypt({"--key-hex", "6B00790A"}).out, fromFile.out);
  // The file's bytes count as they are, the final line feed too.
  EXPECT_NE(encrypt({"--key-hex", "6B0079"}).out, fromFile.out);
  const TResult text = encrypt({"--key", "secret"});
  EXPECT_EQ(encrypt({}, WithEnv("MORVANE_KEY=secret")).out, text.out);
  EXPECT_EQ(encrypt({"--key-hex", "736563726574"}).out, text.out);

  EXPECT_EQ(encrypt({}).status, 2);                                   // no key at all
  EXPECT_EQ(encrypt({"--key", ""}).status, 2);                        // empty key
  EXPECT_EQ(encrypt({"--key", "a", "--key-hex", "61"}).status, 2);    // two sources
  EXPECT_EQ(encrypt({"--key-hex", "6"}).status, 2);                   // odd digits
  EXPECT_EQ(encrypt({"--key-file", TempPath("missing")}).status, 1);  // unreadable file

  // With the data in a file the key may come from standard input, but standard input cannot
  // hold both: the key would take the data's bytes.
  EXPECT_EQ(encrypt({"--key-file", "-"}, Stdin(std::string("k\0y\n", 4))).out, fromFile.out);
  EXPECT_EQ(encrypt({"--key-file", in}).status, 2);  // the data's own file
  for (const char* name : {"-", "/dev/stdin"}) {
    for (const char* command : {"encrypt", "decrypt"}) {
      const TResult shared = Morvane({command, "--key-file", name}, Stdin("data"));
      EXPECT_EQ(shared.status, 2) << command << " " << name;
      EXPECT_NE(shared.err.find("is where the data comes from"), std::string::npos) << shared.err;
      EXPECT_EQ(Morvane({command, "--key-file", name, "/dev/stdin"}, Stdin("data")).status, 2);
    }
  }
}

TEST_F(ProgramTest, ClosedStandardStreamsFailAndNoFileTakesTheirPlace) {
  const std::string in = File("plain", std::string(3 << 20, 'p'));
  const std::string dest = TempPath("closed.out");
  // Without standard input, the destination's temporary file must not become the input.
  TRunOptions noInput;
  noInput.closed = {0};
  for (std::vector<std::string> args : {std::vector<std::string>{"encrypt", "-k", "k"},
                                        {"decrypt", "-k", "k"},
                                        {"base64"},
                                        {"uuencode"}}) {
    args.insert(args.end(), {"-o", dest});
    EXPECT_EQ(Morvane(args, noInput).status, 1) << args[0];
    EXPECT_FALSE(fs::exists(dest)) << args[0];
  }
  EXPECT_EQ(Morvane({"digest", "-a", "md5"}, noInput).status, 1);
  // Without standard error, the progress bar must not be written into the output.
  TRunOptions noErrors;
  noErrors.closed = {2};
  ASSERT_EQ(Morvane({"base64", "--progress", in, "-o", dest}, noErrors).status, 0);
  EXPECT_TRUE(ReadFile(dest) == Morvane({"base64", in}).out) << "not the encoding alone";
  // Without standard output, writing there fails.
  TRunOptions noOutput;
  noOutput.closed = {1};
  noOutput.captureOut = false;
  EXPECT_EQ(Morvane({"base64", in}, noOutput).status, 1);
}

TEST_F(ProgramTest, FailuresLeaveTheDestinationAsItWasAndNoTemporaryFile) {
  const std::string dir = TempPath("out");
  fs::create_directories(dir);
  const std::string dest = dir + "/result";
  WriteFile(dest, "precious");

  // A file too short to be an encrypted file.
  const std::string bad = File("bad", "0123456789");
  TResult r = Morvane({"decrypt", "--key", "k", bad, "-o", dest});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("morvane: ")) << r.err;
  // An encrypted string must hold its length and more.
  r = Morvane({"decrypt", "--key", "k", "--layout", "string", "-o", dest}, Stdin("abc"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("The encrypted string must contain the length of the plaintext"),
            std::string::npos)
      << r.err;
  // An input that does not exist.
  EXPECT_EQ(Morvane({"encrypt", "--key", "k", TempPath("none"), "-o", dest}).status, 1);

  // Damaged ciphertext of every layout, from a file and through a pipe: refused, with or
  // without -o.
  const std::string plain = File("plain", RandomBytes(1000, 11));
  auto encrypted = [&](const std::string& layout) {
    const TResult e = Morvane({"encrypt", "-k", "k", "--layout", layout, plain});
    EXPECT_EQ(e.status, 0) << e.err;
    return e.out;
  };
  const std::string file = encrypted("file"), stream = encrypted("stream"),
                    string = encrypted("string");
  std::string smallTrailer = file;
  smallTrailer.replace(smallTrailer.size() - 4, 4, std::string("\x01\0\0\0", 4));
  const std::pair<std::string, std::string> damaged[] = {
      {"file", file.substr(0, 500) + file.substr(501)},
      {"file", file.substr(0, file.size() - 3)},
      {"file", smallTrailer},
      {"stream", stream.substr(0, stream.size() - 3)},
      {"stream", stream.substr(0, 8)},
      {"string", string.substr(0, string.size() - 3)},
  };
  for (const auto& [layout, bytes] : damaged) {
    SCOPED_TRACE(layout + " of " + std::to_string(bytes.size()) + " bytes");
    const std::string source = File("damaged", bytes);
    for (const TResult& d :
         {Morvane({"decrypt", "-k", "k", "--layout", layout, source, "-o", dest}),
          Morvane({"decrypt", "-k", "k", "--layout", layout, "-o", dest}, Stdin(bytes)),
          Morvane({"decrypt", "-k", "k", "--layout", layout}, Stdin(bytes))}) {
      EXPECT_EQ(d.status, 1);
      EXPECT_NE(d.err.find("damaged or not encrypted with this cipher's layout"), std::string::npos)
          << d.err;
    }
  }

  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_TRUE(Leftovers(dir).empty());

  // Success replaces it, keeping its permission bits.
  ::chmod(dest.c_str(), 0640);
  ASSERT_EQ(Morvane({"encrypt", "--key", "k", bad, "-o", dest}).status, 0);
  EXPECT_NE(ReadFile(dest), "precious");
  struct stat st {};
  ASSERT_EQ(::stat(dest.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(ProgramTest, InputAndOutputNamingOneFileAreRefused) {
  const std::string plain = "do not destroy me";
  const std::string in = File("same", plain);
  const std::string link = TempPath("link");
  fs::create_symlink(in, link);
  for (const std::string& out : {in, link}) {
    const TResult r = Morvane({"encrypt", "--key", "k", in, "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("same file"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(in), plain);
}

TEST_F(ProgramTest, InputsTooLargeForTheLayoutsAreRefusedWithTheReason) {
  // Sparse files: nothing is read before the refusal.
  const std::string huge = TempPath("huge");
  { std::ofstream f(huge, std::ios::binary); }
  fs::resize_file(huge, int64_t{1} << 31);
  TResult r = Morvane({"encrypt", "--key", "k", huge, "-o", TempPath("x")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("2147483648 bytes"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("signed 32"), std::string::npos) << r.err;
  // Below 2 GiB but too large for its encrypted form to be decrypted again.
  fs::resize_file(huge, (int64_t{1} << 31) - 9);
  r = Morvane({"encrypt", "--key", "k", huge, "-o", TempPath("x")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("could never be decrypted"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(TempPath("x")));
}

TEST_F(ProgramTest, TheProgressBarShowsWhenAskedFor) {
  const std::string in = File("plain", RandomBytes(600000, 1));
  const TResult with = Morvane({"encrypt", "--key", "k", "--progress", in, "-o", TempPath("e")});
  ASSERT_EQ(with.status, 0);
  EXPECT_NE(with.err.find("100%"), std::string::npos) << with.err;
  EXPECT_NE(with.err.find("/s"), std::string::npos) << with.err;
  // Standard error is not a terminal here: no bar unless asked for.
  EXPECT_EQ(Morvane({"encrypt", "--key", "k", in, "-o", TempPath("e")}).err, "");
  EXPECT_EQ(Morvane({"encrypt", "--key", "k", "--progress", "--no-progress", in}).status, 2);
}

// Starts the program with its standard input on a pipe and its standard error on another.
struct TLiveRun {
  pid_t pid = -1;
  int stdinFd = -1;
  int stderrFd = -1;
};

TLiveRun StartLive(std::vector<std::string> args) {
  args.insert(args.begin(), Program());
  int in[2], err[2];
  EXPECT_EQ(::pipe(in), 0);
  EXPECT_EQ(::pipe(err), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  posix_spawn_file_actions_addclose(&fa, in[1]);
  posix_spawn_file_actions_addclose(&fa, err[0]);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::vector<std::string> envStrings = Environment({});
  std::vector<char*> env;
  for (const auto& e : envStrings) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  TLiveRun live;
  EXPECT_EQ(posix_spawn(&live.pid, argv[0], &fa, nullptr, argv.data(), env.data()), 0);
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(err[1]);
  live.stdinFd = in[1];
  live.stderrFd = err[0];
  return live;
}

// Interrupts the program, reads the rest of its standard error, and returns its exit status.
int Interrupt(TLiveRun& live, std::string& err) {
  ::kill(live.pid, SIGINT);
  char buf[4096];
  for (ssize_t n; (n = ::read(live.stderrFd, buf, sizeof buf)) > 0;) err.append(buf, n);
  int status = 0;
  ::waitpid(live.pid, &status, 0);
  ::close(live.stdinFd);
  ::close(live.stderrFd);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(ProgramTest, CtrlCWhileReadingStandardInputCleansUpAndExits130) {
  const std::string dir = TempPath("out");
  fs::create_directories(dir);
  const std::string dest = dir + "/result";
  WriteFile(dest, "precious");
  TLiveRun live = StartLive({"encrypt", "--key", "k", "-o", dest});
  // Some input, then a pause with the pipe still open: the program waits in its read.
  const std::string some(100000, 'a');
  ASSERT_EQ(::write(live.stdinFd, some.data(), some.size()), static_cast<ssize_t>(some.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string err;
  EXPECT_EQ(Interrupt(live, err), 130);
  EXPECT_NE(err.find("Operation Canceled by user"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(ProgramTest, CtrlCDuringARunCancelsThroughTheComponentAndExits130) {
  // A large sparse input keeps the run going long enough to be interrupted in the middle.
  const std::string in = TempPath("big");
  { std::ofstream f(in, std::ios::binary); }
  fs::resize_file(in, int64_t{1} << 30);
  const std::string dir = TempPath("out");
  fs::create_directories(dir);
  const std::string dest = dir + "/result";
  WriteFile(dest, "precious");
  TLiveRun live = StartLive({"encrypt", "--key", "k", "--progress", in, "-o", dest});
  // The forced bar draws at the first chunk: from then on the component's run is going.
  std::string err;
  char buf[256];
  while (err.find('%') == std::string::npos) {
    const ssize_t n = ::read(live.stderrFd, buf, sizeof buf);
    ASSERT_GT(n, 0) << err;
    err.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(Interrupt(live, err), 130);
  EXPECT_NE(err.find("Operation Canceled by user"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_TRUE(Leftovers(dir).empty());
}

// A generated input: a head, a block repeated, a tail. Cheap to write and to check however
// large it is.
struct TGenerated {
  std::string head;
  std::string block;
  int64_t repeats = 0;
  std::string tail;
  int64_t Size() const {
    return static_cast<int64_t>(head.size() + tail.size()) +
           repeats * static_cast<int64_t>(block.size());
  }
};

[[maybe_unused]] TGenerated RandomStream(int64_t mib, uint64_t seed) {
  return {"", RandomBytes(1 << 20, seed), mib, ""};
}

struct TStreamResult {
  int status = -1;
  int64_t outBytes = 0;
  bool outAsExpected = true;  // the output is the expected block repeated
  long maxRssKiB = 0;
  std::string err;
};

// Runs a shell command line (the program as $0) with a generated input written into its
// standard input through a pipe, and its standard output read from a pipe: neither side is a
// file, so nothing can be sized or mapped up front. The output is compared with Expect
// repeated (when given).
TStreamResult RunOnPipes(const std::string& script, const TGenerated& input,
                         const std::string& expect = "") {
  int in[2], out[2];
  TStreamResult r;
  if (::pipe(in) != 0 || ::pipe(out) != 0) return r;
  const std::string errPath = TempPath("pipes.err");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&fa, fd);
  std::vector<std::string> args = {"sh", "-c", script, Program()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::vector<std::string> envStrings = Environment({});
  std::vector<char*> env;
  for (const auto& e : envStrings) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "sh", &fa, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(in[1]);
    ::close(out[0]);
    return r;
  }
  std::thread writer([&] {
    auto put = [&](const std::string& bytes) {
      return ::write(in[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    };
    bool ok = put(input.head);
    for (int64_t i = 0; ok && i < input.repeats; ++i) ok = put(input.block);
    if (ok) put(input.tail);
    ::close(in[1]);
  });
  std::vector<char> buf(1 << 20);
  for (ssize_t n; (n = ::read(out[0], buf.data(), buf.size())) > 0;) {
    for (ssize_t k = 0; !expect.empty() && k < n && r.outAsExpected;) {
      const size_t at = static_cast<size_t>((r.outBytes + k) % static_cast<int64_t>(expect.size()));
      const size_t run = std::min(static_cast<size_t>(n - k), expect.size() - at);
      r.outAsExpected = std::memcmp(buf.data() + k, expect.data() + at, run) == 0;
      k += static_cast<ssize_t>(run);
    }
    r.outBytes += n;
  }
  ::close(out[0]);
  writer.join();
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.maxRssKiB = ru.ru_maxrss;
  r.err = ReadFile(errPath);
  return r;
}

// Whether AddressSanitizer instruments this build: GCC says so with a macro, clang through a
// feature test.
#if defined(__SANITIZE_ADDRESS__)
#define MORVANE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVANE_TEST_ASAN 1
#endif
#endif

TEST_F(ProgramTest, StreamsThroughPipesInBoundedMemory) {
#if defined(MORVANE_TEST_ASAN)
  GTEST_SKIP() << "the sanitizer's shadow memory makes the resident size meaningless";
#else
  // MORVANE_STREAM_MIB=4096 runs the size the program is made for; CI uses less. Through pipes
  // the program can neither size nor map its input: what it holds is what it needs.
  const char* mibText = std::getenv("MORVANE_STREAM_MIB");
  const int64_t mib = mibText != nullptr ? std::atoll(mibText) : 64;
  struct TCase {
    std::string script;
    bool roundTrip;  // the output is the input again
  };
  const std::vector<TCase> cases = {
      {R"("$0" digest -a sha1)", false},
      {R"("$0" base64 | "$0" base64 --decode)", true},
      {R"("$0" uuencode | "$0" uuencode --decode)", true},
      {R"("$0" encrypt -k k | "$0" decrypt -k k)", true},
      {R"("$0" encrypt -k k --layout stream | "$0" decrypt -k k --layout stream)", false},
  };
  const TGenerated input = RandomStream(mib, 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const TStreamResult r = RunOnPipes(c.script, input, c.roundTrip ? input.block : "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(r.outBytes, 0);
    if (c.roundTrip) {
      EXPECT_EQ(r.outBytes, input.Size());
      EXPECT_TRUE(r.outAsExpected);
    }
    EXPECT_LT(r.maxRssKiB, 16 * 1024);
    EXPECT_TRUE(fs::is_empty(ScratchTmp()));
  }
#endif
}

TEST_F(ProgramTest, DigestsTakeInputsOfAnySize) {
  if (!HaveProgram("sha1sum")) GTEST_SKIP() << "sha1sum is not installed";
  // Past the 2 GiB the layouts count: a sparse file with a tail, so the last block matters.
  const std::string big = TempPath("big");
  { std::ofstream f(big, std::ios::binary); }
  fs::resize_file(big, int64_t{1} << 31);
  {
    std::ofstream f(big, std::ios::binary | std::ios::app);
    f << "tail";
  }
  const TResult ours = Morvane({"digest", "-a", "sha1", big});
  ASSERT_EQ(ours.status, 0) << ours.err;
  EXPECT_EQ(ours.out, RunArgv({"sha1sum", big}).out);
  fs::remove(big);
}

// ---- Digests

struct TDigestPeer {
  std::string algorithm;
  std::vector<std::string> peer;  // a program that prints "<hex>  <name>" lines, or openssl
};

TEST_F(ProgramTest, DigestLinesMatchThePeersAndTheChecksPass) {
  const std::string empty = File("empty", "");
  const std::string abc = File("abc", "abc");
  const std::string big = File("big", RandomBytes(700001, 9));  // several chunks
  const std::vector<TDigestPeer> peers = {{"md5", {"md5sum"}},
                                          {"sha1", {"sha1sum"}},
                                          {"ripemd160", {"openssl", "dgst", "-ripemd160", "-r"}},
                                          {"ripemd128", {}}};
  for (const auto& p : peers) {
    SCOPED_TRACE(p.algorithm);
    const TResult ours = Morvane({"digest", "--algorithm", p.algorithm, empty, abc, big});
    ASSERT_EQ(ours.status, 0) << ours.err;
    // One line per file: lower-case hex, two blanks, the name.
    std::istringstream lines(ours.out);
    std::string line;
    std::vector<std::string> hexes;
    for (const auto& name : {empty, abc, big}) {
      ASSERT_TRUE(std::getline(lines, line));
      const auto gap = line.find("  ");
      ASSERT_NE(gap, std::string::npos) << line;
      EXPECT_EQ(line.substr(gap + 2), name);
      EXPECT_EQ(line.substr(0, gap).find_first_not_of("0123456789abcdef"), std::string::npos);
      hexes.push_back(line.substr(0, gap));
    }
    // Standard input is "-", and --raw gives the bytes.
    const TResult stdinRun = Morvane({"digest", "-a", p.algorithm}, Stdin("abc"));
    EXPECT_EQ(stdinRun.out, hexes[1] + "  -\n");
    EXPECT_EQ(morvane::test::ToHex(Morvane({"digest", "-a", p.algorithm, "--raw", abc}).out),
              morvane::test::ToHex(FromHex(hexes[1])));
    if (p.peer.empty() || !HaveProgram(p.peer[0])) {
      if (!p.peer.empty()) std::cout << p.peer[0] << " is not installed: skipped\n";
    } else {
      auto argv = p.peer;
      argv.insert(argv.end(), {empty, abc, big});
      const TResult peer = RunArgv(argv);
      if (peer.status == 0) {
        // openssl -r marks binary input with '*'.
        std::string expect = peer.out;
        for (size_t at; (at = expect.find(" *")) != std::string::npos;) expect.replace(at, 2, "  ");
        EXPECT_EQ(ours.out, expect);
      } else {
        std::cout << p.peer[0] << " cannot compute " << p.algorithm << ": " << peer.err;
      }
    }
    // The list checks, with LF or CR LF line ends; a changed file fails.
    const std::string list = File("list", ours.out);
    std::string crlf;
    for (char c : ours.out) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string listCrlf = File("list-crlf", crlf);
    for (const auto& l : {list, listCrlf}) {
      const TResult check = Morvane({"digest", "-a", p.algorithm, "--check", l});
      EXPECT_EQ(check.status, 0) << check.err;
      EXPECT_EQ(check.out, empty + ": OK\n" + abc + ": OK\n" + big + ": OK\n");
    }
    WriteFile(abc, "abd");
    const TResult changed = Morvane({"digest", "-a", p.algorithm, "--check", list});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.out.find(abc + ": FAILED\n"), std::string::npos) << changed.out;
    EXPECT_NE(changed.out.find(big + ": OK\n"), std::string::npos) << changed.out;
    WriteFile(abc, "abc");
  }
}

TEST_F(ProgramTest, DigestReportsEachUnreadableFileAndGoesOn) {
  const std::string abc = File("abc", "abc");
  const TResult r = Morvane({"digest", "-a", "md5", TempPath("missing"), abc});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("  " + abc), std::string::npos);
  EXPECT_TRUE(r.err.starts_with("morvane: ")) << r.err;
  // A list line naming a file that is gone, a malformed line, and a list with no valid line.
  const std::string list = File(
      "list", "0123456789abcdef0123456789abcdef  " + TempPath("gone") + "\nnot a checksum line\n");
  const TResult check = Morvane({"digest", "-a", "md5", "-c", list});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find(": FAILED open or read"), std::string::npos) << check.out;
  EXPECT_NE(check.err.find("improperly formatted"), std::string::npos) << check.err;
  EXPECT_EQ(Morvane({"digest", "-a", "md5", "-c", File("junk", "junk\n")}).status, 1);
  EXPECT_EQ(Morvane({"digest", abc}).status, 2);  // no algorithm
  EXPECT_EQ(Morvane({"digest", "-a", "sha256", abc}).status, 2);
}

// ---- Encoders

TEST_F(ProgramTest, Base64MatchesCoreutilsBothWays) {
  for (size_t n : {0, 1, 2, 3, 57, 300001}) {
    SCOPED_TRACE(n);
    const std::string data = RandomBytes(n, n);
    const std::string in = File("data", data);
    const TResult ours = Morvane({"base64", in});
    ASSERT_EQ(ours.status, 0) << ours.err;
    EXPECT_EQ(ours.out.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(ours.out.find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(Morvane({"base64", "--decode"}, Stdin(ours.out)).out == data);
    if (!HaveProgram("base64")) continue;
    EXPECT_EQ(ours.out, RunArgv({"base64", "-w0", in}).out);
    EXPECT_TRUE(RunArgv({"base64", "-d"}, Stdin(ours.out)).out == data);
    // Wrapped text, as coreutils writes it by default, decodes once the line ends are gone.
    const std::string wrapped = RunArgv({"base64", in}).out;
    EXPECT_TRUE(Morvane({"base64", "-d"}, Stdin(wrapped)).out == data);
  }
}

TEST_F(ProgramTest, BadBase64FailsWithTheComponentsMessageAndWritesNothing) {
  const std::string dest = File("dest", "precious");
  for (const std::string text : {"QUJD RA==", "QUJ", "QU-D", "QUJD\tRA=="}) {
    const TResult r = Morvane({"base64", "-d", "-o", dest}, Stdin(text));
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_EQ(r.err, "morvane: Invalid value in Base64 Decoding Table\n") << text;
  }
  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_EQ(Morvane({"base64", "-d"}, Stdin("QUJD\r\nRA==\n")).out, "ABCD");
}

TEST_F(ProgramTest, UuencodeRoundTripsAndReportsTheBeginLine) {
  for (size_t n : {0, 1, 45, 46, 300001}) {
    SCOPED_TRACE(n);
    const std::string data = RandomBytes(n, n + 1);
    const std::string in = File("data.bin", data);
    const TResult enc = Morvane({"uuencode", in});
    ASSERT_EQ(enc.status, 0) << enc.err;
    EXPECT_TRUE(enc.out.starts_with("begin 644  data.bin\r\n")) << enc.out.substr(0, 30);
    EXPECT_TRUE(enc.out.ends_with("\r\nend\r\n"));
    const TResult dec = Morvane({"uuencode", "--decode"}, Stdin(enc.out));
    ASSERT_EQ(dec.status, 0) << dec.err;
    EXPECT_TRUE(dec.out == data);
    EXPECT_EQ(dec.err, "morvane: decoded \"data.bin\", mode 644\n");
  }
  // A read-only source is recorded as 444, and decoding it makes a read-only file.
  const std::string ro = File("ro.txt", "read me only");
  ::chmod(ro.c_str(), 0444);
  const std::string doc = TempPath("ro.uu");
  ASSERT_EQ(Morvane({"uuencode", "--name", "given", ro, "-o", doc}).status, 0);
  EXPECT_TRUE(ReadFile(doc).starts_with("begin 444  given\r\n"));
  const std::string out = TempPath("ro.out");
  const TResult dec = Morvane({"uuencode", "-d", doc, "-o", out});
  EXPECT_EQ(dec.err, "morvane: decoded \"given\", mode 444\n");
  EXPECT_EQ(ReadFile(out), "read me only");
  struct stat st {};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
}

TEST_F(ProgramTest, BrokenUuencodedDocumentsFailAndWriteNothing) {
  const std::string dest = File("dest", "precious");
  TResult r = Morvane({"uuencode", "-d", "-o", dest}, Stdin("hello\r\nend\r\n"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "morvane: No begin line\n");
  r = Morvane({"uuencode", "-d", "-o", dest}, Stdin("begin 644  x\r\n#86)C\r\n"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "morvane: No end line\n");
  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_EQ(Morvane({"uuencode", "-d", "--name", "x"}, Stdin("")).status, 2);
  // A fault early in a large file stops the run while the rest is still being read ahead.
  std::string large = "begin 644  x\r\n#86)C\r\n";
  for (int i = 0; i < 100000; ++i) large += "M" + std::string(60, '`') + "\r\n";
  r = Morvane({"uuencode", "-d", "-o", dest, File("large.uu", large + "end\r\n")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "morvane: Malformed data line: line 3 follows a short line: only the last data "
            "line may be short\n");
  EXPECT_EQ(ReadFile(dest), "precious");
}

TEST_F(ProgramTest, SharutilsAndWeReadEachOthersDocuments) {
  if (!HaveProgram("uudecode")) GTEST_SKIP() << "uudecode (sharutils) is not installed";
  for (size_t n : {0, 44, 45, 90, 100000}) {
    SCOPED_TRACE(n);
    const std::string data = RandomBytes(n, n + 2);
    const std::string in = File("data.bin", data);
    const std::string doc = TempPath("doc.uu");
    ASSERT_EQ(Morvane({"uuencode", "--zero-line", in, "-o", doc}).status, 0);
    const std::string out = TempPath("peer.out");
    const TResult peer = RunArgv({"uudecode", "-o", out, doc});
    ASSERT_EQ(peer.status, 0) << peer.err;
    EXPECT_TRUE(ReadFile(out) == data);
    // The components read the document with its zero-length line as well.
    const TResult ours = Morvane({"uuencode", "-d", doc});
    ASSERT_EQ(ours.status, 0) << ours.err;
    EXPECT_TRUE(ours.out == data);
    // The peer's document: line feeds alone, one blank between mode and name.
    if (!HaveProgram("uuencode")) continue;
    const TResult peerDoc = RunArgv({"uuencode", in, "peer.name"});
    ASSERT_EQ(peerDoc.status, 0);
    const TResult back = Morvane({"uuencode", "-d"}, Stdin(peerDoc.out));
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_TRUE(back.out == data);
    EXPECT_EQ(back.err, "morvane: decoded \"peer.name\", mode 644\n");
  }
}

// ---- Generators

TEST_F(ProgramTest, RandomDrawsThePublishedSequencesFromTheSeedBytes) {
  int records = 0;
  for (const auto& [file, generator] :
       {std::pair{"isaac.txt", "isaac"}, std::pair{"mt19937b.txt", "mt19937b"}}) {
    for (const auto& rec : morvane::test::LoadVectors(file)) {
      if (!rec.Has("Seed") || !rec.Has("Words")) continue;
      SCOPED_TRACE(rec.Where());
      std::string expect;
      for (const auto& line : rec.GetAll("Words"))
        for (uint32_t w : morvane::test::HexWords(line)) {
          char text[16];
          std::snprintf(text, sizeof text, "%08x\n", w);
          expect += text;
        }
      const std::string count = std::to_string(expect.size() / 9);
      const TResult r = Morvane(
          {"random", "--generator", generator, "--seed-hex", rec.Get("Seed"), "--count", count});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, expect);
      // The seed from a file gives the same draws.
      const std::string seedFile = File("seed", FromHex(rec.Get("Seed")));
      EXPECT_EQ(Morvane({"random", "-g", generator, "--seed-file", seedFile, "-n", count}).out,
                expect);
      ++records;
    }
  }
  EXPECT_GE(records, 2);
}

TEST_F(ProgramTest, RandomWideDrawsAndFormatsAgreeWithTheWordOrder) {
  const std::vector<std::string> seed = {"--seed-hex", "00112233445566778899"};
  auto draw = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"random", "-g", "mt19937b"};
    args.insert(args.end(), seed.begin(), seed.end());
    args.insert(args.end(), extra.begin(), extra.end());
    const TResult r = Morvane(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  std::vector<uint32_t> words;
  for (uint32_t w : morvane::test::HexWords(draw({"-n", "8"}))) words.push_back(w);
  ASSERT_EQ(words.size(), 8u);
  // Raw is the words in the order drawn, least significant byte first, whatever the width.
  std::string raw;
  for (uint32_t w : words)
    for (int b = 0; b < 4; ++b) raw += static_cast<char>(w >> (8 * b));
  EXPECT_TRUE(draw({"-n", "8", "--format", "raw"}) == raw);
  EXPECT_TRUE(draw({"-n", "4", "--bits", "64", "--format", "raw"}) == raw);
  EXPECT_TRUE(draw({"-n", "2", "--bits", "128", "--format", "raw"}) == raw);
  // A 64-bit draw: the first word drawn is the low half.
  char text[64];
  std::snprintf(text, sizeof text, "%08x%08x\n%08x%08x\n", words[1], words[0], words[3], words[2]);
  EXPECT_EQ(draw({"-n", "2", "--bits", "64"}), text);
  const uint64_t first = uint64_t{words[1]} << 32 | words[0];
  EXPECT_EQ(draw({"-n", "1", "--bits", "64", "--format", "dec"}), std::to_string(first) + "\n");
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x\n", words[3], words[2], words[1], words[0]);
  EXPECT_EQ(draw({"-n", "1", "--bits", "128"}), text);

  EXPECT_EQ(Morvane({"random", "--bits", "48"}).status, 2);
  EXPECT_EQ(Morvane({"random", "--count", "-1"}).status, 2);
  EXPECT_EQ(Morvane({"random", "--seed-hex", std::string(514, '1')}).status, 2);  // 257 bytes
  EXPECT_EQ(Morvane({"random", "--seed-hex", "00", "--seed-file", "x"}).status, 2);
  // Seed byte 0 never reaches MT19937B's output: a seed of it alone draws zeros, and says so.
  for (const std::string zeroSeed : {"", "01", "FF00"}) {
    std::vector<std::string> args = {"random", "-g", "mt19937b", "-n", "1"};
    if (!zeroSeed.empty()) args.insert(args.end(), {"--seed-hex", zeroSeed});
    const TResult zero = Morvane(args);
    EXPECT_EQ(zero.out, "00000000\n") << zeroSeed;
    EXPECT_NE(zero.err.find("only zeros"), std::string::npos) << zeroSeed;
  }
  const TResult live = Morvane({"random", "-g", "mt19937b", "--seed-hex", "0001"});
  EXPECT_NE(live.out, "00000000\n");
  EXPECT_EQ(live.err, "");
  EXPECT_NE(Morvane({"random", "--help"}).out.find("seed byte 0 never reaches"), std::string::npos);
}

// ---- Speed

TEST_F(ProgramTest, SpeedMeasuresTheNamedComponentsAndNamesTheirCodePath) {
  const TResult r = Morvane({"speed", "--seconds", "0.01", "blowfish", "isaac"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("CPU features in use: "), std::string::npos) << r.out;
  std::istringstream lines(r.out);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("blowfish")) {
      ++rows;
      EXPECT_EQ(std::count(line.begin(), line.end(), '/'), 3) << line;  // three MB/s cells
    }
    if (line.starts_with("isaac")) {
      ++rows;
      EXPECT_NE(line.find("draws/s"), std::string::npos) << line;
    }
  }
  EXPECT_EQ(rows, 2) << r.out;
  EXPECT_EQ(Morvane({"speed", "nosuch"}).status, 2);
  EXPECT_EQ(Morvane({"speed", "--seconds", "0"}).status, 2);
}

// ---- What the program is pointed at

// Runs a shell command line with the program as $0.
TResult Shell(const std::string& script, std::vector<std::string> args = {},
              const TRunOptions& o = {}) {
  std::vector<std::string> argv = {"sh", "-c", script, Program()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, o);
}

TEST_F(ProgramTest, OutputsThatAreNotRegularFilesAreWrittenThroughNeverReplaced) {
  const std::string abc = File("abc.txt", "abc");
  // Names of the program's own standard output: the bytes land where the descriptor stands,
  // between what the shell wrote before and after, and an appended log keeps its lines.
  for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    const std::string out = TempPath("out.txt");
    TResult r = Shell(R"({ echo header; "$0" base64 "$1" -o "$2"; echo; echo footer; } > "$3")",
                      {abc, name, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(out), "header\nYWJj\nfooter\n");
    const std::string log = File("log.txt", "earlier line\n");
    r = Shell(R"("$0" base64 "$1" -o "$2" >> "$3")", {abc, name, log});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(log), "earlier line\nYWJj");
  }
  // A FIFO is written, not replaced by a regular file; so is a character device.
  const std::string fifo = TempPath("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = ReadFile(fifo); });
  const TResult r = Morvane({"base64", abc, "-o", fifo});
  reader.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(got, "YWJj");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  // (A machine whose /dev/null was already replaced by someone else proves nothing here.)
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  const bool wasDevice = S_ISCHR(st.st_mode);
  EXPECT_EQ(Morvane({"base64", abc, "-o", "/dev/null"}).status, 0);
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_EQ(S_ISCHR(st.st_mode), wasDevice);
}

TEST_F(ProgramTest, ReplacingAFileKeepsItsOwnerModeLinksAndSymlinks) {
  const std::string abc = File("abc.txt", "abc");
  const std::string dir = TempPath("dest");
  fs::create_directories(dir);
  struct stat st {};
  // Mode, and the owner where the program may set it.
  const std::string owned = dir + "/owned";
  WriteFile(owned, "old");
  ::chmod(owned.c_str(), 0604);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(owned.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(Morvane({"base64", abc, "-o", owned}).status, 0);
  ASSERT_EQ(::stat(owned.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(ReadFile(owned), "YWJj");
  // A hard link keeps seeing the file: it is written in place.
  const std::string linked = dir + "/linked";
  const std::string other = dir + "/other-name";
  WriteFile(linked, "old");
  fs::create_hard_link(linked, other);
  ASSERT_EQ(Morvane({"base64", abc, "-o", linked}).status, 0);
  EXPECT_EQ(ReadFile(other), "YWJj");
  // A symbolic link stays a link, and the file it leads to is written, also when it dangles.
  for (const bool dangling : {false, true}) {
    const std::string target = dir + (dangling ? "/new-target" : "/old-target");
    if (!dangling) WriteFile(target, "old");
    const std::string link = dir + (dangling ? "/dangling" : "/live");
    fs::create_symlink(target, link);
    ASSERT_EQ(Morvane({"base64", abc, "-o", link}).status, 0);
    EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(ReadFile(target), "YWJj") << link;
  }
  EXPECT_TRUE(Leftovers(dir).empty());

  // A file the user may write in a folder the user may not: written in place, as the shell's
  // "> file" would. Root may write any folder, so the run then drops to nobody.
  if (root && !HaveProgram("setpriv")) GTEST_SKIP() << "setpriv is not installed";
  std::string lockedDir = (fs::temp_directory_path() / "morvane-ro-XXXXXX").string();
  ASSERT_NE(::mkdtemp(lockedDir.data()), nullptr);
  const std::string inside = lockedDir + "/writable";
  WriteFile(inside, "old");
  const std::string source = lockedDir + "/source";
  WriteFile(source, "abc");
  const std::string tmp = lockedDir + "/tmp";
  fs::create_directories(tmp);
  if (root) {
    ASSERT_EQ(::chown(inside.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(tmp.c_str(), 65534, 65534), 0);
    ::chmod(source.c_str(), 0644);
    ::chmod(lockedDir.c_str(), 0755);
  } else {
    ::chmod(lockedDir.c_str(), 0555);
  }
  std::vector<std::string> argv = {Program(), "base64", source, "-o", inside};
  if (root)
    argv.insert(argv.begin(),
                {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
  TRunOptions o;
  o.env.push_back("TMPDIR=" + tmp);
  const TResult r = RunArgv(argv, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(inside), "YWJj");
  ::chmod(lockedDir.c_str(), 0700);
  fs::remove_all(lockedDir);
}

TEST_F(ProgramTest, AFileSizeLimitIsReportedNamingTheDestinationAndLeavesNothing) {
  const std::string in = File("plain", RandomBytes(1 << 20, 4));
  const std::string dir = TempPath("limited");
  fs::create_directories(dir);
  const std::string dest = dir + "/result.enc";
  WriteFile(dest, "precious");
  // ulimit -f counts blocks of 512 or 1024 bytes: 100 of them are far below the output.
  const std::string limited = R"(ulimit -f 100 && exec "$0" "$@")";
  TResult r = Shell(limited, {"encrypt", "-k", "k", in, "-o", dest});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("\"" + dest + "\": File too large"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dest), "precious");
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "result.enc");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // From standard input to standard output, which is a file under the limit too.
  TRunOptions o;
  o.inputPath = in;
  o.outputPath = dir + "/stdout";
  r = Shell(limited, {"encrypt", "-k", "k"}, o);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
}

TEST_F(ProgramTest, AKilledRunLeavesNoTemporaryFileBehind) {
  const std::string dir = TempPath("killed");
  fs::create_directories(dir);
  const std::string dest = dir + "/result";
  for (const std::string layout : {"file", "stream", "string"}) {
    SCOPED_TRACE(layout);
    TLiveRun live = StartLive({"decrypt", "--key", "k", "--layout", layout, "-o", dest});
    const std::string some(300000, 'a');
    ASSERT_EQ(::write(live.stdinFd, some.data(), some.size()), static_cast<ssize_t>(some.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(live.pid, SIGKILL);
    ::waitpid(live.pid, nullptr, 0);
    ::close(live.stdinFd);
    ::close(live.stderrFd);
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_TRUE(fs::is_empty(ScratchTmp()));
  }
}

TEST_F(ProgramTest, UuencodeRefusesNamesALineBreakWouldCut) {
  const std::string in = File("data", "abc");
  for (const std::string name : {"a\nb", "a\rb", "line\n"}) {
    const TResult r = Morvane({"uuencode", "--name", name, in});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line break"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  const std::string odd = File("two\nlines", "abc");
  const TResult r = Morvane({"uuencode", odd});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--name"), std::string::npos) << r.err;
  // The name is printed escaped: the message holds no line break of its own.
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_EQ(Morvane({"uuencode", "--name", "given", odd}).status, 0);
}

TEST_F(ProgramTest, EncodedTextOfMoreThanTwoGiBDecodes) {
  // What the encoders write for 1.6 GiB or more passes 2 GiB, past any 32-bit count: generated
  // text of that size (of zero bytes) must decode.
  const std::string zeros(1 << 20, '\0');
  std::string b64Block;
  for (int i = 0; i < (1 << 18); ++i) b64Block += "AAAA";  // 1 MiB of text, 3 zero bytes a group
  const TGenerated b64{"", b64Block, 2049, ""};
  TStreamResult r = RunOnPipes(R"("$0" base64 --decode)", b64, zeros);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outBytes, b64.Size() / 4 * 3);
  EXPECT_TRUE(r.outAsExpected);
  // The document of uuencode: full lines of 45 zero bytes, between begin and end lines.
  std::string lines;
  for (int i = 0; i < 16644; ++i) lines += "M" + std::string(60, '`') + "\r\n";
  const TGenerated uu{"begin 644  zeros\r\n", lines, 2049, "end\r\n"};
  ASSERT_GT(uu.Size(), int64_t{1} << 31);
  r = RunOnPipes(R"("$0" uuencode --decode)", uu, zeros);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.outBytes, int64_t{2049} * 16644 * 45);
  EXPECT_TRUE(r.outAsExpected);
}

// Runs the program with its standard streams on a new terminal; returns what the terminal
// showed and the exit status.
TResult RunOnTerminal(std::vector<std::string> args) {
  args.insert(args.begin(), Program());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::vector<std::string> envStrings = Environment({});
  std::vector<char*> env;
  for (const auto& e : envStrings) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::execve(argv[0], argv.data(), env.data());
    ::_exit(127);
  }
  TResult r;
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return r;
  }
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) r.out.append(buf, n);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

TEST_F(ProgramTest, BinaryOutputIsNotWrittenToATerminalUnlessForced) {
  const std::string in = File("plain", "plaintext");
  const std::vector<std::vector<std::string>> binary = {{"encrypt", "-k", "k", in},
                                                        {"digest", "-a", "md5", "--raw", in},
                                                        {"random", "--format", "raw"}};
  for (auto args : binary) {
    SCOPED_TRACE(args[0]);
    TResult r = RunOnTerminal(args);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("terminal"), std::string::npos) << r.out;
    args.push_back("--force");
    r = RunOnTerminal(args);
    EXPECT_EQ(r.status, 0) << r.out;
  }
  // Text is fine.
  EXPECT_EQ(RunOnTerminal({"base64", in}).status, 0);
}

TEST_F(ProgramTest, EveryWriteToStandardOutputIsCheckedAndAGoneReaderStopsTheRun) {
  const std::string in = File("plain", "plaintext");
  const std::vector<std::vector<std::string>> commands = {
      {"--help"},
      {"--version"},
      {"encrypt", "--help"},
      {"speed", "--seconds", "0.01", "isaac"},
      {"random", "-n", "3"},
      {"components"},
      {"digest", "-a", "sha1", in},
      {"base64", in},
      {"encrypt", "-k", "k", "--layout", "string", in}};
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    const TResult r = Morvane(args, ToPath("/dev/full"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  }
  // A reader that went away: the run ends at the first write, as one killed by SIGPIPE.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  const TResult r = Morvane({"speed", "--seconds", "0.05"}, ToFd(fds[1]));
  ::close(fds[1]);
  EXPECT_EQ(r.status, 128 + SIGPIPE) << r.err;
}

TEST_F(ProgramTest, KeyAndSeedFilesAreReadOnlyAsFarAsTheyCanMatter) {
  // A FIFO whose writer never closes: like /dev/zero, it has no end.
  const std::string fifo = TempPath("endless");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  const std::string chunk(10000, '\x5a');
  ASSERT_EQ(::write(writer, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
  const std::string in = File("plain", "plaintext");
  TRunOptions o;
  o.deadlineSeconds = 20;
  TResult r = Morvane({"encrypt", "--key-file", fifo, in}, o);
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("more than 4096 bytes"), std::string::npos) << r.err;
  // The seed: the first 256 bytes, the same as a file that holds just them.
  r = Morvane({"random", "--seed-file", fifo, "-n", "2"}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      Morvane({"random", "--seed-hex", morvane::test::ToHex(chunk.substr(0, 256)), "-n", "2"}).out);
  ::close(writer);
  for (const char* device : {"/dev/zero", "/dev/urandom"}) {
    EXPECT_EQ(Morvane({"random", "--seed-file", device, "-g", "mt19937b"}, o).status, 0) << device;
    EXPECT_EQ(Morvane({"encrypt", "--key-file", device, in}, o).status, 2) << device;
  }
}

TEST_F(ProgramTest, MessagesNameWhatWentWrongAndEscapeWhatTheyQuote) {
  const std::string in = File("plain", "plaintext");
  TResult r = Morvane({"encrypt", "--key-hex", "AB CD", in});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not hexadecimal"), std::string::npos) << r.err;
  // A missing TMPDIR is named as such, not as a file, when a temporary file is needed at all.
  TRunOptions noTmp = Stdin("abc");
  noTmp.env.push_back("TMPDIR=/nonexistent");
  r = Morvane({"base64"}, noTmp);
  if (r.status == 0) {
    EXPECT_EQ(r.out, "YWJj");
  } else {
    EXPECT_NE(r.err.find("TMPDIR"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("file \"/nonexistent\""), std::string::npos) << r.err;
  }
  // SIGTERM and SIGHUP are not the user's Ctrl-C.
  for (const int sig : {SIGTERM, SIGHUP}) {
    TLiveRun live = StartLive({"encrypt", "--key", "k", "-o", TempPath("out")});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(live.pid, sig);
    std::string err;
    char buf[4096];
    for (ssize_t n; (n = ::read(live.stderrFd, buf, sizeof buf)) > 0;) err.append(buf, n);
    int status = 0;
    ::waitpid(live.pid, &status, 0);
    ::close(live.stdinFd);
    ::close(live.stderrFd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << err;
    EXPECT_NE(err.find(sig == SIGTERM ? "SIGTERM" : "SIGHUP"), std::string::npos) << err;
    EXPECT_EQ(err.find("by user"), std::string::npos) << err;
  }
  // Names and modes read from a document reach the terminal escaped.
  const std::string doc =
      "begin 644  \x1b]0;owned\x07\x9b"
      "2J\r\n#86)C\r\n`\r\nend\r\n";
  r = Morvane({"uuencode", "-d"}, Stdin(doc));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "abc");
  EXPECT_TRUE(r.err.starts_with("morvane: decoded \"\\x1b]0;owned\\x07\\x9b2J\", mode 644"))
      << r.err;
  EXPECT_EQ(r.err.find_first_of("\x1b\x07\x9b"), std::string::npos) << r.err;
  const std::string listed = File("list", "900150983cd24fb0d6963f7d28e17f72  x\x1b[2Jy\n");
  r = Morvane({"digest", "-a", "md5", "-c", listed});
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("x\\x1b[2Jy: FAILED open or read"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
}

// ---- Peers

// The IV in the byte order of the standard modes: each 4-byte half of the leading data reversed
// (the IV words travel least significant byte first but meet big-endian block words).
std::string StandardIV(const std::string& leading) {
  std::string iv = leading;
  for (size_t i = 0; i < iv.size(); i += 4) std::reverse(iv.begin() + i, iv.begin() + i + 4);
  return iv;
}

std::string Hex(const std::string& bytes) {
  return morvane::test::ToHex(bytes);
}

TEST_F(ProgramTest, OpenSSLDecryptsTheBodyOfBlowfishAndDESStreams) {
  if (!HaveProgram("openssl")) GTEST_SKIP() << "openssl is not installed";
  const std::string plain = RandomBytes(1000, 11);
  const std::string in = File("plain", plain);
  struct TCase {
    std::string cipher, mode, key, peer;
  };
  std::vector<TCase> cases;
  // A 16-byte key: the peer's Blowfish key length.
  for (const char* m : {"ecb", "cbc", "cfb", "ofb"})
    cases.push_back({"blowfish", m, "00112233445566778899AABBCCDDEEFF", std::string("-bf-") + m});
  // DES keys are 8 bytes; the IV is 8 bytes for both ciphers.
  for (const char* m : {"ecb", "cbc"})
    cases.push_back({"des", m, "133457799BBCDFF1", std::string("-des-") + m});
  int checked = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cipher + " " + c.mode);
    const TResult enc = Morvane({"encrypt", "--cipher", c.cipher, "--mode", c.mode, "--key-hex",
                                 c.key, "--layout", "stream", in});
    ASSERT_EQ(enc.status, 0) << enc.err;
    const std::string body = enc.out.substr(8);
    std::vector<std::string> args = {"openssl", "enc",       "-d",     c.peer,      "-nopad", "-K",
                                     c.key,     "-provider", "legacy", "-provider", "default"};
    if (c.mode != "ecb") args.insert(args.end(), {"-iv", Hex(StandardIV(enc.out.substr(0, 8)))});
    const TResult peer = RunArgv(args, Stdin(body));
    if (peer.status != 0 && peer.err.find("unsupported") != std::string::npos) {
      std::cout << "openssl cannot run " << c.peer << " here: " << peer.err;
      continue;
    }
    ASSERT_EQ(peer.status, 0) << peer.err;
    EXPECT_TRUE(peer.out.substr(0, plain.size()) == plain);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "openssl offers none of the ciphers (legacy provider missing)";
}

}  // namespace
