// A new empty database laid out as the Jet engine lays out one it creates itself (through
// ADOX): the header page, the free-page map, the four system tables' definitions, one page of
// usage maps, a root leaf for each system index, and the catalog and access-control rows.
// tests/jetdb/new_database_test.cpp compares the result with such a database page by page.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "jetdb/bytes.h"
#include "jetdb/catalog.h"
#include "jetdb/create.h"
#include "jetdb/data_page.h"
#include "jetdb/database.h"
#include "jetdb/definition_writer.h"
#include "jetdb/error.h"
#include "jetdb/header.h"
#include "jetdb/index.h"
#include "jetdb/index_write.h"
#include "jetdb/row_format.h"
#include "jetdb/storage.h"
#include "jetdb/table.h"
#include "jetdb/values.h"

namespace jetdb {

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::uint16_t kWesternCodePage = 1252;
constexpr std::uint8_t kSystemTable = 0x53;
constexpr std::size_t kRowCountOffset = 12;  // of a data page

// Where everything goes: the pages Jet uses for a new database.
constexpr std::uint32_t kMapPage = 6;         // the usage maps of every system table
constexpr std::uint32_t kFirstLeaf = 7;       // the root leaves, one per index, in table order
constexpr std::uint32_t kFirstFreePage = 14;  // rows of MSysObjects and MSysACEs go here

// Catalog ids of the containers and of the database object.
constexpr std::int32_t kTablesContainer = 0x0F000001;
constexpr std::int32_t kDatabasesContainer = 0x0F000002;
constexpr std::int32_t kRelationshipsContainer = 0x0F000003;
constexpr std::int32_t kDatabaseObject = 0x10000000;
constexpr std::int32_t kObjectContainer = 3;
constexpr std::int32_t kObjectDatabase = 2;
constexpr std::uint32_t kSystemFlag = 0x80000000u;

// Column flag bytes as Jet gives system columns: fixed-length, variable-length, and the
// variable-length security ids.
constexpr std::uint8_t kFixed = 0x13;
constexpr std::uint8_t kVariable = 0x12;
constexpr std::uint8_t kSecurityId = 0x32;

struct SystemColumn {
  const char* name;
  ColumnType type;
  std::uint8_t flags;
};

struct SystemIndex {
  const char* name;
  std::vector<std::uint16_t> columns;  // by column number, ascending
  std::uint8_t flags;                  // with the 0x80 every physical index has
  bool primary_key;
};

struct SystemTable {
  const char* name;
  std::uint32_t page;
  std::vector<SystemColumn> columns;  // in column number order
  std::vector<SystemIndex> indexes;   // in physical index order
};

const std::vector<SystemTable>& SystemTables() {
  using T = ColumnType;
  static const std::vector<SystemTable> kTables = {
      {"MSysObjects",
       2,
       {{"Id", T::kLong, kFixed},
        {"ParentId", T::kLong, kFixed},
        {"Name", T::kText, kVariable},
        {"Type", T::kInteger, kFixed},
        {"DateCreate", T::kDateTime, kFixed},
        {"DateUpdate", T::kDateTime, kFixed},
        {"Owner", T::kBinary, kSecurityId},
        {"Flags", T::kLong, kFixed},
        {"Database", T::kMemo, kVariable},
        {"Connect", T::kMemo, kVariable},
        {"ForeignName", T::kText, kVariable},
        {"RmtInfoShort", T::kBinary, kVariable},
        {"RmtInfoLong", T::kOle, kVariable},
        {"Lv", T::kOle, kVariable},
        {"LvProp", T::kOle, kVariable},
        {"LvModule", T::kOle, kVariable},
        {"LvExtra", T::kOle, kVariable}},
       {{"ParentIdName", {1, 2}, 0x81, false}, {"Id", {0}, 0x81, true}}},
      {"MSysACEs",
       3,
       {{"ObjectId", T::kLong, kFixed},
        {"SID", T::kBinary, kSecurityId},
        {"ACM", T::kLong, kFixed},
        {"FInheritable", T::kBoolean, kFixed}},
       {{"ObjectId", {0}, 0x88, false}}},
      {"MSysQueries",
       4,
       {{"ObjectId", T::kLong, kFixed},
        {"Attribute", T::kByte, kFixed},
        {"Order", T::kBinary, kVariable},
        {"Name1", T::kText, kVariable},
        {"Name2", T::kText, kVariable},
        {"Expression", T::kMemo, kVariable},
        {"Flag", T::kInteger, kFixed},
        {"LvExtra", T::kLong, kFixed}},
       {{"ObjectIdAttribute", {0, 1, 2}, 0x81, true}}},
      {"MSysRelationships",
       5,
       {{"szRelationship", T::kText, kVariable},
        {"grbit", T::kLong, kFixed},
        {"ccolumn", T::kLong, kFixed},
        {"icolumn", T::kLong, kFixed},
        {"szObject", T::kText, kVariable},
        {"szColumn", T::kText, kVariable},
        {"szReferencedObject", T::kText, kVariable},
        {"szReferencedColumn", T::kText, kVariable}},
       {{"szRelationship", {0}, 0x82, false},
        {"szObject", {4}, 0x82, false},
        {"szReferencedObject", {6}, 0x82, false}}},
  };
  return kTables;
}

std::uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
      return 4;
    case ColumnType::kDateTime:
      return 8;
    default:
      return 0;
  }
}

