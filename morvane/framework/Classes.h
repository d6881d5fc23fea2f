// The framework's class information: published property descriptors, class references with their
// virtual constructor, and the class registry that holds the designer's palette pages.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "morvane/framework/Component.h"
#include "morvane/framework/Exceptions.h"

namespace morvane {

// A class name that no registry knows, or a class that cannot be created.
class EClassNotFound : public Exception {
  using Exception::Exception;
};

// ---- Published properties

enum TTypeKind : uint8_t {
  tkInteger,      // signed 32-bit
  tkEnumeration,  // an ordinal with a name per value
  tkString,       // a byte string
  tkMethod,       // an event: published, never streamed
};

// One published property: its name, its kind and how to read and write it on an object of the
// class that declares it. A property without a setter is read-only; read-only properties and
// events are listed but never streamed.
struct TPropInfo {
  std::string Name;
  TTypeKind Kind = tkInteger;
  std::vector<std::string> EnumNames;  // tkEnumeration: the value names, by ordinal

  std::function<int64_t(const TComponent&)> GetOrd;  // tkInteger, tkEnumeration
  std::function<void(TComponent&, int64_t)> SetOrd;
  std::function<std::string(const TComponent&)> GetStr;  // tkString
  std::function<void(TComponent&, const std::string&)> SetStr;

  bool IsReadOnly() const noexcept { return Kind == tkMethod || (!SetOrd && !SetStr); }
  // Written by the form writer and accepted by the form reader.
  bool IsStored() const noexcept { return !IsReadOnly(); }
  // The ordinal of an enumeration value name (ASCII case ignored), or -1.
  int32_t EnumValue(std::string_view ValueName) const;
};

namespace detail {
// The object as the class that declared a property; a mismatch means a class reference was
// registered under the wrong class name.
template <class T, class C>
auto& PropertyTarget(C& Object, const std::string& Property) {
  using Target = std::conditional_t<std::is_const_v<C>, const T, T>;
  if (auto* p = dynamic_cast<Target*>(&Object)) return *p;
  throw Exception("Property " + Property + " does not belong to class " + Object.ClassName());
}
}  // namespace detail

// Descriptors built from a getter and a setter (member function pointers or any callables taking
// the object first). Omitting the setter makes the property read-only.
template <class T, class Getter, class Setter = std::nullptr_t>
TPropInfo IntegerProperty(std::string Name, Getter Get, Setter Set = nullptr) {
  TPropInfo p;
  p.Name = std::move(Name);
  p.Kind = tkInteger;
  p.GetOrd = [Get, n = p.Name](const TComponent& c) -> int64_t {
    return std::invoke(Get, detail::PropertyTarget<T>(c, n));
  };
  if constexpr (!std::is_null_pointer_v<Setter>)
    p.SetOrd = [Set, n = p.Name](TComponent& c, int64_t v) {
      std::invoke(Set, detail::PropertyTarget<T>(c, n), static_cast<int32_t>(v));
    };
  return p;
}

template <class T, class Getter, class Setter = std::nullptr_t>
TPropInfo EnumProperty(std::string Name, std::vector<std::string> ValueNames, Getter Get,
                       Setter Set = nullptr) {
  using E = std::remove_cvref_t<std::invoke_result_t<Getter, const T&>>;
  TPropInfo p;
  p.Name = std::move(Name);
  p.Kind = tkEnumeration;
  p.EnumNames = std::move(ValueNames);
  p.GetOrd = [Get, n = p.Name](const TComponent& c) -> int64_t {
    return static_cast<int64_t>(std::invoke(Get, detail::PropertyTarget<T>(c, n)));
  };
  if constexpr (!std::is_null_pointer_v<Setter>)
    p.SetOrd = [Set, n = p.Name](TComponent& c, int64_t v) {
      std::invoke(Set, detail::PropertyTarget<T>(c, n), static_cast<E>(v));
    };
  return p;
}

template <class T, class Getter, class Setter = std::nullptr_t>
TPropInfo StringProperty(std::string Name, Getter Get, Setter Set = nullptr) {
  TPropInfo p;
  p.Name = std::move(Name);
  p.Kind = tkString;
  p.GetStr = [Get, n = p.Name](const TComponent& c) -> std::string {
    return std::string(std::invoke(Get, detail::PropertyTarget<T>(c, n)));
  };
  if constexpr (!std::is_null_pointer_v<Setter>)
    p.SetStr = [Set, n = p.Name](TComponent& c, const std::string& v) {
      std::invoke(Set, detail::PropertyTarget<T>(c, n), v);
    };
  return p;
}

// An event: listed with the published properties, not streamed.
TPropInfo EventProperty(std::string Name);

// ---- Class references

class TComponentClassInfo;
// A class reference, as the framework's metaclasses are passed around; compared by identity.
using TComponentClass = const TComponentClassInfo*;

// What the framework knows of a component class: its name, its parent, its virtual constructor
// (none for an abstract class) and the published properties it declares.
class TComponentClassInfo {
 public:
  using TConstructor = TComponent* (*)(TComponent* AOwner);

  TComponentClassInfo(std::string Name, TComponentClass Parent, TConstructor Constructor,
                      std::vector<TPropInfo> Properties);
  // Subclasses keep pointers to their parent's descriptors: a class reference never moves.
  TComponentClassInfo(const TComponentClassInfo&) = delete;
  TComponentClassInfo& operator=(const TComponentClassInfo&) = delete;

