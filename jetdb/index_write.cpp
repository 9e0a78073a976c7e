#include "jetdb/index_write.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <span>
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
using Span = std::span<const std::uint8_t>;

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
constexpr std::size_t kUsualDepth = 4;  // pages above a leaf in all but huge indexes

// Entries compare by their bytes, unsigned, a prefix before what it starts.
int Compare(Span a, Span b) {
  const std::size_t common = std::min(a.size(), b.size());
  const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (order != 0) return order;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool Less(Span a, Span b) { return Compare(a, b) < 0; }

// The first of count entries in order that before does not hold for (count if none): a
// binary search.
template <typename Before>
std::size_t FirstNotBefore(std::size_t count, Before before) {
  std::size_t low = 0;
  std::size_t high = count;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (before(middle)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}
bool Same(Span a, Span b) { return Compare(a, b) == 0; }

// One index page in memory: its entries whole (a leaf's shared prefix put back), back to back
// in one buffer, so that a change moves bytes instead of allocating an entry at a time.
class Node {
 public:
  std::uint32_t page = 0;
  std::uint32_t owner = 0;
  std::uint8_t type = kIndexLeafPage;
  std::uint32_t prev = 0;
  std::uint32_t next = 0;
  std::uint32_t tail = 0;

  bool Leaf() const { return type == kIndexLeafPage; }
  std::size_t Count() const { return ends_.size(); }
  bool Empty() const { return ends_.empty(); }
  Span Entry(std::size_t i) const { return Span(bytes_).subspan(Start(i), ends_[i] - Start(i)); }
  Span Front() const { return Entry(0); }
  Span Back() const { return Entry(Count() - 1); }
  // The bytes of every entry, whole.
  std::size_t Size() const { return bytes_.size(); }
  // The bytes of the entries up to i, whole.
  std::size_t SizeThrough(std::size_t i) const { return ends_[i]; }

  // The first entry not less than key; Count() when there is none.
  std::size_t LowerBound(Span key) const {
    return FirstNotBefore(Count(), [&](std::size_t i) { return Less(Entry(i), key); });
  }

  // What the node's page holds, when known: the node laid out with prefix, as the page was
  // when its stamp was stamp, but for one entry inserted (change 1) or erased (change -1) at
  // index at since. A write can then move a few bytes instead of laying out every entry.
  struct OnPage {
    std::uint64_t stamp = 0;
    std::size_t prefix = 0;
    int change = 0;
    std::size_t at = 0;
  };
  const std::optional<OnPage>& Page() const { return on_page_; }
  void LaidOut(std::uint64_t stamp, std::size_t prefix) { on_page_ = OnPage{stamp, prefix}; }

  void Insert(std::size_t i, Span entry) {
    Note(1, i);
    const std::size_t at = Start(i);
    bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(at), entry.begin(), entry.end());
    ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(i), static_cast<std::uint32_t>(at));
    Shift(i, static_cast<std::ptrdiff_t>(entry.size()));
  }
  void Append(Span entry) { Append(entry, {}); }
  // An entry of two parts: a prefix shared with the first entry, then its own bytes.
  void Append(Span shared, Span own) {
    on_page_.reset();
    bytes_.insert(bytes_.end(), shared.begin(), shared.end());
    bytes_.insert(bytes_.end(), own.begin(), own.end());
    ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
  }

  void Erase(std::size_t i) {
    Note(-1, i);
    const std::size_t at = Start(i);
    const std::size_t size = ends_[i] - at;
    bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(at + size));
    ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(i));
    Shift(i, -static_cast<std::ptrdiff_t>(size));
  }

  void Replace(std::size_t i, Span entry) {
    Erase(i);
    Insert(i, entry);
  }

  // Moves the entries from the one numbered from on to the end of to.
  void MoveTail(std::size_t from, Node& to) {
    on_page_.reset();
    for (std::size_t i = from; i < Count(); ++i) to.Append(Entry(i));
    bytes_.resize(Start(from));
    ends_.resize(from);
  }

 private:
  std::size_t Start(std::size_t i) const { return i == 0 ? 0 : ends_[i - 1]; }
  // A second change since the page was laid out: the page is no longer known.
  void Note(int change, std::size_t i) {
    if (on_page_ && on_page_->change == 0) {
      on_page_->change = change;
      on_page_->at = i;
    } else {
      on_page_.reset();
    }
  }
  // Entries from i on moved by delta bytes.
  void Shift(std::size_t i, std::ptrdiff_t delta) {
    for (std::size_t k = i; k < ends_.size(); ++k) {
      ends_[k] = static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(ends_[k]) + delta);
    }
  }

  Bytes bytes_;
  std::vector<std::uint32_t> ends_;  // where each entry ends in bytes_
  std::optional<OnPage> on_page_;
};

using NodeRef = std::shared_ptr<Node>;

// A node on the way down and which of its entries was followed (Count() when the way went on
// along the leaf chain instead).
struct Step {
  NodeRef node;
  std::size_t child = 0;
};

// The path of one descent through a tree. Descents do not nest, so one vector per thread
// serves them all without allocating each time (allocations are costly under Wine); it is
// emptied when the descent ends, so that it keeps no node shared (Release would copy it).
class Path {
 public:
  Path() : steps_(busy_ ? own_ : scratch_) {
    if (&steps_ == &scratch_) busy_ = true;
    steps_.reserve(kUsualDepth);
  }
  ~Path() {
    steps_.clear();
    if (&steps_ == &scratch_) busy_ = false;
  }
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;
  std::vector<Step>& Steps() { return steps_; }