bool LongValueType(ColumnType type) {
  return type == ColumnType::kMemo || type == ColumnType::kOle;
}

// The rows of page kMapPage a table uses, handed out in Jet's order: the table's two maps,
// two for each long-value column, then one for each index.
struct TableMaps {
  std::uint32_t usage = 0;
  std::uint32_t free_space = 0;
  std::vector<std::pair<std::uint16_t, std::uint32_t>> long_values;  // column, first of two
  std::vector<std::uint32_t> indexes;
};

TableMaps AssignMaps(const SystemTable& table, std::uint32_t& next_row) {
  TableMaps maps;
  auto next = [&next_row] { return (kMapPage << 8) | next_row++; };
  maps.usage = next();
  maps.free_space = next();
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (!LongValueType(table.columns[i].type)) continue;
    const std::uint32_t used = next();
    next();  // its free-space map follows
    maps.long_values.emplace_back(static_cast<std::uint16_t>(i), used);
  }
  for (std::size_t i = 0; i < table.indexes.size(); ++i) maps.indexes.push_back(next());
  return maps;
}

// The definition page of a system table with no rows yet.
std::vector<std::uint8_t> Definition(const SystemTable& table, const TableMaps& maps,
                                     std::uint32_t first_leaf, std::uint32_t index_rows) {
  std::uint16_t var_count = 0;
  for (const SystemColumn& column : table.columns) var_count += FixedSize(column.type) == 0;
  // Columns and logical indexes are stored in name order (Jet's own order for them).
  std::vector<std::uint16_t> by_name(table.columns.size());
  for (std::size_t i = 0; i < by_name.size(); ++i) by_name[i] = static_cast<std::uint16_t>(i);
  std::sort(by_name.begin(), by_name.end(), [&table](std::uint16_t a, std::uint16_t b) {
    return FoldCase(table.columns[a].name) < FoldCase(table.columns[b].name);
  });
  std::vector<std::uint32_t> index_by_name(table.indexes.size());
  for (std::size_t i = 0; i < index_by_name.size(); ++i) index_by_name[i] = i;
  std::sort(index_by_name.begin(), index_by_name.end(), [&table](std::uint32_t a, std::uint32_t b) {
    return FoldCase(table.indexes[a].name) < FoldCase(table.indexes[b].name);
  });

  DefinitionWriter def;
  def.U8(0x02);
  def.U8(0x01);
  def.U16(0);  // free space, set below
  def.U32(0);  // no next page
  def.U32(0);  // length, set below
  def.U32(kDefinitionVersion);
  def.U32(0);  // rows
  def.U32(0);  // last auto-number
  def.U32(1);
  def.U32(0);
  def.U32(0);
  def.U32(0);
  def.U8(kSystemTable);
  def.U16(static_cast<std::uint16_t>(table.columns.size()));
  def.U16(var_count);
  def.U16(static_cast<std::uint16_t>(table.columns.size()));
  def.U32(static_cast<std::uint32_t>(table.indexes.size()));
  def.U32(static_cast<std::uint32_t>(table.indexes.size()));
  def.U32(maps.usage);
  def.U32(maps.free_space);
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    def.U32(0);
    def.U32(index_rows);
    def.U32(0);
  }
  // Fixed-length columns: their offset in the fixed part, and (as Jet counts) how many
  // variable-length columns come before them.
  std::vector<std::uint16_t> offsets(table.columns.size(), 0);
  std::vector<std::uint16_t> var_indexes(table.columns.size(), 0);
  std::uint16_t fixed_offset = 0;
  std::uint16_t var_index = 0;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const std::uint16_t fixed = FixedSize(table.columns[i].type);
    var_indexes[i] = var_index;
    if (fixed == 0) {
      ++var_index;
    } else if (table.columns[i].type != ColumnType::kBoolean) {
      offsets[i] = fixed_offset;
      fixed_offset += fixed;
    }
  }
  for (std::uint16_t i : by_name) {
    const SystemColumn& column = table.columns[i];
    const std::uint16_t fixed = FixedSize(column.type);
    def.U8(static_cast<std::uint8_t>(column.type));
    def.U32(kDefinitionVersion);
    def.U16(i);
    def.U16(var_indexes[i]);
    def.U16(0);
    def.U16(kGeneralSortOrder);
    def.U16(0);
    def.U8(column.flags);
    def.U8(0);  // system text is never compressed
    def.U32(0);
    // Jet leaves stale numbers in the fixed offset of some variable-length columns; zero here.
    def.U16(offsets[i]);
    def.U16(fixed != 0                                                               ? fixed
            : column.type == ColumnType::kText || column.type == ColumnType::kBinary ? 510
                                                                                     : 0);
  }
  for (std::uint16_t i : by_name) def.Name(table.columns[i].name);
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    const SystemIndex& index = table.indexes[i];
    def.U32(kPhysicalIndexMark);
    for (std::size_t slot = 0; slot < 10; ++slot) {
      def.U16(slot < index.columns.size() ? index.columns[slot] : 0xFFFF);
      def.U8(slot < index.columns.size() ? 0x01 : 0x00);
    }
    def.U32(maps.indexes[i]);
    def.U32(first_leaf + static_cast<std::uint32_t>(i));
    def.U32(0);  // Jet leaves stale bytes here too
    def.U8(index.flags);
    for (int k = 0; k < 5; ++k) def.U8(0);
  }
  for (std::uint32_t i : index_by_name) {
    def.U32(kDefinitionVersion);
    def.U32(i);  // logical number
    def.U32(i);  // its physical index
    def.U8(0);   // no related table
    def.U32(0xFFFFFFFF);
    def.U32(0);
    def.U8(0x04);
    def.U8(0x04);
    def.U8(table.indexes[i].primary_key ? kIndexPrimaryKey : 0);
    def.U32(0);
  }
  for (std::uint32_t i : index_by_name) def.Name(table.indexes[i].name);
  for (std::uint16_t i : by_name) {
    for (const auto& [column, used] : maps.long_values) {
      if (column != i) continue;
      def.U16(column);
      def.U32(used);
      def.U32(used + 1);
    }
  }
  def.U16(0xFFFF);
  def.U32(0);
  def.U32(0);

  std::vector<std::uint8_t> page(kPageSize, 0);
  std::copy(def.bytes.begin(), def.bytes.end(), page.begin());
  WriteU16(page, 2, static_cast<std::uint16_t>(page.size() - def.bytes.size()));
  WriteU32(page, 8, static_cast<std::uint32_t>(def.bytes.size() - 8));
  return page;
}

