#include "jetdb/index_write.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "jetdb/bytes.h"
#include "jetdb/error.h"
#include "jetdb/index.h"
#include "jetdb/index_key.h"
#include "jetdb/storage.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFreeSpaceOffset = 2;
constexpr std::size_t kOwnerOffset = 4;
constexpr std::size_t kPrevOffset = 12;
constexpr std::size_t kNextOffset = 16;
constexpr std::size_t kTailOffset = 20;
constexpr std::size_t kPrefixOffset = 24;
constexpr std::size_t kMaskOffset = 27;
constexpr std::size_t kFirstEntry = 0x1E0;
constexpr std::size_t kPointerSize = 4;
constexpr int kMaxDepth = 32;

// One index page in memory, its entries whole.
struct Node {
  std::uint32_t page = 0;
  std::uint8_t type = kIndexLeafPage;
  std::uint32_t prev = 0;
  std::uint32_t next = 0;
  std::uint32_t tail = 0;
  std::vector<Bytes> entries;
  bool Leaf() const { return type == kIndexLeafPage; }
};

// A node on the way down and which of its entries was followed (entries.size() when the
// way went on along the leaf chain instead).
struct Step {
  std::shared_ptr<const Node> node;
  std::size_t child = 0;
};

void AppendBigEndian(Bytes& out, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t ChildOf(const Bytes& entry) {
  if (entry.size() < 2 * kPointerSize) Corrupt("an index node entry is too short");
  const std::size_t at = entry.size() - kPointerSize;
  return (std::uint32_t{entry[at]} << 24) | (std::uint32_t{entry[at + 1]} << 16) |
         (std::uint32_t{entry[at + 2]} << 8) | entry[at + 3];
}

// A node entry without its child pointer: the last leaf entry below it.
bool EntryLess(const Bytes& node_entry, const Bytes& target) {
  return std::lexicographical_compare(node_entry.begin(), node_entry.end() - kPointerSize,
                                      target.begin(), target.end());
}

std::size_t SharedPrefix(const std::vector<Bytes>& entries) {
  if (entries.size() < 2) return 0;
  std::size_t prefix = entries.front().size();
  for (std::size_t i = 1; i < entries.size(); ++i) {
    const auto [a, b] = std::mismatch(entries.front().begin(), entries.front().end(),
                                      entries[i].begin(), entries[i].end());
    prefix = std::min<std::size_t>(prefix, a - entries.front().begin());
  }
  // Every entry keeps at least one byte of its own.
  for (const Bytes& entry : entries) prefix = std::min(prefix, entry.size() - 1);
  return prefix;
}

// Bytes the entries take on a page: leaves share a prefix, intermediate pages do not.
std::size_t StoredSize(const std::vector<Bytes>& entries, bool leaf) {
  std::size_t size = 0;
  for (const Bytes& entry : entries) size += entry.size();
  if (leaf && !entries.empty()) size -= SharedPrefix(entries) * (entries.size() - 1);
  return size;
}

bool Fits(const Node& node, std::size_t page_size) {
  return StoredSize(node.entries, node.Leaf()) <= page_size - kFirstEntry;
}

Node ParseNode(const PageData& data, std::uint32_t page, std::uint32_t owner) {
  Node node;
  node.page = page;
  node.type = (*data)[0];
  if ((node.type != kIndexLeafPage && node.type != kIndexNodePage) ||
      ReadU32(*data, kOwnerOffset) != owner) {
    Corrupt("page " + std::to_string(page) + " is not a page of this table's index");
  }
  node.prev = ReadU32(*data, kPrevOffset);
  node.next = ReadU32(*data, kNextOffset);
  node.tail = ReadU32(*data, kTailOffset);
  node.entries = ReadIndexEntries(*data, page);
  // Every entry ends with a row pointer, and on intermediate pages a child page after it.
  const std::size_t least = node.Leaf() ? kPointerSize : 2 * kPointerSize;
  for (const Bytes& entry : node.entries) {
    if (entry.size() < least) Corrupt("index page " + std::to_string(page) + " has a short entry");
  }
  return node;
}

// Decoded index pages, kept while their pages are unchanged (posts read the same few pages
// of each index again and again).
struct CachedNode {
  std::uint64_t stamp = 0;
  std::shared_ptr<const Node> node;
};
constexpr std::size_t kCachedNodes = 512;
thread_local std::unordered_map<std::uint64_t, CachedNode> node_cache;

std::shared_ptr<const Node> SharedNode(Pager& pager, std::uint32_t page, std::uint32_t owner) {
  const std::uint64_t stamp = pager.Stamp(page);
  auto found = node_cache.find(page);
  if (found != node_cache.end() && found->second.stamp == stamp &&
      ReadU32(*pager.Read(page), kOwnerOffset) == owner) {
    return found->second.node;
  }
  auto node = std::make_shared<const Node>(ParseNode(pager.Read(page), page, owner));
  if (node_cache.size() >= kCachedNodes) node_cache.clear();
  node_cache[page] = {stamp, node};
  return node;
}

Node LoadNode(Pager& pager, std::uint32_t page, std::uint32_t owner) {
  return *SharedNode(pager, page, owner);
}

Bytes LayOut(const Node& node, std::uint32_t owner, std::size_t page_size,
             std::optional<std::size_t> forced_prefix = std::nullopt) {
  Bytes page(page_size, 0);
  page[0] = node.type;
  page[1] = 0x01;
  WriteU32(page, kOwnerOffset, owner);
  WriteU32(page, kPrevOffset, node.prev);
  WriteU32(page, kNextOffset, node.next);
  WriteU32(page, kTailOffset, node.tail);
  const std::size_t prefix =
      forced_prefix ? *forced_prefix : (node.Leaf() ? SharedPrefix(node.entries) : 0);
  WriteU16(page, kPrefixOffset, static_cast<std::uint16_t>(prefix));
  std::size_t at = kFirstEntry;
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    const Bytes& entry = node.entries[i];
    const std::size_t skip = i == 0 ? 0 : prefix;
    if (at + entry.size() - skip > page_size)
      throw Error("Internal error: an index page overflows.");
    std::copy(entry.begin() + static_cast<std::ptrdiff_t>(skip), entry.end(),
              page.begin() + static_cast<std::ptrdiff_t>(at));
    at += entry.size() - skip;
    // The mask marks where each following entry starts and where the last one ends.
    const std::size_t bit = at - kFirstEntry;
    page[kMaskOffset + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  WriteU16(page, kFreeSpaceOffset, static_cast<std::uint16_t>(page_size - at));
  return page;
}

class IndexTree {
 public:
  IndexTree(Pager& pager, const TableDef& table, const IndexDef& index, int rank, int node_rank)
      : pager_(pager), table_(table), index_(index), rank_(rank), node_rank_(node_rank) {}

  void Insert(const Bytes& entry) {
    std::vector<Step> path;
    Node leaf = *Descend(entry, path);
    const auto at = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry);
    if (at != leaf.entries.end() && *at == entry) Corrupt("an index already holds this row");
    leaf.entries.insert(at, entry);
    Store(std::move(leaf), path);
  }

  void Remove(const Bytes& entry) {
    std::vector<Step> path;
    Node leaf = *Descend(entry, path);
    const auto at = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry);
    if (at == leaf.entries.end() || *at != entry) Corrupt("an index lacks an entry of a row");
    leaf.entries.erase(at);
    if (leaf.entries.empty() && !path.empty()) return Unlink(std::move(leaf), path);
    Store(std::move(leaf), path);
  }

  // Whether some entry starts with key (ignoring the row pointer that follows).
  bool HasKey(const Bytes& key) {
    std::vector<Step> path;
    auto leaf = Descend(key, path);
    for (std::uint32_t hops = 0;; ++hops) {
      const auto at = std::lower_bound(leaf->entries.begin(), leaf->entries.end(), key);
      if (at != leaf->entries.end()) {
        return at->size() == key.size() + kPointerSize &&
               std::equal(key.begin(), key.end(), at->begin());
      }
      if (leaf->next == 0 || hops > pager_.PageCount()) return false;
      leaf = SharedNode(pager_, leaf->next, table_.page);
    }
  }

  // The leaf where entry belongs, and the intermediate pages above it.
  std::shared_ptr<const Node> Descend(const Bytes& entry, std::vector<Step>& path) {
    auto node = SharedNode(pager_, index_.first_page, table_.page);
    for (int depth = 0; !node->Leaf(); ++depth) {
      if (depth == kMaxDepth) Corrupt("an index tree is too deep");
      if (node->entries.empty()) Corrupt("index page " + std::to_string(node->page) + " is empty");
      std::size_t child = 0;
      while (child + 1 < node->entries.size() && EntryLess(node->entries[child], entry)) ++child;
      const std::uint32_t page = ChildOf(node->entries[child]);
      path.push_back({std::move(node), child});
      node = SharedNode(pager_, page, table_.page);
    }
    // Past the last entry of its leaf: leaves that no intermediate page lists (Access's tail
    // leaves) follow on the chain.
    for (std::uint32_t hops = 0;
         node->next != 0 && !node->entries.empty() && node->entries.back() < entry; ++hops) {
      if (hops > pager_.PageCount()) Corrupt("index leaf pages form a loop");
      auto next = SharedNode(pager_, node->next, table_.page);
      if (next->entries.empty() || entry < next->entries.front()) break;
      if (!path.empty()) path.back().child = path.back().node->entries.size();
      node = std::move(next);
    }
    return node;
  }

  std::uint32_t NewPage() {
    const std::uint32_t page = TakePage(pager_);
    if (index_.usage_map != 0) {
      SetUsageMapBit(pager_, index_.usage_map, page, true, rank::kMapsOnAdd);
    }
    return page;
  }

  // Writes node's page and keeps the node decoded; gives it back.
  std::shared_ptr<const Node> Write(Node node, int rank) {
    Bytes bytes = LayOut(node, table_.page, pager_.PageSize());
    const std::uint32_t page = node.page;
    pager_.Modify(page, rank) = std::move(bytes);
    auto written = std::make_shared<const Node>(std::move(node));
    if (node_cache.size() >= kCachedNodes) node_cache.clear();
    node_cache[page] = {pager_.Stamp(page), written};
    return written;
  }

  void SetPrev(std::uint32_t page, std::uint32_t prev) {
    if (page == 0) return;
    Node node = LoadNode(pager_, page, table_.page);
    node.prev = prev;
    Write(node, rank_);
  }

  Bytes ParentEntry(const Node& child) const {
    Bytes entry = child.entries.back();
    if (child.Leaf()) {
      AppendBigEndian(entry, child.page);
    } else {
      entry.resize(entry.size() - kPointerSize);
      AppendBigEndian(entry, child.page);
    }
    return entry;
  }

  // Whether the page the path leads to is on the tree's right edge (the last child all the
  // way down), where Access's tail leaves hang.
  static bool OnRightEdge(const std::vector<Step>& path) {
    return std::all_of(path.begin(), path.end(), [](const Step& step) {
      return step.child + 1 >= step.node->entries.size();
    });
  }

  // The rightmost leaf below node: down its last entries, then, on the right edge, along the
  // chain to the tail leaves that no intermediate page lists.
  std::uint32_t RightmostLeaf(const Node& node, bool right_edge) {
    if (node.Leaf()) return node.page;
    if (node.entries.empty()) return node.tail;
    std::uint32_t leaf = ChildOf(node.entries.back());
    for (int depth = 0;; ++depth) {
      if (depth == kMaxDepth) Corrupt("an index tree is too deep");
      // A leaf is known by its type alone: only intermediate pages need their entries read.
      if ((*pager_.Read(leaf))[0] == kIndexLeafPage) break;
      leaf = ChildOf(LoadNode(pager_, leaf, table_.page).entries.back());
    }
    for (std::uint32_t hops = 0; right_edge; ++hops) {
      const PageData data = pager_.Read(leaf);
      const std::uint32_t next = ReadU32(*data, kNextOffset);
      if (next == 0 || hops > pager_.PageCount()) break;
      leaf = next;
    }
    return leaf;
  }

  // Writes node, splitting it when it overflows, and brings the pages above up to date.
  void Store(Node node, std::vector<Step>& path) {
    const int rank = node.Leaf() ? rank_ : node_rank_;
    const bool right_edge = OnRightEdge(path);
    if (!node.Leaf()) node.tail = RightmostLeaf(node, right_edge);
    if (Fits(node, pager_.PageSize())) {
      const auto written = Write(std::move(node), rank);
      return UpdateParent(*written, path);
    }
    if (node.entries.size() < 2) Corrupt("an index entry is larger than a page");
    // Split by bytes: the left half stays on this page, the right half goes to a new one.
    const std::size_t total = StoredSize(node.entries, node.Leaf());
    std::size_t cut = 1;
    for (std::size_t size = 0; cut < node.entries.size() - 1; ++cut) {
      size += node.entries[cut - 1].size();
      if (size >= total / 2) break;
    }
    Node right;
    right.type = node.type;
    right.entries.assign(node.entries.begin() + static_cast<std::ptrdiff_t>(cut),
                         node.entries.end());
    node.entries.resize(cut);
    if (path.empty()) {
      // The root keeps its page: both halves move down to new pages.
      Node left;
      left.type = node.type;
      left.entries = std::move(node.entries);
      left.page = NewPage();
      right.page = NewPage();
      if (left.Leaf()) {
        left.next = right.page;
        right.prev = left.page;
      }
      if (!left.Leaf()) left.tail = RightmostLeaf(left, false);
      if (!right.Leaf()) right.tail = RightmostLeaf(right, true);
      Write(left, rank::kNewPage);
      Write(right, rank::kNewPage);
      Node root;
      root.page = node.page;
      root.type = kIndexNodePage;
      root.entries = {ParentEntry(left), ParentEntry(right)};
      root.tail = RightmostLeaf(root, true);
      Write(root, node_rank_);
      return;
    }
    right.page = NewPage();
    if (node.Leaf()) {
      right.prev = node.page;
      right.next = node.next;
      SetPrev(node.next, right.page);
      node.next = right.page;
    }
    if (!right.Leaf()) right.tail = RightmostLeaf(right, right_edge);
    Write(right, rank::kNewPage);
    if (!node.Leaf()) node.tail = RightmostLeaf(node, false);
    Write(node, rank);
    Step step = std::move(path.back());
    path.pop_back();
    Node parent = *step.node;
    if (step.child < parent.entries.size()) {
      parent.entries[step.child] = ParentEntry(node);
      parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(step.child) + 1,
                            ParentEntry(right));
    }
    // A tail leaf that split: its new right half is another tail leaf.
    Store(std::move(parent), path);
  }

  // After node changed: the entry above that names it holds its last entry. A tail leaf has
  // no such entry, and on the right edge the entries above may lag behind (whatever is past
  // them goes to the last child anyway), as Access lets them: appending a key then writes
  // only its leaf.
  void UpdateParent(const Node& node, std::vector<Step>& path) {
    if (path.empty() || path.back().child >= path.back().node->entries.size() ||
        OnRightEdge(path)) {
      return;
    }
    Step step = std::move(path.back());
    path.pop_back();
    Bytes entry = ParentEntry(node);
    if (step.node->entries[step.child] == entry) return;
    Node parent = *step.node;
    parent.entries[step.child] = std::move(entry);
    Store(std::move(parent), path);
  }

  // Takes an empty leaf or intermediate page out of the tree and frees it.
  void Unlink(Node node, std::vector<Step>& path) {
    if (node.Leaf()) {
      if (node.prev != 0) {
        Node prev = LoadNode(pager_, node.prev, table_.page);
        prev.next = node.next;
        Write(prev, rank_);
      }
      SetPrev(node.next, node.prev);
    }
    Free(node.page);
    Step step = std::move(path.back());
    path.pop_back();
    Node parent = *step.node;
    if (step.child < parent.entries.size()) {
      parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(step.child));
    }
    if (parent.entries.empty() && OnRightEdge(path) && parent.tail != 0 &&
        freed_.count(parent.tail) == 0) {
      // Only a tail leaf is left below: list it, so that the page keeps a child.
      parent.entries.push_back(ParentEntry(LoadNode(pager_, parent.tail, table_.page)));
    }
    if (parent.entries.empty()) {
      if (path.empty()) {
        // The root lost its last child: it becomes an empty leaf.
        Node root;
        root.page = parent.page;
        Write(root, node_rank_);
        return;
      }
      return Unlink(std::move(parent), path);
    }
    Store(std::move(parent), path);
  }

  void Free(std::uint32_t page) {
    freed_.insert(page);
    std::vector<std::uint8_t>& bytes = pager_.Modify(page, rank::kMapsOnRemove);
    std::fill(bytes.begin(), bytes.end(), 0);
    if (index_.usage_map != 0) {
      SetUsageMapBit(pager_, index_.usage_map, page, false, rank::kMapsOnRemove);
    }
    SetUsageMapBit(pager_, kFreePageMap, page, true, rank::kMapsOnRemove);
  }

  Pager& pager_;
  const TableDef& table_;
  const IndexDef& index_;
  int rank_;
  int node_rank_;
  std::set<std::uint32_t> freed_;  // pages this change took out of the tree
};

