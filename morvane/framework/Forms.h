// The framework's text form: a component, its published properties and the components it owns,
// written and read as text.
//
//   object VRXBlowFish1: TVRXBlowFish
//     Key = 'secret'#0'key'
//     KeyLength = 10
//     Mode = cipherCBC
//     BufferSize = 1000
//   end
//
// Strings are quoted with ' (doubled inside); bytes outside 32..126 stand outside the quotes as
// #N (decimal; the reader also takes #$HH), and the pieces of one string follow each other
// without blanks, or across lines joined by '+'. Enumerations are written by value name, integers
// in decimal. Properties come in declaration order, inherited ones first; events and read-only
// properties are left out, and so is Name, which stands in the object line. Owned components
// follow the properties as nested objects. Keywords and names are matched ignoring ASCII case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "morvane/framework/Classes.h"
#include "morvane/framework/Component.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

namespace morvane {

// A form text that cannot be read: its message starts with "Line N: " and Line() gives N.
class EParserError : public Exception {
 public:
  EParserError(const std::string& message, int32_t line);
  int32_t Line() const noexcept { return FLine; }

 private:
  int32_t FLine;
};

// The form text of Root and everything it owns. The class of every object must be known to the
// registry (its published properties come from there), and every name must be empty or a valid
// identifier; otherwise EWriteError, since the text could not be read back.
std::string WriteComponentText(const TComponent& Root,
                               const TClassRegistry& Registry = ClassRegistry());
void WriteComponent(TStream& Dest, const TComponent& Root,
                    const TClassRegistry& Registry = ClassRegistry());

// Reads one object: creates it and its nested objects by class name through the registry (each
// nested object owned by the object it stands in) and sets the properties through their setters
// in the order they appear. The root belongs to the caller. Any fault (syntax, an unknown class
// or property, a value of the wrong kind or out of range, a setter that refuses its value, text
// after the last "end") raises EParserError naming the line; what was created is destroyed.
std::unique_ptr<TComponent> ReadComponentText(std::string_view Text,
                                              const TClassRegistry& Registry = ClassRegistry());
// The same for the rest of a stream from its position.
std::unique_ptr<TComponent> ReadComponent(TStream& Source,
                                          const TClassRegistry& Registry = ClassRegistry());

}  // namespace morvane
