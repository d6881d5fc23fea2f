// Packages: shared libraries that bring component classes to a host. A package exports one C
// function, named by PackageEntryName, of type TPackageEntryProc. The host calls it with the
// registry the package's classes go to; the package runs its registration procedure against that
// registry and returns a descriptor: its description, its design-only flag, the packages it
// requires, and access to its palette bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/framework/Classes.h"
#include "morvane/framework/Exceptions.h"

extern "C" {

// What a package tells its host. Plain C layout; StructSize lets later hosts and packages
// recognise each other's version of it.
struct TPackageDescriptor {
  uint32_t StructSize;
  const char* Description;      // shown in the host's list of installed packages
  int32_t DesignOnly;           // nonzero: loaded by a design environment, not by applications
  const char* const* Requires;  // names of the packages it requires, null-terminated
  // A palette bitmap (a BMP file image) by resource name, ASCII case ignored: its bytes with
  // *Size set, or null with *Size 0 when the package has none of that name.
  const uint8_t* (*FindBitmap)(const char* Name, size_t* Size);
};

// The entry point: runs the package's registration against *Registry when Registry is not null,
// and returns the package's descriptor (static data of the package). A failed registration
// raises the framework's exception through it.
typedef const TPackageDescriptor* (*TPackageEntryProc)(morvane::TClassRegistry* Registry);

}  // extern "C"

namespace morvane {

// The symbol a host looks up in a package's shared library.
inline constexpr char PackageEntryName[] = "morvane_package_entry";

// A package could not be loaded: no such library, or no entry point in it.
class EPackageError : public Exception {
  using Exception::Exception;
};

// A package loaded into a host's registry. Destroying it withdraws the classes it registered
// from the registry (objects of those classes must be gone by then) and unloads its code.
class TPackage {
 public:
  // Loads the shared library at Path and runs its entry point against Registry. A missing
  // library or entry point raises EPackageError; a failing registration passes its exception on
  // after withdrawing whatever the package had registered.
  static std::unique_ptr<TPackage> Load(const std::string& Path,
                                        TClassRegistry& Registry = ClassRegistry());
  // Hosts a package whose code is linked into the program already.
  static std::unique_ptr<TPackage> Attach(TPackageEntryProc Entry, std::string Name,
                                          TClassRegistry& Registry = ClassRegistry());
  ~TPackage();
  TPackage(const TPackage&) = delete;
  TPackage& operator=(const TPackage&) = delete;

  const std::string& Name() const noexcept { return FName; }
  std::string Description() const;
  bool DesignOnly() const;
  std::vector<std::string> Requires() const;

  // The pages that hold the classes this package registered, in page order, and the package's
  // classes on one of them, in registration order.
  std::vector<std::string> Pages() const;
  std::vector<TComponentClass> Classes(std::string_view Page) const;
  // Every class this package registered.
  std::vector<TComponentClass> Classes() const;

  // The palette bitmap of a resource name; empty when the package has none, so the host shows
  // its default icon.
  std::string_view FindBitmap(std::string_view ResourceName) const;

 private:
  TPackage(std::string Name, void* Handle, TClassRegistry& Registry);
  void Run(TPackageEntryProc Entry);

  std::string FName;
  void* FHandle;  // from dlopen; null for a linked package
  TClassRegistry& FRegistry;
  const TPackageDescriptor* FDescriptor = nullptr;
};

}  // namespace morvane