// Page 0. The region from 0x18 is masked with RC4 like every Jet 4 header.
std::vector<std::uint8_t> HeaderPage(double creation_date, std::uint32_t random_key) {
  std::vector<std::uint8_t> page(kPageSize, 0);
  page[1] = 0x01;
  std::memcpy(page.data() + 4, "Standard Jet DB", 16);
  WriteU32(page, 0x14, static_cast<std::uint32_t>(FormatVersion::kJet4));
  // Constants every Jet 4 database has at the start of the masked region.
  const std::uint32_t kLeading[] = {0x100, 0x101, 2, 3, 4, 5};
  for (std::size_t i = 0; i < std::size(kLeading); ++i) WriteU32(page, 0x18 + 4 * i, kLeading[i]);
  WriteU16(page, 0x3C, kWesternCodePage);
  WriteU32(page, 0x3E, 0);  // not encrypted
  // The password (none): its units are masked with the creation date's day number, every
  // other one, so an empty password is that number at the even units.
  const auto day = static_cast<std::uint16_t>(static_cast<std::int64_t>(creation_date));
  for (std::size_t unit = 0; unit < 20; unit += 2) WriteU16(page, 0x42 + 2 * unit, day);
  // A random number Jet draws per database; its meaning is not known.
  WriteU32(page, 0x6A, random_key);
  WriteU32(page, 0x6E, kGeneralSortOrder);
  std::uint64_t date_bits;
  std::memcpy(&date_bits, &creation_date, sizeof date_bits);
  for (int i = 0; i < 8; ++i) page[0x72 + i] = static_cast<std::uint8_t>(date_bits >> (8 * i));
  const std::uint8_t key[4] = {static_cast<std::uint8_t>(kHeaderMaskKey),
                               static_cast<std::uint8_t>(kHeaderMaskKey >> 8),
                               static_cast<std::uint8_t>(kHeaderMaskKey >> 16),
                               static_cast<std::uint8_t>(kHeaderMaskKey >> 24)};
  Rc4(key, std::span(page).subspan(kMaskedHeaderOffset, kMaskedHeaderSize));
  // After the masked region: a constant and the engine version as text.
  WriteU32(page, 0x96, 0x0654D462);
  std::memcpy(page.data() + 0x9C, "4.0", 4);
  // A table of 256 units at the end of the page, all Jet's defaults for a new database.
  WriteU16(page, 0xE00, 0x0101);
  for (std::size_t offset = 0xE02; offset < kPageSize; offset += 2) WriteU16(page, offset, 0x0100);
  return page;
}

