#pragma once
// Errors that end a click handler. Nothing inside a handler catches them:
// they travel up to the application's error report, which shows the message.

#include <stdexcept>
#include <string>

namespace ebsim {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message), message_(message) {}
  // The whole message, even one that quotes a text holding a NUL.
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

// A field's text is not a number of the kind asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Floating-point faults: invalid operation, division by zero, overflow.
class EMathError : public Exception {
 public:
  using Exception::Exception;
};

class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};

class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};

// The text of the error box: the message, with a "." added when its last
// character sorts above "." (so sentences get their full stop, while a
// message that already ends in punctuation or a closing bracket does not).
std::string ErrorBoxText(const std::string& message);

}  // namespace ebsim
