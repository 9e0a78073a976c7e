// A consistency check of one table against its pages: what a careful reader expects after
// any number of posts.
#pragma once

#include <string>
#include <vector>

#include "jetdb/pager.h"
#include "jetdb/table.h"

namespace jetdb {

// The problems found (empty when none): the row count against the live rows; every index,
// walked along its leaves, against the entries rebuilt from the live rows, in order; the
// table's data pages against its usage map, the free-space map within the usage map; no page
// in use listed by the free-page map; every intermediate index page naming one of its leaves
// as its tail, the root the last one.
std::vector<std::string> VerifyTable(Pager& pager, const TableDef& table);

}  // namespace jetdb
