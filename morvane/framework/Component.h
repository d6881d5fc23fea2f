// The framework's component: an owner, a name, and the components it owns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

// A component created with an owner belongs to it: the owner destroys it in its own destructor.
// Such components must be created with new; a component without owner belongs to whoever made it
// (a local, a unique_ptr). Destroying an owned component earlier detaches it from its owner.
class TComponent {
 public:
  explicit TComponent(TComponent* AOwner = nullptr);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // The class name, as the framework's class registry and form files know it.
  virtual std::string ClassName() const { return "TComponent"; }

  TComponent* GetOwner() const noexcept { return FOwner; }
  const std::string& GetName() const noexcept { return FName; }
  void SetName(std::string Value) { FName = std::move(Value); }

  int32_t GetComponentCount() const noexcept { return static_cast<int32_t>(FComponents.size()); }
  TComponent* GetComponent(int32_t Index) const;
  TComponent* FindComponent(const std::string& AName) const;

 private:
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent) noexcept;

  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;  // owned; see the class comment
};

}  // namespace morvane
