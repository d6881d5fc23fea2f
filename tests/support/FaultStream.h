// A stream that fails on purpose: it passes reads and writes through to another stream and
// raises an input/output error on its Nth operation, so tests can break a run at every step.
#pragma once

#include <cstdint>
#include <functional>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

namespace morvane::test {

class TFaultStream : public TStream {
 public:
  // FailAt counts read and write calls from 1; 0 never fails.
  TFaultStream(TStream& Inner, int64_t FailAt) : FInner(Inner), FFailAt(FailAt) {}

  int32_t Read(void* Buffer, int32_t Count) override {
    Step();
    return FInner.Read(Buffer, Count);
  }
  int32_t Write(const void* Buffer, int32_t Count) override {
    Step();
    return FInner.Write(Buffer, Count);
  }
  int64_t Seek(int64_t Offset) override { return FInner.Seek(Offset); }
  int64_t GetPosition() const override { return FInner.GetPosition(); }
  int64_t GetSize() const override { return FInner.GetSize(); }

  int64_t Operations() const noexcept { return FOperations; }

 private:
  void Step() {
    if (++FOperations == FFailAt)
      throw EInOutError("injected fault at operation " + std::to_string(FOperations));
  }

  TStream& FInner;
  int64_t FFailAt;
  int64_t FOperations = 0;
};

}  // namespace morvane::test
