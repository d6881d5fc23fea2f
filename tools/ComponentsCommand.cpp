// morvane components: hosts the package as a design environment would (through its entry point,
// against a registry of its own) and shows what the palette would: the pages, the classes in
// palette order, and each class's bitmap, as text or as an HTML page.
#include "ComponentsCommand.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Program.h"
#include "ProgramIO.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/framework/Classes.h"
#include "morvane/framework/Graphics.h"
#include "morvane/framework/Packages.h"
#include "morvane/package/VRXMorvane.h"

namespace morvane::cli {

namespace {

constexpr const char* kUsage =
    "usage: morvane components [options]\n"
    "\n"
    "Lists the palette pages of the package, their component classes in palette order, and the\n"
    "size and colour depth of each class's palette bitmap.\n"
    "\n"
    "options:\n"
    "  --html FILE      write an HTML page that shows the bitmaps with their class names\n"
    "                   instead ('-': standard output)\n"
    "  --package FILE   host the package in that shared library instead of the one this\n"
    "                   program is linked with\n";

// What the host knows of one class on a page.
struct TEntry {
  std::string ClassName;
  std::string ResourceName;  // the bitmap's name: the class name in upper case
  std::string_view Bitmap;   // empty: none (the host's default icon)
  TBitmapInfo Info;
  std::string Problem;  // why the bitmap cannot be shown, if it cannot
};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::vector<TEntry> Entries(const TPackage& Package, const std::string& Page) {
  std::vector<TEntry> out;
  for (TComponentClass cls : Package.Classes(Page)) {
    TEntry e;
    e.ClassName = cls->Name();
    e.ResourceName = Upper(e.ClassName);
    e.Bitmap = Package.FindBitmap(e.ResourceName);
    if (e.Bitmap.empty()) {
      e.Problem = "no bitmap (default icon)";
    } else {
      try {
        e.Info = ReadBitmapInfo(e.Bitmap);
      } catch (const EInvalidGraphic& x) {
        e.Problem = x.Message();
      }
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::string Depth(const TBitmapInfo& Info) {
  std::string s = std::to_string(Info.Width) + " x " + std::to_string(Info.Height) + ", " +
                  std::to_string(Info.BitsPerPixel) + " bits per pixel";
  if (Info.PaletteColors != 0) s += ", " + std::to_string(Info.PaletteColors) + " colours";
  return s;
}

// "design-only; requires vcl40", or "" when neither applies.
std::string PackageNotes(const TPackage& Package) {
  std::string s;
  std::vector<std::string> notes;
  if (Package.DesignOnly()) notes.push_back("design-only");
  const std::vector<std::string> needs = Package.Requires();
  if (!needs.empty()) {
    std::string r = "requires ";
    for (size_t i = 0; i < needs.size(); ++i) r += (i != 0 ? ", " : "") + needs[i];
    notes.push_back(r);
  }
  for (size_t i = 0; i < notes.size(); ++i) s += (i == 0 ? "" : "; ") + notes[i];
  return s;
}

std::string PackageLine(const TPackage& Package) {
  const std::string notes = PackageNotes(Package);
  return Package.Description() + (notes.empty() ? "" : " (" + notes + ")");
}

std::string TextListing(const TPackage& Package) {
  std::string out = PackageLine(Package) + "\n";
  for (const std::string& page : Package.Pages()) {
    const std::vector<TEntry> entries = Entries(Package, page);
    out += "\nPage " + page + ", " + std::to_string(entries.size()) + " components:\n";
    for (size_t i = 0; i < entries.size(); ++i) {
      const TEntry& e = entries[i];
      char head[96];
      std::snprintf(head, sizeof head, "%4zu  %-16s %-16s ", i + 1, e.ClassName.c_str(),
                    e.ResourceName.c_str());
      out += head;
      out += e.Problem.empty() ? Depth(e.Info) : e.Problem;
      out += "\n";
    }
  }
  return out;
}

std::string Html(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Image(const TEntry& e, const char* cssClass) {
  if (!e.Problem.empty())
    return "<span class=\"" + std::string(cssClass) + " missing\" title=\"" + Html(e.Problem) +
           "\">?</span>";
  TVRXBase64 base64;
  return "<img class=\"" + std::string(cssClass) + "\" alt=\"" + Html(e.ClassName) + "\" title=\"" +
         Html(e.ClassName) + "\" src=\"data:image/bmp;base64," + base64.EncryptString(e.Bitmap) +
         "\">";
}

std::string HtmlPage(const TPackage& Package) {
  std::string notes = PackageNotes(Package);
  if (!notes.empty()) {
    notes[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(notes[0])));
    notes += ". ";
  }
  std::string out =
      "<!DOCTYPE html>\n"
      "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      Html(Package.Description()) +
      ": palette</title>\n"
      "<style>\n"
      "body { font-family: system-ui, sans-serif; background: #f6f6f6; color: #222;"
      " margin: 2em; }\n"
      "h1 { font-size: 1.5em; margin-bottom: 0.2em; }\n"
      "h2 { font-size: 1.15em; margin-top: 1.6em; }\n"
      ".note { color: #555; margin-top: 0; }\n"
      ".palette { display: inline-flex; gap: 3px; padding: 4px; background: #c0c0c0;"
      " border: 1px solid #808080; margin-bottom: 1.2em; }\n"
      ".palette .icon { width: 24px; height: 24px; }\n"
      ".grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(11em, 1fr));"
      " gap: 14px; max-width: 64em; }\n"
      "figure { margin: 0; background: #fff; border: 1px solid #ccc; border-radius: 6px;"
      " padding: 12px 8px; text-align: center; }\n"
      ".big { width: 96px; height: 96px; image-rendering: pixelated; display: block;"
      " margin: 0 auto 8px; }\n"
      ".actual { width: 24px; height: 24px; vertical-align: middle; margin-right: 6px; }\n"
      ".missing { display: inline-block; background: #eee; border: 1px dashed #999;"
      " color: #999; line-height: 24px; }\n"
      "figcaption b { font-size: 1.05em; }\n"
      "figcaption small { color: #666; display: block; margin-top: 4px; }\n"
      "</style>\n</head>\n<body>\n<h1>" +
      Html(Package.Description()) + "</h1>\n<p class=\"note\">" + Html(notes) +
      "The bitmaps at their own size as a palette shows them, then enlarged four times.</p>\n";
  for (const std::string& page : Package.Pages()) {
    const std::vector<TEntry> entries = Entries(Package, page);
    out += "<h2>Palette page " + Html(page) + " (" + std::to_string(entries.size()) +
           " components, in palette order)</h2>\n<div class=\"palette\">\n";
    for (const TEntry& e : entries) out += "  " + Image(e, "icon") + "\n";
    out += "</div>\n<div class=\"grid\">\n";
    for (const TEntry& e : entries) {
      out += "<figure>\n  " + Image(e, "big") + "\n  <figcaption>" + Image(e, "actual") + "<b>" +
             Html(e.ClassName) + "</b><small>" + Html(e.ResourceName) + " &middot; " +
             Html(e.Problem.empty() ? Depth(e.Info) : e.Problem) +
             "</small></figcaption>\n</figure>\n";
    }
    out += "</div>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

int Components(const TCommandLine& Args) {
  Args.MaxOperands(0);
  TClassRegistry registry;
  std::unique_ptr<TPackage> package;
  if (auto path = Args.Value("package"))
    package = TPackage::Load(*path, registry);
  else
    package = TPackage::Attach(&morvane_package_entry, "libmorvane", registry);

  if (auto html = Args.Value("html")) {
    const std::string page = HtmlPage(*package);
    TOutput out(*html, true);
    out.Write(page);
    out.Commit();
    return kExitOk;
  }
  WriteStdout(TextListing(*package));
  return kExitOk;
}

}  // namespace

int RunComponentsCommand(int argc, char** argv) {
  return GuardedRun("components", kUsage, argc, argv, {{"html", 0, true}, {"package", 0, true}},
                    Components);
}

}  // namespace morvane::cli
