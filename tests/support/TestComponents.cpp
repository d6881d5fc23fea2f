#include "support/TestComponents.h"

#include "morvane/framework/Exceptions.h"

namespace morvane::test {

int TTestControl::Live = 0;

TTestControl::TTestControl(TComponent* AOwner) : TComponent(AOwner) {
  ++Live;
}
TTestControl::~TTestControl() {
  --Live;
}

void TTestControl::SetCaption(const std::string& Value) {
  SetterLog.push_back("Caption");
  FCaption = Value;
}

void TTestWidget::SetSize(int32_t Value) {
  if (Value < 0) throw Exception("Size must not be negative");
  SetterLog.push_back("Size");
  FSize = Value;
}

void TTestWidget::SetColour(TTestColour Value) {
  SetterLog.push_back("Colour");
  FColour = Value;
}

}  // namespace morvane::test

namespace morvane {

using test::TTestControl;
using test::TTestPanel;
using test::TTestWidget;

template <>
TComponentClass ClassOf<TTestControl>() {
  static const TComponentClassInfo info(
      "TTestControl", ClassOf<TComponent>(), nullptr,
      {StringProperty<TTestControl>("Caption", &TTestControl::GetCaption,
                                    &TTestControl::SetCaption)});
  return &info;
}

template <>
TComponentClass ClassOf<TTestWidget>() {
  static const TComponentClassInfo info(
      "TTestWidget", ClassOf<TTestControl>(), &ConstructComponent<TTestWidget>,
      {IntegerProperty<TTestWidget>("Size", &TTestWidget::GetSize, &TTestWidget::SetSize),
       IntegerProperty<TTestWidget>("Offset", &TTestWidget::GetOffset, &TTestWidget::SetOffset),
       EnumProperty<TTestWidget>("Colour", {"tcRed", "tcGreen", "tcBlue"}, &TTestWidget::GetColour,
                                 &TTestWidget::SetColour),
       IntegerProperty<TTestWidget>("Count", &TTestWidget::GetCount), EventProperty("OnChange")});
  return &info;
}

template <>
TComponentClass ClassOf<TTestPanel>() {
  static const TComponentClassInfo info("TTestPanel", ClassOf<TTestControl>(),
                                        &ConstructComponent<TTestPanel>, {});
  return &info;
}

}  // namespace morvane
