// The morvane._core extension: thin Python classes over the components. Every byte comes from a
// component's driver; this file only moves bytes between Python objects and the drivers, maps the
// library's exceptions to Python ones, reports progress and lets a long run be cancelled.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/mman.h>
#include <cctype>

#include <sys/mman.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Classes.h"
#include "morvane/framework/Endian.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "morvane/package/VRXMorvane.h"
#include "morvane/package/VRXResources.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"
#include "morvane/strings/VRXStrings.h"

namespace py = pybind11;
using namespace morvane;

namespace {

// ---- Exceptions: one Python class per library class a caller can act on.

struct ErrorClasses {
  PyObject* Error = nullptr;
  PyObject* WeakKey = nullptr;
  PyObject* UnsupportedMode = nullptr;
  PyObject* OutOfRange = nullptr;
  PyObject* Range = nullptr;
  PyObject* Cancelled = nullptr;
  PyObject* Read = nullptr;
  PyObject* DamagedData = nullptr;
  PyObject* Write = nullptr;
  PyObject* Open = nullptr;
  PyObject* Create = nullptr;
  PyObject* InOut = nullptr;
  PyObject* Convert = nullptr;
  PyObject* Base64 = nullptr;
  PyObject* UU = nullptr;
  PyObject* Assertion = nullptr;
};
ErrorClasses errors;

PyObject* MakeError(py::module_& m, const char* name, PyObject* base, const char* doc) {
  const std::string qualified = std::string("morvane.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
  if (type == nullptr) throw py::error_already_set();
  m.add_object(name, py::handle(type));
  return type;
}

// The library's messages are bytes; some are Windows-1252 (the Spanish message table).
py::str MessageText(const std::string& message) {
  PyObject* s = PyUnicode_Decode(message.data(), static_cast<Py_ssize_t>(message.size()), "cp1252",
                                 "replace");
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

void Raise(PyObject* type, const Exception& e, int errorCode = 0) {
  py::object instance = py::reinterpret_borrow<py::object>(type)(MessageText(e.Message()));
  if (errorCode != 0) instance.attr("errno") = errorCode;
  PyErr_SetObject(type, instance.ptr());
}

// Exceptions whose class is the framework's base carry a cause only in their message; the
// decoders raise them for malformed text, so a decoder's run names the class to use instead.
thread_local PyObject* plainExceptionClass = nullptr;

void TranslateException(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const EVRXWeakCipherKey& e) {
    Raise(errors.WeakKey, e);
  } catch (const EVRXUnsupportedCipherMode& e) {
    Raise(errors.UnsupportedMode, e);
  } catch (const EVRXOutOfRange& e) {
    Raise(errors.OutOfRange, e);
  } catch (const EVRXEncryptCancel& e) {
    Raise(errors.Cancelled, e);
  } catch (const EVRXDecryptCancel& e) {
    Raise(errors.Cancelled, e);
  } catch (const EVRXDamagedData& e) {
    Raise(errors.DamagedData, e);
  } catch (const EReadError& e) {
    Raise(errors.Read, e);
  } catch (const EWriteError& e) {
    Raise(errors.Write, e);
  } catch (const EFOpenError& e) {
    Raise(errors.Open, e);
  } catch (const EFCreateError& e) {
    Raise(errors.Create, e);
  } catch (const EInOutError& e) {
    Raise(errors.InOut, e, e.ErrorCode());
  } catch (const ERangeError& e) {
    Raise(errors.Range, e);
  } catch (const EConvertError& e) {
    Raise(errors.Convert, e);
  } catch (const EVRXUUError& e) {
    Raise(errors.UU, e);
  } catch (const EAssertionFailed& e) {
    Raise(errors.Assertion, e);
  } catch (const Exception& e) {
    Raise(typeid(e) == typeid(Exception) && plainExceptionClass != nullptr ? plainExceptionClass
                                                                           : errors.Error,
          e);
  }
}

// ---- Bytes in and out

// Below this many bytes a run keeps the GIL: releasing and taking it back costs more than the
// run saves other threads.
constexpr size_t kReleaseThreshold = 8192;

// A read-only view on a bytes-like object (bytes, bytearray, memoryview, array, ...), without a
// copy. The buffer stays exported while the view lives, so a bytearray cannot be resized under
// a run that released the GIL.
class BytesView {
 public:
  explicit BytesView(const py::object& o) {
    if (PyUnicode_Check(o.ptr()))
      throw py::type_error("a bytes-like object is required, not 'str'");
    if (PyObject_GetBuffer(o.ptr(), &FBuffer, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~BytesView() { PyBuffer_Release(&FBuffer); }
  BytesView(const BytesView&) = delete;
  BytesView& operator=(const BytesView&) = delete;
  std::string_view View() const {
    return {static_cast<const char*>(FBuffer.buf), static_cast<size_t>(FBuffer.len)};
  }
  size_t Size() const { return static_cast<size_t>(FBuffer.len); }

 private:
  Py_buffer FBuffer{};
};

// Keys, names and separators: bytes-like as they are, str as UTF-8.
std::string TextOrBytes(const py::object& o) {
  if (PyUnicode_Check(o.ptr())) {
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(o.ptr(), &n);
    if (p == nullptr) throw py::error_already_set();
    return {p, static_cast<size_t>(n)};
  }
  BytesView v(o);
  return std::string(v.View());
}

// A new bytes object of Size bytes, not yet written. A large one asks for huge pages where the
// system grants them on request: writing fresh memory costs mostly page faults, and 2 MiB pages
// take 512 times fewer than 4 KiB ones (the copy of a decrypted string into Python costs a few
// per cent of the run instead of a quarter).
py::bytes NewBytes(size_t Size) {
  auto b = py::reinterpret_steal<py::bytes>(
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(Size)));
  if (!b) throw py::error_already_set();
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (Size >= 2 * kHuge) {
    const auto p = reinterpret_cast<uintptr_t>(PyBytes_AS_STRING(b.ptr()));
    const uintptr_t from = (p + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (p + Size) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  }
#endif
  return b;
}

py::bytes ToBytes(const std::string& s) {
  if (s.size() < kReleaseThreshold) return py::bytes(s.data(), s.size());
  py::bytes b = NewBytes(s.size());
  char* p = PyBytes_AS_STRING(b.ptr());
  py::gil_scoped_release nogil;
  std::memcpy(p, s.data(), s.size());
  return b;
}

// File names: str, bytes or os.PathLike, as open() takes them.
std::string PathOf(const py::object& o) {
  py::object fs = py::reinterpret_steal<py::object>(PyOS_FSPath(o.ptr()));
  if (!fs) throw py::error_already_set();
  if (PyBytes_Check(fs.ptr())) return std::string(py::bytes(fs));
  py::object encoded = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(fs.ptr()));
  if (!encoded) throw py::error_already_set();
  return std::string(py::bytes(encoded));
}

// ---- Runs: progress, cancel, the GIL

// How often a run that released the GIL takes it back to look for Ctrl-C.
constexpr auto kSignalPeriod = std::chrono::milliseconds(50);

// One run of a driver. It installs a progress handler on the component for the length of the
// run; the handler turns the component's chunk events into a percentage for on_progress, and
// cancels the run for Ctrl-C or an exception raised by Python code the run called (a progress
// callback, a file object's read or write). That Python exception, not the library's cancel, is
// what the caller then sees.
class Run {
 public:
  Run(TCustomVRXCipher& Component, const py::object& OnProgress, int64_t Total, int64_t ChunkBytes)
      : FComponent(Component), FOnProgress(OnProgress), FTotal(Total), FChunkBytes(ChunkBytes) {
    FComponent.SetOnProgress([this](uint8_t, bool& abort) { Progress(abort); });
  }
  ~Run() { FComponent.SetOnProgress(nullptr); }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Runs Fn, without the GIL when Release; rethrows the Python exception that cancelled it.
  template <class Fn>
  auto operator()(bool Release, Fn&& F) -> decltype(F()) {
    try {
      if (Release) {
        py::gil_scoped_release nogil;
        return F();
      }
      return F();
    } catch (const Exception&) {
      RethrowPending();
      throw;
    }
  }

  // Called with the GIL held by code the run called back: remembers the Python error so that
  // the run, once unwound, raises it.
  void Remember(py::error_already_set&& e) {
    if (!FPending) FPending.emplace(std::move(e));
  }
  void RethrowPending() {
    if (FPending) {
      py::error_already_set e = std::move(*FPending);
      FPending.reset();
      throw e;
    }
  }
  bool Failed() const { return FPending.has_value(); }

 private:
  void Progress(bool& abort) {
    ++FChunks;
    // The component counts the bytes of its run; a run it does not count (total 0) is measured
    // in chunks against the size the caller gave.
    int64_t done = FComponent.GetProgressDone();
    int64_t total = FComponent.GetProgressTotal();
    if (total <= 0) {
      done = FChunks * FChunkBytes;
      total = FTotal;
    }
    int percent = 100;
    if (total > 0) percent = done >= total ? 100 : static_cast<int>(done * 100 / total);
    const bool report = !FOnProgress.is_none() && percent != FLastPercent;
    const auto now = std::chrono::steady_clock::now();
    if (!report && now - FLastSignalCheck < kSignalPeriod) return;
    py::gil_scoped_acquire gil;
    FLastSignalCheck = now;
    if (PyErr_CheckSignals() != 0) {
      Remember(py::error_already_set());
      abort = true;
      return;
    }
    if (!report) return;
    FLastPercent = percent;
    try {
      py::object r = FOnProgress(percent);
      if (!r.is_none() && !PyObject_IsTrue(r.ptr())) abort = true;
    } catch (py::error_already_set& e) {
      Remember(std::move(e));
      abort = true;
    }
  }

  TCustomVRXCipher& FComponent;
  py::object FOnProgress;
  int64_t FTotal;
  int64_t FChunkBytes;
  int64_t FChunks = 0;
  int FLastPercent = -1;
  std::chrono::steady_clock::time_point FLastSignalCheck = std::chrono::steady_clock::now();
  std::optional<py::error_already_set> FPending;
};

// A TStream over a Python binary file object (anything with read or readinto, and write).
// Python errors raised by the object end the run and reach the caller unchanged.
class PyFileStream : public TStream {
 public:
  PyFileStream(py::object File, Run& R) : FFile(std::move(File)), FRun(R) {
    py::gil_scoped_acquire gil;
    FHasReadinto = py::hasattr(FFile, "readinto");
  }

  int32_t Read(void* Buffer, int32_t Count) override {
    py::gil_scoped_acquire gil;
    int32_t done = 0;
    try {
      while (done < Count) {
        int32_t n = 0;
        if (FHasReadinto) {
          py::object view = py::reinterpret_steal<py::object>(PyMemoryView_FromMemory(
              static_cast<char*>(Buffer) + done, Count - done, PyBUF_WRITE));
          if (!view) throw py::error_already_set();
          py::object r = FFile.attr("readinto")(view);
          if (r.is_none()) break;  // a non-blocking source with nothing to give
          n = r.cast<int32_t>();
        } else {
          py::object r = FFile.attr("read")(Count - done);
          BytesView v(r);
          if (v.Size() > static_cast<size_t>(Count - done))
            throw py::value_error("read() returned more bytes than asked for");
          std::memcpy(static_cast<char*>(Buffer) + done, v.View().data(), v.Size());
          n = static_cast<int32_t>(v.Size());
        }
        if (n <= 0) break;
        done += n;
        FPosition += n;
      }
    } catch (py::error_already_set& e) {
      FRun.Remember(std::move(e));
      throw EReadError("Stream read error");
    }
    return done;
  }

  int32_t Write(const void* Buffer, int32_t Count) override {
    py::gil_scoped_acquire gil;
    int32_t done = 0;
    try {
      while (done < Count) {
        py::object view = py::reinterpret_steal<py::object>(PyMemoryView_FromMemory(
            const_cast<char*>(static_cast<const char*>(Buffer)) + done, Count - done, PyBUF_READ));
        if (!view) throw py::error_already_set();
        py::object r = FFile.attr("write")(view);
        // Buffered files write everything and return the count; raw files may write less.
        const int32_t n = r.is_none() ? 0 : r.cast<int32_t>();
        if (n <= 0) break;
        done += n;
        FPosition += n;
      }
    } catch (py::error_already_set& e) {
      FRun.Remember(std::move(e));
      throw EWriteError("Stream write error");
    }
    return done;
  }

  // The drivers seek only to rewind a destination they have written; a destination that cannot
  // seek (a pipe, a socket) simply stays where it is.
  int64_t Seek(int64_t Offset) override {
    py::gil_scoped_acquire gil;
    try {
      if (Offset != FPosition && FFile.attr("seekable")().cast<bool>()) {
        FFile.attr("seek")(Offset);
        FPosition = Offset;
      }
    } catch (py::error_already_set& e) {
      FRun.Remember(std::move(e));
      throw EInOutError("Seek error");
    }
    return FPosition;
  }
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return FPosition; }

 private:
  py::object FFile;
  Run& FRun;
  bool FHasReadinto = false;
  int64_t FPosition = 0;
};

// A destination stream that writes into a bytes object made to the exact size of a run's output,
// so that a large result is written once, where Python will hold it, instead of being made in a
// string and then copied.
class BytesSink : public TStream {
 public:
  explicit BytesSink(size_t Size) : FBytes(NewBytes(Size)) {
    FData = PyBytes_AS_STRING(FBytes.ptr());
    FSize = Size;
  }
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* Buffer, int32_t Count) override {
    const size_t n = std::min(static_cast<size_t>(Count), FSize - std::min(FSize, FPosition));
    std::memcpy(FData + FPosition, Buffer, n);
    FPosition += n;
    FWritten = std::max(FWritten, FPosition);
    return static_cast<int32_t>(n);
  }
  int64_t Seek(int64_t Offset) override {
    FPosition = static_cast<size_t>(std::clamp<int64_t>(Offset, 0, static_cast<int64_t>(FSize)));
    return static_cast<int64_t>(FPosition);
  }
  int64_t GetPosition() const override { return static_cast<int64_t>(FPosition); }
  int64_t GetSize() const override { return static_cast<int64_t>(FSize); }
  char* Data() { return FData; }
  // The bytes object, once the run wrote it whole.
  py::bytes Take() {
    if (FWritten != FSize) throw EWriteError("Stream write error: the output was cut short");
    return std::move(FBytes);
  }

 private:
  py::bytes FBytes;
  char* FData = nullptr;
  size_t FSize = 0;
  size_t FPosition = 0;
  size_t FWritten = 0;
};

// The bytes left in a seekable binary file object, for a stream run without a size.
int64_t RemainingBytes(const py::object& File) {
  if (!py::hasattr(File, "seekable") || !File.attr("seekable")().cast<bool>())
    throw py::value_error("size is required for a source that cannot seek");
  const auto here = File.attr("tell")().cast<int64_t>();
  const auto end = File.attr("seek")(0, 2).cast<int64_t>();
  File.attr("seek")(here);
  return end - here;
}

int32_t LayoutSize(int64_t n, const char* what) {
  if (n < 0) throw py::value_error(std::string(what) + " must not be negative");
  CheckLayoutSize(n, what);
  return static_cast<int32_t>(n);
}

// ---- Components

// What every driver-bearing class shares: the component, the progress callback, a guard that
// refuses a second thread while a run is under way (separate objects run in parallel freely).
class Component {
 public:
  Component(std::unique_ptr<TCustomVRXCipher> C, int32_t PlainBlock, int32_t CipherBlock)
      : FComponent(std::move(C)), FPlainBlock(PlainBlock), FCipherBlock(CipherBlock) {}
  virtual ~Component() = default;

  int32_t GetBufferSize() const { return FComponent->GetBufferSize(); }
  void SetBufferSize(int32_t n) {
    if (n < 1) throw py::value_error("buffer_size must be at least 1");
    FComponent->SetBufferSize(n);
  }

  py::object OnProgress;
  TCustomVRXCipher& Cipher() { return *FComponent; }
  // Set while an incremental object is under way on the component (one message at a time).
  bool Streaming = false;

 protected:
  class Busy {
   public:
    explicit Busy(Component& c) : FLock(c.FBusy, std::try_to_lock) {
      if (!FLock.owns_lock())
        throw std::runtime_error(
            "this object is running on another thread; use one object per thread");
    }

   private:
    std::unique_lock<std::mutex> FLock;
  };

  int64_t ChunkBytes(bool Encrypting) const {
    return int64_t{FComponent->GetBufferSize()} * (Encrypting ? FPlainBlock : FCipherBlock);
  }

  py::bytes StringRun(const py::object& Data, bool Encrypting) {
    Busy busy(*this);
    BytesView in(Data);
    return StringRunLocked(in, Encrypting);
  }
  py::bytes StringRunLocked(const BytesView& in, bool Encrypting) {
    Run run(*FComponent, OnProgress, static_cast<int64_t>(in.Size()), ChunkBytes(Encrypting));
    std::string out = run(in.Size() >= kReleaseThreshold, [&] {
      return Encrypting ? FComponent->EncryptString(in.View())
                        : FComponent->DecryptString(in.View());
    });
    return ToBytes(out);
  }

  void FileRun(const py::object& Source, const py::object& Dest, bool Encrypting) {
    Busy busy(*this);
    const std::string src = PathOf(Source), dst = PathOf(Dest);
    int64_t total = 0;
    {
      py::object os = py::module_::import("os");
      try {
        total = os.attr("stat")(Source).attr("st_size").cast<int64_t>();
      } catch (py::error_already_set&) {
        total = 0;  // the driver reports a missing source in its own words
      }
    }
    Run run(*FComponent, OnProgress, total, ChunkBytes(Encrypting));
    run(true, [&] {
      if (Encrypting)
        FComponent->EncryptFile(src, dst);
      else
        FComponent->DecryptFile(src, dst);
    });
  }

  void StreamRun(const py::object& Source, const py::object& Dest, const py::object& Size,
                 bool Encrypting) {
    Busy busy(*this);
    const int32_t size =
        LayoutSize(Size.is_none() ? RemainingBytes(Source) : Size.cast<int64_t>(), "size");
    Run run(*FComponent, OnProgress, size, ChunkBytes(Encrypting));
    PyFileStream src(Source, run), dst(Dest, run);
    run(true, [&] {
      if (Encrypting)
        FComponent->EncryptStream(src, dst, size);
      else
        FComponent->DecryptStream(src, dst, size);
    });
  }

  std::unique_ptr<TCustomVRXCipher> FComponent;

 private:
  std::mutex FBusy;
  int32_t FPlainBlock;
  int32_t FCipherBlock;
};

TCipherMode ModeOf(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::pair<const char*, TCipherMode> kModes[] = {{"ecb", cipherECB},
                                                               {"cbc", cipherCBC},
                                                               {"cfb", cipherCFB},
                                                               {"ofb", cipherOFB},
                                                               {"pcbc", cipherPCBC}};
  for (const auto& [n, m] : kModes)
    if (name == n) return m;
  throw py::value_error("mode must be one of 'ecb', 'cbc', 'cfb', 'ofb', 'pcbc', not '" + name +
                        "'");
}

const char* ModeName(TCipherMode m) {
  static const char* const kNames[] = {"ecb", "cbc", "cfb", "ofb", "pcbc"};
  return kNames[m];
}

// A block cipher: Blowfish, DES or Twofish.
class BlockCipher : public Component {
 public:
  void Setup(const py::object& Key, const std::string& Mode, int32_t BufferSize,
             const py::object& IV, const py::object& Progress) {
    SetKey(Key);
    SetMode(Mode);
    SetBufferSize(BufferSize);
    if (!IV.is_none()) SetIV(IV);
    OnProgress = Progress;
  }

  py::bytes GetKey() const { return ToBytes(FComponent->GetKey()); }
  void SetKey(const py::object& Key) { FComponent->SetKey(TextOrBytes(Key)); }
  std::string GetMode() const { return ModeName(FComponent->GetMode()); }
  void SetMode(const std::string& Mode) { FComponent->SetMode(ModeOf(Mode)); }

  // The IV as the layouts carry it: each word least significant byte first, word 0 first.
  py::bytes GetIV() const { return ToBytes(FComponent->GetIVBytes()); }
  void SetIV(const py::object& Value) {
    BytesView v(Value);
    if (v.Size() != static_cast<size_t>(IVSize()))
      throw py::value_error("iv must be " + std::to_string(IVSize()) + " bytes, not " +
                            std::to_string(v.Size()));
    FComponent->SetIVBytes(v.View());
  }
  int32_t IVSize() const { return FComponent->IVSize(); }

  // An empty plaintext still gives one block.
  int32_t EncryptedSize(int64_t n) const {
    return std::max(FComponent->CipherTextLength(LayoutSize(n, "size")), FBlock) +
           FComponent->GetLeadingDataSize();
  }

  // The string layout is the length (4 bytes, little-endian) and the encrypted stream: the stream
  // driver writes the stream straight into the result, which is sized exactly beforehand.
  py::bytes Encrypt(const py::object& Data) {
    Busy busy(*this);
    BytesView in(Data);
    if (in.Size() < kReleaseThreshold) return StringRunLocked(in, true);
    const int32_t n = LayoutSize(static_cast<int64_t>(in.Size()), "string");
    BytesSink sink(4 + static_cast<size_t>(EncryptedSize(n)));
    StoreLE32(reinterpret_cast<uint8_t*>(sink.Data()), static_cast<uint32_t>(n));
    sink.Seek(4);
    TReadOnlyMemoryStream source(in.View());
    Run run(*FComponent, OnProgress, n, ChunkBytes(true));
    run(true, [&] { FComponent->EncryptStream(source, sink, n); });
    return sink.Take();
  }
  py::bytes Decrypt(const py::object& Data) { return StringRun(Data, false); }
  void EncryptFile(const py::object& S, const py::object& D) { FileRun(S, D, true); }
  void DecryptFile(const py::object& S, const py::object& D) { FileRun(S, D, false); }
  void EncryptStream(const py::object& S, const py::object& D, const py::object& N) {
    StreamRun(S, D, N, true);
  }
  void DecryptStream(const py::object& S, const py::object& D, const py::object& N) {
    StreamRun(S, D, N, false);
  }

 protected:
  BlockCipher(std::unique_ptr<TCustomVRXCipher> C, int32_t Block)
      : Component(std::move(C), Block, Block), FBlock(Block) {}

 private:
  int32_t FBlock;
};

// One Python class per cipher (pybind11 binds each C++ type once).
template <class T, int32_t Block>
class TypedCipher : public BlockCipher {
 public:
  TypedCipher() : BlockCipher(std::make_unique<T>(), Block) {}
  T& Typed() { return static_cast<T&>(*FComponent); }
};
using BlowfishCipher = TypedCipher<TVRXBlowFish, 8>;
using DESCipher = TypedCipher<TVRXDES, 8>;
using TwofishCipher = TypedCipher<TVRXTwoFish, 16>;

// The component ignores a count outside 2..16; from Python that is a mistake worth saying.
void SetRounds(TwofishCipher& C, int32_t Rounds) {
  if (Rounds < 2 || Rounds > 16) throw py::value_error("rounds must be from 2 to 16");
  C.Typed().SetNumRounds(Rounds);
}

// Base64 text: the component's strict alphabet, no line breaks.
class Base64Codec : public Component {
 public:
  Base64Codec() : Component(std::make_unique<TVRXBase64>(), 3, 4) {}

  template <class Fn>
  static auto Decoding(Fn&& F) -> decltype(F()) {
    struct Scope {
      Scope() { plainExceptionClass = errors.Base64; }
      ~Scope() { plainExceptionClass = nullptr; }
    } scope;
    try {
      return F();
    } catch (const Exception&) {
      // Translated here, while the decoder's class is in force.
      TranslateException(std::current_exception());
      throw py::error_already_set();
    }
  }

  // The text of n bytes has exactly 4 * ceil(n / 3) characters: the stream driver writes it
  // straight into the result.
  py::bytes Encode(const py::object& Data) {
    Busy busy(*this);
    BytesView in(Data);
    if (in.Size() < kReleaseThreshold) return StringRunLocked(in, true);
    const int32_t n = LayoutSize(static_cast<int64_t>(in.Size()), "string");
    BytesSink sink(4 * ((static_cast<size_t>(n) + 2) / 3));
    TReadOnlyMemoryStream source(in.View());
    Run run(*FComponent, OnProgress, n, ChunkBytes(true));
    run(true, [&] { FComponent->EncryptStream(source, sink, n); });
    return sink.Take();
  }
  py::bytes Decode(const py::object& Text) {
    if (PyUnicode_Check(Text.ptr())) {
      py::bytes ascii = py::reinterpret_steal<py::bytes>(PyUnicode_AsASCIIString(Text.ptr()));
      if (!ascii) {
        PyErr_Clear();
        PyErr_SetString(errors.Base64, "Invalid value in Base64 Decoding Table");
        throw py::error_already_set();
      }
      return Decoding([&] { return StringRun(ascii, false); });
    }
    return Decoding([&] { return StringRun(Text, false); });
  }
  void EncodeFile(const py::object& S, const py::object& D) { FileRun(S, D, true); }
  void DecodeFile(const py::object& S, const py::object& D) {
    Decoding([&] {
      FileRun(S, D, false);
      return 0;
    });
  }
};

// Uuencoded documents: begin line with the status (mode) and name, 45-byte lines, end line.
class UUCodec : public Component {
 public:
  UUCodec() : Component(std::make_unique<TVRXUUCode>(), 45, 63) {}
  TVRXUUCode& UU() { return static_cast<TVRXUUCode&>(*FComponent); }

  py::bytes Encode(const py::object& Data) { return StringRun(Data, true); }
  py::bytes Decode(const py::object& Document) { return StringRun(Document, false); }
  void EncodeFile(const py::object& S, const py::object& D) { FileRun(S, D, true); }
  void DecodeFile(const py::object& S, const py::object& D) { FileRun(S, D, false); }

  py::bytes GetFileName() { return ToBytes(UU().GetFileName()); }
  void SetFileName(const py::object& Name) { UU().SetFileName(TextOrBytes(Name)); }
  py::bytes GetStatus() { return ToBytes(UU().GetStatus()); }
  void SetStatus(const py::object& Status) { UU().SetStatus(TextOrBytes(Status)); }
};

// ---- Incremental encryption and decryption

// A message fed in pieces through a component (TVRXEncryptor / TVRXDecryptor): update() gives
// what the input so far allows, finish() the rest; the bytes are those of the stream or file
// driver, however the input is cut.
class Incremental {
 public:
  Incremental(Component& Owner, bool Encrypting, const std::string& Layout) : FOwner(Owner) {
    TCipherLayout layout = layoutStream;
    if (Layout == "file")
      layout = layoutFile;
    else if (Layout != "stream")
      throw py::value_error("layout must be 'stream' or 'file', not '" + Layout + "'");
    if (FOwner.Streaming)
      throw std::runtime_error("the component already has a message under way; finish it first");
    // A uuencoded document in pieces may be in any form the decoders read, not only the
    // package's own layout that TVRXDecryptor takes.
    auto* uu = dynamic_cast<TVRXUUCode*>(&FOwner.Cipher());
    if (Encrypting)
      FEncryptor = std::make_unique<TVRXEncryptor>(FOwner.Cipher(), layout);
    else if (uu != nullptr && layout == layoutFile)
      FDocument = std::make_unique<TVRXUUDocumentReader>(*uu);
    else
      FDecryptor = std::make_unique<TVRXDecryptor>(FOwner.Cipher(), layout);
    FOwner.Streaming = true;
  }
  ~Incremental() { Close(); }
  Incremental(const Incremental&) = delete;
  Incremental& operator=(const Incremental&) = delete;

  py::bytes Update(const py::object& Data) {
    BytesView in(Data);
    const auto* p = reinterpret_cast<const uint8_t*>(in.View().data());
    return Step(in.Size(), [&](std::string& out) {
      if (FEncryptor)
        FEncryptor->Update(std::span(p, in.Size()), out);
      else if (FDocument)
        FDocument->Update(std::span(p, in.Size()), out);
      else
        FDecryptor->Update(std::span(p, in.Size()), out);
    });
  }
  py::bytes Finish() {
    py::bytes out = Step(0, [&](std::string& o) {
      if (FEncryptor)
        FEncryptor->Finish(o);
      else if (FDocument)
        FDocument->Finish(o);
      else
        FDecryptor->Finish(o);
    });
    Close();
    return out;
  }

 private:
  template <class Fn>
  py::bytes Step(size_t Size, Fn&& F) {
    if (!FEncryptor && !FDecryptor && !FDocument)
      throw py::value_error("this message is finished (or failed); start a new one");
    std::string out;
    // Percentages mean nothing without a known end: only Ctrl-C is looked for.
    Run run(FOwner.Cipher(), py::none(), 0, 0);
    try {
      run(Size >= kReleaseThreshold, [&] { F(out); });
    } catch (...) {
      Close();  // the library's object is spent after an error
      throw;
    }
    return ToBytes(out);
  }
  void Close() {
    if (FEncryptor || FDecryptor || FDocument) FOwner.Streaming = false;
    FEncryptor.reset();
    FDecryptor.reset();
    FDocument.reset();
  }

  Component& FOwner;
  std::unique_ptr<TVRXEncryptor> FEncryptor;
  std::unique_ptr<TVRXDecryptor> FDecryptor;
  std::unique_ptr<TVRXUUDocumentReader> FDocument;
};

// ---- Digests

// A digest with the shape of Python's hashlib objects, over the incremental digest: any
// message length, in pieces of any size. The digest is taken once: digest() ends the message,
// and a later update() is refused (the component's state cannot be copied, so neither can the
// object).
class Digest {
 public:
  using Factory = std::unique_ptr<TCustomVRXHash> (*)();
  Digest(Factory F, const char* Name, int Size)
      : FHash(F()), FDigester(std::make_unique<TVRXDigester>(*FHash)), FName(Name), FSize(Size) {}

  void Update(const py::object& Data) {
    BytesView v(Data);
    Busy busy(*this);
    if (!FDigester) throw py::value_error("update() after digest(): start a new digest object");
    const auto* p = reinterpret_cast<const uint8_t*>(v.View().data());
    Run run(*FHash, py::none(), static_cast<int64_t>(v.Size()),
            64 * int64_t{FHash->GetBufferSize()});
    try {
      run(v.Size() >= kReleaseThreshold, [&] { FDigester->Update(std::span(p, v.Size())); });
    } catch (...) {
      FDigester.reset();  // an interrupted update leaves no message to go on with
      throw;
    }
  }

  std::string Value() {
    Busy busy(*this);
    if (FDigester) {
      FValue = FDigester->Finish();
      FDigester.reset();
    } else if (FValue.empty()) {
      throw py::value_error("this digest object was interrupted; start a new one");
    }
    return FValue;
  }

  const char* Name() const { return FName; }
  int Size() const { return FSize; }

 private:
  class Busy {
   public:
    explicit Busy(Digest& d) : FLock(d.FBusy, std::try_to_lock) {
      if (!FLock.owns_lock()) throw std::runtime_error("this digest is in use by another thread");
    }

   private:
    std::unique_lock<std::mutex> FLock;
  };

  std::unique_ptr<TCustomVRXHash> FHash;
  std::unique_ptr<TVRXDigester> FDigester;
  const char* FName;
  int FSize;
  std::string FValue;
  std::mutex FBusy;
};

template <class T>
std::unique_ptr<TCustomVRXHash> MakeHash() {
  return std::make_unique<T>();
}

struct DigestKind {
  const char* Name;
  Digest::Factory Factory;
  int Size;
};
const DigestKind kDigests[] = {
    {"md5", &MakeHash<TVRXMD5>, 16},
    {"sha1", &MakeHash<TVRXSHA>, 20},
    {"ripemd160", &MakeHash<TVRXRIPEMD160>, 20},
    {"ripemd128", &MakeHash<TVRXRIPEMD128>, 16},
};

const DigestKind& DigestByName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& k : kDigests)
    if (name == k.Name) return k;
  throw py::value_error("unknown digest '" + name +
                        "'; choose 'md5', 'sha1', 'ripemd160' or 'ripemd128'");
}

