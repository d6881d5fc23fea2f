#include "morvane/framework/Exceptions.h"

namespace morvane {

EAssertionFailed::EAssertionFailed(std::string message, std::string unitName, uint32_t line)
    : Exception(message + " (" + unitName + ", line " + std::to_string(line) + ")"),
      FAssertMessage(std::move(message)),
      FUnitName(std::move(unitName)),
      FLine(line) {}

void AssertionFailure(const std::string& message, const char* unitName,
                      std::source_location where) {
  throw EAssertionFailed(message, unitName, where.line());
}

}  // namespace morvane
