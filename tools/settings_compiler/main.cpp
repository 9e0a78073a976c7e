// settings_compiler SOURCE OUTPUT: compiles a readable settings file into the bytes of the
// reporter's settings resource (RCDATA "TVELEXCEPT").
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/settings_compiler/settings_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: settings_compiler SOURCE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << argv[1] << ": cannot read\n";
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  const auto keys = settings_compiler::ParseSettingsText(text, error);
  if (!keys) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }
  const std::string stream = settings_compiler::CompileSettings(*keys);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
  out.close();
  if (!out) {
    std::cerr << argv[2] << ": cannot write\n";
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