  const std::string& Name() const noexcept { return FName; }
  TComponentClass Parent() const noexcept { return FParent; }
  bool IsAbstract() const noexcept { return FConstructor == nullptr; }
  // True when this class is Other or derives from it.
  bool InheritsFrom(TComponentClass Other) const noexcept;

  // The virtual constructor: a new object of this class, owned by AOwner (or by the caller when
  // AOwner is null). An abstract class raises EClassNotFound.
  TComponent* Create(TComponent* AOwner = nullptr) const;

  // Every published property, in declaration order: the inherited ones first.
  const std::vector<const TPropInfo*>& Properties() const noexcept { return FAll; }
  // Only those this class declares itself.
  const std::vector<TPropInfo>& OwnProperties() const noexcept { return FOwn; }
  // A property by name (ASCII case ignored), or null.
  const TPropInfo* FindProperty(std::string_view PropName) const;

 private:
  std::string FName;
  TComponentClass FParent;
  TConstructor FConstructor;
  std::vector<TPropInfo> FOwn;
  std::vector<const TPropInfo*> FAll;
};

// The virtual constructor of a concrete class T.
template <class T>
TComponent* ConstructComponent(TComponent* AOwner) {
  return new T(AOwner);
}

// The class reference of T. Specialised (and defined) by the unit that describes T's published
// properties; the framework describes TComponent itself.
template <class T>
TComponentClass ClassOf();
template <>
TComponentClass ClassOf<TComponent>();

// True for the names the form text accepts for components and properties: a letter or '_', then
// letters, digits and '_'.
bool IsValidIdent(std::string_view Name) noexcept;
// ASCII case-insensitive equality, as the framework compares identifiers.
bool SameIdent(std::string_view A, std::string_view B) noexcept;

// ---- The class registry

// The classes a host knows by name, and the palette pages it shows them on. Names are compared
// ASCII case-insensitively. Each registration remembers the module (package) that made it, so a
// host can withdraw a package's classes before it unloads the package's code.
class TClassRegistry {
 public:
  TClassRegistry() = default;
  TClassRegistry(const TClassRegistry&) = delete;
  TClassRegistry& operator=(const TClassRegistry&) = delete;

  // Puts the classes on the page, in the order given, and makes them known by name. A class
  // registered already (on any page) adds nothing; a different class under a name that is
  // taken, or an abstract class, raises Exception naming it, and then nothing of the call is
  // registered.
  void RegisterComponents(std::string_view Page, std::span<const TComponentClass> Classes);
  void RegisterComponents(std::string_view Page, std::initializer_list<TComponentClass> Classes) {
    RegisterComponents(Page, std::span<const TComponentClass>(Classes.begin(), Classes.size()));
  }
  // Makes a class known by name without putting it on a page (for classes that forms hold but
  // the palette does not offer). The same rules as above.
  void RegisterClass(TComponentClass Class);

  // The class of that name, or null.
  TComponentClass FindClass(std::string_view ClassName) const;
  // The class of that name; an unknown name raises EClassNotFound.
  TComponentClass GetClass(std::string_view ClassName) const;
  // The virtual constructor by class name: the new object belongs to AOwner (to the caller when
  // AOwner is null). An unknown or abstract class raises EClassNotFound.
  TComponent* CreateComponent(std::string_view ClassName, TComponent* AOwner) const;
  // The same without owner, held for the caller.
  std::unique_ptr<TComponent> CreateComponent(std::string_view ClassName) const;

  // Page names in the order of their first registration.
  std::vector<std::string> Pages() const;
  // The classes of a page in registration order (none for an unknown page).
  std::vector<TComponentClass> PageClasses(std::string_view Page) const;
  // The page a class is on ("" when it is known but on no page, or unknown).
  std::string PageOf(TComponentClass Class) const;
  size_t ClassCount() const noexcept { return FEntries.size(); }

  // Module bookkeeping for package hosts: registrations made while a module is current belong to
  // it (nullptr: the program itself), and UnregisterModule withdraws them all.
  const void* CurrentModule() const noexcept { return FCurrentModule; }
  void SetCurrentModule(const void* Module) noexcept { FCurrentModule = Module; }
  std::vector<TComponentClass> ModuleClasses(const void* Module) const;
  void UnregisterModule(const void* Module);

 private:
  struct TEntry {
    TComponentClass Class;
    std::string Page;  // "" when not on the palette
    const void* Module;
  };
  void Add(std::string_view Page, std::span<const TComponentClass> Classes);
  const TEntry* FindEntry(std::string_view ClassName) const;

  std::vector<TEntry> FEntries;  // in registration order
  std::vector<std::string> FPages;
  const void* FCurrentModule = nullptr;
};

// The registry of this process, which a host uses unless it sets up its own.
TClassRegistry& ClassRegistry();

// The registry that RegisterComponents (below) fills: the process registry, unless a
// TRegistrationScope is in force.
TClassRegistry& RegistrationTarget();

// Directs RegisterComponents to another registry for the scope's life (a host running a
// package's registration against its own registry).
class TRegistrationScope {
 public:
  explicit TRegistrationScope(TClassRegistry& Target) noexcept;
  ~TRegistrationScope();
  TRegistrationScope(const TRegistrationScope&) = delete;
  TRegistrationScope& operator=(const TRegistrationScope&) = delete;

 private:
  TClassRegistry* FPrevious;
};

// The framework's registration call, as a package's Register procedure makes it.
void RegisterComponents(std::string_view Page, std::span<const TComponentClass> Classes);
void RegisterComponents(std::string_view Page, std::initializer_list<TComponentClass> Classes);

}  // namespace morvane
