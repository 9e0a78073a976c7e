#include "jetdb/create.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>

#include "jetdb/bytes.h"
#include "jetdb/catalog.h"
#include "jetdb/data_page.h"
#include "jetdb/database.h"
#include "jetdb/definition_writer.h"
#include "jetdb/error.h"
#include "jetdb/index.h"
#include "jetdb/row_format.h"
#include "jetdb/storage.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

// Constants of a user table's definition.
constexpr std::uint8_t kIndexAlways = 0x80;
constexpr std::uint8_t kUserTable = 0x4E;
constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::uint8_t kColumnUpdatable = 0x02;
constexpr std::size_t kMaxNameLength = 64;

std::uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    default:
      return 0;
  }
}

void CheckName(const std::string& name, const char* what) {
  const std::u16string units = Utf8ToUtf16(name);
  if (units.empty() || units.size() > kMaxNameLength || units.front() == u' ') {
    throw Error(std::string("'") + name + "' is not a valid " + what + " name.");
  }
  for (char16_t c : units) {
    if (c < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' || c == ']') {
      throw Error(std::string("'") + name + "' is not a valid " + what + " name.");
    }
  }
}

}  // namespace

void CreateTable(Database& database, const std::string& name,
                 const std::vector<ColumnSpec>& columns, const std::vector<IndexSpec>& indexes) {
  if (database.GetAccess() != Access::kReadWrite) {
    throw Error("Cannot update. Database or object is read-only. ('" + database.Path() + "')");
  }
  CheckName(name, "table");
  for (const CatalogEntry& entry : ReadCatalog(database.GetPager())) {
    if (entry.parent_id != 0 && SameName(entry.name, name)) {
      throw Error("Table '" + name + "' already exists.");
    }
  }
  if (columns.empty() || columns.size() > 255) throw Error("A table has 1 to 255 columns.");
  std::set<std::u16string> names;
  bool has_auto_number = false;
  for (const ColumnSpec& column : columns) {
    CheckName(column.name, "column");
    if (!names.insert(FoldCase(column.name)).second) {
      throw Error("Table '" + name + "' has two columns named '" + column.name + "'.");
    }
    if (column.auto_number && (column.type != ColumnType::kLong || has_auto_number)) {
      throw Error("Only one Long column of a table can be an auto-number.");
    }
    has_auto_number = has_auto_number || column.auto_number;
    const bool known = FixedSize(column.type) != 0 || column.type == ColumnType::kText ||
                       column.type == ColumnType::kMemo || column.type == ColumnType::kOle ||
                       column.type == ColumnType::kBinary;
    if (!known) throw Error("Column '" + column.name + "' has a type this engine cannot create.");
    if ((column.type == ColumnType::kText || column.type == ColumnType::kBinary) &&
        (column.length == 0 || column.length > 255)) {
      throw Error("Column '" + column.name + "' must hold 1 to 255 characters.");
    }
  }
  int primary_keys = 0;
  for (const IndexSpec& index : indexes) {
    CheckName(index.name, "index");
    if (index.columns.empty() || index.columns.size() > 10) {
      throw Error("Index '" + index.name + "' must have 1 to 10 columns.");
    }
    for (const IndexColumn& part : index.columns) {
      if (part.column_number >= columns.size()) {
        throw Error("Index '" + index.name + "' names a missing column.");
      }
      const ColumnType type = columns[part.column_number].type;
      if (type == ColumnType::kMemo || type == ColumnType::kOle) {
        throw Error("Index '" + index.name + "' cannot hold Memo or OLE columns.");
      }
    }
    primary_keys += index.primary_key ? 1 : 0;
  }
  if (primary_keys > 1) throw Error("Table '" + name + "' can have only one primary key.");

  Pager& pager = database.GetPager();
  try {
    // Pages: the definition, one data page for the usage maps, a root leaf for each index.
    const std::uint32_t definition_page = TakePage(pager);
    const std::uint32_t map_page = TakePage(pager);
    std::vector<std::uint8_t>& maps = pager.Modify(map_page, rank::kNewPage);
    InitDataPage(maps, 0);
    std::vector<std::uint8_t> empty_map(kUsageMapRowSize, 0);
    const std::uint8_t table_map = AddRow(maps, empty_map);
    const std::uint8_t free_map = AddRow(maps, empty_map);
    std::vector<std::uint32_t> index_maps;
    std::vector<std::uint32_t> roots;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      index_maps.push_back((map_page << 8) |
                           AddRow(pager.Modify(map_page, rank::kNewPage), empty_map));
    }
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      const std::uint32_t root = TakePage(pager);
      std::vector<std::uint8_t>& leaf = pager.Modify(root, rank::kNewPage);
      leaf[0] = kIndexLeafPage;
      leaf[1] = 0x01;
      WriteU16(leaf, 2, static_cast<std::uint16_t>(leaf.size() - 0x1E0));
      WriteU32(leaf, 4, definition_page);
      roots.push_back(root);
      SetUsageMapBit(pager, index_maps[i], root, true, rank::kNewPage);
    }

    DefinitionWriter def;
    const std::uint16_t var_count = static_cast<std::uint16_t>(
        std::count_if(columns.begin(), columns.end(),
                      [](const ColumnSpec& c) { return FixedSize(c.type) == 0; }));
    def.U8(kTableDefPage);
    def.U8(0x01);
    def.U16(0);  // free space, set below
    def.U32(0);  // no next page
    def.U32(0);  // length, set below
    def.U32(kDefinitionVersion);
    def.U32(0);  // rows
    def.U32(0);  // last auto-number
    def.U32(1);  // auto-numbers in use
    def.U32(0);
    def.U32(0);
    def.U32(0xFFFFFFFF);
    def.U8(kUserTable);
    def.U16(static_cast<std::uint16_t>(columns.size()));
    def.U16(var_count);
    def.U16(static_cast<std::uint16_t>(columns.size()));
    def.U32(static_cast<std::uint32_t>(indexes.size()));
    def.U32(static_cast<std::uint32_t>(indexes.size()));
    def.U32((map_page << 8) | table_map);
    def.U32((map_page << 8) | free_map);
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      def.U32(0);
      def.U32(0);  // rows in the index
      def.U32(0);
    }
    std::uint16_t fixed_offset = 0;
    std::uint16_t var_index = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const ColumnSpec& column = columns[i];
      const std::uint16_t fixed = FixedSize(column.type);
      const bool text = column.type == ColumnType::kText || column.type == ColumnType::kMemo;
      def.U8(static_cast<std::uint8_t>(column.type));
      def.U32(kDefinitionVersion);
      def.U16(static_cast<std::uint16_t>(i));
      def.U16(fixed != 0 ? 0 : var_index);
      def.U16(static_cast<std::uint16_t>(i));
      def.U16(kGeneralSortOrder);
      def.U16(0);
      def.U8(static_cast<std::uint8_t>((fixed != 0 ? kColumnFixed : 0) | kColumnUpdatable |
                                       (column.auto_number ? kColumnAutoLong : 0)));
      def.U8(text ? 0x01 : 0x00);  // compressed text
      def.U32(0);
      def.U16(fixed != 0 ? fixed_offset : 0);
      def.U16(column.type == ColumnType::kText     ? column.length * 2
              : column.type == ColumnType::kBinary ? column.length
                                                   : fixed);
      if (fixed == 0) ++var_index;
      if (fixed != 0 && column.type != ColumnType::kBoolean) fixed_offset += fixed;
    }
    for (const ColumnSpec& column : columns) def.Name(column.name);
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      const IndexSpec& index = indexes[i];
      def.U32(kPhysicalIndexMark);
      for (std::size_t slot = 0; slot < 10; ++slot) {
        if (slot < index.columns.size()) {
          def.U16(index.columns[slot].column_number);
          def.U8(index.columns[slot].ascending ? 0x01 : 0x00);
        } else {
          def.U16(0xFFFF);
          def.U8(0x00);
        }
      }
      def.U32(index_maps[i]);
      def.U32(roots[i]);
      def.U32(0);
      const bool unique = index.unique || index.primary_key;
      const bool required = index.required || index.primary_key;
      def.U8(static_cast<std::uint8_t>(kIndexAlways | (unique ? kIndexUnique : 0) |
                                       (index.ignore_nulls ? kIndexIgnoreNulls : 0) |
                                       (required ? kIndexRequired : 0)));
      for (int k = 0; k < 5; ++k) def.U8(0);
    }
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      def.U32(kDefinitionVersion);
      def.U32(static_cast<std::uint32_t>(i));  // logical number
      def.U32(static_cast<std::uint32_t>(i));  // its physical index
      def.U8(0);                               // no related table
      def.U32(0xFFFFFFFF);
      def.U32(0);
      def.U8(0x04);
      def.U8(0x04);
      def.U8(indexes[i].primary_key ? kIndexPrimaryKey : 0);
      def.U32(0);
    }
    for (const IndexSpec& index : indexes) def.Name(index.name);
    def.U16(0xFFFF);  // no long-value column maps
    def.U32(0);
    def.U32(0);
    std::vector<std::uint8_t>& page = pager.Modify(definition_page, rank::kNewPage);
    if (def.bytes.size() > page.size()) {
      throw Error("The definition of table '" + name + "' does not fit one page.");
    }
    std::copy(def.bytes.begin(), def.bytes.end(), page.begin());
    WriteU16(page, 2, static_cast<std::uint16_t>(page.size() - def.bytes.size()));
    WriteU32(page, 8, static_cast<std::uint32_t>(def.bytes.size() - 8));

    // The catalog row, under the Tables container, owned as the container is.
    CatalogEntry container;
    for (const CatalogEntry& entry : ReadCatalog(pager)) {
      if (entry.parent_id == kTablesContainerParent && entry.name == "Tables") container = entry;
    }
    if (container.id == 0) Corrupt("the catalog has no Tables container");
    TableWriter catalog(database, "MSysObjects", ReadTableDef(pager, kCatalogPage));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double days =
        25569.0 + std::chrono::duration<double>(now).count() / 86400.0;  // 1970-01-01 is 25569
    std::vector<std::uint8_t> owner;
    const Table catalog_table(pager, "MSysObjects",
                              std::make_shared<const TableDef>(catalog.Definition()));
    for (auto rows = catalog_table.Rows(); rows.Next();) {
      if (rows.Integer(catalog_table.GetColumn("Id")) == container.id) {
        owner = rows.Bytes(catalog_table.GetColumn("Owner"));
        break;
      }
    }
    catalog.Insert({{"Id", Value::Integer(definition_page)},
                    {"ParentId", Value::Integer(container.id)},
                    {"Name", Value::Text(name)},
                    {"Type", Value::Integer(kObjectTable)},
                    {"DateCreate", Value::DateTime(days)},
                    {"DateUpdate", Value::DateTime(days)},
                    {"Owner", owner.empty() ? Value::Null() : Value::Bytes(owner)},
                    {"Flags", Value::Integer(0)}});
  } catch (...) {
    pager.Discard();
    throw;
  }
}

}  // namespace jetdb
