// What the incremental fuzz targets share: a component configured from the fuzzer's bytes, the
// cuts of a message into pieces, a progress log, and scratch files.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"

namespace morvane::fuzz {

// How to build a component, drawn once per input, so that several fresh components can be made
// alike (the drivers carry IV state from run to run).
struct TSetup {
  int Kind = 0;  // 0 Blowfish, 1 DES, 2 Twofish, 3 Base64, 4 uuencode
  int Rounds = 16;
  TCipherMode Mode = cipherECB;
  int32_t BufferSize = 1000;
  std::string Key;
  std::string IV;  // empty: the component's own

  bool IsCipher() const noexcept { return Kind < 3; }
  int32_t Block() const noexcept { return Kind == 2 ? 16 : 8; }

  static TSetup Draw(FuzzedDataProvider& In) {
    TSetup s;
    s.Kind = In.ConsumeIntegralInRange<int>(0, 4);
    s.Rounds = In.ConsumeIntegralInRange<int>(2, 16);
    s.Mode = static_cast<TCipherMode>(In.ConsumeIntegralInRange<int>(0, 4));
    s.BufferSize = In.ConsumeBool() ? 1000 : In.ConsumeIntegralInRange<int32_t>(1, 9);
    s.Key = In.ConsumeRandomLengthString(80);
    if (In.ConsumeBool()) s.IV = In.ConsumeBytesAsString(static_cast<size_t>(s.Block()));
    return s;
  }

  // Nothing when the component refuses the setup (a weak or empty key, a short IV).
  std::unique_ptr<TCustomVRXCipher> Make() const {
    std::unique_ptr<TCustomVRXCipher> c;
    switch (Kind) {
      case 0:
        c = std::make_unique<TVRXBlowFish>();
        break;
      case 1:
        c = std::make_unique<TVRXDES>();
        break;
      case 2: {
        auto twofish = std::make_unique<TVRXTwoFish>();
        twofish->SetNumRounds(Rounds);
        c = std::move(twofish);
        break;
      }
      case 3:
        c = std::make_unique<TVRXBase64>();
        break;
      default: {
        auto uu = std::make_unique<TVRXUUCode>();
        uu->SetFileName("fuzz.bin");
        uu->SetStatus("644  ");
        c = std::move(uu);
        break;
      }
    }
    c->SetBufferSize(BufferSize);
    if (!IsCipher()) return c;
    try {
      c->SetKey(Key);
      c->SetMode(Mode);
      if (IV.size() == static_cast<size_t>(Block())) c->SetIVBytes(IV);
      c->EncryptString("");  // a weak or empty key is refused here
    } catch (const Exception&) {
      return nullptr;
    }
    return c;
  }
};

// Cut points of a message: up to twelve piece lengths, the rest in one last piece.
struct TPieces {
  std::vector<size_t> Lengths;

  static TPieces Draw(FuzzedDataProvider& In) {
    TPieces p;
    p.Lengths.resize(In.ConsumeIntegralInRange<size_t>(0, 12));
    for (size_t& n : p.Lengths) n = In.ConsumeIntegralInRange<size_t>(0, 300);
    return p;
  }

  // Calls Feed(piece) for each piece of Message, in order.
  template <class F>
  void Each(std::string_view Message, F&& Feed) const {
    size_t at = 0;
    for (size_t n : Lengths) {
      n = std::min(n, Message.size() - at);
      Feed(Message.substr(at, n));
      at += n;
    }
    Feed(Message.substr(at));
  }
};

// Every progress value, and a cancel at call number CancelAt (0: never).
struct TProgressLog {
  std::vector<uint8_t> Calls;
  size_t CancelAt = 0;
  TProgressProc Handler() {
    return [this](uint8_t n, bool& abort) {
      Calls.push_back(n);
      if (Calls.size() == CancelAt) abort = true;
    };
  }
};

inline std::string ScratchPath(const char* What) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/morvane-fuzz-" + std::to_string(getpid()) + What;
}

inline void WriteFile(const std::string& Path, std::string_view Bytes) {
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!f) __builtin_trap();
}

inline std::string ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace morvane::fuzz
