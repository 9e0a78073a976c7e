// jetdump FILE               lists the user tables of an Access (Jet 4) database, one a line.
// jetdump FILE TABLE         writes the table as CSV, rows in the table's own order.
// jetdump FILE TABLE INDEX   writes the table as CSV, rows in the order of the named index.
#include <cstdio>
#include <iostream>

#include "jetdb/jetdb.h"
#include "tools/jetdump/csv.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::cerr << "usage: jetdump FILE [TABLE [INDEX]]\n";
    return 2;
  }
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // line ends as on every other system
#endif
  try {
    auto database = jetdb::Database::Open(argv[1]);
    if (argc == 2) {
      for (const std::string& name : database->TableNames()) std::cout << name << '\n';
    } else {
      const jetdb::Table table = database->OpenTable(argv[2]);
      jetdump::WriteCsv(table, argc == 4 ? table.RowsInIndex(argv[3]) : table.Rows(), std::cout);
    }
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "jetdump: could not write the output\n";
      return 1;
    }
  } catch (const jetdb::Error& error) {
    std::cout.flush();
    std::cerr << "jetdump: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
