#include "output/OctreeQuantizer.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>
#include <utility>

#include "output/PixelRuns.h"

namespace {

constexpr uint16_t kNoNode = 0;
constexpr uint16_t kRoot = 1;
constexpr unsigned kRootLevel = 7;
constexpr unsigned kCacheBits = 16;
constexpr uint32_t kNotLeaf = 0xFFFFFFFFu;  // as a mask: matches no colour below 2^24

// Colour bits 7 down to level + 1 of each channel: the part of a colour that
// leads from the root to a node of this level.
constexpr uint32_t ChannelPrefix(unsigned level) { return (0xFFu << (level + 1)) & 0xFFu; }
constexpr uint32_t PrefixMask(unsigned level)
{
    return ChannelPrefix(level) | ChannelPrefix(level) << 8 | ChannelPrefix(level) << 16;
}
constexpr uint32_t kPrefixMask[8] = {PrefixMask(0), PrefixMask(1), PrefixMask(2), PrefixMask(3),
                                     PrefixMask(4), PrefixMask(5), PrefixMask(6), PrefixMask(7)};

// Colours are 0x00RRGGBB, which is also how a blue, green, red byte triple
// reads as a little-endian number.
inline unsigned ChildIndex(uint32_t rgb, unsigned level)
{
    return (((rgb >> (16 + level)) & 1u) << 2) | (((rgb >> (8 + level)) & 1u) << 1) | ((rgb >> level) & 1u);
}

// Bit 0 of a channel never selects a child, so colours that differ only
// there share a slot.
inline unsigned CacheSlot(uint32_t rgb) { return ((rgb & 0xFEFEFEu) * 0x9E3779B1u) >> (32 - kCacheBits); }

}  // namespace

// 64 bytes. A leaf holds the colours c with (c & mask) == prefix;
// inner and free nodes have a mask that no colour meets.
struct OctreeQuantizer::Node {
    uint64_t pixelCount;  // kept in leaves (their palette index once the palette is
                          // built); an inner node's is the sum of its children's
    uint64_t lastPixel;   // number of the latest pixel counted in the node, likewise
    uint64_t sumRed;
    uint64_t sumGreen;
    uint64_t sumBlue;
    uint32_t prefix;
    uint32_t mask;
    uint16_t children[8];

    bool IsLeaf() const { return mask != kNotLeaf; }
    bool Holds(uint32_t rgb) const { return (rgb & mask) == prefix; }  // a leaf of this colour
    // count pixels of colour rgb, numbered from firstPixel on
    void Count(uint32_t rgb, uint64_t count, uint64_t firstPixel)
    {
        pixelCount += count;
        lastPixel = firstPixel + count - 1;
        sumRed += count * (rgb >> 16);
        sumGreen += count * ((rgb >> 8) & 0xFFu);
        sumBlue += count * (rgb & 0xFFu);
    }
};

// A node's place in the reducible order of its level, as it was when last
// looked at. Counts only grow, so the place a node really has is never
// earlier than the one recorded. No two nodes of a level ever share a last
// pixel, so the order is total.
struct OctreeQuantizer::QueueEntry {
    uint64_t pixelCount;
    uint64_t lastPixel;
    uint16_t node;
};

namespace {

inline bool Before(uint64_t countA, uint64_t lastA, uint64_t countB, uint64_t lastB)
{
    return countA < countB || (countA == countB && lastA < lastB);
}

}  // namespace

