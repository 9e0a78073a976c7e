// jetfixture DESCRIPTION BASE OUT
//
// Builds the Access (Jet 4) database OUT from a copy of BASE (an existing database, usually an
// empty one) and the text file DESCRIPTION (format in fixture.h). Every error names the
// description's line; OUT is then removed.
#include <fstream>
#include <iostream>
#include <sstream>

#include "jetdb/error.h"
#include "tools/jetfixture/fixture.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: jetfixture DESCRIPTION BASE OUT\n";
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::cerr << "jetfixture: cannot read '" << argv[1] << "'\n";
    return 1;
  }
  std::ostringstream description;
  description << file.rdbuf();
  try {
    jetfixture::BuildDatabase(description.str(), argv[2], argv[3], argv[1]);
  } catch (const jetdb::Error& error) {
    std::cerr << "jetfixture: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
