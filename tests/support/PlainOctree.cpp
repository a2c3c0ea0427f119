#include "tests/support/PlainOctree.h"

namespace {

unsigned ChildIndex(uint32_t red, uint32_t green, uint32_t blue, uint32_t level)
{
    return 4 * ((red >> level) & 1) + 2 * ((green >> level) & 1) + ((blue >> level) & 1);
}

}  // namespace

PlainOctree::PlainOctree(unsigned maxColors) : m_maxColors(maxColors), m_root(new OctreeNode)
{
    m_root->level = 7;
    m_head.next = m_root;
    m_root->prev = &m_head;
}

PlainOctree::~PlainOctree()
{
    FreeBelow(m_root);
    delete m_root;
}

void PlainOctree::FreeBelow(OctreeNode* node)
{
    for (OctreeNode*& child : node->children) {
        if (child) {
            FreeBelow(child);
            delete child;
            child = nullptr;
        }
    }
}

void PlainOctree::Unlink(OctreeNode* node)
{
    node->prev->next = node->next;
    if (node->next)
        node->next->prev = node->prev;
    node->next = node->prev = nullptr;
}

void PlainOctree::InsertBefore(OctreeNode* node, OctreeNode* before)
{
    node->next = before;
    node->prev = before->prev;
    before->prev->next = node;
    before->prev = node;
}

void PlainOctree::AddPixels(const BgrRows& pixels)
{
    for (uint32_t y = 0; y < pixels.height; ++y) {
        const uint8_t* p = pixels.scan0 + static_cast<ptrdiff_t>(y) * pixels.stride;
        for (uint32_t x = 0; x < pixels.width; ++x, p += pixels.bytesPerPixel) {
            AddColor(p[2], p[1], p[0]);
            while (m_leafCount > m_maxColors) {
                OctreeNode* front = m_head.next;
                if (!front->next)
                    break;
                Unlink(front);
                Reduce(front);
            }
        }
    }
}

void PlainOctree::AddColor(uint32_t red, uint32_t green, uint32_t blue)
{
    OctreeNode* node = m_root;
    ++node->pixelCount;
    while (!node->isLeaf) {
        if (node->next)
            Reposition(node);
        OctreeNode*& child = node->children[ChildIndex(red, green, blue, node->level)];
        if (!child) {
            child = new OctreeNode;
            child->level = node->level - 1;
            if (child->level == 0) {
                child->isLeaf = true;
                if (++m_leafCount > m_peakLeafCount)
                    m_peakLeafCount = m_leafCount;
            } else {
                // right behind the head, then to its place
                OctreeNode* first = m_head.next;
                InsertBefore(child, first);
                Reposition(child);
            }
        }
        node = child;
        ++node->pixelCount;
    }
    node->sumRed += red;
    node->sumGreen += green;
    node->sumBlue += blue;
}

void PlainOctree::Reposition(OctreeNode* node)
{
    OctreeNode* n = node->next;
    while (!(n->level > node->level || (n->level == node->level && n->pixelCount > node->pixelCount)))
        n = n->next;
    if (n == node->next)
        return;
    Unlink(node);
    InsertBefore(node, n);
}

void PlainOctree::Reduce(OctreeNode* node)
{
    uint64_t sumRed = 0;
    uint64_t sumGreen = 0;
    uint64_t sumBlue = 0;
    for (OctreeNode*& child : node->children) {
        if (!child)
            continue;
        sumRed += child->sumRed;
        sumGreen += child->sumGreen;
        sumBlue += child->sumBlue;
        FreeBelow(child);
        delete child;
        child = nullptr;
        --m_leafCount;
    }
    node->sumRed = sumRed;
    node->sumGreen = sumGreen;
    node->sumBlue = sumBlue;
    node->isLeaf = true;
    ++m_leafCount;
}

unsigned PlainOctree::BuildPalette(uint32_t* entries)
{
    unsigned nextIndex = 0;
    BuildPalette(m_root, entries, nextIndex);
    return nextIndex;
}

void PlainOctree::BuildPalette(OctreeNode* node, uint32_t* entries, unsigned& nextIndex)
{
    if (node->isLeaf) {
        const uint32_t red = static_cast<uint8_t>(node->sumRed / node->pixelCount);
        const uint32_t green = static_cast<uint8_t>(node->sumGreen / node->pixelCount);
        const uint32_t blue = static_cast<uint8_t>(node->sumBlue / node->pixelCount);
        entries[nextIndex] = 0xFF000000u | red << 16 | green << 8 | blue;
        node->pixelCount = nextIndex++;
        return;
    }
    for (OctreeNode* child : node->children) {
        if (child)
            BuildPalette(child, entries, nextIndex);
    }
}

unsigned PlainOctree::FindPaletteIndex(uint32_t red, uint32_t green, uint32_t blue) const
{
    const OctreeNode* node = m_root->children[ChildIndex(red, green, blue, 7)];
    while (node && !node->isLeaf)
        node = node->children[ChildIndex(red, green, blue, node->level)];
    return node ? static_cast<unsigned>(node->pixelCount) : 0;
}

void PlainOctree::MapPixels(const BgrRows& pixels, const IndexRows& indices)
{
    for (uint32_t y = 0; y < pixels.height; ++y) {
        const uint8_t* p = pixels.scan0 + static_cast<ptrdiff_t>(y) * pixels.stride;
        uint8_t* out = indices.scan0 + static_cast<ptrdiff_t>(y) * indices.stride;
        for (uint32_t x = 0; x < pixels.width; ++x, p += pixels.bytesPerPixel)
            out[x] = static_cast<uint8_t>(FindPaletteIndex(p[2], p[1], p[0]));
    }
}
