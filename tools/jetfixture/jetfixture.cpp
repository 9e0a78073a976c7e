// jetfixture DESCRIPTION [BASE] OUT
//
// Builds the Access (Jet 4) database OUT from the text file DESCRIPTION (format in fixture.h),
// in a new empty database, or in a copy of BASE (an existing database) unless BASE is "-". Every
// error names the description's line; OUT is then removed.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "jetdb/error.h"
#include "tools/jetfixture/fixture.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: jetfixture DESCRIPTION [BASE|-] OUT\n";
    return 2;
  }
  const std::string base = argc == 4 ? argv[2] : "-";
  const std::string out = argv[argc - 1];
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::cerr << "jetfixture: cannot read '" << argv[1] << "'\n";
    return 1;
  }
  std::ostringstream description;
  description << file.rdbuf();
  try {
    jetfixture::BuildDatabase(description.str(), base, out, argv[1]);
  } catch (const jetdb::Error& error) {
    std::cerr << "jetfixture: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
