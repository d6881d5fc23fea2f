// The text-reading string utilities on arbitrary bytes: base conversion, number evaluation, the
// separated-list and token functions. Only the package's and the framework's exceptions may
// come out, and a few invariants must hold.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/StringList.h"
#include "morvane/strings/VRXStrings.h"

using namespace morvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t base = data[0] % 40;  // outside 2..34 too: an assertion, not a crash
  const char delimiter = static_cast<char>(data[1]);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  try {
    const int32_t v = BaseToDec(text, base);
    // What DecToBase writes, BaseToDec reads back.
    if (BaseToDec(DecToBase(v, base), base) != v) __builtin_trap();
  } catch (const EConvertError&) {
  } catch (const EAssertionFailed&) {
  }
  (void)EvalAsFloat(text);
  (void)EvalAsInteger(text);
  (void)YNToBoolean(text);

  const std::string separator(1, delimiter);
  auto list = StringToStringList(text, separator);
  (void)StringListToString(*list, separator);
  std::string items = StrInclude(separator, text);
  if (!StrBelongs(separator, items)) __builtin_trap();
  (void)StrExclude(separator, items);

  std::string rest = text;
  std::string word;
  for (int i = 0; i < 64 && !rest.empty(); ++i) {
    const size_t before = rest.size();
    ExtractTo(word, rest, delimiter);
    if (rest.size() >= before) __builtin_trap();
  }
  rest = text;
  for (int i = 0; i < 64 && !rest.empty(); ++i) ExtractWord(word, rest);

  TCharSet set;
  for (unsigned char c : separator + "0123456789") set.set(c);
  rest = text;
  char token = 0;
  for (int i = 0; i < 64 && !rest.empty(); ++i) {
    if (!RecognizeToken(set, rest, token) && !RecognizeExcept(set, rest, token)) break;
  }
  (void)Replace(text, separator, "<>");
  (void)StringToHTML(text);
  (void)RemoveChars(text, set);
  return 0;
}
