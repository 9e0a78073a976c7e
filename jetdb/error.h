// The engine's errors: every failure the engine reports is a jetdb::Error whose message is meant
// to be shown to the user as is.
#pragma once

#include <stdexcept>
#include <string>

namespace jetdb {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The database file could not be opened at all (missing, a folder, locked, access denied), as
// opposed to a file that opens but holds no usable database: callers treat it as "not there".
class FileError : public Error {
 public:
  using Error::Error;
};

}  // namespace jetdb
