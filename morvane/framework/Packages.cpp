#include "morvane/framework/Packages.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace morvane {

TPackage::TPackage(std::string Name, void* Handle, TClassRegistry& Registry)
    : FName(std::move(Name)), FHandle(Handle), FRegistry(Registry) {}

TPackage::~TPackage() {
  // The registry must not keep class references into code that is about to go.
  FRegistry.UnregisterModule(this);
  if (FHandle != nullptr) dlclose(FHandle);
}

void TPackage::Run(TPackageEntryProc Entry) {
  // Registrations made during the call are this package's, so the destructor can withdraw them
  // (also those of a registration that fails half-way).
  struct TModuleScope {
    TClassRegistry& registry;
    const void* previous;
    ~TModuleScope() { registry.SetCurrentModule(previous); }
  } scope{FRegistry, FRegistry.CurrentModule()};
  FRegistry.SetCurrentModule(this);
  FDescriptor = Entry(&FRegistry);
  if (FDescriptor == nullptr || FDescriptor->StructSize < sizeof(TPackageDescriptor))
    throw EPackageError("Package " + FName + " returned no usable descriptor");
}

std::unique_ptr<TPackage> TPackage::Load(const std::string& Path, TClassRegistry& Registry) {
  dlerror();
  void* handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw EPackageError("Cannot load package " + Path + ": " + (why != nullptr ? why : "unknown"));
  }
  std::unique_ptr<TPackage> package(new TPackage(Path, handle, Registry));
  void* symbol = dlsym(handle, PackageEntryName);
  if (symbol == nullptr)
    throw EPackageError(Path + " is not a package: it has no entry point " + PackageEntryName);
  TPackageEntryProc entry;
  static_assert(sizeof(entry) == sizeof(symbol));
  std::memcpy(&entry, &symbol, sizeof entry);
  package->Run(entry);
  return package;
}

std::unique_ptr<TPackage> TPackage::Attach(TPackageEntryProc Entry, std::string Name,
                                           TClassRegistry& Registry) {
  if (Entry == nullptr) throw EPackageError("Package " + Name + " has no entry point");
  std::unique_ptr<TPackage> package(new TPackage(std::move(Name), nullptr, Registry));
  package->Run(Entry);
  return package;
}

std::string TPackage::Description() const {
  return FDescriptor->Description != nullptr ? FDescriptor->Description : "";
}

bool TPackage::DesignOnly() const {
  return FDescriptor->DesignOnly != 0;
}

std::vector<std::string> TPackage::Requires() const {
  std::vector<std::string> result;
  if (FDescriptor->Requires != nullptr)
    for (const char* const* p = FDescriptor->Requires; *p != nullptr; ++p) result.emplace_back(*p);
  return result;
}

std::vector<TComponentClass> TPackage::Classes() const {
  return FRegistry.ModuleClasses(this);
}

std::vector<std::string> TPackage::Pages() const {
  std::vector<std::string> result;
  const std::vector<TComponentClass> mine = Classes();
  for (const std::string& page : FRegistry.Pages()) {
    const std::vector<TComponentClass> on = FRegistry.PageClasses(page);
    if (std::any_of(on.begin(), on.end(), [&](TComponentClass c) {
          return std::find(mine.begin(), mine.end(), c) != mine.end();
        }))
      result.push_back(page);
  }
  return result;
}

std::vector<TComponentClass> TPackage::Classes(std::string_view Page) const {
  const std::vector<TComponentClass> mine = Classes();
  std::vector<TComponentClass> result;
  for (TComponentClass c : FRegistry.PageClasses(Page))
    if (std::find(mine.begin(), mine.end(), c) != mine.end()) result.push_back(c);
  return result;
}

std::string_view TPackage::FindBitmap(std::string_view ResourceName) const {
  if (FDescriptor->FindBitmap == nullptr) return {};
  const std::string name(ResourceName);
  size_t size = 0;
  const uint8_t* data = FDescriptor->FindBitmap(name.c_str(), &size);
  if (data == nullptr) return {};
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace morvane
