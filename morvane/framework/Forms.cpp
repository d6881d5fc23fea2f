#include "morvane/framework/Forms.h"

#include <limits>

namespace morvane {

EParserError::EParserError(const std::string& message, int32_t line)
    : Exception("Line " + std::to_string(line) + ": " + message), FLine(line) {}

// ---- Writer

namespace {

std::string QuoteString(std::string_view s) {
  if (s.empty()) return "''";
  std::string out;
  out.reserve(s.size() + 2);
  bool quoted = false;
  for (unsigned char b : s) {
    if (b >= 32 && b <= 126) {
      if (!quoted) out += '\'';
      quoted = true;
      out += static_cast<char>(b);
      if (b == '\'') out += '\'';
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#';
      out += std::to_string(b);
    }
  }
  if (quoted) out += '\'';
  return out;
}

void WriteObject(std::string& out, const TComponent& c, const TClassRegistry& registry,
                 int indent) {
  TComponentClass cls = registry.FindClass(c.ClassName());
  if (cls == nullptr)
    throw EWriteError("Cannot write a " + c.ClassName() + ": the class is not registered");
  const std::string& name = c.GetName();
  if (!name.empty() && !IsValidIdent(name))
    throw EWriteError("Cannot write a component named '" + name + "': not a valid identifier");

  const std::string pad(static_cast<size_t>(indent), ' ');
  out += pad + "object ";
  if (!name.empty()) out += name + ": ";
  out += cls->Name() + "\n";

  for (const TPropInfo* p : cls->Properties()) {
    if (!p->IsStored() || SameIdent(p->Name, "Name")) continue;
    std::string value;
    switch (p->Kind) {
      case tkInteger:
        value = std::to_string(p->GetOrd(c));
        break;
      case tkEnumeration: {
        const int64_t ord = p->GetOrd(c);
        if (ord < 0 || ord >= static_cast<int64_t>(p->EnumNames.size()))
          throw EWriteError("Cannot write " + cls->Name() + "." + p->Name + ": the value " +
                            std::to_string(ord) + " has no name");
        value = p->EnumNames[static_cast<size_t>(ord)];
        break;
      }
      case tkString:
        value = QuoteString(p->GetStr(c));
        break;
      case tkMethod:
        continue;
    }
    out += pad + "  " + p->Name + " = " + value + "\n";
  }
  for (int32_t i = 0; i < c.GetComponentCount(); ++i)
    WriteObject(out, *c.GetComponent(i), registry, indent + 2);
  out += pad + "end\n";
}

}  // namespace

std::string WriteComponentText(const TComponent& Root, const TClassRegistry& Registry) {
  std::string out;
  WriteObject(out, Root, Registry, 0);
  return out;
}

void WriteComponent(TStream& Dest, const TComponent& Root, const TClassRegistry& Registry) {
  const std::string text = WriteComponentText(Root, Registry);
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EWriteError("Form text too large");
  Dest.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

// ---- Reader

namespace {

// Deeper nesting than any form needs is refused rather than risking the stack.
constexpr int kMaxDepth = 200;

enum TTokenKind { tokEnd, tokIdent, tokInteger, tokString, tokSymbol };

struct TToken {
  TTokenKind Kind = tokEnd;
  std::string Text;  // identifier, digits (with sign), string value, or the symbol
  int32_t Line = 1;
};

class TLexer {
 public:
  explicit TLexer(std::string_view text) : FText(text) { Advance(); }

  const TToken& Peek() const noexcept { return FToken; }
  TToken Next() {
    TToken t = std::move(FToken);
    Advance();
    return t;
  }

 private:
  bool AtEnd() const noexcept { return FPos >= FText.size(); }
  char Cur() const noexcept { return FText[FPos]; }
  static bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
  static bool IsIdentChar(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || IsDigit(c);
  }

  void Advance() {
    while (!AtEnd() && (Cur() == ' ' || Cur() == '\t' || Cur() == '\r' || Cur() == '\n')) {
      if (Cur() == '\n') ++FLine;
      ++FPos;
    }
    FToken = TToken{};
    FToken.Line = FLine;
    if (AtEnd()) return;
    const char c = Cur();
    if (IsIdentChar(c) && !IsDigit(c)) {
      const size_t start = FPos;
      while (!AtEnd() && IsIdentChar(Cur())) ++FPos;
      FToken.Kind = tokIdent;
      FToken.Text.assign(FText.substr(start, FPos - start));
    } else if (IsDigit(c) || (c == '-' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))) {
      const size_t start = FPos;
      ++FPos;
      while (!AtEnd() && IsDigit(Cur())) ++FPos;
      if (!AtEnd() && (IsIdentChar(Cur()) || Cur() == '.'))
        throw EParserError("Invalid number", FLine);
      FToken.Kind = tokInteger;
      FToken.Text.assign(FText.substr(start, FPos - start));
    } else if (c == '\'' || c == '#') {
      FToken.Kind = tokString;
      ReadString(FToken.Text);
    } else {
      FToken.Kind = tokSymbol;
      FToken.Text.assign(1, c);
      ++FPos;
    }
  }

  // Quoted pieces and #N codes that follow each other without blanks make one string.
  void ReadString(std::string& value) {
    while (!AtEnd() && (Cur() == '\'' || Cur() == '#')) {
      if (Cur() == '\'') {
        ++FPos;
        for (;;) {
          if (AtEnd() || Cur() == '\n' || Cur() == '\r')
            throw EParserError("Unterminated string", FLine);
          if (Cur() == '\'') {
            if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
              value += '\'';
              FPos += 2;
              continue;
            }
            ++FPos;
            break;
          }
          value += Cur();
          ++FPos;
        }
      } else {
        ++FPos;
        const bool hex = !AtEnd() && Cur() == '$';
        if (hex) ++FPos;
        uint32_t code = 0;
        size_t digits = 0;
        for (; !AtEnd(); ++FPos, ++digits) {
          const char d = Cur();
          int v;
          if (IsDigit(d))
            v = d - '0';
          else if (hex && d >= 'A' && d <= 'F')
            v = d - 'A' + 10;
          else if (hex && d >= 'a' && d <= 'f')
            v = d - 'a' + 10;
          else
            break;
          code = code * (hex ? 16 : 10) + static_cast<uint32_t>(v);
          if (code > 255) throw EParserError("Character code out of range (0..255)", FLine);
        }
        if (digits == 0) throw EParserError("Character code expected after '#'", FLine);
        value += static_cast<char>(code);
      }
    }
  }

  std::string_view FText;
  size_t FPos = 0;
  int32_t FLine = 1;
  TToken FToken;
};

bool IsKeyword(const TToken& t, std::string_view word) {
  return t.Kind == tokIdent && SameIdent(t.Text, word);
}

std::string Describe(const TToken& t) {
  switch (t.Kind) {
    case tokEnd:
      return "end of text";
    case tokString:
      return "a string";
    default:
      return "'" + t.Text + "'";
  }
}

class TFormReader {
 public:
  TFormReader(std::string_view text, const TClassRegistry& registry)
      : FLex(text), FRegistry(registry) {}

