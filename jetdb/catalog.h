// The database catalog (the MSysObjects system table, whose definition is on page 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

constexpr std::uint32_t kCatalogPage = 2;

// Catalog object types and the flag bits that mark system objects.
constexpr std::int32_t kObjectTable = 1;
constexpr std::uint32_t kSystemObjectFlags = 0x80000000u | 0x00000002u;

struct CatalogEntry {
  std::int32_t id = 0;
  std::int32_t parent_id = 0;
  std::string name;
  std::int32_t type = 0;
  std::uint32_t flags = 0;
  // The page of the table definition for tables (the low 24 bits of the id).
  std::uint32_t TableDefPage() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
  bool IsUserTable() const {
    return (type & 0x7FFF) == kObjectTable && (flags & kSystemObjectFlags) == 0;
  }
};

// Every object in the catalog.
std::vector<CatalogEntry> ReadCatalog(Pager& pager);

// The user tables (type 1 without system flags), sorted by name as Access compares them
// (ignoring ASCII case).
std::vector<CatalogEntry> UserTables(Pager& pager);

}  // namespace jetdb
