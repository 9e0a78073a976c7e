#include "jetdb/database.h"

#include <cctype>

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
                                              const std::string& name, Access access) {
  return Start(File::FromMemory(std::move(bytes), name, access == Access::kReadWrite), access);
}

std::vector<std::string> Database::TableNames() {
  std::vector<std::string> names;
  for (CatalogEntry& entry : UserTables(pager_)) names.push_back(std::move(entry.name));
  return names;
}

TableWriter Database::OpenWriter(const std::string& name) {
  if (access_ != Access::kReadWrite) {
    throw Error("Cannot update. Database or object is read-only. ('" + Path() + "')");
  }
  for (CatalogEntry& entry : UserTables(pager_)) {
    if (SameName(entry.name, name)) {
      return TableWriter(*this, std::move(entry.name), ReadTableDef(pager_, entry.TableDefPage()));
    }
  }
  throw Error("The Microsoft Jet database engine cannot find the input table or query '" + name +
              "'.  Make sure it exists and that its name is spelled correctly.");
}

namespace {

// The statement's words: runs of letters, digits, '@' and '_'; anything else stands alone.
std::vector<std::string> Words(const std::string& sql) {
  std::vector<std::string> words;
  std::string word;
  for (char c : sql) {
    const bool part = std::isalnum(static_cast<unsigned char>(c)) || c == '@' || c == '_';
    if (part) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      continue;
    }
    if (!word.empty()) words.push_back(std::move(word));
    word.clear();
    if (!std::isspace(static_cast<unsigned char>(c))) words.push_back(std::string(1, c));
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace

namespace {

// The column name "select @@IDENTITY [as name]" gives; any other statement is an Error.
std::string IdentityColumn(const std::string& sql) {
  std::vector<std::string> words = Words(sql);
  if (!words.empty() && words.back() == ";") words.pop_back();
  if (words.size() == 2 && words[0] == "select" && words[1] == "@@identity") return "Expr1000";
  if (words.size() == 4 && words[0] == "select" && words[1] == "@@identity" && words[2] == "as") {
    // The name as written, not folded.
    const auto at = sql.rfind(' ');
    std::string name = sql.substr(at + 1);
    while (!name.empty() &&
           (name.back() == ';' || std::isspace(static_cast<unsigned char>(name.back()))))
      name.pop_back();
    return SameName(name, words[3]) ? name : words[3];
  }
  throw Error("Invalid SQL statement; only 'select @@IDENTITY as <name>' is supported: '" + sql +
              "'.");
}

}  // namespace

Database::QueryResult Database::Query(const std::string& sql) const {
  // Programs send the same statement after every insert: it is parsed once.
  if (sql != parsed_sql_ || parsed_column_.empty()) {
    parsed_column_ = IdentityColumn(sql);
    parsed_sql_ = sql;
  }
  return {parsed_column_, last_identity_};
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
