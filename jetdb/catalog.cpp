#include "jetdb/catalog.h"

#include <algorithm>
#include <cctype>

#include "jetdb/error.h"
#include "jetdb/table.h"

namespace jetdb {

namespace {

const Column& Need(const TableDef& table, const char* name) {
  const Column* column = table.Find(name);
  if (column == nullptr) {
    throw Error(std::string("Corrupt database: the catalog has no '") + name + "' column.");
  }
  return *column;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::vector<CatalogEntry> ReadCatalog(Pager& pager) {
  const TableDef catalog = ReadTableDef(pager, kCatalogPage);
  const Column& id = Need(catalog, "Id");
  const Column& parent_id = Need(catalog, "ParentId");
  const Column& name = Need(catalog, "Name");
  const Column& type = Need(catalog, "Type");
  const Column& flags = Need(catalog, "Flags");
  std::vector<CatalogEntry> entries;
  ForEachRow(pager, catalog, [&](const Row& row) {
    CatalogEntry entry;
    entry.id = static_cast<std::int32_t>(row.Integer(id).value_or(0));
    entry.parent_id = static_cast<std::int32_t>(row.Integer(parent_id).value_or(0));
    entry.name = row.Text(name).value_or("");
    entry.type = static_cast<std::int32_t>(row.Integer(type).value_or(0));
    entry.flags = static_cast<std::uint32_t>(row.Integer(flags).value_or(0));
    entries.push_back(std::move(entry));
  });
  return entries;
}

std::vector<CatalogEntry> UserTables(Pager& pager) {
  std::vector<CatalogEntry> tables;
  for (CatalogEntry& entry : ReadCatalog(pager)) {
    if (entry.IsUserTable()) tables.push_back(std::move(entry));
  }
  std::stable_sort(tables.begin(), tables.end(),
                   [](const auto& a, const auto& b) { return LessIgnoringCase(a.name, b.name); });
  return tables;
}

}  // namespace jetdb
