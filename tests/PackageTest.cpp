// The class registry and its palette pages, the BMP reader, package hosting, and the package
// itself: registration, palette bitmaps, creation by class name, the plug-in entry point.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>

#include "morvane/framework/Classes.h"
#include "morvane/framework/Graphics.h"
#include "morvane/framework/Packages.h"
#include "morvane/package/VRXMorvane.h"
#include "morvane/package/VRXResources.h"
#include "support/TestComponents.h"
#include "support/Vectors.h"

using namespace morvane;
using namespace morvane::test;
using morvane::test::TempPath;

namespace {

std::vector<std::string> Names(const std::vector<TComponentClass>& classes) {
  std::vector<std::string> out;
  for (TComponentClass c : classes) out.push_back(c->Name());
  return out;
}

// A concrete class that claims a name another class holds.
class TImpostor : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TTestWidget"; }
};

const TComponentClassInfo kImpostor("ttestwidget", ClassOf<TComponent>(),
                                    &ConstructComponent<TImpostor>, {});

}  // namespace

TEST(ClassRegistry, PagesKeepCallOrderAndRegisteringAgainAddsNothing) {
  TClassRegistry r;
  r.RegisterComponents("B", {ClassOf<TTestWidget>()});
  r.RegisterComponents("A", {ClassOf<TTestPanel>()});
  r.RegisterComponents("B", {ClassOf<TComponent>()});
  EXPECT_EQ(r.Pages(), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(Names(r.PageClasses("B")), (std::vector<std::string>{"TTestWidget", "TComponent"}));
  EXPECT_EQ(Names(r.PageClasses("A")), (std::vector<std::string>{"TTestPanel"}));
  EXPECT_TRUE(r.PageClasses("C").empty());

  // The same classes again, on their own or on another page: no change at all.
  r.RegisterComponents("B", {ClassOf<TTestWidget>(), ClassOf<TComponent>()});
  r.RegisterComponents("C", {ClassOf<TTestPanel>()});
  r.RegisterClass(ClassOf<TTestWidget>());
  EXPECT_EQ(r.Pages(), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(Names(r.PageClasses("B")), (std::vector<std::string>{"TTestWidget", "TComponent"}));
  EXPECT_EQ(r.PageOf(ClassOf<TTestPanel>()), "A");
  EXPECT_EQ(r.ClassCount(), 3u);
}

TEST(ClassRegistry, ATakenNameOrAnAbstractClassIsRefusedWholly) {
  TClassRegistry r;
  r.RegisterComponents("P", {ClassOf<TTestWidget>()});
  try {
    r.RegisterComponents("P", {ClassOf<TTestPanel>(), &kImpostor});
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("ttestwidget"), std::string::npos) << e.Message();
  }
  // Nothing of the refused call stands, not even the class before the clash.
  EXPECT_EQ(r.FindClass("TTestPanel"), nullptr);
  EXPECT_EQ(r.FindClass("TTestWidget"), ClassOf<TTestWidget>());
  EXPECT_THROW(r.RegisterComponents("P", {ClassOf<TTestControl>()}), Exception);
  EXPECT_THROW(r.RegisterComponents("", {ClassOf<TTestPanel>()}), Exception);
  EXPECT_THROW(r.RegisterComponents("P", {nullptr}), Exception);
  // Two different classes of one name in one call.
  TClassRegistry fresh;
  EXPECT_THROW(fresh.RegisterComponents("P", {ClassOf<TTestWidget>(), &kImpostor}), Exception);
  EXPECT_EQ(fresh.ClassCount(), 0u);
  EXPECT_TRUE(fresh.Pages().empty());
}

TEST(ClassRegistry, CreatesByNameWithAnOwner) {
  TClassRegistry r;
  r.RegisterComponents("P", {ClassOf<TTestWidget>(), ClassOf<TTestPanel>()});
  EXPECT_EQ(r.FindClass("TTESTWIDGET"), ClassOf<TTestWidget>());
  EXPECT_EQ(r.FindClass("TTestControl"), nullptr);

  std::unique_ptr<TComponent> owner = r.CreateComponent("TTestPanel");
  TComponent* child = r.CreateComponent("ttestwidget", owner.get());
  ASSERT_NE(dynamic_cast<TTestWidget*>(child), nullptr);
  EXPECT_EQ(child->GetOwner(), owner.get());
  EXPECT_EQ(owner->GetComponent(0), child);
  EXPECT_EQ(TTestControl::Live, 2);
  owner.reset();
  EXPECT_EQ(TTestControl::Live, 0);  // the owner took its child along

  EXPECT_THROW(r.CreateComponent("TNothing"), EClassNotFound);
  EXPECT_THROW(r.GetClass("TNothing"), EClassNotFound);
  EXPECT_THROW(ClassOf<TTestControl>()->Create(nullptr), EClassNotFound);
}

TEST(ClassRegistry, PropertiesListInheritedOnesFirstAndAccessTheObject) {
  TComponentClass w = ClassOf<TTestWidget>();
  std::vector<std::string> names;
  for (const TPropInfo* p : w->Properties()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Caption", "Size", "Offset", "Colour", "Count",
                                             "OnChange"}));
  EXPECT_TRUE(w->InheritsFrom(ClassOf<TComponent>()));
  EXPECT_FALSE(w->InheritsFrom(ClassOf<TTestPanel>()));
  EXPECT_TRUE(w->FindProperty("count")->IsReadOnly());
  EXPECT_FALSE(w->FindProperty("OnChange")->IsStored());
  EXPECT_EQ(w->FindProperty("Colour")->EnumValue("TCGREEN"), 1);
  EXPECT_EQ(w->FindProperty("Colour")->EnumValue("tcPink"), -1);
  EXPECT_EQ(w->FindProperty("Nope"), nullptr);

  TTestWidget obj;
  w->FindProperty("Size")->SetOrd(obj, 42);
  w->FindProperty("Caption")->SetStr(obj, std::string("\0z", 2));
  w->FindProperty("Name")->SetStr(obj, "Widget7");
  EXPECT_EQ(obj.GetSize(), 42);
  EXPECT_EQ(obj.GetCaption(), std::string("\0z", 2));
  EXPECT_EQ(w->FindProperty("name")->GetStr(obj), "Widget7");
  EXPECT_THROW(w->FindProperty("Name")->SetStr(obj, "7up"), Exception);
  EXPECT_EQ(obj.GetName(), "Widget7");
  // A descriptor applied to an object of another class refuses instead of misreading it.
  TTestPanel panel;
  EXPECT_THROW(w->FindProperty("Size")->GetOrd(panel), Exception);
}