  std::unique_ptr<TComponent> ReadRoot() {
    std::unique_ptr<TComponent> root;
    ReadObject(nullptr, &root, 0);
    if (FLex.Peek().Kind != tokEnd)
      throw EParserError("Unexpected " + Describe(FLex.Peek()) + " after the last 'end'",
                         FLex.Peek().Line);
    return root;
  }

 private:
  [[noreturn]] void Expected(const std::string& what) {
    throw EParserError(what + " expected but " + Describe(FLex.Peek()) + " found",
                       FLex.Peek().Line);
  }

  std::string ExpectIdent(const char* what) {
    if (FLex.Peek().Kind != tokIdent) Expected(what);
    return FLex.Next().Text;
  }

  // Reads "object [Name:] Class ... end" and creates the object as Owner's, or into Root.
  void ReadObject(TComponent* owner, std::unique_ptr<TComponent>* root, int depth) {
    const TToken head = FLex.Next();
    if (IsKeyword(head, "inherited") || IsKeyword(head, "inline"))
      throw EParserError("'" + head.Text + "' objects are not supported", head.Line);
    if (!IsKeyword(head, "object"))
      throw EParserError("'object' expected but " + Describe(head) + " found", head.Line);
    if (depth >= kMaxDepth) throw EParserError("Objects nested too deep", head.Line);

    std::string name = ExpectIdent("Component name");
    std::string className;
    if (FLex.Peek().Kind == tokSymbol && FLex.Peek().Text == ":") {
      FLex.Next();
      className = ExpectIdent("Class name");
    } else {
      className = std::move(name);
      name.clear();
    }

    TComponentClass cls = FRegistry.FindClass(className);
    if (cls == nullptr) throw EParserError("Class " + className + " not found", head.Line);
    if (cls->IsAbstract())
      throw EParserError("Cannot create an instance of the abstract class " + className, head.Line);
    if (owner != nullptr && !name.empty() && owner->FindComponent(name) != nullptr)
      throw EParserError("A component named " + name + " already exists", head.Line);

    TComponent* obj;
    try {
      obj = cls->Create(owner);
    } catch (const Exception& e) {
      throw EParserError("Cannot create a " + className + ": " + e.Message(), head.Line);
    }
    // From here the object is owned: by its owner, or by the caller's holder.
    if (owner == nullptr) root->reset(obj);
    obj->SetName(name);

    while (FLex.Peek().Kind == tokIdent && !IsKeyword(FLex.Peek(), "end") &&
           !IsKeyword(FLex.Peek(), "object") && !IsKeyword(FLex.Peek(), "inherited") &&
           !IsKeyword(FLex.Peek(), "inline"))
      ReadProperty(*obj, cls);
    while (IsKeyword(FLex.Peek(), "object") || IsKeyword(FLex.Peek(), "inherited") ||
           IsKeyword(FLex.Peek(), "inline"))
      ReadObject(obj, nullptr, depth + 1);
    if (!IsKeyword(FLex.Peek(), "end")) Expected("'end'");
    FLex.Next();
  }

