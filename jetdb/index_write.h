// Keeping a table's indexes in step with its rows: every physical index gets an entry (key
// and row pointer) for each row it holds, in the tree of leaf and intermediate pages that the
// reader walks. Pages that overflow split; a page that empties, or that a delete leaves
// sparse and whose entries fit a neighbour's, leaves the tree and goes back to the free-page
// map. The root page of an index never moves.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jetdb/pager.h"
#include "jetdb/table.h"

namespace jetdb {

// The key of row in each logical index of the table, in the order of table.indexes; keys'
// storage is reused.
void IndexKeys(Pager& pager, const TableDef& table, const Row& row,
               std::vector<std::vector<std::uint8_t>>& keys);
// Refuses (with the Error Jet gives, nothing written) a row whose key would repeat one of a
// unique index, or that has a null in a primary key or a required index. keys: IndexKeys of
// the row.
void CheckUniqueKeys(Pager& pager, const TableDef& table, const Row& row,
                     const std::vector<std::vector<std::uint8_t>>& keys);
// Adds or removes the entries of the row at pointer in every index of the table (adding with
// the row's IndexKeys when the caller has them: each becomes its entry).
void AddIndexEntries(Pager& pager, const TableDef& table, const Row& row,
                     std::vector<std::vector<std::uint8_t>>& keys, std::uint32_t pointer);
void AddIndexEntries(Pager& pager, const TableDef& table, const Row& row, std::uint32_t pointer);
void RemoveIndexEntries(Pager& pager, const TableDef& table, const Row& row, std::uint32_t pointer);

// The full entries of an index in order, walked through its leaf chain (for checks).
std::vector<std::vector<std::uint8_t>> IndexEntries(Pager& pager, std::uint32_t table_page,
                                                    std::uint32_t root);

// A leaf page holding entries (whole, in order) as this engine lays it out. The shared prefix
// is the longest all entries share unless prefix gives it: Access picks it when a page is
// built and keeps it while entries come and go, so its pages may share less than they could.
std::vector<std::uint8_t> LayOutLeafPage(const std::vector<std::vector<std::uint8_t>>& entries,
                                         std::uint32_t owner, std::uint32_t prev,
                                         std::uint32_t next, std::size_t page_size,
                                         std::optional<std::size_t> prefix = std::nullopt);

}  // namespace jetdb