TEST(ClassRegistry, ScopesAndModulesDirectAndWithdrawRegistrations) {
  TClassRegistry host;
  int moduleTag = 0;
  {
    TRegistrationScope scope(host);
    host.SetCurrentModule(&moduleTag);
    RegisterComponents("Pkg", {ClassOf<TTestWidget>()});
    host.SetCurrentModule(nullptr);
    RegisterComponents("Own", {ClassOf<TTestPanel>()});
  }
  EXPECT_EQ(&RegistrationTarget(), &ClassRegistry());
  EXPECT_EQ(ClassRegistry().FindClass("TTestWidget"), nullptr);
  EXPECT_EQ(Names(host.ModuleClasses(&moduleTag)), (std::vector<std::string>{"TTestWidget"}));
  host.UnregisterModule(&moduleTag);
  EXPECT_EQ(host.FindClass("TTestWidget"), nullptr);
  EXPECT_EQ(host.Pages(), (std::vector<std::string>{"Own"}));
}

// ---- The BMP reader, on bitmaps built here byte by byte.

namespace {

void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// A w x h bitmap of the given depth whose colour table entry i is (i, 2i, 3i) and whose pixel
// (x, y) from the top holds index (x + y) mod colours.
std::string MakeBmp(int32_t w, int32_t h, uint16_t bpp, uint32_t colors) {
  const uint32_t stride = ((static_cast<uint32_t>(w) * bpp + 31) / 32) * 4;
  const uint32_t off = 14 + 40 + 4 * colors;
  std::string s(off + stride * static_cast<uint32_t>(h), '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, static_cast<uint32_t>(s.size()));
  Put32(s, 10, off);
  Put32(s, 14, 40);
  Put32(s, 18, static_cast<uint32_t>(w));
  Put32(s, 22, static_cast<uint32_t>(h));
  Put16(s, 26, 1);
  Put16(s, 28, bpp);
  Put32(s, 46, colors);
  for (uint32_t i = 0; i < colors; ++i) {
    s[54 + 4 * i] = static_cast<char>(3 * i);
    s[55 + 4 * i] = static_cast<char>(2 * i);
    s[56 + 4 * i] = static_cast<char>(i);
  }
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t index = static_cast<uint32_t>(x + y) % colors;
      const size_t row = off + stride * static_cast<uint32_t>(h - 1 - y);
      const uint32_t bit = static_cast<uint32_t>(x) * bpp;
      s[row + bit / 8] = static_cast<char>(s[row + bit / 8] | (index << (8 - bpp - bit % 8)));
    }
  return s;
}

uint32_t Rgb(uint32_t i) {
  return ((i & 255) << 16) | (((2 * i) & 255) << 8) | ((3 * i) & 255);
}

}  // namespace

