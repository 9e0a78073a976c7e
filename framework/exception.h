// Exception classes with names and ancestry.
//
// Every class knows its own name and its parent, so that code which only has an exception
// object (the central handler, the crash reporter's class filters) can compare class names
// along the chain exactly, the way the program's users name them ("EAbort", "EExternal").
#pragma once

#include <string>

namespace framework {

// One class of the exception hierarchy: its name and its parent (null for the root).
struct ExceptionClass {
  const char* name;
  const ExceptionClass* parent;
};

class Exception {
 public:
  explicit Exception(std::string message);
  virtual ~Exception();

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }

  // The class of the object, and of this type.
  virtual const ExceptionClass& Class() const { return StaticClass(); }
  static const ExceptionClass& StaticClass();

  const char* ClassName() const { return Class().name; }
  // True when the object's class or one of its ancestors has exactly this name.
  bool InheritsFrom(const char* class_name) const;

 private:
  std::string message_;
};

// Declares a class derived from Parent whose class record carries Name.
#define FRAMEWORK_EXCEPTION(Name, Parent)                                               \
  class Name : public Parent {                                                          \
   public:                                                                              \
    using Parent::Parent;                                                               \
    const ::framework::ExceptionClass& Class() const override { return StaticClass(); } \
    static const ::framework::ExceptionClass& StaticClass() {                           \
      static const ::framework::ExceptionClass info{#Name, &Parent::StaticClass()};     \
      return info;                                                                      \
    }                                                                                   \
  };

// Silent exception: ends the current operation without any message.
FRAMEWORK_EXCEPTION(EAbort, Exception)
// Hardware and system exceptions turned into objects.
FRAMEWORK_EXCEPTION(EExternal, Exception)
// Errors raised by the database layer.
FRAMEWORK_EXCEPTION(EDatabaseError, Exception)

}  // namespace framework
