#include "jetdb/database.h"

#include "jetdb/catalog.h"
#include "jetdb/error.h"

namespace jetdb {

std::unique_ptr<Database> Database::Start(File file, Access access) {
  const std::string path = file.Path();
  Pager pager(std::move(file));
  if (pager.PageCount() == 0) throw Error("Unrecognized database format '" + path + "'.");
  PageData page0 = pager.Read(0);
  Header header = ParseHeader(*page0, path);
  return std::unique_ptr<Database>(new Database(std::move(pager), header, access));
}

std::unique_ptr<Database> Database::Open(const std::string& path, Access access) {
  return Start(access == Access::kReadOnly ? File::OpenRead(path) : File::OpenReadWrite(path),
               access);
}

std::unique_ptr<Database> Database::OpenBytes(std::vector<std::uint8_t> bytes,
                                              const std::string& name) {
  return Start(File::FromMemory(std::move(bytes), name), Access::kReadOnly);
}

std::vector<std::string> Database::TableNames() {
  std::vector<std::string> names;
  for (CatalogEntry& entry : UserTables(pager_)) names.push_back(std::move(entry.name));
  return names;
}

Table Database::OpenTable(const std::string& name) {
  for (CatalogEntry& entry : UserTables(pager_)) {
    if (SameName(entry.name, name)) {
      auto definition =
          std::make_shared<const TableDef>(ReadTableDef(pager_, entry.TableDefPage()));
      return Table(pager_, std::move(entry.name), std::move(definition));
    }
  }
  throw Error("The Microsoft Jet database engine cannot find the input table or query '" + name +
              "'.  Make sure it exists and that its name is spelled correctly.");
}

}  // namespace jetdb