OctreeQuantizer::OctreeQuantizer(unsigned maxColors) : m_maxColors(maxColors)
{
    if (maxColors < MinColors || maxColors > MaxColors)
        return;
    // Reduction follows every pixel, so at most maxColors + 1 leaves exist at
    // once; every inner level holds at most one node per leaf.
    const unsigned leaves = maxColors + 1;
    const unsigned capacity = 2 + kRootLevel * leaves;
    std::unique_ptr<Node[]> nodes(new (std::nothrow) Node[capacity]());
    m_freeNodes.reset(new (std::nothrow) uint16_t[capacity]);
    m_queueEntries.reset(new (std::nothrow) QueueEntry[kRootLevel * leaves]);
    m_leafCache.reset(new (std::nothrow) uint16_t[1u << kCacheBits]());
    m_indexCache.reset(new (std::nothrow) uint32_t[1u << kCacheBits]);
    if (!nodes || !m_freeNodes || !m_queueEntries || !m_leafCache || !m_indexCache)
        return;
    for (unsigned level = 0; level < kRootLevel; ++level)
        m_queues[level].entries = &m_queueEntries[level * leaves];
    for (unsigned slot = capacity - 1; slot > kRoot; --slot)
        m_freeNodes[m_freeCount++] = static_cast<uint16_t>(slot);
    // Slot 0 stands for "no node": it must never pass for a leaf either.
    for (unsigned slot = 0; slot < capacity; ++slot)
        nodes[slot].mask = nodes[slot].prefix = kNotLeaf;
    m_nodes = std::move(nodes);
    m_nodeCount = m_peakNodeCount = 1;
}

OctreeQuantizer::~OctreeQuantizer() = default;

uint16_t OctreeQuantizer::NewNode(bool leaf, uint32_t prefix)
{
    const uint16_t slot = m_freeNodes[--m_freeCount];
    Node& node = m_nodes[slot];
    node = Node{};
    node.prefix = leaf ? prefix : kNotLeaf;
    node.mask = leaf ? kPrefixMask[0] : kNotLeaf;
    if (++m_nodeCount > m_peakNodeCount)
        m_peakNodeCount = m_nodeCount;
    return slot;
}

void OctreeQuantizer::FreeNode(uint16_t slot)
{
    // A freed slot must match no colour, so cached slots of merged leaves miss.
    m_nodes[slot].mask = m_nodes[slot].prefix = kNotLeaf;
    m_freeNodes[m_freeCount++] = slot;
    --m_nodeCount;
}

uint16_t OctreeQuantizer::FindLeaf(uint32_t rgb) const
{
    uint16_t slot = kRoot;
    for (unsigned level = kRootLevel;; --level) {
        slot = m_nodes[slot].children[ChildIndex(rgb, level)];
        if (slot == kNoNode || m_nodes[slot].IsLeaf())
            return slot;
    }
}

void OctreeQuantizer::AddPixels(const BgrRows& pixels)
{
    if (!IsReady())
        return;
    // The memo stands only for a single call: rows fed in pieces are looked
    // at twice.
    if (++m_addCalls == 1)
        StartMemo(pixels);
    else
        m_memo = RunMemo{};
    if (pixels.bytesPerPixel == 4)
        AddRows<4>(pixels);
    else
        AddRows<3>(pixels);
}

bool OctreeQuantizer::RunMemo::IsFor(const BgrRows& other) const
{
    return starts && pixels.scan0 == other.scan0 && pixels.stride == other.stride && pixels.width == other.width &&
           pixels.height == other.height && pixels.bytesPerPixel == other.bytesPerPixel;
}

void OctreeQuantizer::StartMemo(const BgrRows& pixels)
{
    // Room for one run start per two pixels, at most 16 MB: a screen has far
    // fewer runs, and only the memory written to is ever touched. Without
    // the memory, or for rows too long, there is no memo.
    constexpr uint64_t kMostStarts = 8u << 20;
    const uint64_t room = static_cast<uint64_t>(pixels.width) * pixels.height / 2 + pixels.width + 16;
    if (pixels.width > pixel_runs::kLongestRecordedRow || pixels.height == 0)
        return;
    m_memo.capacity = static_cast<uint32_t>(room < kMostStarts ? room : kMostStarts);
    m_memo.starts.reset(new (std::nothrow) uint16_t[m_memo.capacity]);
    m_memo.rowEnds.reset(new (std::nothrow) uint32_t[pixels.height]);
    if (!m_memo.starts || !m_memo.rowEnds) {
        m_memo = RunMemo{};
        return;
    }
    m_memo.pixels = pixels;
}