// Each physical index once, with the first logical index that uses it.
std::vector<const IndexDef*> PhysicalIndexes(const TableDef& table) {
  std::vector<const IndexDef*> indexes;
  std::set<std::uint32_t> seen;
  for (const IndexDef& index : table.indexes) {
    if (seen.insert(index.physical).second) indexes.push_back(&index);
  }
  return indexes;
}

bool Holds(const TableDef& table, const IndexDef& index, const Row& row) {
  return !(index.IgnoreNulls() && KeyAllNull(table, index, row));
}

Bytes Entry(Pager& pager, const TableDef& table, const IndexDef& index, const Row& row,
            std::uint32_t pointer) {
  Bytes entry = IndexKey(pager, table, index, row);
  AppendBigEndian(entry, pointer);
  return entry;
}

}  // namespace

void CheckUniqueKeys(Pager& pager, const TableDef& table, const Row& row) {
  for (const IndexDef& index : table.indexes) {
    if ((index.PrimaryKey() || index.Required()) && KeyHasNull(table, index, row)) {
      throw Error("Index or primary key cannot contain a Null value.");
    }
    // Four entries at least must fit a page, or splitting a page could not make room.
    if (IndexKey(pager, table, index, row).size() + 2 * kPointerSize >
        (pager.PageSize() - kFirstEntry) / 4) {
      throw Error("The key of index '" + index.name + "' is too long for this row.");
    }
  }
  for (const IndexDef* index : PhysicalIndexes(table)) {
    bool unique = false;
    for (const IndexDef& logical : table.indexes) {
      if (logical.physical == index->physical && (logical.Unique() || logical.PrimaryKey())) {
        unique = true;
      }
    }
    // Several rows may leave a unique key null.
    if (!unique || KeyHasNull(table, *index, row)) continue;
    IndexTree tree(pager, table, *index, 0, 0);
    if (tree.HasKey(IndexKey(pager, table, *index, row))) {
      throw Error(
          "The changes you requested to the table were not successful because they would "
          "create duplicate values in the index, primary key, or relationship. (index '" +
          index->name + "')");
    }
  }
}