 private:
  static thread_local std::vector<Step> scratch_;
  static thread_local bool busy_;
  std::vector<Step> own_;
  std::vector<Step>& steps_;
};
thread_local std::vector<Step> Path::scratch_;
thread_local bool Path::busy_ = false;

void AppendBigEndian(Bytes& out, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t ChildOf(Span entry) {
  if (entry.size() < 2 * kPointerSize) Corrupt("an index node entry is too short");
  const std::size_t at = entry.size() - kPointerSize;
  return (std::uint32_t{entry[at]} << 24) | (std::uint32_t{entry[at + 1]} << 16) |
         (std::uint32_t{entry[at + 2]} << 8) | entry[at + 3];
}

// A node entry without its child pointer: the last leaf entry below it.
bool EntryLess(Span node_entry, Span target) {
  return Less(node_entry.first(node_entry.size() - kPointerSize), target);
}

// Which child of an intermediate node entry belongs under: the first whose last entry is not
// less than it, else the last (entries past every child go to the last one).
std::size_t ChildFor(const Node& node, Span entry) {
  return FirstNotBefore(node.Count() - 1,
                        [&](std::size_t i) { return EntryLess(node.Entry(i), entry); });
}

// The longest prefix a leaf's entries share, each keeping at least one byte of its own. The
// entries are in order, so what the first and the last share all share, and only the first
// can be as short as that.
std::size_t SharedPrefix(const Node& node) {
  if (node.Count() < 2) return 0;
  const Span first = node.Front();
  const Span last = node.Back();
  const auto shared = static_cast<std::size_t>(
      std::mismatch(first.begin(), first.end(), last.begin(), last.end()).first - first.begin());
  return std::min({shared, first.size() - 1, last.size() - 1});
}

// Bytes the entries take on a page: leaves share a prefix, intermediate pages do not.
std::size_t StoredSize(const Node& node, std::size_t prefix) {
  return node.Empty() ? 0 : node.Size() - prefix * (node.Count() - 1);
}

std::size_t PrefixOf(const Node& node) { return node.Leaf() ? SharedPrefix(node) : 0; }

bool Fits(const Node& node, std::size_t prefix, std::size_t page_size) {
  return kFirstEntry + StoredSize(node, prefix) <= page_size;
}

void CheckFits(const Node& node, std::size_t prefix, std::size_t page_size) {
  if (!Fits(node, prefix, page_size)) throw Error("Internal error: an index page overflows.");
}

// The entries of an index page, whole (as ReadIndexEntries gives them), into node without an
// allocation per entry: the mask marks where each entry after the first starts and where the
// last one ends; all but the first leave out the prefix they share with the first.
void ReadEntries(std::span<const std::uint8_t> page, std::uint32_t number, Node& node) {
  thread_local std::vector<std::size_t> starts;
  starts.assign(1, kFirstEntry);
  for (std::size_t byte = kMaskOffset; byte < kFirstEntry; ++byte) {
    if (page[byte] == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (!(page[byte] & (1u << bit))) continue;
      const std::size_t offset = kFirstEntry + (byte - kMaskOffset) * 8 + bit;
      if (offset > page.size()) {
        Corrupt("index page " + std::to_string(number) + " has entries past its end");
      }
      starts.push_back(offset);
    }
  }
  if (starts.size() < 2) return;
  const std::size_t prefix = ReadU16(page, kPrefixOffset);
  if (prefix > starts[1] - starts[0]) {
    Corrupt("index page " + std::to_string(number) + " has a bad prefix length");
  }
  const Span shared = page.subspan(kFirstEntry, prefix);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    node.Append(i == 0 ? Span() : shared, page.subspan(starts[i], starts[i + 1] - starts[i]));
  }
}

Node ParseNode(const PageData& data, std::uint32_t page, std::uint32_t owner) {
  Node node;
  node.page = page;
  node.owner = owner;
  node.type = (*data)[0];
  if ((node.type != kIndexLeafPage && node.type != kIndexNodePage) ||
      ReadU32(*data, kOwnerOffset) != owner) {
    Corrupt("page " + std::to_string(page) + " is not a page of this table's index");
  }
  node.prev = ReadU32(*data, kPrevOffset);
  node.next = ReadU32(*data, kNextOffset);
  node.tail = ReadU32(*data, kTailOffset);
  // Every entry ends with a row pointer, and on intermediate pages a child page after it.
  const std::size_t least = node.Leaf() ? kPointerSize : 2 * kPointerSize;
  ReadEntries(*data, page, node);
  for (std::size_t i = 0; i < node.Count(); ++i) {
    if (node.Entry(i).size() < least) {
      Corrupt("index page " + std::to_string(page) + " has a short entry");
    }
    // The shared prefix is taken from the first and last entries: it holds for all of them
    // only when they are in order.
    if (node.Leaf() && i > 0 && !Less(node.Entry(i - 1), node.Entry(i))) {
      Corrupt("index page " + std::to_string(page) + " has entries out of order");
    }
  }
  return node;
}

