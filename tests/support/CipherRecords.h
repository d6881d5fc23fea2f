// Runs the component records of a block-cipher vector file (the records with a Mode field), as
// the files' headers describe them: set-up (Key, Mode, Rounds, IV, BufferSize), step 1, the
// state after it (KeyAfter, KeyLengthAfter, RoundsAfter, IVAfter), the optional step 2, the
// error of a refused step; then the same plaintext through a second component with another IV,
// through a stream and through files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "morvane/cipher/VRXCipher.h"
#include "support/Vectors.h"

namespace morvane::test {

inline TCipherMode ModeByName(const std::string& name) {
  if (name == "ECB") return cipherECB;
  if (name == "CBC") return cipherCBC;
  if (name == "CFB") return cipherCFB;
  if (name == "OFB") return cipherOFB;
  if (name == "PCBC") return cipherPCBC;
  ADD_FAILURE() << "unknown mode " << name;
  return cipherECB;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

template <class TCipher, int IVWords>
class TCipherRecords {
 public:
  static std::vector<uint32_t> IVOf(const TCipher& c) {
    std::vector<uint32_t> iv;
    for (int32_t i = 0; i < IVWords; ++i) iv.push_back(c.GetIV(i));
    return iv;
  }

  // The set-up of a record; false when the record ends in a refused SetMode (checked here).
  static bool SetUp(TCipher& c, const VectorRecord& r) {
    c.SetKey(r.Bytes("Key"));
    const TCipherMode mode = ModeByName(r.Get("Mode"));
    if (r.Has("ErrorAt") && r.Get("ErrorAt") == "SetMode") {
      const TCipherMode before = c.GetMode();
      try {
        c.SetMode(mode);
        ADD_FAILURE() << r.Where() << ": SetMode raised nothing";
      } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), r.Get("Error")) << r.Where();
      }
      EXPECT_EQ(c.GetMode(), before) << r.Where();
      if (r.Has("ModeAfter")) {
        EXPECT_EQ(c.GetMode(), ModeByName(r.Get("ModeAfter"))) << r.Where();
      }
      return false;
    }
    c.SetMode(mode);
    if constexpr (requires { c.SetNumRounds(1); }) {
      if (r.Has("Rounds")) c.SetNumRounds(std::stoi(r.Get("Rounds")));
    }
    if (r.Has("IV") && r.Get("IV") != "default") {
      const auto iv = HexWords(r.Get("IV"));
      for (size_t i = 0; i < iv.size(); ++i) c.SetIV(static_cast<int32_t>(i), iv[i]);
    }
    if (r.Has("BufferSize")) c.SetBufferSize(std::stoi(r.Get("BufferSize")));
    return true;
  }

  // Step 1 (suffix "") or step 2 (suffix "2"); false when step 1 ended in its expected error.
  static bool RunStep(TCipher& c, const VectorRecord& r, const std::string& suffix) {
    const std::string where = r.Where() + " step " + (suffix.empty() ? "1" : suffix);
    int chunks = 0;
    c.SetOnProgress([&](uint8_t, bool&) { ++chunks; });
    if constexpr (requires { c.SetNumRounds(1); }) {
      if (!suffix.empty() && r.Has("Rounds" + suffix))
        c.SetNumRounds(std::stoi(r.Get("Rounds" + suffix)));
    }
    const bool encrypting = r.Has("Plaintext" + suffix);
    const std::string input = r.Bytes((encrypting ? "Plaintext" : "Encrypted") + suffix);
    const std::string step = encrypting ? "EncryptString" : "DecryptString";
    bool ok = true;
    if (suffix.empty() && r.Has("ErrorAt") && r.Get("ErrorAt") == step) {
      ok = false;
      try {
        if (encrypting) {
          c.EncryptString(input);
        } else {
          c.DecryptString(input);
        }
        ADD_FAILURE() << where << ": no error";
      } catch (const EReadError&) {
        EXPECT_EQ(r.Get("Error"), "stream read error") << where;
      } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), r.Get("Error")) << where;
      }
    } else if (encrypting) {
      EXPECT_EQ(ToHex(c.EncryptString(input)), r.Get("EncryptString" + suffix)) << where;
    } else {
      EXPECT_EQ(ToHex(c.DecryptString(input)), r.Get("DecryptString" + suffix)) << where;
    }
    c.SetOnProgress(nullptr);
    if (suffix.empty()) {
      if (ok && r.Has("Chunks")) {
        EXPECT_EQ(chunks, std::stoi(r.Get("Chunks"))) << where;
      }
      if (r.Has("KeyAfter")) {
        EXPECT_EQ(ToHex(c.GetKey()), r.Get("KeyAfter")) << where;
      }
      if (r.Has("KeyLengthAfter")) {
        EXPECT_EQ(c.GetKeyLength(), std::stoi(r.Get("KeyLengthAfter"))) << where;
      }
      if constexpr (requires { c.GetNumRounds(); }) {
        if (r.Has("RoundsAfter")) {
          EXPECT_EQ(c.GetNumRounds(), std::stoi(r.Get("RoundsAfter"))) << where;
        }
      }
    }
    if (ok && r.Has("IVAfter" + suffix)) {
      EXPECT_EQ(IVOf(c), HexWords(r.Get("IVAfter" + suffix))) << where;
    }
    return ok;
  }

  // The whole record.
  static void Run(const VectorRecord& r) {
    TCipher c;
    if (!SetUp(c, r)) return;
    if (!RunStep(c, r, "")) return;
    if (r.Has("Plaintext2") || r.Has("Encrypted2")) RunStep(c, r, "2");
    if (!r.Has("Plaintext")) return;

    const std::string plain = r.Bytes("Plaintext");
    const std::string expected = FromHex(r.Get("EncryptString"));
    // A second component set up alike, with another IV, reads it back and ends with IVAfter.
    TCipher d;
    SetUp(d, r);
    d.SetIV(0, 0xDEADBEEF);
    EXPECT_EQ(d.DecryptString(expected), plain) << r.Where();
    if (r.Has("IVAfter")) {
      EXPECT_EQ(IVOf(d), HexWords(r.Get("IVAfter"))) << r.Where();
    }

    // The encrypted stream, and the encrypted file, of the same plaintext; BufferSize 1 too.
    for (int32_t bufferSize : {0, 1}) {
      TCipher s;
      SetUp(s, r);
      if (bufferSize > 0) s.SetBufferSize(bufferSize);
      TReadOnlyMemoryStream src(plain);
      TMemoryStream dst;
      s.EncryptStream(src, dst, static_cast<int32_t>(plain.size()));
      EXPECT_EQ(ToHex(dst.Data()), ToHex(expected.substr(4))) << r.Where();
      EXPECT_EQ(dst.GetPosition(), 0) << r.Where() << ": the destination is rewound";
    }
    TCipher f;
    SetUp(f, r);
    const std::string in = TempPath("rec.plain"), enc = TempPath("rec.enc"),
                      dec = TempPath("rec.dec");
    WriteWholeFile(in, plain);
    f.EncryptFile(in, enc);
    EXPECT_EQ(ReadWholeFile(enc), expected.substr(4) + expected.substr(0, 4)) << r.Where();
    f.DecryptFile(enc, dec);
    EXPECT_EQ(ReadWholeFile(dec), plain) << r.Where();
  }
};

}  // namespace morvane::test
