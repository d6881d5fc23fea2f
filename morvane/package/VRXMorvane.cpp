#include "morvane/package/VRXMorvane.h"

#include "morvane/package/VRXResources.h"

namespace morvane {

const std::vector<std::string>& CipherModeNames() {
  static const std::vector<std::string> names{"cipherECB", "cipherCBC", "cipherCFB", "cipherOFB",
                                              "cipherPCBC"};
  return names;
}

template <>
TComponentClass ClassOf<TCustomVRXCipher>() {
  using C = TCustomVRXCipher;
  // Key comes before KeyLength, so a form restores the key bytes first and the length after.
  static const TComponentClassInfo info(
      "TCustomVRXCipher", ClassOf<TComponent>(), nullptr,
      {StringProperty<C>("Key", &C::GetKey, &C::SetKey),
       // SetKeyLength counts a length below 1 as 1, so a form that stores the empty key as
       // Key = '' and KeyLength = 0 would come back with the key #0. The form reader leaves
       // the key alone when the stored length is the one the key already has.
       IntegerProperty<C>("KeyLength", &C::GetKeyLength,
                          [](C& c, int32_t v) {
                            if (v != c.GetKeyLength()) c.SetKeyLength(v);
                          }),
       EnumProperty<C>("Mode", CipherModeNames(), &C::GetMode, &C::SetMode),
       IntegerProperty<C>("BufferSize", &C::GetBufferSize, &C::SetBufferSize),
       EventProperty("OnProgress"), IntegerProperty<C>("LeadingDataSize", &C::GetLeadingDataSize),
       IntegerProperty<C>("TrailingDataSize", &C::GetTrailingDataSize)});
  return &info;
}

template <>
TComponentClass ClassOf<TCustomVRXHash>() {
  static const TComponentClassInfo info("TCustomVRXHash", ClassOf<TCustomVRXCipher>(), nullptr, {});
  return &info;
}

template <>
TComponentClass ClassOf<TVRXRandomGenerator>() {
  static const TComponentClassInfo info("TVRXRandomGenerator", ClassOf<TComponent>(), nullptr, {});
  return &info;
}

namespace {

// A concrete class that publishes nothing beyond what its base does.
template <class T, class Base>
TComponentClass PlainClass(const char* name) {
  static const TComponentClassInfo info(name, ClassOf<Base>(), &ConstructComponent<T>, {});
  return &info;
}

}  // namespace

template <>
TComponentClass ClassOf<TVRXTwoFish>() {
  return PlainClass<TVRXTwoFish, TCustomVRXCipher>("TVRXTwoFish");
}
template <>
TComponentClass ClassOf<TVRXBlowFish>() {
  return PlainClass<TVRXBlowFish, TCustomVRXCipher>("TVRXBlowFish");
}
template <>
TComponentClass ClassOf<TVRXDES>() {
  return PlainClass<TVRXDES, TCustomVRXCipher>("TVRXDES");
}
template <>
TComponentClass ClassOf<TVRXRIPEMD160>() {
  return PlainClass<TVRXRIPEMD160, TCustomVRXHash>("TVRXRIPEMD160");
}
template <>
TComponentClass ClassOf<TVRXRIPEMD128>() {
  return PlainClass<TVRXRIPEMD128, TCustomVRXHash>("TVRXRIPEMD128");
}
template <>
TComponentClass ClassOf<TVRXMD5>() {
  return PlainClass<TVRXMD5, TCustomVRXHash>("TVRXMD5");
}
template <>
TComponentClass ClassOf<TVRXISAAC>() {
  return PlainClass<TVRXISAAC, TVRXRandomGenerator>("TVRXISAAC");
}
template <>
TComponentClass ClassOf<TVRXMT19937B>() {
  return PlainClass<TVRXMT19937B, TVRXRandomGenerator>("TVRXMT19937B");
}
template <>
TComponentClass ClassOf<TVRXSHA>() {
  return PlainClass<TVRXSHA, TCustomVRXHash>("TVRXSHA");
}
template <>
TComponentClass ClassOf<TVRXBase64>() {
  return PlainClass<TVRXBase64, TCustomVRXCipher>("TVRXBase64");
}
template <>
TComponentClass ClassOf<TVRXUUCode>() {
  using U = TVRXUUCode;
  // FileName before Status: setting the name sets Status from the file's attributes, and the
  // stored Status then overrides that.
  static const TComponentClassInfo info(
      "TVRXUUCode", ClassOf<TCustomVRXCipher>(), &ConstructComponent<U>,
      {StringProperty<U>("FileName", &U::GetFileName, &U::SetFileName),
       StringProperty<U>("Status", &U::GetStatus, &U::SetStatus)});
  return &info;
}

void Register() {
  RegisterComponents(PackagePage, {ClassOf<TVRXTwoFish>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXBlowFish>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXDES>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXRIPEMD160>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXRIPEMD128>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXMD5>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXISAAC>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXMT19937B>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXSHA>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXBase64>()});
  RegisterComponents(PackagePage, {ClassOf<TVRXUUCode>()});
}

namespace {

const uint8_t* FindBitmapEntry(const char* Name, size_t* Size) {
  std::string_view bmp = Name != nullptr ? FindPaletteBitmap(Name) : std::string_view();
  if (Size != nullptr) *Size = bmp.size();
  return bmp.empty() ? nullptr : reinterpret_cast<const uint8_t*>(bmp.data());
}

const char* const kRequires[] = {PackageRequires, nullptr};

const TPackageDescriptor kDescriptor = {
    sizeof(TPackageDescriptor), PackageDescription, PackageDesignOnly ? 1 : 0, kRequires,
    &FindBitmapEntry,
};

}  // namespace

}  // namespace morvane

const TPackageDescriptor* morvane_package_entry(morvane::TClassRegistry* Registry) {
  if (Registry != nullptr) {
    morvane::TRegistrationScope scope(*Registry);
    morvane::Register();
  }
  return &morvane::kDescriptor;
}
