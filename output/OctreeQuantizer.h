// The octree colour reduction over plain pixel rows, without GDI+. The first
// pass grows the tree pixel by pixel and, whenever it holds more leaves than
// allowed, merges the front of the reducible order (lowest level, then fewest
// pixels, then whoever reached that count first) into a leaf; the palette is
// read from the leaves depth first; the second pass maps each pixel to the
// entry of its leaf.
//
// The node-by-node method keeps every inner node in one list, moving a node
// behind all nodes of its level with equal or fewer pixels each time it
// counts one more. A node's place is therefore fixed by its level, its count
// and the number of the last pixel it counted; this class keeps those in a
// heap per level and brings them up to date only when a merge has to choose,
// so a pixel touches nothing but its leaf. Palette and indices are the same
// as the list's, byte for byte. Counts and colour sums are 64-bit: a leaf of
// more than 16.8 million bright pixels keeps its colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Rows of pixels whose bytes start blue, green, red: 24-bit pixels, or
// 32-bit ones whose fourth byte is not read.
struct BgrRows {
    const uint8_t* scan0;
    ptrdiff_t stride;  // bytes from one row to the next
    uint32_t width;
    uint32_t height;
    unsigned bytesPerPixel = 3;  // 3 or 4
};

// Rows of 8-bit palette indices, as many as the pixel rows they stand for.
struct IndexRows {
    uint8_t* scan0;
    ptrdiff_t stride;
};

class OctreeQuantizer {
public:
    static constexpr unsigned MinColors = 8;
    static constexpr unsigned MaxColors = 256;

    // All memory the tree will ever need is taken here; the first pass
    // may take more to spare the second one work (see RunMemo).
    explicit OctreeQuantizer(unsigned maxColors);
    ~OctreeQuantizer();
    OctreeQuantizer(const OctreeQuantizer&) = delete;
    OctreeQuantizer& operator=(const OctreeQuantizer&) = delete;

    // False when maxColors is outside 8..256 or the memory could not be had.
    bool IsReady() const { return m_nodes != nullptr; }

    // First pass; successive calls continue the same pixel stream.
    void AddPixels(const BgrRows& pixels);
    // Fills entries (room for maxColors) with 0xAARRGGBB colours in tree
    // order and returns how many; call once, after the last AddPixels.
    unsigned BuildPalette(uint32_t* entries);
    // Second pass, after BuildPalette: the palette index of every pixel.
    // Rows at the place AddPixels read them must still hold those pixels.
    void MapPixels(const BgrRows& pixels, const IndexRows& indices);
    // Palette index of one colour (0x00RRGGBB); 0 for a colour never added.
    unsigned FindPaletteIndex(uint32_t rgb) const;

    unsigned LeafCount() const { return m_leafCount; }
    // The most leaves the tree held at any moment, and the most nodes.
    unsigned PeakLeafCount() const { return m_peakLeafCount; }
    unsigned PeakNodeCount() const { return m_peakNodeCount; }

private:
    struct Node;
    struct QueueEntry;
    // Where the runs of each row start, kept by the first pass of a single
    // AddPixels call so the second pass over the same rows need not look
    // for them again. Rows past what it could hold are looked at twice.
    struct RunMemo {
        BgrRows pixels{};
        std::unique_ptr<uint16_t[]> starts;  // the changes of every kept row, row after row
        std::unique_ptr<uint32_t[]> rowEnds;  // end of each kept row's changes in starts
        uint32_t capacity = 0;               // entries of starts
        uint32_t rows = 0;                   // rows kept
        bool IsFor(const BgrRows& other) const;
    };
    // A binary heap of the inner nodes of one level, least (count, last
    // pixel) first; every inner node has exactly one entry.
    struct LevelQueue {
        QueueEntry* entries = nullptr;
        unsigned size = 0;
    };

    void StartMemo(const BgrRows& pixels);
    template <unsigned PixelBytes>
    void AddRows(const BgrRows& pixels);
    template <unsigned PixelBytes>
    void MapRows(const BgrRows& pixels, const IndexRows& indices);
    void AddRun(uint32_t rgb, uint64_t count, uint64_t firstPixel);  // past the leaf cache
    void AddColor(uint32_t rgb, uint64_t pixelNumber);
    void ReduceToLimit();
    uint16_t TakeFront(LevelQueue& queue);
    void Reposition(LevelQueue& queue, size_t position);
    void Reduce(uint16_t node, unsigned level);
    void BuildPalette(uint16_t node, uint32_t* entries, unsigned& nextIndex);
    uint16_t FindLeaf(uint32_t rgb) const;
    uint8_t FindIndexAndCache(uint32_t rgb);
    uint16_t NewNode(bool leaf, uint32_t prefix);
    void FreeNode(uint16_t node);

    unsigned m_maxColors = 0;
    std::unique_ptr<Node[]> m_nodes;  // the pool; slot 0 is never used, slot 1 is the root
    std::unique_ptr<uint16_t[]> m_freeNodes;
    unsigned m_freeCount = 0;
    unsigned m_nodeCount = 0;
    std::unique_ptr<QueueEntry[]> m_queueEntries;
    LevelQueue m_queues[7];                  // inner levels 1..6; 0 unused
    std::unique_ptr<uint16_t[]> m_leafCache;  // colour hash -> leaf last seen for it
    std::unique_ptr<uint32_t[]> m_indexCache;  // colour hash -> colour and palette index
    unsigned m_leafCount = 0;
    unsigned m_peakLeafCount = 0;
    unsigned m_peakNodeCount = 0;
    uint64_t m_pixelsAdded = 0;
    unsigned m_addCalls = 0;
    RunMemo m_memo;
};
