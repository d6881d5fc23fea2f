// The Blowfish component: published vectors, the component records of the vector file, the
// chaining modes through every driver, and the layouts' edge cases.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/framework/Files.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::FromHex;
using morvane::test::HexWords;
using morvane::test::LoadVectorGroup;
using morvane::test::LoadVectors;
using morvane::test::RandomBytes;
using morvane::test::TempPath;
using morvane::test::ToHex;
using morvane::test::VectorRecord;

namespace {

constexpr TCipherMode kModes[] = {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC};

TCipherMode ModeByName(const std::string& name) {
  if (name == "ECB") return cipherECB;
  if (name == "CBC") return cipherCBC;
  if (name == "CFB") return cipherCFB;
  if (name == "OFB") return cipherOFB;
  if (name == "PCBC") return cipherPCBC;
  ADD_FAILURE() << "unknown mode " << name;
  return cipherECB;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<uint32_t> IVOf(const TVRXBlowFish& c) {
  return {c.GetIV(0), c.GetIV(1)};
}

// Sets a component up as a record says (Key, Mode, IV, BufferSize).
void SetUpFromRecord(TVRXBlowFish& c, const VectorRecord& r) {
  c.SetKey(r.Bytes("Key"));
  c.SetMode(ModeByName(r.Get("Mode")));
  if (r.Has("IV") && r.Get("IV") != "default") {
    const auto iv = HexWords(r.Get("IV"));
    for (size_t i = 0; i < iv.size(); ++i) c.SetIV(static_cast<int32_t>(i), iv[i]);
  }
  if (r.Has("BufferSize")) c.SetBufferSize(std::stoi(r.Get("BufferSize")));
}

// Runs step 1 or step 2 of a component record (step 1 may end in the error the record names).
void RunStep(TVRXBlowFish& c, const VectorRecord& r, const std::string& suffix) {
  const std::string where = r.Where() + " step" + (suffix.empty() ? "1" : suffix);
  int chunks = 0;
  c.SetOnProgress([&](uint8_t, bool&) { ++chunks; });
  const bool encrypting = r.Has("Plaintext" + suffix);
  const std::string errorAt = r.Has("ErrorAt") ? r.Get("ErrorAt") : "";
  const std::string step = encrypting ? "EncryptString" : "DecryptString";
  if (suffix.empty() && errorAt == step) {
    const std::string input = r.Bytes(encrypting ? "Plaintext" : "Encrypted");
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
    return;
  }
  if (encrypting) {
    const std::string out = c.EncryptString(r.Bytes("Plaintext" + suffix));
    EXPECT_EQ(ToHex(out), r.Get("EncryptString" + suffix)) << where;
  } else {
    const std::string out = c.DecryptString(r.Bytes("Encrypted" + suffix));
    EXPECT_EQ(ToHex(out), r.Get("DecryptString" + suffix)) << where;
  }
  if (suffix.empty() && r.Has("Chunks")) {
    EXPECT_EQ(chunks, std::stoi(r.Get("Chunks"))) << where;
  }
  if (r.Has("IVAfter" + suffix)) {
    EXPECT_EQ(IVOf(c), HexWords(r.Get("IVAfter" + suffix))) << where;
  }
  if (suffix.empty() && r.Has("KeyAfter")) {
    EXPECT_EQ(ToHex(c.GetKey()), r.Get("KeyAfter")) << where;
  }
  c.SetOnProgress(nullptr);
}

std::vector<VectorRecord> ComponentRecords() {
  std::vector<VectorRecord> out;
  for (auto& r : LoadVectors("blowfish.txt")) {
    if (r.Has("Mode")) out.push_back(r);
  }
  return out;
}

}  // namespace

// ---- Published vectors

TEST(Blowfish, PublishedBlockVectorsThroughAtomsAndEcbStreams) {
  int count = 0;
  for (const char* group : {"BLOCK-ECB", "BLOCK-SET-KEY"}) {
    for (const auto& r : LoadVectorGroup("blowfish.txt", group)) {
      ++count;
      const std::string key = r.Bytes("Key"), plain = r.Bytes("Plaintext"),
                        cipher = r.Bytes("Ciphertext");
      TVRXBlowFish c;
      c.SetKey(key);
      // An ECB stream: the IV, then the published ciphertext of the big-endian block.
      const std::string enc = c.EncryptString(plain);
      ASSERT_EQ(enc.size(), 4u + 8 + 8) << r.Where();
      EXPECT_EQ(ToHex(enc.substr(12)), r.Get("Ciphertext")) << r.Where();
      EXPECT_EQ(c.DecryptString(enc), plain) << r.Where();
      // The atoms under the schedule that run built.
      uint32_t L = LoadBE32(plain.data()), R = LoadBE32(plain.data() + 4);
      c.EncryptAtom(L, R);
      EXPECT_EQ(L, LoadBE32(cipher.data())) << r.Where();
      EXPECT_EQ(R, LoadBE32(cipher.data() + 4)) << r.Where();
      c.DecryptAtom(L, R);
      EXPECT_EQ(L, LoadBE32(plain.data())) << r.Where();
      EXPECT_EQ(R, LoadBE32(plain.data() + 4)) << r.Where();
    }
  }
  EXPECT_EQ(count, 34 + 24);
}

// Every component record of the vector file, as its header describes it; then the same record
// through a fresh component's streams and files, and decrypted by a second component.
TEST(Blowfish, ComponentRecords) {
  const auto records = ComponentRecords();
  ASSERT_GE(records.size(), 20u);
  for (const auto& r : records) {
    TVRXBlowFish c;
    SetUpFromRecord(c, r);
    RunStep(c, r, "");
    if (r.Has("ErrorAt")) continue;
    if (r.Has("Plaintext2") || r.Has("Encrypted2")) RunStep(c, r, "2");

    if (!r.Has("Plaintext")) continue;
    const std::string plain = r.Bytes("Plaintext");
    const std::string expected = FromHex(r.Get("EncryptString"));
    // A second component set up alike, with another IV, reads it back and ends with IVAfter.
    TVRXBlowFish d;
    SetUpFromRecord(d, r);
    d.SetIV(0, 0xDEADBEEF);
    EXPECT_EQ(d.DecryptString(expected), plain) << r.Where();
    if (r.Has("IVAfter")) {
      EXPECT_EQ(IVOf(d), HexWords(r.Get("IVAfter"))) << r.Where();
    }

    // The encrypted stream and the encrypted file of the same plaintext.
    TVRXBlowFish s;
    SetUpFromRecord(s, r);
    TReadOnlyMemoryStream src(plain);
    TMemoryStream dst;
    s.EncryptStream(src, dst, static_cast<int32_t>(plain.size()));
    EXPECT_EQ(dst.Data(), expected.substr(4)) << r.Where();
    EXPECT_EQ(dst.GetPosition(), 0);

    TVRXBlowFish f;
    SetUpFromRecord(f, r);
    const std::string in = TempPath("rec.plain"), enc = TempPath("rec.enc"),
                      dec = TempPath("rec.dec");
    WriteFile(in, plain);
    f.EncryptFile(in, enc);
    EXPECT_EQ(ReadFile(enc), expected.substr(4) + expected.substr(0, 4)) << r.Where();
    f.DecryptFile(enc, dec);
    EXPECT_EQ(ReadFile(dec), plain) << r.Where();
  }
}
