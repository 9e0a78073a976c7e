#include "framework/exception.h"

#include <cstring>

namespace framework {

Exception::Exception(std::string message) : message_(std::move(message)) {}
Exception::~Exception() = default;

const ExceptionClass& Exception::StaticClass() {
  static const ExceptionClass info{"Exception", nullptr};
  return info;
}

bool Exception::InheritsFrom(const char* class_name) const {
  for (const ExceptionClass* c = &Class(); c != nullptr; c = c->parent) {
    if (std::strcmp(c->name, class_name) == 0) return true;
  }
  return false;
}

}  // namespace framework
