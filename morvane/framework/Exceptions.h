// The framework's exception classes and its assertion mechanism.
#pragma once

#include <cstdint>
#include <exception>
#include <source_location>
#include <string>

namespace morvane {

// Base of every exception the framework and the package raise. The message is a byte string
// (some of the package's texts are Windows-1252).
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// A failed assertion: carries the message, the unit the check stands in and its line.
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(std::string message, std::string unitName, uint32_t line);
  const std::string& AssertMessage() const noexcept { return FAssertMessage; }
  const std::string& UnitName() const noexcept { return FUnitName; }
  uint32_t Line() const noexcept { return FLine; }

 private:
  std::string FAssertMessage;
  std::string FUnitName;
  uint32_t FLine;
};

class EConvertError : public Exception {
  using Exception::Exception;
};
// Stream read error: fewer bytes than demanded.
class EReadError : public Exception {
  using Exception::Exception;
};
// Stream write error: fewer bytes written than demanded.
class EWriteError : public Exception {
  using Exception::Exception;
};
class EFOpenError : public Exception {
  using Exception::Exception;
};
class EFCreateError : public Exception {
  using Exception::Exception;
};
// Input/output error of the untyped file routines; ErrorCode is the system's errno (0 if none).
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode = 0)
      : Exception(std::move(message)), FErrorCode(errorCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};
// An index or value outside the range an operation accepts.
class ERangeError : public Exception {
  using Exception::Exception;
};
// An abstract operation that a class did not implement was called.
class EAbstractError : public Exception {
  using Exception::Exception;
};

// Raises EAssertionFailed with the message, the unit and the caller's line.
[[noreturn]] void AssertionFailure(
    const std::string& message, const char* unitName,
    std::source_location where = std::source_location::current());

// Checks a condition in the way of the framework's Assert: fails with the message when false.
inline void Assert(bool condition, const std::string& message, const char* unitName,
                   std::source_location where = std::source_location::current()) {
  if (!condition) AssertionFailure(message, unitName, where);
}

}  // namespace morvane