// The digest of a file of any size, read in chunks and fed to the incremental digest.
py::bytes FileDigest(const py::object& Path, const std::string& Algorithm,
                     const py::object& OnProgress) {
  const DigestKind& kind = DigestByName(Algorithm);
  const std::string path = PathOf(Path);
  std::unique_ptr<TCustomVRXHash> h = kind.Factory();
  TFileStream source(path, fmOpenReadShared);
  const int64_t size = source.GetSize();
  Run run(*h, OnProgress, size, 64 * int64_t{h->GetBufferSize()});
  std::string digest = run(true, [&] {
    TVRXDigester digester(*h);
    std::vector<uint8_t> chunk(1 << 20);
    for (;;) {
      const int32_t n = source.Read(chunk.data(), static_cast<int32_t>(chunk.size()));
      if (n <= 0) break;
      digester.Update(std::span(chunk.data(), static_cast<size_t>(n)));
    }
    return digester.Finish();
  });
  return ToBytes(digest);
}

// ---- Generators

class Generator {
 public:
  explicit Generator(std::unique_ptr<TVRXRandomGenerator> G) : FGen(std::move(G)) {}
  virtual ~Generator() = default;

  py::bytes GetSeed() const {
    std::string s(static_cast<size_t>(FGen->SeedSize()), '\0');
    for (int32_t i = 0; i < FGen->SeedSize(); ++i)
      s[static_cast<size_t>(i)] = static_cast<char>(FGen->GetSeed(i));
    return ToBytes(s);
  }
  // The bytes fill seed positions 0, 1, 2, ...; the rest become zero. Init makes them count.
  void SetSeed(const py::object& Seed) {
    BytesView v(Seed);
    if (v.Size() > static_cast<size_t>(FGen->SeedSize()))
      throw py::value_error("seed holds at most " + std::to_string(FGen->SeedSize()) +
                            " bytes, not " + std::to_string(v.Size()));
    std::lock_guard<std::mutex> lock(FBusy);
    for (int32_t i = 0; i < FGen->SeedSize(); ++i)
      FGen->SetSeed(i, static_cast<size_t>(i) < v.Size()
                           ? static_cast<uint8_t>(v.View()[static_cast<size_t>(i)])
                           : 0);
  }
  // Whole 32-bit seed words: exactly seed_size of them, then init.
  std::vector<uint32_t> GetSeedWords() const {
    std::vector<uint32_t> w(static_cast<size_t>(FGen->SeedSize()));
    for (int32_t i = 0; i < FGen->SeedSize(); ++i) w[static_cast<size_t>(i)] = FGen->GetSeedWord(i);
    return w;
  }
  void SetSeedWords(const std::vector<uint32_t>& Words) {
    if (Words.size() != static_cast<size_t>(FGen->SeedSize()))
      throw py::value_error("seed_words takes exactly " + std::to_string(FGen->SeedSize()) +
                            " words, not " + std::to_string(Words.size()));
    std::lock_guard<std::mutex> lock(FBusy);
    FGen->SetSeedWords(Words);
  }
  int32_t SeedSize() const { return FGen->SeedSize(); }
  void Init() {
    std::lock_guard<std::mutex> lock(FBusy);
    FGen->Init();
  }
  uint32_t Word32() {
    std::lock_guard<std::mutex> lock(FBusy);
    uint32_t v = 0;
    FGen->GetWord32(v);
    return v;
  }
  // The first word drawn is the least significant.
  uint64_t Word64() {
    std::lock_guard<std::mutex> lock(FBusy);
    uint32_t hi = 0, lo = 0;
    FGen->GetWord64(hi, lo);
    return (uint64_t{hi} << 32) | lo;
  }
  py::int_ Word128() {
    uint32_t w[4];
    {
      std::lock_guard<std::mutex> lock(FBusy);
      FGen->GetWord128(w);
    }
    uint8_t le[16];
    for (int i = 0; i < 4; ++i) StoreLE32(le + 4 * i, w[i]);
    return py::reinterpret_steal<py::int_>(_PyLong_FromByteArray(le, 16, 1, 0));
  }
  // Count 32-bit draws in the order drawn, each least significant byte first.
  py::bytes Words(int64_t Count) {
    if (Count < 0) throw py::value_error("count must not be negative");
    std::string out(static_cast<size_t>(Count) * 4, '\0');
    std::lock_guard<std::mutex> lock(FBusy);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    for (int64_t i = 0; i < Count; ++i) {
      uint32_t v = 0;
      FGen->GetWord32(v);
      StoreLE32(p + 4 * i, v);
    }
    return ToBytes(out);
  }