template <unsigned PixelBytes>
void OctreeQuantizer::AddRows(const BgrRows& pixels)
{
    // A pixel whose leaf exists changes nothing but that leaf, so a run of
    // identical pixels adds at once what it would add one by one. Nearly
    // every run finds its leaf through the cache; the rest go the long way.
    Node* const nodes = m_nodes.get();
    const uint16_t* const leafCache = m_leafCache.get();
    const uint32_t width = pixels.width;
    uint16_t* const memoStarts = m_memo.starts.get();
    uint32_t memoUsed = 0;
    bool bMemoFull = memoStarts == nullptr;
    uint64_t rowStart = m_pixelsAdded;
    for (uint32_t y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.scan0 + static_cast<ptrdiff_t>(y) * pixels.stride;
        const auto add = [this, nodes, leafCache, rowStart](uint32_t rgb, uint32_t x, uint32_t length) {
            Node& leaf = nodes[leafCache[CacheSlot(rgb)]];
            if (leaf.Holds(rgb))
                leaf.Count(rgb, length, rowStart + x);
            else
                AddRun(rgb, length, rowStart + x);
        };
        // A row leaves at most width - 1 changes, and eight are written at a time.
        if (!bMemoFull && m_memo.capacity - memoUsed < static_cast<uint64_t>(width) + 16)
            bMemoFull = true;
        if (bMemoFull) {
            pixel_runs::ForEachRun<PixelBytes>(row, width, add);
        } else {
            const unsigned count = pixel_runs::FindRowChanges<PixelBytes>(row, width, memoStarts + memoUsed);
            pixel_runs::ForEachRunOf<PixelBytes>(row, width, memoStarts + memoUsed, count, add);
            memoUsed += count;
            m_memo.rowEnds[y] = memoUsed;
            m_memo.rows = y + 1;
        }
        rowStart += width;
    }
    m_pixelsAdded = rowStart;
}

void OctreeQuantizer::AddRun(uint32_t rgb, uint64_t count, uint64_t firstPixel)
{
    uint16_t leaf = FindLeaf(rgb);
    if (leaf == kNoNode) {
        // Only the first pixel can grow the tree and set off merges; the
        // rest of the run then ends in an existing leaf.
        AddColor(rgb, firstPixel);
        ReduceToLimit();
        if (--count == 0)
            return;
        ++firstPixel;
        leaf = FindLeaf(rgb);
    }
    m_leafCache[CacheSlot(rgb)] = leaf;
    m_nodes[leaf].Count(rgb, count, firstPixel);
}

void OctreeQuantizer::AddColor(uint32_t rgb, uint64_t pixelNumber)
{
    uint16_t slot = kRoot;
    for (unsigned level = kRootLevel;; --level) {
        uint16_t& child = m_nodes[slot].children[ChildIndex(rgb, level)];
        if (child == kNoNode) {
            const unsigned childLevel = level - 1;
            child = NewNode(childLevel == 0, rgb & kPrefixMask[0]);
            if (childLevel == 0) {
                if (++m_leafCount > m_peakLeafCount)
                    m_peakLeafCount = m_leafCount;
            } else {
                // A new inner node holds this one pixel: it goes behind every
                // node of its level with one pixel.
                LevelQueue& queue = m_queues[childLevel];
                size_t hole = queue.size++;
                while (hole > 0) {
                    const size_t parent = (hole - 1) / 2;
                    const QueueEntry& above = queue.entries[parent];
                    if (!Before(1, pixelNumber, above.pixelCount, above.lastPixel))
                        break;
                    queue.entries[hole] = above;
                    hole = parent;
                }
                queue.entries[hole] = QueueEntry{1, pixelNumber, child};
            }
        }
        slot = child;
        Node& node = m_nodes[slot];
        if (node.IsLeaf()) {
            node.Count(rgb, 1, pixelNumber);
            return;
        }
    }
}