// Decoded index pages, kept while their pages are unchanged (posts read the same few pages
// of each index again and again). A node is taken out to be changed and put back written.
struct CachedNode {
  std::uint64_t stamp = 0;
  NodeRef node;
};
constexpr std::size_t kCachedNodes = 2048;
thread_local std::unordered_map<std::uint32_t, CachedNode> node_cache;

void Remember(Pager& pager, NodeRef node) {
  // A full cache starts again: the nodes in use come back at one decoding each. (Letting the
  // map's first node go instead would drop the node stored last, the one most likely in use.)
  if (node_cache.size() >= kCachedNodes) node_cache.clear();
  const std::uint32_t page = node->page;
  node_cache[page] = {pager.Stamp(page), std::move(node)};
}

NodeRef SharedNode(Pager& pager, std::uint32_t page, std::uint32_t owner) {
  const auto found = node_cache.find(page);
  if (found != node_cache.end() && found->second.node && found->second.stamp == pager.Stamp(page) &&
      found->second.node->owner == owner) {
    return found->second.node;
  }
  auto node = std::make_shared<Node>(ParseNode(pager.Read(page), page, owner));
  Remember(pager, node);
  return node;
}

// Nodes whose contents were taken out to be changed: their shared blocks hold the nodes
// written next, instead of allocating new ones.
constexpr std::size_t kSpareShells = 8;
thread_local std::vector<NodeRef> spare_shells;

// node, to be changed: out of the cache (its page is about to change), copied only when
// someone else still holds it.
Node Release(NodeRef node) {
  const auto found = node_cache.find(node->page);
  // The entry stays, empty, for the node written next (the map need not make a new one).
  if (found != node_cache.end() && found->second.node == node) found->second.node.reset();
  if (node.use_count() != 1) return *node;
  Node taken = std::move(*node);
  if (spare_shells.size() < kSpareShells) spare_shells.push_back(std::move(node));
  return taken;
}

// node, shared: in a spare block when there is one.
NodeRef Share(Node&& node) {
  if (spare_shells.empty()) return std::make_shared<Node>(std::move(node));
  NodeRef shared = std::move(spare_shells.back());
  spare_shells.pop_back();
  *shared = std::move(node);
  return shared;
}

