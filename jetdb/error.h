// The engine's single error class: every failure the engine reports is a jetdb::Error whose
// message is meant to be shown to the user as is.
#pragma once

#include <stdexcept>
#include <string>

namespace jetdb {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace jetdb