void AddIndexEntries(Pager& pager, const TableDef& table, const Row& row, std::uint32_t pointer) {
  for (const IndexDef* index : PhysicalIndexes(table)) {
    if (!Holds(table, *index, row)) continue;
    IndexTree(pager, table, *index, rank::kIndexOnAdd, rank::kIndexNodeOnAdd)
        .Insert(Entry(pager, table, *index, row, pointer));
  }
}

void RemoveIndexEntries(Pager& pager, const TableDef& table, const Row& row,
                        std::uint32_t pointer) {
  for (const IndexDef* index : PhysicalIndexes(table)) {
    if (!Holds(table, *index, row)) continue;
    IndexTree(pager, table, *index, rank::kIndexOnRemove, rank::kIndexNodeOnRemove)
        .Remove(Entry(pager, table, *index, row, pointer));
  }
}

std::vector<std::vector<std::uint8_t>> IndexEntries(Pager& pager, std::uint32_t table_page,
                                                    std::uint32_t root) {
  std::uint32_t page = root;
  for (int depth = 0;; ++depth) {
    if (depth == kMaxDepth) Corrupt("an index tree is too deep");
    Node node = LoadNode(pager, page, table_page);
    if (node.Leaf()) break;
    if (node.entries.empty()) Corrupt("an index page is empty");
    page = ChildOf(node.entries.front());
  }
  std::vector<Bytes> entries;
  for (std::uint32_t hops = 0; page != 0; ++hops) {
    if (hops > pager.PageCount()) Corrupt("index leaf pages form a loop");
    Node node = LoadNode(pager, page, table_page);
    entries.insert(entries.end(), node.entries.begin(), node.entries.end());
    page = node.next;
  }
  return entries;
}

std::vector<std::uint8_t> LayOutLeafPage(const std::vector<std::vector<std::uint8_t>>& entries,
                                         std::uint32_t owner, std::uint32_t prev,
                                         std::uint32_t next, std::size_t page_size,
                                         std::optional<std::size_t> prefix) {
  Node node;
  node.entries = entries;
  node.prev = prev;
  node.next = next;
  return LayOut(node, owner, page_size, prefix);
}

}  // namespace jetdb
