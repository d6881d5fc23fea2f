#include "morvane/framework/Classes.h"

#include <algorithm>

namespace morvane {

namespace {

char AsciiUpper(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

TClassRegistry* gRegistrationTarget = nullptr;

}  // namespace

bool SameIdent(std::string_view A, std::string_view B) noexcept {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (AsciiUpper(A[i]) != AsciiUpper(B[i])) return false;
  return true;
}

bool IsValidIdent(std::string_view Name) noexcept {
  if (Name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(Name[0])) return false;
  return std::all_of(Name.begin() + 1, Name.end(),
                     [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// ---- Properties

int32_t TPropInfo::EnumValue(std::string_view ValueName) const {
  for (size_t i = 0; i < EnumNames.size(); ++i)
    if (SameIdent(EnumNames[i], ValueName)) return static_cast<int32_t>(i);
  return -1;
}

TPropInfo EventProperty(std::string Name) {
  TPropInfo p;
  p.Name = std::move(Name);
  p.Kind = tkMethod;
  return p;
}

// ---- Class references

TComponentClassInfo::TComponentClassInfo(std::string Name, TComponentClass Parent,
                                         TConstructor Constructor,
                                         std::vector<TPropInfo> Properties)
    : FName(std::move(Name)),
      FParent(Parent),
      FConstructor(Constructor),
      FOwn(std::move(Properties)) {
  if (FParent != nullptr) FAll = FParent->FAll;
  for (const TPropInfo& p : FOwn) {
    // A redeclared property replaces the inherited one in its place, as a published
    // redeclaration does.
    auto same = [&](const TPropInfo* q) { return SameIdent(q->Name, p.Name); };
    if (auto it = std::find_if(FAll.begin(), FAll.end(), same); it != FAll.end())
      *it = &p;
    else
      FAll.push_back(&p);
  }
}

bool TComponentClassInfo::InheritsFrom(TComponentClass Other) const noexcept {
  for (TComponentClass c = this; c != nullptr; c = c->FParent)
    if (c == Other) return true;
  return false;
}

TComponent* TComponentClassInfo::Create(TComponent* AOwner) const {
  if (FConstructor == nullptr)
    throw EClassNotFound("Cannot create an instance of the abstract class " + FName);
  return FConstructor(AOwner);
}

const TPropInfo* TComponentClassInfo::FindProperty(std::string_view PropName) const {
  for (const TPropInfo* p : FAll)
    if (SameIdent(p->Name, PropName)) return p;
  return nullptr;
}

template <>
TComponentClass ClassOf<TComponent>() {
  static const TComponentClassInfo info(
      "TComponent", nullptr, &ConstructComponent<TComponent>,
      {StringProperty<TComponent>("Name", &TComponent::GetName,
                                  [](TComponent& c, const std::string& v) {
                                    // The name is how forms and FindComponent refer to a component.
                                    if (!v.empty() && !IsValidIdent(v))
                                      throw Exception("'" + v + "' is not a valid component name");
                                    c.SetName(v);
                                  })});
  return &info;
}

// ---- The registry

const TClassRegistry::TEntry* TClassRegistry::FindEntry(std::string_view ClassName) const {
  for (const TEntry& e : FEntries)
    if (SameIdent(e.Class->Name(), ClassName)) return &e;
  return nullptr;
}

void TClassRegistry::Add(std::string_view Page, std::span<const TComponentClass> Classes) {
  // Check the whole call first so that a refused class leaves no half-done registration.
  for (size_t i = 0; i < Classes.size(); ++i) {
    TComponentClass c = Classes[i];
    if (c == nullptr) throw Exception("Cannot register a null class reference");
    if (c->IsAbstract())
      throw Exception("Cannot register the abstract class " + c->Name() + " on the palette");
    if (!IsValidIdent(c->Name())) throw Exception("'" + c->Name() + "' is not a valid class name");
    const TEntry* e = FindEntry(c->Name());
    if (e != nullptr && e->Class != c)
      throw Exception("A class named " + c->Name() + " is already registered");
    for (size_t j = 0; j < i; ++j)
      if (Classes[j] != c && SameIdent(Classes[j]->Name(), c->Name()))
        throw Exception("A class named " + c->Name() + " is already registered");
  }
  for (TComponentClass c : Classes) {
    if (FindEntry(c->Name()) != nullptr) continue;
    FEntries.push_back({c, std::string(Page), FCurrentModule});
    if (!Page.empty() && std::find(FPages.begin(), FPages.end(), Page) == FPages.end())
      FPages.emplace_back(Page);
  }
}

void TClassRegistry::RegisterComponents(std::string_view Page,
                                        std::span<const TComponentClass> Classes) {
  if (Page.empty()) throw Exception("A palette page needs a name");
  Add(Page, Classes);
}

void TClassRegistry::RegisterClass(TComponentClass Class) {
  Add("", {&Class, 1});
}

TComponentClass TClassRegistry::FindClass(std::string_view ClassName) const {
  const TEntry* e = FindEntry(ClassName);
  return e != nullptr ? e->Class : nullptr;
}

TComponentClass TClassRegistry::GetClass(std::string_view ClassName) const {
  TComponentClass c = FindClass(ClassName);
  if (c == nullptr) throw EClassNotFound("Class " + std::string(ClassName) + " not found");
  return c;
}

TComponent* TClassRegistry::CreateComponent(std::string_view ClassName, TComponent* AOwner) const {
  return GetClass(ClassName)->Create(AOwner);
}

std::unique_ptr<TComponent> TClassRegistry::CreateComponent(std::string_view ClassName) const {
  return std::unique_ptr<TComponent>(GetClass(ClassName)->Create(nullptr));
}

std::vector<std::string> TClassRegistry::Pages() const {
  return FPages;
}

std::vector<TComponentClass> TClassRegistry::PageClasses(std::string_view Page) const {
  std::vector<TComponentClass> result;
  if (Page.empty()) return result;
  for (const TEntry& e : FEntries)
    if (e.Page == Page) result.push_back(e.Class);
  return result;
}

std::string TClassRegistry::PageOf(TComponentClass Class) const {
  for (const TEntry& e : FEntries)
    if (e.Class == Class) return e.Page;
  return "";
}

std::vector<TComponentClass> TClassRegistry::ModuleClasses(const void* Module) const {
  std::vector<TComponentClass> result;
  for (const TEntry& e : FEntries)
    if (e.Module == Module) result.push_back(e.Class);
  return result;
}

void TClassRegistry::UnregisterModule(const void* Module) {
  std::erase_if(FEntries, [&](const TEntry& e) { return e.Module == Module; });
  std::erase_if(FPages, [&](const std::string& page) {
    return std::none_of(FEntries.begin(), FEntries.end(),
                        [&](const TEntry& e) { return e.Page == page; });
  });
}

TClassRegistry& ClassRegistry() {
  static TClassRegistry registry;
  return registry;
}

TClassRegistry& RegistrationTarget() {
  return gRegistrationTarget != nullptr ? *gRegistrationTarget : ClassRegistry();
}

TRegistrationScope::TRegistrationScope(TClassRegistry& Target) noexcept
    : FPrevious(gRegistrationTarget) {
  gRegistrationTarget = &Target;
}

TRegistrationScope::~TRegistrationScope() {
  gRegistrationTarget = FPrevious;
}

void RegisterComponents(std::string_view Page, std::span<const TComponentClass> Classes) {
  RegistrationTarget().RegisterComponents(Page, Classes);
}

void RegisterComponents(std::string_view Page, std::initializer_list<TComponentClass> Classes) {
  RegistrationTarget().RegisterComponents(Page, Classes);
}

}  // namespace morvane