struct CatalogRow {
  std::int32_t id;
  std::int32_t parent;
  const char* name;
  std::int32_t type;
  std::vector<std::uint8_t> owner;
};

struct AccessRow {
  std::int32_t object;
  std::vector<std::uint8_t> sid;
  std::int32_t mask;
  bool inheritable;
};

// Security ids of the built-in accounts, in the short form Jet stores. The names are ours:
// which account each one is has not been checked.
const std::vector<std::uint8_t> kAdmins = {0x64, 0x8B};
const std::vector<std::uint8_t> kCreator = {0x65, 0x89};
const std::vector<std::uint8_t> kUsers = {0x65, 0x8B};
const std::vector<std::uint8_t> kEngine = {0x65, 0x8E};

}  // namespace

std::vector<std::uint8_t> NewDatabaseBytes(double creation_date, std::uint32_t random_key) {
  // Pages 0 to 13 exist; the free-page map lists every page from 14 on (past the end of the
  // file too), so the rows below take pages 14 and 15.
  std::vector<std::uint8_t> file = HeaderPage(creation_date, random_key);
  std::vector<std::uint8_t> free_pages(kPageSize, 0);
  InitDataPage(free_pages, 1);
  std::vector<std::uint8_t> map(kUsageMapRowSize, 0);
  for (std::uint32_t page = kFirstFreePage; page < 64 * 8; ++page) {
    map[5 + page / 8] |= static_cast<std::uint8_t>(1u << (page % 8));
  }
  AddRow(free_pages, map);
  AddRow(free_pages, std::vector<std::uint8_t>(kUsageMapRowSize, 0));
  file.insert(file.end(), free_pages.begin(), free_pages.end());

  std::vector<std::uint8_t> maps(kPageSize, 0);
  InitDataPage(maps, 0);
  std::uint32_t next_map = 0;
  std::uint32_t next_leaf = kFirstLeaf;
  std::vector<std::vector<std::uint8_t>> leaves;
  for (const SystemTable& table : SystemTables()) {
    const TableMaps assigned = AssignMaps(table, next_map);
    // The index entry counts Jet leaves: 8 (the catalog's rows) in both tables that have rows,
    // MSysACEs' 16 rows notwithstanding. The reader and writer do not use them.
    const std::uint32_t index_rows = table.page <= 3 ? 8 : 0;
    const std::vector<std::uint8_t> definition = Definition(table, assigned, next_leaf, index_rows);
    file.insert(file.end(), definition.begin(), definition.end());
    while (ReadU16(maps, kRowCountOffset) < next_map) {
      AddRow(maps, std::vector<std::uint8_t>(kUsageMapRowSize, 0));
    }
    for (std::size_t i = 0; i < table.indexes.size(); ++i) {
      const std::uint32_t leaf_page = next_leaf++;
      std::vector<std::uint8_t> leaf(kPageSize, 0);
      leaf[0] = kIndexLeafPage;
      leaf[1] = 0x01;
      WriteU16(leaf, 2, static_cast<std::uint16_t>(leaf.size() - 0x1E0));
      WriteU32(leaf, 4, table.page);
      leaves.push_back(std::move(leaf));
      // The index's usage map lists its root leaf.
      const std::uint32_t row = PointerRow(assigned.indexes[i]);
      const std::size_t start = ReadU16(maps, kDataPageHeaderSize + row * 2) & 0x1FFF;
      maps[start + 5 + leaf_page / 8] |= static_cast<std::uint8_t>(1u << (leaf_page % 8));
    }
  }
  file.insert(file.end(), maps.begin(), maps.end());
  for (const auto& leaf : leaves) file.insert(file.end(), leaf.begin(), leaf.end());

  // The rows, through the engine's writer so that rows, maps and index leaves are laid out
  // as for any other insert.
  auto database = Database::OpenBytes(std::move(file), "new database", Access::kReadWrite);
  Pager& pager = database->GetPager();
  const CatalogRow kCatalog[] = {
      {kTablesContainer, kTablesContainerParent, "Tables", kObjectContainer, kCreator},
      {kDatabasesContainer, kTablesContainerParent, "Databases", kObjectContainer, kCreator},
      {kRelationshipsContainer, kTablesContainerParent, "Relationships", kObjectContainer,
       kCreator},
      {kDatabaseObject, kDatabasesContainer, "MSysDb", kObjectDatabase, kAdmins},
      {2, kTablesContainer, "MSysObjects", kObjectTable, kCreator},
      {3, kTablesContainer, "MSysACEs", kObjectTable, kCreator},
      {4, kTablesContainer, "MSysQueries", kObjectTable, kCreator},
      {5, kTablesContainer, "MSysRelationships", kObjectTable, kCreator},
  };
  TableWriter catalog(*database, "MSysObjects", ReadTableDef(pager, kCatalogPage));
  for (const CatalogRow& row : kCatalog) {
    catalog.Insert({{"Id", Value::Integer(row.id)},
                    {"ParentId", Value::Integer(row.parent)},
                    {"Name", Value::Text(row.name)},
                    {"Type", Value::Integer(row.type)},
                    {"DateCreate", Value::DateTime(creation_date)},
                    {"DateUpdate", Value::DateTime(creation_date)},
                    {"Owner", Value::Bytes(row.owner)},
                    {"Flags", Value::Integer(static_cast<std::int32_t>(kSystemFlag))}});
  }
  // Who may do what with each object, in the order Jet grants it.
  const AccessRow kAccess[] = {
      {2, kAdmins, 0x60000, false},
      {3, kAdmins, 0x60000, false},
      {4, kAdmins, 0x60000, false},
      {5, kAdmins, 0xE0000, false},
      {kTablesContainer, kEngine, 0xF00FE, true},
      {kTablesContainer, kAdmins, 0x60001, false},
      {kRelationshipsContainer, kEngine, 0xF00FE, true},
      {kRelationshipsContainer, kAdmins, 0x60001, false},
      {kDatabasesContainer, kAdmins, 0x60000, false},
      {kDatabaseObject, kAdmins, 0x6000E, false},
      {kDatabaseObject, kUsers, 0x0E, false},
      {4, kUsers, 0x14, false},
      {5, kUsers, 0x14, false},
      {2, kUsers, 0x14, false},
      {kTablesContainer, kUsers, 0xFFEFF, true},
      {kRelationshipsContainer, kUsers, 0xFFFFF, true},
  };
  TableWriter aces(*database, "MSysACEs", ReadTableDef(pager, 3));
  for (const AccessRow& row : kAccess) {
    aces.Insert({{"ObjectId", Value::Integer(row.object)},
                 {"SID", Value::Bytes(row.sid)},
                 {"ACM", Value::Integer(row.mask)},
                 {"FInheritable", Value::Boolean(row.inheritable)}});
  }
  // Jet fills these leaves entry by entry and keeps the prefix a page started with (none);
  // the writer would share the longest prefix. Lay them out as Jet does.
  std::vector<std::uint8_t> bytes = database->MemoryBytes();
  std::uint32_t leaf_page = kFirstLeaf;
  for (const SystemTable& table : SystemTables()) {
    for (std::size_t i = 0; i < table.indexes.size(); ++i, ++leaf_page) {
      const std::vector<std::uint8_t> leaf = LayOutLeafPage(
          IndexEntries(pager, table.page, leaf_page), table.page, 0, 0, kPageSize, 0);
      std::copy(leaf.begin(), leaf.end(), bytes.begin() + leaf_page * kPageSize);
    }
  }
  return bytes;
}

void CreateDatabase(const std::string& path) {
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  std::error_code error;
  if (std::filesystem::exists(file, error))
    throw Error("Database already exists. ('" + path + "')");
  // Days since 1899-12-30 in local time, as Jet dates its databases.
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  const std::chrono::sys_days day = std::chrono::year_month_day(
      std::chrono::year(local.tm_year + 1900), std::chrono::month(local.tm_mon + 1),
      std::chrono::day(local.tm_mday));
  const double days = 25569.0 + day.time_since_epoch().count() +
                      (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
  const std::vector<std::uint8_t> bytes =
      NewDatabaseBytes(days, static_cast<std::uint32_t>(std::random_device{}()) & 0xFFFF);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::filesystem::remove(file, error);
    throw Error("Could not create the database '" + path + "'.");
  }
}

}  // namespace jetdb
