// The octree colour reduction done the plain way, step by step: one heap
// object per node, every inner node re-placed in one sorted list after each
// count it takes, every pixel of the second pass looked up from the root.
// Slow on purpose; the tests and the benchmark hold the quantizer's palette
// and indices against it.
#pragma once

#include <cstdint>

#include "output/OctreeQuantizer.h"

class PlainOctree {
public:
    explicit PlainOctree(unsigned maxColors);
    ~PlainOctree();
    PlainOctree(const PlainOctree&) = delete;
    PlainOctree& operator=(const PlainOctree&) = delete;

    bool IsReady() const { return true; }
    void AddPixels(const BgrRows& pixels);
    unsigned BuildPalette(uint32_t* entries);
    void MapPixels(const BgrRows& pixels, const IndexRows& indices);
    unsigned LeafCount() const { return m_leafCount; }
    unsigned PeakLeafCount() const { return m_peakLeafCount; }

private:
    struct OctreeNode {
        bool isLeaf = false;
        uint32_t level = 0;
        OctreeNode* children[8] = {};
        uint64_t pixelCount = 0;
        uint64_t sumRed = 0;
        uint64_t sumGreen = 0;
        uint64_t sumBlue = 0;
        OctreeNode* next = nullptr;  // reducible list, inner nodes only
        OctreeNode* prev = nullptr;
    };

    void AddColor(uint32_t red, uint32_t green, uint32_t blue);
    void Reposition(OctreeNode* node);
    void Reduce(OctreeNode* node);
    void BuildPalette(OctreeNode* node, uint32_t* entries, unsigned& nextIndex);
    unsigned FindPaletteIndex(uint32_t red, uint32_t green, uint32_t blue) const;
    void Unlink(OctreeNode* node);
    void InsertBefore(OctreeNode* node, OctreeNode* before);
    void FreeBelow(OctreeNode* node);

    unsigned m_maxColors;
    OctreeNode m_head;  // sentinel in front of the reducible list
    OctreeNode* m_root;
    unsigned m_leafCount = 0;
    unsigned m_peakLeafCount = 0;
};