void OctreeQuantizer::ReduceToLimit()
{
    while (m_leafCount > m_maxColors) {
        unsigned level = 1;
        while (level < kRootLevel && m_queues[level].size == 0)
            ++level;
        if (level == kRootLevel)
            break;  // only the root is left, which is never merged
        Reduce(TakeFront(m_queues[level]), level);
    }
}

uint16_t OctreeQuantizer::TakeFront(LevelQueue& queue)
{
    // The queue is the lowest level with inner nodes, so the children of its
    // nodes are leaves, whose counts are current.
    for (;;) {
        QueueEntry& front = queue.entries[0];
        const Node& node = m_nodes[front.node];
        uint64_t pixelCount = 0;
        uint64_t lastPixel = 0;
        for (const uint16_t child : node.children) {
            if (child == kNoNode)
                continue;
            pixelCount += m_nodes[child].pixelCount;
            if (m_nodes[child].lastPixel > lastPixel)
                lastPixel = m_nodes[child].lastPixel;
        }
        if (pixelCount == front.pixelCount && lastPixel == front.lastPixel) {
            const uint16_t taken = front.node;
            front = queue.entries[--queue.size];
            Reposition(queue, 0);
            return taken;
        }
        front.pixelCount = pixelCount;
        front.lastPixel = lastPixel;
        Reposition(queue, 0);
    }
}

void OctreeQuantizer::Reposition(LevelQueue& queue, size_t position)
{
    // Sift toward the back: places only ever move that way.
    const QueueEntry moving = queue.entries[position];
    for (;;) {
        size_t next = 2 * position + 1;
        if (next >= queue.size)
            break;
        const QueueEntry* least = &queue.entries[next];
        if (next + 1 < queue.size) {
            const QueueEntry& right = queue.entries[next + 1];
            if (Before(right.pixelCount, right.lastPixel, least->pixelCount, least->lastPixel)) {
                least = &right;
                ++next;
            }
        }
        if (!Before(least->pixelCount, least->lastPixel, moving.pixelCount, moving.lastPixel))
            break;
        queue.entries[position] = *least;
        position = next;
    }
    queue.entries[position] = moving;
}

void OctreeQuantizer::Reduce(uint16_t slot, unsigned level)
{
    Node& node = m_nodes[slot];
    uint64_t pixelCount = 0;
    uint64_t lastPixel = 0;
    uint64_t sumRed = 0;
    uint64_t sumGreen = 0;
    uint64_t sumBlue = 0;
    uint32_t prefix = 0;
    for (uint16_t& child : node.children) {
        if (child == kNoNode)
            continue;
        const Node& leaf = m_nodes[child];
        prefix = leaf.prefix & kPrefixMask[level];
        pixelCount += leaf.pixelCount;
        if (leaf.lastPixel > lastPixel)
            lastPixel = leaf.lastPixel;
        sumRed += leaf.sumRed;
        sumGreen += leaf.sumGreen;
        sumBlue += leaf.sumBlue;
        FreeNode(child);
        child = kNoNode;
        --m_leafCount;
    }
    node.pixelCount = pixelCount;
    node.lastPixel = lastPixel;
    node.sumRed = sumRed;
    node.sumGreen = sumGreen;
    node.sumBlue = sumBlue;
    node.prefix = prefix;
    node.mask = kPrefixMask[level];
    ++m_leafCount;
}

unsigned OctreeQuantizer::BuildPalette(uint32_t* entries)
{
    unsigned nextIndex = 0;
    if (!IsReady())
        return 0;
    BuildPalette(kRoot, entries, nextIndex);
    std::memset(m_indexCache.get(), 0xFF, sizeof(uint32_t) << kCacheBits);
    return nextIndex;
}