  void ReadProperty(TComponent& obj, TComponentClass cls) {
    const TToken nameTok = FLex.Next();
    const int32_t line = nameTok.Line;
    if (FLex.Peek().Kind == tokSymbol && FLex.Peek().Text == ".") {
      // Nested property paths name properties of objects these classes do not publish.
      std::string path = nameTok.Text;
      while (FLex.Peek().Kind == tokSymbol && FLex.Peek().Text == ".") {
        FLex.Next();
        path += '.';
        path += ExpectIdent("Property name");
      }
      throw EParserError("Property " + path + " does not exist in " + cls->Name(), line);
    }
    const TPropInfo* prop = cls->FindProperty(nameTok.Text);
    if (prop == nullptr)
      throw EParserError("Property " + nameTok.Text + " does not exist in " + cls->Name(), line);
    if (prop->Kind == tkMethod)
      throw EParserError("Event " + prop->Name + " cannot be read from a form", line);
    if (prop->IsReadOnly()) throw EParserError("Property " + prop->Name + " is read-only", line);
    if (!(FLex.Peek().Kind == tokSymbol && FLex.Peek().Text == "=")) Expected("'='");
    FLex.Next();

    const TToken value = FLex.Next();
    const std::string where = cls->Name() + "." + prop->Name;
    auto bad = [&](const std::string& what) -> EParserError {
      return EParserError(what + " for " + where, value.Line);
    };
    try {
      switch (prop->Kind) {
        case tkInteger: {
          if (value.Kind != tokInteger) throw bad("Integer value expected");
          if (value.Text.size() > 11) throw bad("Integer value out of range");
          const int64_t v = std::stoll(value.Text);
          if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            throw bad("Integer value out of range");
          prop->SetOrd(obj, v);
          break;
        }
        case tkEnumeration: {
          if (value.Kind != tokIdent) throw bad("Enumeration value expected");
          const int32_t ord = prop->EnumValue(value.Text);
          if (ord < 0) throw bad("Invalid value '" + value.Text + "'");
          prop->SetOrd(obj, ord);
          break;
        }
        case tkString: {
          if (value.Kind != tokString) throw bad("String value expected");
          std::string s = value.Text;
          while (FLex.Peek().Kind == tokSymbol && FLex.Peek().Text == "+") {
            FLex.Next();
            if (FLex.Peek().Kind != tokString) Expected("String");
            s += FLex.Next().Text;
          }
          // A Name line must not give two components of one owner the same name.
          if (SameIdent(prop->Name, "Name") && !s.empty() && obj.GetOwner() != nullptr) {
            const TComponent* other = obj.GetOwner()->FindComponent(s);
            if (other != nullptr && other != &obj)
              throw EParserError("A component named " + s + " already exists", line);
          }
          prop->SetStr(obj, s);
          break;
        }
        case tkMethod:
          break;
      }
    } catch (const EParserError&) {
      throw;
    } catch (const Exception& e) {
      // The setter refused the value (a mode a cipher does not support, say).
      throw EParserError("Cannot set " + where + ": " + e.Message(), line);
    }
  }

  TLexer FLex;
  const TClassRegistry& FRegistry;
};

}  // namespace

std::unique_ptr<TComponent> ReadComponentText(std::string_view Text,
                                              const TClassRegistry& Registry) {
  return TFormReader(Text, Registry).ReadRoot();
}

std::unique_ptr<TComponent> ReadComponent(TStream& Source, const TClassRegistry& Registry) {
  const int64_t left = Source.GetSize() - Source.GetPosition();
  if (left > std::numeric_limits<int32_t>::max()) throw EReadError("Form text too large");
  std::string text(static_cast<size_t>(left > 0 ? left : 0), '\0');
  Source.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
  return ReadComponentText(text, Registry);
}

}  // namespace morvane
