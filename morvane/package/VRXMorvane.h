// The package unit: the constants a host reads, the procedure that puts the eleven components on
// the palette, the class references that carry each component's published properties, and the
// C entry point through which a host that loads libmorvane runs the registration.
#pragma once

#include "morvane/cipher/VRXCipher.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Classes.h"
#include "morvane/framework/Packages.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"
#include "morvane/random/VRXRand.h"

namespace morvane {

// Shown by a host in its list of installed packages.
inline constexpr char PackageDescription[] = "Delphi Morvane Components";
// The one palette page every component goes on.
inline constexpr char PackagePage[] = "Morvane";
// Loaded by a design environment; applications link the units instead.
inline constexpr bool PackageDesignOnly = true;
// The one package this one requires: the framework runtime.
inline constexpr char PackageRequires[] = "vcl40";

// Puts the eleven component classes on the page "Morvane" of the registry that registration
// currently targets (RegistrationTarget), one RegisterComponents call per class in palette
// order. It adds no guard of its own: a second call asks the framework again, which adds
// nothing, and a refusal by the framework passes to the caller unchanged.
void Register();

// Class references: the virtual constructor and the published properties, in declaration order
// with the inherited ones first (Name; Key, KeyLength, Mode, BufferSize, OnProgress,
// LeadingDataSize, TrailingDataSize for the cipher family; FileName and Status after them for
// uuencode; nothing beyond Name for the generators). The abstract bases have no constructor.
template <>
TComponentClass ClassOf<TCustomVRXCipher>();
template <>
TComponentClass ClassOf<TCustomVRXHash>();
template <>
TComponentClass ClassOf<TVRXRandomGenerator>();
template <>
TComponentClass ClassOf<TVRXTwoFish>();
template <>
TComponentClass ClassOf<TVRXBlowFish>();
template <>
TComponentClass ClassOf<TVRXDES>();
template <>
TComponentClass ClassOf<TVRXRIPEMD160>();
template <>
TComponentClass ClassOf<TVRXRIPEMD128>();
template <>
TComponentClass ClassOf<TVRXMD5>();
template <>
TComponentClass ClassOf<TVRXISAAC>();
template <>
TComponentClass ClassOf<TVRXSHA>();
template <>
TComponentClass ClassOf<TVRXBase64>();
template <>
TComponentClass ClassOf<TVRXUUCode>();
template <>
TComponentClass ClassOf<TVRXMT19937B>();

// The value names of TCipherMode, by ordinal, as forms store the Mode property.
const std::vector<std::string>& CipherModeNames();

}  // namespace morvane

// The package's entry point (see morvane/framework/Packages.h): runs Register against *Registry
// when Registry is not null and returns the package's descriptor.
extern "C" __attribute__((visibility("default"))) const TPackageDescriptor* morvane_package_entry(
    morvane::TClassRegistry* Registry);