void OctreeQuantizer::BuildPalette(uint16_t slot, uint32_t* entries, unsigned& nextIndex)
{
    Node& node = m_nodes[slot];
    if (node.IsLeaf()) {
        const uint32_t red = static_cast<uint8_t>(node.sumRed / node.pixelCount);
        const uint32_t green = static_cast<uint8_t>(node.sumGreen / node.pixelCount);
        const uint32_t blue = static_cast<uint8_t>(node.sumBlue / node.pixelCount);
        entries[nextIndex] = 0xFF000000u | red << 16 | green << 8 | blue;
        node.pixelCount = nextIndex++;
        return;
    }
    for (const uint16_t child : node.children) {
        if (child != kNoNode)
            BuildPalette(child, entries, nextIndex);
    }
}

unsigned OctreeQuantizer::FindPaletteIndex(uint32_t rgb) const
{
    if (!IsReady())
        return 0;
    const uint16_t leaf = FindLeaf(rgb & 0xFFFFFFu);
    return leaf == kNoNode ? 0 : static_cast<unsigned>(m_nodes[leaf].pixelCount);
}

void OctreeQuantizer::MapPixels(const BgrRows& pixels, const IndexRows& indices)
{
    if (!IsReady())
        return;
    if (pixels.bytesPerPixel == 4)
        MapRows<4>(pixels, indices);
    else
        MapRows<3>(pixels, indices);
}

template <unsigned PixelBytes>
void OctreeQuantizer::MapRows(const BgrRows& pixels, const IndexRows& indices)
{
    // Held in locals: a byte written through out could be any object, so
    // members would be read again after every run.
    const uint32_t width = pixels.width;
    const uint32_t* const indexCache = m_indexCache.get();
    const bool bMemo = m_memo.IsFor(pixels);
    for (uint32_t y = 0; y < pixels.height; ++y) {
        uint8_t* const out = indices.scan0 + static_cast<ptrdiff_t>(y) * indices.stride;
        const uint8_t* row = pixels.scan0 + static_cast<ptrdiff_t>(y) * pixels.stride;
        const auto map = [this, out, width, indexCache](uint32_t rgb, uint32_t x, uint32_t length) {
            // An entry holds a colour without its bit 0 above its palette
            // index; no such colour reads 0xFFFFFF, so a cleared entry is
            // empty.
            const uint32_t entry = indexCache[CacheSlot(rgb)];
            const uint8_t index =
                entry >> 8 == (rgb & 0xFEFEFEu) ? static_cast<uint8_t>(entry) : FindIndexAndCache(rgb);
#if defined(__SSE2__)
            // Most runs are short: sixteen bytes written at once cover
            // them, and what lies beyond is written by the runs after.
            if (x + 16 <= width) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_set1_epi8(static_cast<char>(index)));
                if (length > 16)
                    std::memset(out + x + 16, index, length - 16);
                return;
            }
#endif
            std::memset(out + x, index, length);
        };
        if (bMemo && y < m_memo.rows) {
            const uint32_t begin = y == 0 ? 0 : m_memo.rowEnds[y - 1];
            pixel_runs::ForEachRunOf<PixelBytes>(row, width, m_memo.starts.get() + begin, m_memo.rowEnds[y] - begin,
                                                 map);
        } else {
            pixel_runs::ForEachRun<PixelBytes>(row, width, map);
        }
    }
}

uint8_t OctreeQuantizer::FindIndexAndCache(uint32_t rgb)
{
    const uint16_t leaf = FindLeaf(rgb);
    // a colour never added maps to 0
    const uint8_t index = leaf == kNoNode ? 0 : static_cast<uint8_t>(m_nodes[leaf].pixelCount);
    m_indexCache[CacheSlot(rgb)] = (rgb & 0xFEFEFEu) << 8 | index;
    return index;
}
