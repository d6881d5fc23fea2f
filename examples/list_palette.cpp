// Lists the palette as a component host sees it: the package registers its eleven components
// on the page "Morvane"; the host creates one by class name, sets its published properties and
// writes it as form text, then reads the text back into a new component.
#include <cstdio>
#include <memory>
#include <string>

#include "morvane/framework/Forms.h"
#include "morvane/package/VRXMorvane.h"

int main() {
  // A registry of our own, so nothing else in the process sees these classes.
  morvane::TClassRegistry registry;
  {
    morvane::TRegistrationScope scope(registry);
    morvane::Register();
  }
  for (const std::string& page : registry.Pages()) {
    std::printf("page \"%s\":\n", page.c_str());
    for (morvane::TComponentClass cls : registry.PageClasses(page)) {
      std::printf("  %-14s", cls->Name().c_str());
      for (const morvane::TPropInfo* p : cls->Properties())
        if (p->IsStored()) std::printf(" %s", p->Name.c_str());
      std::printf("\n");
    }
  }

  // Created by class name, as a form reader or a designer would.
  std::unique_ptr<morvane::TComponent> c = registry.CreateComponent("TVRXTwoFish");
  c->SetName("Cipher1");
  auto& twofish = dynamic_cast<morvane::TVRXTwoFish&>(*c);
  twofish.SetKey("sixteen byte key");
  twofish.SetMode(morvane::cipherCBC);
  const std::string text = morvane::WriteComponentText(*c, registry);
  std::printf("\n%s", text.c_str());

  // Reading the text gives an equal component: it encrypts to the same bytes.
  std::unique_ptr<morvane::TComponent> back = morvane::ReadComponentText(text, registry);
  auto& copy = dynamic_cast<morvane::TVRXTwoFish&>(*back);
  const bool same =
      copy.EncryptString("form round trip") == twofish.EncryptString("form round trip");
  std::printf("read back as %s: %s\n", back->ClassName().c_str(),
              same ? "encrypts the same" : "DIFFERS");
  return same ? 0 : 1;
}
