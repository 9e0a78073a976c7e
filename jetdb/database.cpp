#include "jetdb/database.h"

#include "jetdb/error.h"

namespace jetdb {

std::unique_ptr<Database> Database::Open(const std::string& path) {
  Pager pager(File::OpenRead(path));
  if (pager.PageCount() == 0) throw Error("Unrecognized database format '" + path + "'.");
  PageData page0 = pager.Read(0);
  Header header = ParseHeader(*page0, path);
  return std::unique_ptr<Database>(new Database(std::move(pager), header));
}

}  // namespace jetdb
