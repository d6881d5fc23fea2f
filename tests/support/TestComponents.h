// Small component classes with published properties of every kind, for the tests of the class
// registry and the form text, independent of the package's own components.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "morvane/framework/Classes.h"
#include "morvane/framework/Component.h"

namespace morvane::test {

enum TTestColour : uint8_t { tcRed, tcGreen, tcBlue };

// An abstract base that publishes Caption: its subclasses list it before their own properties.
class TTestControl : public TComponent {
 public:
  explicit TTestControl(TComponent* AOwner = nullptr);
  ~TTestControl() override;
  std::string ClassName() const override { return "TTestControl"; }

  const std::string& GetCaption() const { return FCaption; }
  void SetCaption(const std::string& Value);

  // The setters called so far, in order.
  std::vector<std::string> SetterLog;
  // Live objects of the family, to see that a failed read leaves nothing behind.
  static int Live;

 private:
  std::string FCaption;
};

class TTestWidget : public TTestControl {
 public:
  using TTestControl::TTestControl;
  std::string ClassName() const override { return "TTestWidget"; }

  int32_t GetSize() const { return FSize; }
  // Refuses negative sizes, as a setter that checks its value.
  void SetSize(int32_t Value);
  int32_t GetOffset() const { return FOffset; }
  void SetOffset(int32_t Value) { FOffset = Value; }
  TTestColour GetColour() const { return FColour; }
  void SetColour(TTestColour Value);
  int32_t GetCount() const { return 7; }  // read-only

 private:
  int32_t FSize = 10;
  int32_t FOffset = 0;
  TTestColour FColour = tcRed;
};

class TTestPanel : public TTestControl {
 public:
  using TTestControl::TTestControl;
  std::string ClassName() const override { return "TTestPanel"; }
};

}  // namespace morvane::test

namespace morvane {
template <>
TComponentClass ClassOf<test::TTestControl>();
template <>
TComponentClass ClassOf<test::TTestWidget>();
template <>
TComponentClass ClassOf<test::TTestPanel>();
}  // namespace morvane