TEST(BitmapReader, ReadsPalettedBitmapsOfEachDepth) {
  for (auto [bpp, colors] : {std::pair<uint16_t, uint32_t>{8, 256}, {4, 16}, {1, 2}, {8, 20}}) {
    const std::string bmp = MakeBmp(24, 24, bpp, colors);
    const TBitmapInfo info = ReadBitmapInfo(bmp);
    EXPECT_EQ(info.Width, 24);
    EXPECT_EQ(info.Height, 24);
    EXPECT_EQ(info.BitsPerPixel, bpp);
    EXPECT_EQ(info.PaletteColors, colors);
    for (int32_t y = 0; y < 24; y += 5)
      for (int32_t x = 0; x < 24; x += 3)
        EXPECT_EQ(BitmapPixel(bmp, info, x, y), Rgb(static_cast<uint32_t>(x + y) % colors))
            << bpp << " " << x << "," << y;
  }
}

TEST(BitmapReader, RefusesDamagedFilesWithoutReadingPastThem) {
  const std::string good = MakeBmp(24, 24, 8, 256);
  auto damaged = [&](auto change) {
    std::string s = good;
    change(s);
    return s;
  };
  const std::string cases[] = {
      good.substr(0, 53),
      good.substr(0, good.size() - 1),
      damaged([](std::string& s) { s[0] = 'X'; }),
      damaged([](std::string& s) { Put32(s, 2, 99); }),
      damaged([](std::string& s) { Put32(s, 10, 60); }),    // pixels inside the colour table
      damaged([](std::string& s) { Put32(s, 10, 2000); }),  // pixels past the end
      damaged([](std::string& s) { Put32(s, 14, 12); }),    // old core header
      damaged([](std::string& s) { Put32(s, 14, 0xFFFFFFF0u); }),
      damaged([](std::string& s) { Put32(s, 18, 0); }),
      damaged([](std::string& s) { Put32(s, 18, 0x80000000u); }),
      damaged([](std::string& s) { Put32(s, 22, 0); }),
      damaged([](std::string& s) { Put32(s, 22, 100000); }),
      damaged([](std::string& s) { Put16(s, 26, 2); }),
      damaged([](std::string& s) { Put16(s, 28, 7); }),
      damaged([](std::string& s) { Put32(s, 30, 1); }),  // run-length compressed
      damaged([](std::string& s) { Put32(s, 46, 257); }),
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_THROW(ReadBitmapInfo(cases[i]), EInvalidGraphic) << "case " << i;

  // A colour table shorter than the indexes the pixels use: the pixel read refuses.
  std::string shortTable = MakeBmp(24, 24, 8, 256);
  Put32(shortTable, 46, 4);
  const TBitmapInfo info = ReadBitmapInfo(shortTable);
  EXPECT_EQ(BitmapPixel(shortTable, info, 3, 0), Rgb(3));
  EXPECT_THROW(BitmapPixel(shortTable, info, 4, 0), EInvalidGraphic);
  EXPECT_THROW(BitmapPixel(shortTable, info, 24, 0), EInvalidGraphic);
}

// ---- The palette bitmaps compiled into the package.

namespace {

const char* const kBitmapNames[] = {"TVRXTWOFISH",   "TVRXBLOWFISH", "TVRXDES",   "TVRXRIPEMD160",
                                    "TVRXRIPEMD128", "TVRXMD5",      "TVRXISAAC", "TVRXMT19937B",
                                    "TVRXSHA",       "TVRXBASE64",   "TVRXUUCODE"};

std::string ReadRepoFile(const std::string& relative) {
  std::ifstream in(std::string(MORVANE_TEST_VECTORS) + "/../../" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint32_t> Pixels(std::string_view bmp) {
  const TBitmapInfo info = ReadBitmapInfo(bmp);
  std::vector<uint32_t> px;
  for (int32_t y = 0; y < info.Height; ++y)
    for (int32_t x = 0; x < info.Width; ++x) px.push_back(BitmapPixel(bmp, info, x, y));
  return px;
}

}  // namespace

TEST(PaletteBitmaps, ElevenBitmapsOfTheRequiredSizeAndDepthAsCommitted) {
  EXPECT_EQ(PaletteBitmaps().size(), std::size(kBitmapNames));
  for (const char* name : kBitmapNames) {
    SCOPED_TRACE(name);
    const std::string_view bmp = FindPaletteBitmap(name);
    ASSERT_FALSE(bmp.empty());
    // The library holds exactly the bytes of the file in the repository.
    EXPECT_EQ(bmp, ReadRepoFile(std::string("morvane/package/bitmaps/") + name + ".bmp"));
    const TBitmapInfo info = ReadBitmapInfo(bmp);
    EXPECT_EQ(info.Width, 24);
    EXPECT_EQ(info.Height, 24);
    const bool des = std::strcmp(name, "TVRXDES") == 0;
    EXPECT_EQ(info.BitsPerPixel, des ? 4 : 8);
    EXPECT_EQ(info.PaletteColors, des ? 16u : 256u);
    // Headers, colour table and rows and nothing else: no stray bytes after the rows.
    EXPECT_EQ(bmp.size(), info.PixelOffset + info.RowStride * 24u);
    // A picture, not a blank: several colours.
    const std::vector<uint32_t> px = Pixels(bmp);
    EXPECT_GE(std::set<uint32_t>(px.begin(), px.end()).size(), 4u);
  }
}

TEST(PaletteBitmaps, PicturesDifferAndLookupIgnoresCase) {
  std::vector<std::vector<uint32_t>> all;
  for (const char* name : kBitmapNames) all.push_back(Pixels(FindPaletteBitmap(name)));
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size(); ++j) {
      size_t differ = 0;
      for (size_t k = 0; k < all[i].size(); ++k) differ += all[i][k] != all[j][k];
      EXPECT_GE(differ, 24u) << kBitmapNames[i] << " and " << kBitmapNames[j] << " look alike";
    }
  EXPECT_EQ(FindPaletteBitmap("TVRXTwoFish"), FindPaletteBitmap("TVRXTWOFISH"));
  EXPECT_TRUE(FindPaletteBitmap("TVRXXOR").empty());
  EXPECT_TRUE(FindPaletteBitmap("").empty());
  EXPECT_TRUE(FindPaletteBitmap("TVRXDES.bmp").empty());
}

// ---- The package: Register, its classes, its entry point.

namespace {

const char* const kPaletteOrder[] = {"TVRXTwoFish",   "TVRXBlowFish", "TVRXDES",   "TVRXRIPEMD160",
                                     "TVRXRIPEMD128", "TVRXMD5",      "TVRXISAAC", "TVRXMT19937B",
                                     "TVRXSHA",       "TVRXBase64",   "TVRXUUCode"};

std::vector<std::string> PaletteOrder() {
  return {std::begin(kPaletteOrder), std::end(kPaletteOrder)};
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// The file a symbol was loaded from.
std::string LibraryOf(const void* symbol) {
  Dl_info info{};
  if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
}

void* EntryAddress() {
  void* p;
  TPackageEntryProc f = &morvane_package_entry;
  std::memcpy(&p, &f, sizeof p);
  return p;
}

}  // namespace

TEST(MorvanePackage, RegisterPutsTheElevenClassesOnOnePageInOrder) {
  TClassRegistry r;
  TRegistrationScope scope(r);
  Register();
  EXPECT_EQ(r.Pages(), (std::vector<std::string>{"Morvane"}));
  EXPECT_EQ(Names(r.PageClasses("Morvane")), PaletteOrder());
  EXPECT_EQ(r.ClassCount(), 11u);
  // A second call asks the framework again, which adds nothing.
  Register();
  EXPECT_EQ(r.Pages(), (std::vector<std::string>{"Morvane"}));
  EXPECT_EQ(Names(r.PageClasses("Morvane")), PaletteOrder());
  // The abstract bases stay off the palette.
  EXPECT_EQ(r.FindClass("TCustomVRXCipher"), nullptr);
  EXPECT_EQ(r.FindClass("TCustomVRXHash"), nullptr);
  EXPECT_EQ(r.FindClass("TVRXRandomGenerator"), nullptr);
}

TEST(MorvanePackage, EveryClassIsCreatedByNameWithItsBitmapAndProperties) {
  TClassRegistry r;
  TRegistrationScope scope(r);
  Register();
  TComponent owner;
  const std::vector<std::string> cipherProps{
      "Name",       "Key",        "KeyLength",       "Mode",
      "BufferSize", "OnProgress", "LeadingDataSize", "TrailingDataSize"};
  for (const char* name : kPaletteOrder) {
    SCOPED_TRACE(name);
    TComponent* c = r.CreateComponent(name, &owner);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ClassName(), name);
    EXPECT_EQ(c->GetOwner(), &owner);
    EXPECT_EQ(r.GetClass(name)->Name(), name);
    EXPECT_FALSE(FindPaletteBitmap(Upper(name)).empty());

    std::vector<std::string> props;
    for (const TPropInfo* p : r.GetClass(name)->Properties()) props.push_back(p->Name);
    std::vector<std::string> expected{"Name"};
    if (dynamic_cast<TCustomVRXCipher*>(c) != nullptr) expected = cipherProps;
    if (std::string(name) == "TVRXUUCode") {
      expected.push_back("FileName");
      expected.push_back("Status");
    }
    EXPECT_EQ(props, expected);
  }
  EXPECT_EQ(owner.GetComponentCount(), 11);
}

TEST(MorvanePackage, ARegistrationRefusedByTheFrameworkPassesUnchanged) {
  TClassRegistry r;
  static const TComponentClassInfo otherDes("TVRXDES", ClassOf<TComponent>(),
                                            &ConstructComponent<TImpostor>, {});
  r.RegisterComponents("Other", {&otherDes});
  TRegistrationScope scope(r);
  try {
    Register();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("TVRXDES"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(r.FindClass("TVRXDES"), &otherDes);
}

TEST(MorvanePackage, EntryPointGivesTheConstantsAndRunsRegisterAgainstTheHostRegistry) {
  const TPackageDescriptor* d = morvane_package_entry(nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_GE(d->StructSize, sizeof(TPackageDescriptor));
  EXPECT_STREQ(d->Description, "Delphi Morvane Components");
  EXPECT_NE(d->DesignOnly, 0);
  ASSERT_NE(d->Requires, nullptr);
  EXPECT_STREQ(d->Requires[0], "vcl40");
  EXPECT_EQ(d->Requires[1], nullptr);
  size_t size = 99;
  EXPECT_EQ(d->FindBitmap("TVRXNONE", &size), nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(d->FindBitmap(nullptr, &size), nullptr);
  const uint8_t* bytes = d->FindBitmap("TVRXSHA", &size);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes), size),
            FindPaletteBitmap("TVRXSHA"));

  TClassRegistry host;
  EXPECT_EQ(morvane_package_entry(&host), d);
  EXPECT_EQ(Names(host.PageClasses("Morvane")), PaletteOrder());
  EXPECT_EQ(&RegistrationTarget(), &ClassRegistry());  // the call left no redirection behind
}

TEST(MorvanePackage, AHostLoadsTheLibraryByPathAndUnloadsItCleanly) {
  const std::string path = LibraryOf(EntryAddress());
  ASSERT_FALSE(path.empty());
  TClassRegistry host;
  {
    std::unique_ptr<TPackage> pkg = TPackage::Load(path, host);
    EXPECT_EQ(pkg->Description(), "Delphi Morvane Components");
    EXPECT_TRUE(pkg->DesignOnly());
    EXPECT_EQ(pkg->Requires(), (std::vector<std::string>{"vcl40"}));
    EXPECT_EQ(pkg->Pages(), (std::vector<std::string>{"Morvane"}));
    EXPECT_EQ(Names(pkg->Classes("Morvane")), PaletteOrder());
    for (TComponentClass c : pkg->Classes("Morvane")) {
      const std::string_view bmp = pkg->FindBitmap(Upper(c->Name()));
      EXPECT_EQ(ReadBitmapInfo(bmp).Width, 24) << c->Name();
    }
    EXPECT_TRUE(pkg->FindBitmap("TCUSTOMVRXCIPHER").empty());
    std::unique_ptr<TComponent> sha = host.CreateComponent("TVRXSHA");
    EXPECT_EQ(dynamic_cast<TCustomVRXCipher&>(*sha).EncryptString("abc").size(), 20u);
  }
  // Unloading withdrew the package's classes and its page.
  EXPECT_EQ(host.ClassCount(), 0u);
  EXPECT_TRUE(host.Pages().empty());
}

TEST(MorvanePackage, HostRefusesWhatIsNotAPackageAndWithdrawsAFailedRegistration) {
  TClassRegistry host;
  EXPECT_THROW(TPackage::Load("/nonexistent/libnothing.so", host), EPackageError);
  const std::string framework = LibraryOf(reinterpret_cast<const void*>(&ReadBitmapInfo));
  ASSERT_FALSE(framework.empty());
  try {
    TPackage::Load(framework, host);
    FAIL() << "no exception";
  } catch (const EPackageError& e) {
    EXPECT_NE(e.Message().find("not a package"), std::string::npos) << e.Message();
  }
  static const TComponentClassInfo otherMd5("TVRXMD5", ClassOf<TComponent>(),
                                            &ConstructComponent<TImpostor>, {});
  host.RegisterComponents("Other", {&otherMd5});
  EXPECT_THROW(TPackage::Load(LibraryOf(EntryAddress()), host), Exception);
  // The classes registered before the refusal went with the failed load.
  EXPECT_EQ(host.ClassCount(), 1u);
  EXPECT_EQ(host.Pages(), (std::vector<std::string>{"Other"}));

  // A linked package hosted without loading anything.
  TClassRegistry other;
  auto linked = TPackage::Attach(&morvane_package_entry, "morvane", other);
  EXPECT_EQ(Names(linked->Classes()), PaletteOrder());
  // A second package object of the same code adds and withdraws nothing of the first's.
  {
    auto again = TPackage::Attach(&morvane_package_entry, "morvane again", other);
    EXPECT_TRUE(again->Classes().empty());
  }
  EXPECT_EQ(Names(linked->Classes("Morvane")), PaletteOrder());
}

// ---- morvane components

namespace {

struct TRun {
  int status = -1;
  std::string out;
};

TRun RunProgram(const std::string& args) {
  TRun r;
  const char* program = std::getenv("MORVANE_PROGRAM");
  if (program == nullptr) return r;
  const std::string command = std::string("'") + program + "' " + args + " 2>&1";
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

TEST(ComponentsCommand, ListsThePageInPaletteOrderWithBitmapSizesAndDepths) {
  if (std::getenv("MORVANE_PROGRAM") == nullptr) GTEST_SKIP() << "MORVANE_PROGRAM is not set";
  const TRun r = RunProgram("components");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("Delphi Morvane Components (design-only; requires vcl40)\n", 0), 0u)
      << r.out;
  const size_t page = r.out.find("Page Morvane, 11 components:\n");
  ASSERT_NE(page, std::string::npos) << r.out;
  std::istringstream lines(r.out.substr(page));
  std::string line;
  std::getline(lines, line);
  for (size_t i = 0; i < std::size(kPaletteOrder); ++i) {
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream fields(line);
    size_t number;
    std::string cls, resource;
    fields >> number >> cls >> resource;
    EXPECT_EQ(number, i + 1);
    EXPECT_EQ(cls, kPaletteOrder[i]);
    EXPECT_EQ(resource, Upper(kPaletteOrder[i]));
    const bool des = cls == "TVRXDES";
    EXPECT_NE(line.find(des ? "24 x 24, 4 bits per pixel, 16 colours"
                            : "24 x 24, 8 bits per pixel, 256 colours"),
              std::string::npos)
        << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(ComponentsCommand, HtmlPageCarriesEveryBitmapWithItsClassName) {
  if (std::getenv("MORVANE_PROGRAM") == nullptr) GTEST_SKIP() << "MORVANE_PROGRAM is not set";
  const std::string path = TempPath("palette.html");
  const TRun r = RunProgram("components --html '" + path + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  std::ifstream in(path, std::ios::binary);
  const std::string page((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  TVRXBase64 base64;
  for (const char* cls : kPaletteOrder) {
    SCOPED_TRACE(cls);
    // Each class stands with its picture: the enlarged image titled with its name, whose data
    // are the bitmap's bytes.
    const std::string tag = std::string("<img class=\"big\" alt=\"") + cls + "\" title=\"" + cls +
                            "\" src=\"data:image/bmp;base64,";
    const size_t at = page.find(tag);
    ASSERT_NE(at, std::string::npos);
    const size_t begin = at + tag.size();
    const std::string data = page.substr(begin, page.find('"', begin) - begin);
    EXPECT_EQ(base64.DecryptString(data), FindPaletteBitmap(Upper(cls)));
    EXPECT_NE(page.find(std::string("<b>") + cls + "</b>"), std::string::npos);
  }
}

TEST(ComponentsCommand, HostsAPackageByPathAndRefusesWhatIsNone) {
  if (std::getenv("MORVANE_PROGRAM") == nullptr) GTEST_SKIP() << "MORVANE_PROGRAM is not set";
  const TRun linked = RunProgram("components");
  const TRun loaded = RunProgram("components --package '" + LibraryOf(EntryAddress()) + "'");
  EXPECT_EQ(loaded.status, 0) << loaded.out;
  EXPECT_EQ(loaded.out, linked.out);
  const TRun none = RunProgram("components --package /nonexistent/libnone.so");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("Cannot load package /nonexistent/libnone.so"), std::string::npos)
      << none.out;
  const TRun extra = RunProgram("components surplus");
  EXPECT_EQ(extra.status, 2) << extra.out;
}