 private:
  std::unique_ptr<TVRXRandomGenerator> FGen;
  std::mutex FBusy;
};

template <class T>
class TypedGenerator : public Generator {
 public:
  TypedGenerator() : Generator(std::make_unique<T>()) {}
};

// ---- String utilities: bytes stay bytes; str is taken as Latin-1 (one character per byte) and
// the result given back as str.

struct Text {
  std::string Bytes;
  bool IsStr = false;
};

Text TextIn(const py::object& o) {
  if (PyUnicode_Check(o.ptr())) {
    py::object b = py::reinterpret_steal<py::object>(PyUnicode_AsLatin1String(o.ptr()));
    if (!b) throw py::error_already_set();
    return {std::string(py::bytes(b)), true};
  }
  BytesView v(o);
  return {std::string(v.View()), false};
}

py::object TextOut(const std::string& s, bool AsStr) {
  if (!AsStr) return ToBytes(s);
  PyObject* u = PyUnicode_DecodeLatin1(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
  if (u == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(u);
}

py::str Latin1(const std::string& s) {
  return TextOut(s, true);
}

void BindStrings(py::module_& s) {
  s.doc() =
      "The library's string utilities that Python lacks. Text arguments are bytes, or str taken "
      "as Latin-1 (one character per byte); results have the type of the first text argument.";
  s.def(
      "dec_to_base", [](int32_t value, int32_t base) { return Latin1(DecToBase(value, base)); },
      py::arg("value"), py::arg("base"),
      "value written in base (2 to 36), upper-case digits, '-' for a negative value.");
  s.def(
      "base_to_dec",
      [](const py::object& text, int32_t base) { return BaseToDec(TextIn(text).Bytes, base); },
      py::arg("text"), py::arg("base"),
      "The number that text writes in base; a byte that is no digit raises ConvertError.");
  s.def(
      "zstr", [](int32_t value, int32_t width) { return Latin1(ZStr(value, width)); },
      py::arg("value"), py::arg("width"),
      "value in decimal with leading zeros up to width characters, the sign counted.");
  s.def(
      "eval_as_float",
      [](const py::object& text) { return static_cast<double>(EvalAsFloat(TextIn(text).Bytes)); },
      py::arg("text"),
      "The number in text (sign, digits, one '.', exponent), or 0.0; never raises.");
  s.def(
      "eval_as_integer", [](const py::object& text) { return EvalAsInteger(TextIn(text).Bytes); },
      py::arg("text"), "The signed 32-bit decimal number in text, or 0; never raises.");
  s.def(
      "string_to_hex",
      [](const py::object& text) {
        Text t = TextIn(text);
        return TextOut(StringToHex(t.Bytes), t.IsStr);
      },
      py::arg("text"), "Two upper-case hex digits per byte, separated by single spaces.");
  s.def(
      "make_id",
      [](const py::object& text) {
        Text t = TextIn(text);
        return TextOut(MakeID(t.Bytes), t.IsStr);
      },
      py::arg("text"), "An identifier made of text: trimmed, '_' for what may not stand in one.");
  s.def(
      "string_to_html",
      [](const py::object& text) {
        Text t = TextIn(text);
        return TextOut(StringToHTML(t.Bytes), t.IsStr);
      },
      py::arg("text"), "text with the bytes HTML reserves written as entities.");
  s.def(
      "string_to_list",
      [](const py::object& text, const py::object& separator) {
        Text t = TextIn(text);
        std::unique_ptr<TStringList> list = StringToStringList(t.Bytes, TextIn(separator).Bytes);
        py::list out;
        for (int32_t i = 0; i < list->Count(); ++i) out.append(TextOut(list->Strings(i), t.IsStr));
        return out;
      },
      py::arg("text"), py::arg("separator"),
      "The pieces of text between separators; an empty rest after the last one is not added.");
  s.def(
      "list_to_string",
      [](const std::vector<py::object>& items, const py::object& separator) {
        Text sep = TextIn(separator);
        std::vector<std::string> bytes;
        for (const auto& item : items) bytes.push_back(TextIn(item).Bytes);
        std::unique_ptr<TStringList> list = ArrayToList(bytes);
        return TextOut(StringListToString(*list, sep.Bytes), sep.IsStr);
      },
      py::arg("items"), py::arg("separator"), "The items joined with separator between them.");
  s.def(
      "extract_word",
      [](const py::object& text) {
        Text t = TextIn(text);
        std::string word;
        ExtractWord(word, t.Bytes);
        return py::make_tuple(TextOut(word, t.IsStr), TextOut(t.Bytes, t.IsStr));
      },
      py::arg("text"), "(first white-space-delimited word, trimmed rest) of the trimmed text.");
  s.def(
      "extract_to",
      [](const py::object& text, const py::object& delimiter) {
        Text t = TextIn(text);
        Text d = TextIn(delimiter);
        if (d.Bytes.size() != 1) throw py::value_error("delimiter must be one character");
        std::string word;
        ExtractTo(word, t.Bytes, d.Bytes[0]);
        return py::make_tuple(TextOut(word, t.IsStr), TextOut(t.Bytes, t.IsStr));
      },
      py::arg("text"), py::arg("delimiter"),
      "(bytes before the first delimiter, bytes after it); without one (text, empty).");
  s.def(
      "str_belongs",
      [](const py::object& item, const py::object& list) {
        return StrBelongs(TextIn(item).Bytes, TextIn(list).Bytes);
      },
      py::arg("item"), py::arg("item_list"), "Whether item is in the ';'-terminated item list.");
  s.def(
      "str_include",
      [](const py::object& item, const py::object& list) {
        Text l = TextIn(list);
        return TextOut(StrInclude(TextIn(item).Bytes, l.Bytes), l.IsStr);
      },
      py::arg("item"), py::arg("item_list"), "The item list with item added once.");
  s.def(
      "str_exclude",
      [](const py::object& item, const py::object& list) {
        Text l = TextIn(list);
        return TextOut(StrExclude(TextIn(item).Bytes, l.Bytes), l.IsStr);
      },
      py::arg("item"), py::arg("item_list"), "The item list without item.");
}

// ---- The palette

py::list Palette() {
  TClassRegistry registry;
  {
    TRegistrationScope scope(registry);
    Register();
  }
  py::list out;
  for (const std::string& page : registry.Pages()) {
    for (TComponentClass cls : registry.PageClasses(page)) {
      std::string bitmapName = cls->Name();
      for (char& c : bitmapName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const std::string_view bitmap = FindPaletteBitmap(bitmapName);
      py::list props;
      for (const TPropInfo* p : cls->Properties())
        if (p->IsStored()) props.append(Latin1(p->Name));
      out.append(py::make_tuple(Latin1(page), Latin1(cls->Name()), Latin1(bitmapName),
                                py::bytes(bitmap.data(), bitmap.size()), props));
    }
  }
  return out;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled core of the morvane package; import morvane instead.";

  errors.Error = MakeError(m, "Error", PyExc_Exception,
                           "Base of every error the library raises; str() is its message.");
  errors.WeakKey = MakeError(m, "WeakKeyError", errors.Error,
                             "The key is empty, blank or (DES) a weak key: 'Weak Key'.");
  errors.UnsupportedMode =
      MakeError(m, "UnsupportedModeError", errors.Error, "The cipher has no such chaining mode.");
  errors.OutOfRange =
      MakeError(m, "OutOfRangeError", errors.Error, "A key or IV index is outside.");
  errors.Range = MakeError(m, "RangeError", errors.Error,
                           "A size or index the layouts cannot hold (2 GiB and more, negative).");
  errors.Cancelled = MakeError(m, "CancelledError", errors.Error,
                               "on_progress returned False: 'Operation Canceled by user'.");
  errors.Read =
      MakeError(m, "ReadError", errors.Error, "A source ended before the data it must hold.");
  errors.DamagedData = MakeError(m, "DamagedDataError", errors.Read,
                                 "Ciphertext whose layout is damaged (cut short, bad size, ...).");
  errors.Write =
      MakeError(m, "WriteError", errors.Error, "A destination took fewer bytes than given.");
  errors.Open = MakeError(m, "OpenError", errors.Error, "A source file could not be opened.");
  errors.Create =
      MakeError(m, "CreateError", errors.Error, "A destination file could not be created.");
  errors.InOut = MakeError(m, "InOutError", errors.Error,
                           "A file read or write failed; errno holds the system's code.");
  errors.Convert =
      MakeError(m, "ConvertError", errors.Error, "Text that is no number of the base.");
  errors.Base64 = MakeError(m, "Base64Error", errors.Error,
                            "Malformed Base64: 'Invalid value in Base64 Decoding Table'.");
  errors.UU =
      MakeError(m, "UUError", errors.Error,
                "Malformed uuencoded document ('No begin line', 'Malformed data line', ...).");
  errors.Assertion = MakeError(m, "AssertionFailedError", errors.Error,
                               "A setting the run cannot use (a buffer size too large, ...).");
  py::register_exception_translator(&TranslateException);

  py::class_<Component>(m, "_Component")
      .def_property("buffer_size", &Component::GetBufferSize, &Component::SetBufferSize,
                    "Blocks per chunk: the unit of progress reports and of memory use.")
      .def(
          "encryptor",
          [](Component& c, const std::string& layout) {
            return std::make_unique<Incremental>(c, true, layout);
          },
          py::arg("layout") = "stream", py::keep_alive<0, 1>(),
          "Encryption (encoding) fed in pieces: .update(data) -> bytes, .finish() -> bytes, "
          "giving the bytes of the stream layout ('stream') or of the file layout ('file'); "
          "one message at a time per object.")
      .def(
          "decryptor",
          [](Component& c, const std::string& layout) {
            return std::make_unique<Incremental>(c, false, layout);
          },
          py::arg("layout") = "stream", py::keep_alive<0, 1>(),
          "Decryption (decoding) fed in pieces, as encryptor(); the file layout is cut to its "
          "recorded size; for UUCode it is a document in any form uudecode() reads (text "
          "after the end line is ignored). Output given before an error must be discarded.")
      .def_readwrite("on_progress", &Component::OnProgress,
                     "None, or a callable on_progress(percent) -> bool called as a run advances; "
                     "returning False cancels the run with CancelledError.");

  py::class_<Incremental>(m, "_Incremental")
      .def("update", &Incremental::Update, py::arg("data"),
           "Feeds data; returns the output it allows so far.")
      .def("finish", &Incremental::Finish, "Ends the message; returns the rest of the output.");

  py::class_<BlockCipher, Component>(m, "_BlockCipher")
      .def_property("key", &BlockCipher::GetKey, &BlockCipher::SetKey,
                    "The key bytes (str is taken as UTF-8).")
      .def_property("mode", &BlockCipher::GetMode, &BlockCipher::SetMode,
                    "'ecb', 'cbc', 'cfb', 'ofb' or 'pcbc'.")
      .def_property("iv", &BlockCipher::GetIV, &BlockCipher::SetIV,
                    "The IV in the order the layouts carry it (each 32-bit word least significant "
                    "byte first). Set a fresh one (os.urandom) before each encryption: otherwise "
                    "the built-in IV is used.")
      .def_property_readonly("iv_size", &BlockCipher::IVSize, "Bytes of the IV.")
      .def("encrypted_size", &BlockCipher::EncryptedSize, py::arg("size"),
           "Bytes of the encrypted stream of size plaintext bytes (IV and padded blocks).")
      .def("encrypt", &BlockCipher::Encrypt, py::arg("data"),
           "The encrypted string of data: its length (4 bytes, little-endian), the IV, the "
           "blocks.")
      .def("decrypt", &BlockCipher::Decrypt, py::arg("data"),
           "The plaintext of an encrypted string.")
      .def("encrypt_file", &BlockCipher::EncryptFile, py::arg("src"), py::arg("dst"),
           "Writes the encrypted file of src to dst: the IV, the blocks, the size (4 bytes).")
      .def("decrypt_file", &BlockCipher::DecryptFile, py::arg("src"), py::arg("dst"),
           "Writes the plaintext of the encrypted file src to dst.")
      .def("encrypt_stream", &BlockCipher::EncryptStream, py::arg("src"), py::arg("dst"),
           py::arg("size") = py::none(),
           "Encrypts size bytes (default: the rest of src) of the binary file object src into "
           "dst as an encrypted stream (IV, blocks); dst is rewound to 0 when it can seek.")
      .def("decrypt_stream", &BlockCipher::DecryptStream, py::arg("src"), py::arg("dst"),
           py::arg("size") = py::none(),
           "Decrypts an encrypted stream of size bytes (default: the rest of src) into dst. The "
           "stream does not record the plaintext length: the zero padding stays.");

  py::class_<BlowfishCipher, BlockCipher>(m, "Blowfish",
                                          "Blowfish (16 rounds, any key length), all five modes.")
      .def(py::init([](const py::object& key, const std::string& mode, int32_t bufferSize,
                       const py::object& iv, const py::object& onProgress) {
             auto c = std::make_unique<BlowfishCipher>();
             c->Setup(key, mode, bufferSize, iv, onProgress);
             return c;
           }),
           py::arg("key"), py::arg("mode") = "cbc", py::arg("buffer_size") = 1000,
           py::arg("iv") = py::none(), py::arg("on_progress") = py::none());
  py::class_<DESCipher, BlockCipher>(
      m, "DES", "DES keyed by the first 8 key bytes; modes 'ecb', 'cbc' and 'pcbc'.")
      .def(py::init([](const py::object& key, const std::string& mode, int32_t bufferSize,
                       const py::object& iv, const py::object& onProgress) {
             auto c = std::make_unique<DESCipher>();
             c->Setup(key, mode, bufferSize, iv, onProgress);
             return c;
           }),
           py::arg("key"), py::arg("mode") = "cbc", py::arg("buffer_size") = 1000,
           py::arg("iv") = py::none(), py::arg("on_progress") = py::none());
  py::class_<TwofishCipher, BlockCipher>(
      m, "Twofish", "Twofish with 16 to 32 key bytes and 2 to 16 rounds; all five modes.")
      .def(py::init([](const py::object& key, const std::string& mode, const py::object& rounds,
                       int32_t bufferSize, const py::object& iv, const py::object& onProgress) {
             auto c = std::make_unique<TwofishCipher>();
             c->Setup(key, mode, bufferSize, iv, onProgress);
             if (!rounds.is_none()) SetRounds(*c, rounds.cast<int32_t>());
             return c;
           }),
           py::arg("key"), py::arg("mode") = "cbc", py::arg("rounds") = py::none(),
           py::arg("buffer_size") = 1000, py::arg("iv") = py::none(),
           py::arg("on_progress") = py::none())
      .def_property(
          "rounds", [](TwofishCipher& c) { return c.Typed().GetNumRounds(); }, &SetRounds,
          "Rounds for the size of the key in force (2 to 16).");

  py::class_<Base64Codec, Component>(m, "Base64",
                                     "Base64 (RFC 4648 alphabet, '=' padding, no line breaks).")
      .def(py::init([](int32_t bufferSize, const py::object& onProgress) {
             auto c = std::make_unique<Base64Codec>();
             c->SetBufferSize(bufferSize);
             c->OnProgress = onProgress;
             return c;
           }),
           py::arg("buffer_size") = 1000, py::arg("on_progress") = py::none())
      .def("encode", &Base64Codec::Encode, py::arg("data"), "The Base64 text of data.")
      .def("decode", &Base64Codec::Decode, py::arg("text"),
           "The bytes of Base64 text (bytes or ASCII str); anything outside the alphabet, line "
           "breaks included, raises Base64Error.")
      .def("encode_file", &Base64Codec::EncodeFile, py::arg("src"), py::arg("dst"))
      .def("decode_file", &Base64Codec::DecodeFile, py::arg("src"), py::arg("dst"));

  py::class_<UUCodec, Component>(m, "UUCode",
                                 "Uuencoded documents: begin line, 45-byte lines, end line, CR LF.")
      .def(py::init([](int32_t bufferSize, const py::object& onProgress) {
             auto c = std::make_unique<UUCodec>();
             c->SetBufferSize(bufferSize);
             c->OnProgress = onProgress;
             return c;
           }),
           py::arg("buffer_size") = 1000, py::arg("on_progress") = py::none())
      .def_property("file_name", &UUCodec::GetFileName, &UUCodec::SetFileName,
                    "The name on the begin line; setting it sets status from the file's mode.")
      .def_property_readonly(
          "safe_file_name", [](UUCodec& c) { return ToBytes(c.UU().GetSafeFileName()); },
          "file_name reduced to a base name safe to create in a directory of your choice (no "
          "directories, no '..', no control bytes): use it, not file_name, to write a file.")
      .def_property("status", &UUCodec::GetStatus, &UUCodec::SetStatus,
                    "The begin line's mode field as written: b'644  ' or b'444  '.")
      .def("encode", &UUCodec::Encode, py::arg("data"), "The document of data.")
      .def("decode", &UUCodec::Decode, py::arg("document"),
           "The bytes of a document; file_name and status take the begin line's.")
      .def("encode_file", &UUCodec::EncodeFile, py::arg("src"), py::arg("dst"))
      .def("decode_file", &UUCodec::DecodeFile, py::arg("src"), py::arg("dst"),
           "Decodes to dst, read-only when the document's status says 444.");

  py::class_<Digest>(m, "_Digest")
      .def("update", &Digest::Update, py::arg("data"), "Adds data to the message.")
      .def(
          "digest", [](Digest& d) { return ToBytes(d.Value()); },
          "The raw digest of the message so far.")
      .def(
          "hexdigest",
          [](Digest& d) {
            const std::string raw = d.Value();
            static constexpr char kHex[] = "0123456789abcdef";
            std::string hex;
            for (unsigned char c : raw) {
              hex += kHex[c >> 4];
              hex += kHex[c & 15];
            }
            return hex;
          },
          "The digest as lower-case hexadecimal.")
      .def_property_readonly("name", &Digest::Name)
      .def_property_readonly("digest_size", &Digest::Size)
      .def_property_readonly("block_size", [](const Digest&) { return 64; });
  m.def(
      "_new_digest",
      [](const std::string& name) {
        const DigestKind& k = DigestByName(name);
        return std::make_unique<Digest>(k.Factory, k.Name, k.Size);
      },
      py::arg("name"));
  m.def("file_digest", &FileDigest, py::arg("path"), py::arg("algorithm"),
        py::arg("on_progress") = py::none(),
        "The raw digest ('md5', 'sha1', 'ripemd160', 'ripemd128') of the file at path.");

  py::class_<Generator>(m, "_Generator")
      .def_property("seed", &Generator::GetSeed, &Generator::SetSeed,
                    "The seed bytes (seed_size of them); setting fills positions 0, 1, ... and "
                    "zeros the rest. They take effect at init().")
      .def_property("seed_words", &Generator::GetSeedWords, &Generator::SetSeedWords,
                    "The seed as seed_size 32-bit words; setting replaces the whole seed with "
                    "them and runs init().")
      .def_property_readonly("seed_size", &Generator::SeedSize)
      .def("init", &Generator::Init, "Starts drawing from the seed.")
      .def("word32", &Generator::Word32, "The next 32-bit word.")
      .def("word64", &Generator::Word64,
           "Two draws as one number; the first word drawn is the least significant half.")
      .def("word128", &Generator::Word128,
           "Four draws as one number; the first word drawn is the least significant.")
      .def("words", &Generator::Words, py::arg("count"),
           "count 32-bit draws as bytes, in the order drawn, each least significant byte first.");
  auto generatorInit = [](auto* tag) {
    using G = std::remove_pointer_t<decltype(tag)>;
    return [](const py::object& seed) {
      auto g = std::make_unique<G>();
      if (!seed.is_none()) {
        g->SetSeed(seed);
        g->Init();
      }
      return g;
    };
  };
  py::class_<TypedGenerator<TVRXISAAC>, Generator>(
      m, "ISAAC", "ISAAC: 256 seed bytes, each one word of the seed array.")
      .def(py::init(generatorInit(static_cast<TypedGenerator<TVRXISAAC>*>(nullptr))),
           py::arg("seed") = py::none());
  py::class_<TypedGenerator<TVRXMT19937B>, Generator>(
      m, "MT19937B", "Mersenne Twister with its 624 state words seeded one byte each.")
      .def(py::init(generatorInit(static_cast<TypedGenerator<TVRXMT19937B>*>(nullptr))),
           py::arg("seed") = py::none());

  m.def("_palette", &Palette);
  m.def(
      "sha1_implementation", [] { return std::string(SHA1Implementation()); },
      "'sha-ni' or 'portable': the SHA-1 code that runs.");

  py::module_ strings = m.def_submodule("strings");
  BindStrings(strings);
}