// Lays node out on page (page size bytes), which it overwrites whole.
void LayOut(const Node& node, std::span<std::uint8_t> page, std::size_t prefix) {
  CheckFits(node, prefix, page.size());
  std::fill(page.begin(), page.end(), 0);
  page[0] = node.type;
  page[1] = 0x01;
  WriteU32(page, kOwnerOffset, node.owner);
  WriteU32(page, kPrevOffset, node.prev);
  WriteU32(page, kNextOffset, node.next);
  WriteU32(page, kTailOffset, node.tail);
  WriteU16(page, kPrefixOffset, static_cast<std::uint16_t>(prefix));
  std::size_t at = kFirstEntry;
  for (std::size_t i = 0; i < node.Count(); ++i) {
    const Span entry = node.Entry(i).subspan(i == 0 ? 0 : prefix);
    std::copy(entry.begin(), entry.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
    at += entry.size();
    // The mask marks where each following entry starts and where the last one ends.
    const std::size_t bit = at - kFirstEntry;
    page[kMaskOffset + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  WriteU16(page, kFreeSpaceOffset, static_cast<std::uint16_t>(page.size() - at));
}

// Where entry i of node starts on its page: the first entry is whole, the others leave out the
// prefix.
std::size_t StoredStart(const Node& node, std::size_t i, std::size_t prefix) {
  return i == 0 ? kFirstEntry : kFirstEntry + node.SizeThrough(i - 1) - (i - 1) * prefix;
}

// The end marks of a page's entries: bit k marks offset kFirstEntry + k, eight bits to a byte,
// lowest first; read and written eight bytes at a time as words of this machine.
static_assert(std::endian::native == std::endian::little, "end marks are moved as words");
class EndMarks {
 public:
  static constexpr std::size_t kBytes = kFirstEntry - kMaskOffset;

  // A copy of the marks of page, to move from while the page changes.
  explicit EndMarks(std::span<const std::uint8_t> page) {
    std::copy_n(page.begin() + kMaskOffset, kBytes, bytes_.begin() + kPad);
  }

  // Sets on page the marks this copy has from bit first up to bit last, each moved by shift
  // bits: the marks of entries whose bytes moved that far. Sixty-four marks at a time, since a
  // change near the start of a leaf moves the marks of every entry after it.
  void MoveTo(std::span<std::uint8_t> page, std::size_t first, std::size_t last,
              std::ptrdiff_t shift) const {
    const std::size_t to_first = first + shift;
    const std::size_t to_last = last + shift;
    for (std::size_t to = to_first / 8 * 8; to < to_last; to += 64) {
      std::uint64_t word = Word(static_cast<std::ptrdiff_t>(to) - shift);
      // Only the marks in range: the copy's bits around it belong to entries that did not move.
      if (to < to_first) word &= ~std::uint64_t{0} << (to_first - to);
      if (to_last - to < 64) word &= ~(~std::uint64_t{0} << (to_last - to));
      std::uint8_t* const marks = page.data() + kMaskOffset + to / 8;
      if (to / 8 + 8 <= kBytes) {
        std::uint64_t now;
        std::memcpy(&now, marks, 8);
        now |= word;
        std::memcpy(marks, &now, 8);
      } else {
        // The last bytes of the mask: what follows them is the first entry.
        for (std::size_t k = 0; to / 8 + k < kBytes; ++k) {
          marks[k] |= static_cast<std::uint8_t>(word >> (8 * k));
        }
      }
    }
  }

 private:
  // Zero bytes around the copy, so that a word read at its edges needs no bounds.
  static constexpr std::size_t kPad = 8;

  // The 64 marks from bit (which may be up to seven before the first).
  std::uint64_t Word(std::ptrdiff_t bit) const {
    const auto at = static_cast<std::size_t>(bit + static_cast<std::ptrdiff_t>(8 * kPad));
    const std::size_t byte = at / 8;
    const unsigned offset = at % 8;
    std::uint64_t word;
    std::memcpy(&word, bytes_.data() + byte, 8);
    word >>= offset;
    if (offset != 0) word |= std::uint64_t{bytes_[byte + 8]} << (64 - offset);
    return word;
  }

  std::array<std::uint8_t, kBytes + 2 * kPad + 1> bytes_{};
};

// Lays node out on page by moving what follows the one entry inserted or erased since page
// was laid out, when page is known to hold that layout (stamp: the page's now) and the prefix
// is the same; gives whether it could. The bytes are those LayOut writes.
bool LayOutChange(const Node& node, std::span<std::uint8_t> page, std::uint64_t stamp,
                  std::size_t prefix) {
  const auto& known = node.Page();
  if (!known || known->stamp != stamp || known->prefix != prefix) return false;
  WriteU32(page, kPrevOffset, node.prev);
  WriteU32(page, kNextOffset, node.next);
  WriteU32(page, kTailOffset, node.tail);
  if (known->change == 0) return true;
  // Entries from i up to rewrite are stored anew; those after it are stored as they were, only
  // moved. The first entry is stored whole, so a change at 0 also restores the next one.
  const std::size_t i = known->at;
  const std::size_t rewrite =
      std::min(node.Count(), i + (known->change > 0 ? 1 : 0) + (i == 0 ? 1 : 0));
  const std::size_t kept = StoredStart(node, i, prefix);  // bytes before the change stay
  const std::size_t moved_to = StoredStart(node, rewrite, prefix);
  const std::size_t new_end = StoredStart(node, node.Count(), prefix);
  const std::size_t old_end = page.size() - ReadU16(page, kFreeSpaceOffset);
  const std::size_t moved_from = old_end - (new_end - moved_to);
  const auto at = [&](std::size_t offset) {
    return page.begin() + static_cast<std::ptrdiff_t>(offset);
  };
  const EndMarks old_marks(page);
  std::memmove(page.data() + moved_to, page.data() + moved_from, new_end - moved_to);
  for (std::size_t k = i; k < rewrite; ++k) {
    const Span entry = node.Entry(k).subspan(k == 0 ? 0 : prefix);
    std::copy(entry.begin(), entry.end(), at(StoredStart(node, k, prefix)));
  }
  if (new_end < old_end) std::fill(at(new_end), at(old_end), 0);
  // The mask bits past the end of the last entry kept, set again for the entries after it.
  const std::size_t bit = kept - kFirstEntry;
  page[kMaskOffset + bit / 8] &= static_cast<std::uint8_t>((2u << (bit % 8)) - 1);
  std::fill(at(kMaskOffset + bit / 8 + 1), at(kFirstEntry), 0);
  for (std::size_t k = i; k < rewrite; ++k) {
    const std::size_t end = StoredStart(node, k + 1, prefix) - kFirstEntry;
    page[kMaskOffset + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
  }
  // The entries after those moved, their marks with them: the marks after where they began.
  old_marks.MoveTo(page, moved_from - kFirstEntry + 1, old_end - kFirstEntry + 1,
                   static_cast<std::ptrdiff_t>(moved_to) - static_cast<std::ptrdiff_t>(moved_from));
  WriteU16(page, kFreeSpaceOffset, static_cast<std::uint16_t>(page.size() - new_end));
  return true;
}

class IndexTree {
 public:
  IndexTree(Pager& pager, const TableDef& table, const IndexDef& index, int rank, int node_rank)
      : pager_(pager), table_(table), index_(index), rank_(rank), node_rank_(node_rank) {}

  void Insert(Span entry) {
    Path descent;
    std::vector<Step>& path = descent.Steps();
    Node leaf = Release(Descend(entry, path));
    const std::size_t at = leaf.LowerBound(entry);
    if (at < leaf.Count() && Same(leaf.Entry(at), entry))
      Corrupt("an index already holds this row");
    leaf.Insert(at, entry);
    Store(std::move(leaf), path);
  }

  void Remove(Span entry) {
    Path descent;
    std::vector<Step>& path = descent.Steps();
    Node leaf = Release(Descend(entry, path));
    const std::size_t at = leaf.LowerBound(entry);
    if (at == leaf.Count() || !Same(leaf.Entry(at), entry)) {
      Corrupt("an index lacks an entry of a row");
    }
    leaf.Erase(at);
    if (path.empty()) return Store(std::move(leaf), path);
    // The pages above and whether each is on the right edge: their tail leaf may be freed.
    std::vector<std::pair<std::uint32_t, bool>> above;
    above.reserve(path.size());
    bool right_edge = true;
    for (const Step& step : path) {
      above.emplace_back(step.node->page, right_edge);
      right_edge = right_edge && step.child + 1 >= step.node->Count();
    }
    Shrunk(std::move(leaf), path);
    if (!freed_.empty()) FixTails(above);
  }

  // Whether some entry starts with key (ignoring the row pointer that follows).
  bool HasKey(Span key) {
    Path descent;
    std::vector<Step>& path = descent.Steps();
    NodeRef leaf = Descend(key, path);
    for (std::uint32_t hops = 0;; ++hops) {
      const std::size_t at = leaf->LowerBound(key);
      if (at < leaf->Count()) {
        const Span entry = leaf->Entry(at);
        return entry.size() == key.size() + kPointerSize &&
               std::equal(key.begin(), key.end(), entry.begin());
      }
      if (leaf->next == 0 || hops > pager_.PageCount()) return false;
      leaf = Load(leaf->next);
    }
  }

 private:
  NodeRef Load(std::uint32_t page) { return SharedNode(pager_, page, table_.page); }

  // The leaf where entry belongs, and the intermediate pages above it.
  NodeRef Descend(Span entry, std::vector<Step>& path) {
    NodeRef node = Load(index_.first_page);
    for (int depth = 0; !node->Leaf(); ++depth) {
      if (depth == kMaxDepth) Corrupt("an index tree is too deep");
      if (node->Empty()) Corrupt("index page " + std::to_string(node->page) + " is empty");
      const std::size_t child = ChildFor(*node, entry);
      const std::uint32_t page = ChildOf(node->Entry(child));
      path.push_back({std::move(node), child});
      node = Load(page);
    }
    // Past the last entry of its leaf: leaves that no intermediate page lists (Access's tail
    // leaves) follow on the chain.
    for (std::uint32_t hops = 0; node->next != 0 && !node->Empty() && Less(node->Back(), entry);
         ++hops) {
      if (hops > pager_.PageCount()) Corrupt("index leaf pages form a loop");
      NodeRef next = Load(node->next);
      if (next->Empty() || Less(entry, next->Front())) break;
      if (!path.empty()) path.back().child = path.back().node->Count();
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

  // A new node of this index, of type.
  Node Fresh(std::uint8_t type) const {
    Node node;
    node.owner = table_.page;
    node.type = type;
    return node;
  }

  // Writes node's page and keeps the node decoded; gives it back.
  NodeRef Write(Node node, int rank) {
    const std::size_t prefix = PrefixOf(node);
    // Checked before the page changes, so that a failure leaves it as it was.
    CheckFits(node, prefix, pager_.PageSize());
    const std::uint64_t stamp = pager_.Stamp(node.page);
    std::vector<std::uint8_t>& page = pager_.Modify(node.page, rank);
    if (!LayOutChange(node, page, stamp, prefix)) LayOut(node, page, prefix);
    node.LaidOut(pager_.Stamp(node.page), prefix);
    NodeRef written = Share(std::move(node));
    Remember(pager_, written);
    return written;
  }

  void SetPrev(std::uint32_t page, std::uint32_t prev) {
    if (page == 0) return;
    Node node = Release(Load(page));
    node.prev = prev;
    Write(std::move(node), rank_);
  }

  // The last leaf entry below child: child's last entry, less its own child pointer.
  static Span LastKey(const Node& child) {
    const Span last = child.Back();
    return child.Leaf() ? last : last.first(last.size() - kPointerSize);
  }

  static Bytes ParentEntry(const Node& child) {
    const Span key = LastKey(child);
    Bytes entry;
    entry.reserve(key.size() + kPointerSize);
    entry.assign(key.begin(), key.end());
    AppendBigEndian(entry, child.page);
    return entry;
  }

  // Whether entry is the one ParentEntry(child) gives (without building it: most writes leave
  // the entry above as it was).
  static bool NamesLastOf(Span entry, const Node& child) {
    const Span key = LastKey(child);
    return entry.size() == key.size() + kPointerSize &&
           std::equal(key.begin(), key.end(), entry.begin()) && ChildOf(entry) == child.page;
  }

  // Whether the page the path leads to is on the tree's right edge (the last child all the
  // way down), where Access's tail leaves hang.
  static bool OnRightEdge(const std::vector<Step>& path) {
    return std::all_of(path.begin(), path.end(),
                       [](const Step& step) { return step.child + 1 >= step.node->Count(); });
  }

  // The rightmost leaf below node: down its last entries, then, on the right edge, along the
  // chain to the tail leaves that no intermediate page lists.
  std::uint32_t RightmostLeaf(const Node& node, bool right_edge) {
    if (node.Leaf()) return node.page;
    if (node.Empty()) return node.tail;
    std::uint32_t leaf = ChildOf(node.Back());
    for (int depth = 0;; ++depth) {
      if (depth == kMaxDepth) Corrupt("an index tree is too deep");
      // A leaf is known by its type alone: only intermediate pages need their entries read.
      if ((*pager_.Read(leaf))[0] == kIndexLeafPage) break;
      leaf = ChildOf(Load(leaf)->Back());
    }
    for (std::uint32_t hops = 0; right_edge; ++hops) {
      const PageData data = pager_.Read(leaf);
      const std::uint32_t next = ReadU32(*data, kNextOffset);
      if (next == 0 || hops > pager_.PageCount()) break;
      leaf = next;
    }
    return leaf;
  }

  // Where a full node splits: about half its bytes stay on the left. Counted as stored, less
  // the prefix (either half shares at least that much): whole entries of a leaf whose keys
  // share a long start would put too few on the left and overflow the right.
  static std::size_t SplitPoint(const Node& node) {
    const std::size_t prefix = PrefixOf(node);
    const std::size_t total = StoredSize(node, prefix);
    std::size_t cut = 1;
    for (std::size_t size = 0; cut < node.Count() - 1; ++cut) {
      size += node.Entry(cut - 1).size() - (cut > 1 ? prefix : 0);
      if (size >= total / 2) break;
    }
    return cut;
  }

  // Writes node, splitting it when it overflows, and brings the pages above up to date.
  void Store(Node node, std::vector<Step>& path) {
    const int rank = node.Leaf() ? rank_ : node_rank_;
    const bool right_edge = OnRightEdge(path);
    if (!node.Leaf()) node.tail = RightmostLeaf(node, right_edge);
    if (Fits(node, PrefixOf(node), pager_.PageSize())) {
      const NodeRef written = Write(std::move(node), rank);
      return UpdateParent(*written, path);
    }
    if (node.Count() < 2) Corrupt("an index entry is larger than a page");
    // The left half stays on this page, the right half goes to a new one.
    Node right = Fresh(node.type);
    node.MoveTail(SplitPoint(node), right);
    if (path.empty()) return SplitRoot(std::move(node), std::move(right));
    right.page = NewPage();
    if (node.Leaf()) {
      right.prev = node.page;
      right.next = node.next;
      SetPrev(node.next, right.page);
      node.next = right.page;
    }
    if (!right.Leaf()) right.tail = RightmostLeaf(right, right_edge);
    const NodeRef written_right = Write(std::move(right), rank::kNewPage);
    if (!node.Leaf()) node.tail = RightmostLeaf(node, false);
    const NodeRef written_left = Write(std::move(node), rank);
    Step step = std::move(path.back());
    path.pop_back();
    Node parent = Release(std::move(step.node));
    // A tail leaf that split: its new right half is another tail leaf.
    if (step.child < parent.Count()) {
      parent.Replace(step.child, ParentEntry(*written_left));
      parent.Insert(step.child + 1, ParentEntry(*written_right));
    }
    Store(std::move(parent), path);
  }

  // The root keeps its page: both halves of it move down to new pages.
  void SplitRoot(Node root, Node right) {
    Node left = Fresh(root.type);
    root.MoveTail(0, left);
    left.page = NewPage();
    right.page = NewPage();
    if (left.Leaf()) {
      left.next = right.page;
      right.prev = left.page;
    } else {
      left.tail = RightmostLeaf(left, false);
      right.tail = RightmostLeaf(right, true);
    }
    const NodeRef written_left = Write(std::move(left), rank::kNewPage);
    const NodeRef written_right = Write(std::move(right), rank::kNewPage);
    Node top = Fresh(kIndexNodePage);
    top.page = root.page;
    top.Append(ParentEntry(*written_left));
    top.Append(ParentEntry(*written_right));
    top.tail = RightmostLeaf(top, true);
    Write(std::move(top), node_rank_);
  }

  // After node changed: the entry above that names it holds its last entry. A tail leaf has
  // no such entry, and on the right edge the entries above may lag behind (whatever is past
  // them goes to the last child anyway), as Access lets them: appending a key then writes
  // only its leaf.
  void UpdateParent(const Node& node, std::vector<Step>& path) {
    if (!path.empty() && OnRightEdge(path)) return UpdateTails(node, path);
    if (path.empty() || path.back().child >= path.back().node->Count()) return;
    Step step = std::move(path.back());
    path.pop_back();
    if (NamesLastOf(step.node->Entry(step.child), node)) return;
    Node parent = Release(std::move(step.node));
    parent.Replace(step.child, ParentEntry(node));
    Store(std::move(parent), path);
  }

  // On the right edge every page above node has node's rightmost leaf as its tail: after a
  // split there, or the last leaf freed, the pages above name the new one.
  void UpdateTails(const Node& node, const std::vector<Step>& path) {
    // Access's tail leaves follow a leaf whose next is set: its pages above name the last.
    if (node.Leaf() && node.next != 0) return;
    const std::uint32_t tail = node.Leaf() ? node.page : node.tail;
    for (const Step& step : path) {
      if (step.node->tail == tail) continue;
      Node above = Release(step.node);
      above.tail = tail;
      Write(std::move(above), node_rank_);
    }
  }

  // Takes an empty leaf or intermediate page out of the tree and frees it.
  void Unlink(Node node, std::vector<Step>& path) {
    if (node.Leaf()) {
      if (node.prev != 0) {
        Node prev = Release(Load(node.prev));
        prev.next = node.next;
        Write(std::move(prev), rank_);
      }
      SetPrev(node.next, node.prev);
    }
    Free(node.page);
    Step step = std::move(path.back());
    path.pop_back();
    Node parent = Release(std::move(step.node));
    if (step.child < parent.Count()) parent.Erase(step.child);
    if (parent.Empty() && OnRightEdge(path) && parent.tail != 0 && freed_.count(parent.tail) == 0) {
      // Only a tail leaf is left below: list it, so that the page keeps a child.
      parent.Append(ParentEntry(*Load(parent.tail)));
    }
    if (parent.Empty()) {
      if (path.empty()) {
        // The root lost its last child: it becomes an empty leaf.
        Node root = Fresh(kIndexLeafPage);
        root.page = parent.page;
        Write(std::move(root), node_rank_);
        return;
      }
      return Unlink(std::move(parent), path);
    }
    Shrunk(std::move(parent), path);
  }

  // After node (not the root) lost an entry: out of the tree when empty, merged into a
  // neighbour when little is left, else written.
  void Shrunk(Node node, std::vector<Step>& path) {
    if (path.empty()) return Store(std::move(node), path);
    if (node.Empty()) return Unlink(std::move(node), path);
    if (Sparse(node) && Merge(node, path)) return;
    Store(std::move(node), path);
  }

  std::size_t Usable() const { return pager_.PageSize() - kFirstEntry; }

  // Under a quarter full: worth merging.
  bool Sparse(const Node& node) const { return StoredSize(node, PrefixOf(node)) < Usable() / 4; }

  // Moves node's entries into the neighbour on its left (an intermediate page's, else on its
  // right) under the same parent, when together they fill at most three quarters of a page
  // (so that a few inserts do not split it again at once), frees node's page and takes its
  // entry off the parent. A leaf goes left only: a cursor in index order that deletes as it
  // goes holds its leaf's entries and goes on to the next leaf, which must not take them.
  // The neighbour is written first (the lowest rank of a post): until the parent and the
  // leaf chain stop naming node, node's entries are listed twice, never lost.
  bool Merge(Node& node, std::vector<Step>& path) {
    const Step& step = path.back();
    const Node& parent = *step.node;
    if (step.child >= parent.Count()) return MergeTail(node, path);
    for (const bool left : {true, false}) {
      if (left ? step.child == 0 : node.Leaf() || step.child + 1 >= parent.Count()) continue;
      const std::size_t at = left ? step.child - 1 : step.child + 1;
      const NodeRef sibling = Load(ChildOf(parent.Entry(at)));
      if (sibling->type != node.type) continue;
      // Leaves must be neighbours on the chain too.
      if (node.Leaf() && (left ? sibling->next != node.page || node.prev != sibling->page
                               : node.next != sibling->page || sibling->prev != node.page)) {
        continue;
      }
      const Node& first = left ? *sibling : node;
      const Node& second = left ? node : *sibling;
      Node merged = Fresh(node.type);
      merged.page = sibling->page;
      for (std::size_t i = 0; i < first.Count(); ++i) merged.Append(first.Entry(i));
      for (std::size_t i = 0; i < second.Count(); ++i) merged.Append(second.Entry(i));
      if (StoredSize(merged, PrefixOf(merged)) > Usable() * 3 / 4) continue;
      merged.prev = first.prev;
      merged.next = second.next;
      const bool last = (left ? step.child : at) + 1 >= parent.Count();
      const bool right_edge = last && std::all_of(path.begin(), path.end() - 1, [](const Step& s) {
                                return s.child + 1 >= s.node->Count();
                              });
      if (!merged.Leaf()) merged.tail = RightmostLeaf(merged, right_edge);
      const NodeRef written = Write(std::move(merged), rank::kNewPage);
      if (node.Leaf()) {
        // Only after the merged leaf: the chain then skips node.
        if (left) {
          SetPrev(node.next, written->page);
        } else if (node.prev != 0) {
          Node prev = Release(Load(node.prev));
          prev.next = written->page;
          Write(std::move(prev), rank_);
        }
      }
      Free(node.page);
      Step up = std::move(path.back());
      path.pop_back();
      Node above = Release(std::move(up.node));
      above.Erase(up.child);
      if (left) above.Replace(at, ParentEntry(*written));
      Shrunk(std::move(above), path);
      return true;
    }
    return false;
  }

  // An Access tail leaf (no intermediate page names it) goes into the leaf before it on the
  // chain; the entry above that leaf, if any, may lag on the right edge, so nothing above
  // changes but the tail pointers.
  bool MergeTail(Node& node, const std::vector<Step>& path) {
    if (!node.Leaf() || node.prev == 0 || !OnRightEdge(path)) return false;
    // Only leaves past the last one the parent lists are unlisted.
    std::uint32_t page = ChildOf(path.back().node->Back());
    for (std::uint32_t hops = 0; page != node.prev; ++hops) {
      if (page == 0 || page == node.page || hops > pager_.PageCount()) return false;
      page = ReadU32(*pager_.Read(page), kNextOffset);
    }
    const NodeRef before = Load(node.prev);
    if (!before->Leaf() || before->next != node.page) return false;
    Node merged = Fresh(node.type);
    merged.page = before->page;
    for (std::size_t i = 0; i < before->Count(); ++i) merged.Append(before->Entry(i));
    for (std::size_t i = 0; i < node.Count(); ++i) merged.Append(node.Entry(i));
    if (StoredSize(merged, PrefixOf(merged)) > Usable() * 3 / 4) return false;
    merged.prev = before->prev;
    merged.next = node.next;
    const NodeRef written = Write(std::move(merged), rank::kNewPage);
    SetPrev(node.next, written->page);
    Free(node.page);
    return true;
  }

  // Intermediate pages whose tail leaf was freed name the rightmost leaf below them again.
  void FixTails(const std::vector<std::pair<std::uint32_t, bool>>& above) {
    for (const auto& [page, right_edge] : above) {
      if (freed_.count(page)) continue;
      const NodeRef node = Load(page);
      if (node->Leaf() || node->Empty() || !freed_.count(node->tail)) continue;
      Node changed = Release(node);
      changed.tail = RightmostLeaf(changed, right_edge);
      Write(std::move(changed), node_rank_);
    }
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

// Whether index is the first logical index on its physical index: each physical index is
// changed once, through that one. A table has a few indexes: looking back costs less than
// listing them for each post.
bool FirstOnItsEntries(const TableDef& table, const IndexDef& index) {
  return std::none_of(table.indexes.data(), &index,
                      [&](const IndexDef& before) { return before.physical == index.physical; });
}

bool Holds(const TableDef& table, const IndexDef& index, const Row& row) {
  return !(index.IgnoreNulls() && KeyAllNull(table, index, row));
}

// A leaf entry: the key, then the row pointer (keys leave room for it).
Bytes& MakeEntry(Bytes& key, std::uint32_t pointer) {
  AppendBigEndian(key, pointer);
  return key;
}

}  // namespace

void IndexKeys(Pager& pager, const TableDef& table, const Row& row, std::vector<Bytes>& keys) {
  keys.resize(table.indexes.size());
  for (std::size_t i = 0; i < keys.size(); ++i)
    IndexKey(pager, table, table.indexes[i], row, keys[i]);
}

void CheckUniqueKeys(Pager& pager, const TableDef& table, const Row& row,
                     const std::vector<std::vector<std::uint8_t>>& keys) {
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexDef& index = table.indexes[i];
    if ((index.PrimaryKey() || index.Required()) && KeyHasNull(table, index, row)) {
      throw Error("Index or primary key cannot contain a Null value.");
    }
    // Four entries at least must fit a page, or splitting a page could not make room.
    if (keys[i].size() + 2 * kPointerSize > (pager.PageSize() - kFirstEntry) / 4) {
      throw Error("The key of index '" + index.name + "' is too long for this row.");
    }
  }
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexDef& index = table.indexes[i];
    if (!FirstOnItsEntries(table, index)) continue;
    bool unique = false;
    for (const IndexDef& logical : table.indexes) {
      if (logical.physical == index.physical && (logical.Unique() || logical.PrimaryKey())) {
        unique = true;
      }
    }
    // Several rows may leave a unique key null.
    if (!unique || KeyHasNull(table, index, row)) continue;
    IndexTree tree(pager, table, index, 0, 0);
    if (tree.HasKey(keys[i])) {
      throw Error(
          "The changes you requested to the table were not successful because they would "
          "create duplicate values in the index, primary key, or relationship. (index '" +
          index.name + "')");
    }
  }
}

void AddIndexEntries(Pager& pager, const TableDef& table, const Row& row,
                     std::vector<std::vector<std::uint8_t>>& keys, std::uint32_t pointer) {
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexDef& index = table.indexes[i];
    if (!FirstOnItsEntries(table, index) || !Holds(table, index, row)) continue;
    IndexTree(pager, table, index, rank::kIndexOnAdd, rank::kIndexNodeOnAdd)
        .Insert(MakeEntry(keys[i], pointer));
  }
}

void AddIndexEntries(Pager& pager, const TableDef& table, const Row& row, std::uint32_t pointer) {
  std::vector<Bytes> keys;
  IndexKeys(pager, table, row, keys);
  AddIndexEntries(pager, table, row, keys, pointer);
}

void RemoveIndexEntries(Pager& pager, const TableDef& table, const Row& row,
                        std::uint32_t pointer) {
  for (const IndexDef& index : table.indexes) {
    if (!FirstOnItsEntries(table, index) || !Holds(table, index, row)) continue;
    thread_local Bytes key;  // kept: allocations are costly under Wine
    IndexKey(pager, table, index, row, key);
    IndexTree(pager, table, index, rank::kIndexOnRemove, rank::kIndexNodeOnRemove)
        .Remove(MakeEntry(key, pointer));
  }
}

std::vector<std::vector<std::uint8_t>> IndexEntries(Pager& pager, std::uint32_t table_page,
                                                    std::uint32_t root) {
  std::uint32_t page = root;
  for (int depth = 0;; ++depth) {
    if (depth == kMaxDepth) Corrupt("an index tree is too deep");
    const NodeRef node = SharedNode(pager, page, table_page);
    if (node->Leaf()) break;
    if (node->Empty()) Corrupt("an index page is empty");
    page = ChildOf(node->Front());
  }
  std::vector<Bytes> entries;
  for (std::uint32_t hops = 0; page != 0; ++hops) {
    if (hops > pager.PageCount()) Corrupt("index leaf pages form a loop");
    const NodeRef node = SharedNode(pager, page, table_page);
    for (std::size_t i = 0; i < node->Count(); ++i) {
      const Span entry = node->Entry(i);
      entries.emplace_back(entry.begin(), entry.end());
    }
    page = node->next;
  }
  return entries;
}

std::vector<std::uint8_t> LayOutLeafPage(const std::vector<std::vector<std::uint8_t>>& entries,
                                         std::uint32_t owner, std::uint32_t prev,
                                         std::uint32_t next, std::size_t page_size,
                                         std::optional<std::size_t> prefix) {
  Node node;
  node.owner = owner;
  node.prev = prev;
  node.next = next;
  for (const Bytes& entry : entries) node.Append(entry);
  Bytes page(page_size);
  LayOut(node, page, prefix ? *prefix : SharedPrefix(node));
  return page;
}

}  // namespace jetdb
