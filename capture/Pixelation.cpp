#include "capture/Pixelation.h"

#include <windows.h>
#include <ntsecapi.h>

#include <algorithm>

std::vector<int8_t> DrawPixelOffsets(size_t count)
{
    std::vector<int8_t> offsets;
    offsets.reserve(count);
    // 33 values; bytes from 231 up would favour the low ones and are dropped.
    unsigned char buffer[4096];
    while (offsets.size() < count) {
        // A drag asks for a few blocks' worth per mouse move: no more bytes
        // than that (and a margin for those dropped) are drawn.
        const size_t want = std::min(sizeof(buffer), (count - offsets.size()) * 9 / 8 + 16);
        if (!RtlGenRandom(buffer, static_cast<ULONG>(want)))
            break;
        for (size_t i = 0; i < want && offsets.size() < count; ++i)
            if (buffer[i] < 231)
                offsets.push_back(static_cast<int8_t>(buffer[i] % 33 - 16));
    }
    // Without the random source the blocks still get an offset each, never
    // none: a hash of the position is better than the plain mean.
    while (offsets.size() < count)
        offsets.push_back(static_cast<int8_t>((offsets.size() * 2654435761u >> 7) % 33) - 16);
    return offsets;
}

int BlockColumns(const CRect& rect, int blockSize) { return (rect.Width() + blockSize - 1) / blockSize; }
int BlockRows(const CRect& rect, int blockSize) { return (rect.Height() + blockSize - 1) / blockSize; }

namespace {

// The colour of one block: per channel the rounded mean plus its offset.
COLORREF BlockColour(const PixelView& image, const CRect& block, const int8_t* offset)
{
    unsigned sum[3] = {};
    for (int y = block.top; y < block.bottom; ++y) {
        const DWORD* line = image.bits + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        for (int x = block.left; x < block.right; ++x) {
            const DWORD p = line[x];
            sum[0] += (p >> 16) & 0xFF;
            sum[1] += (p >> 8) & 0xFF;
            sum[2] += p & 0xFF;
        }
    }
    const unsigned count = static_cast<unsigned>(block.Width() * block.Height());
    int channel[3];
    for (int c = 0; c < 3; ++c)
        channel[c] = std::clamp(static_cast<int>((sum[c] * 2 + count) / (2 * count)) + offset[c], 0, 255);
    return RGB(channel[0], channel[1], channel[2]);
}

CRect BlockRect(const CRect& rect, int blockSize, int row, int column)
{
    const int left = rect.left + column * blockSize;
    const int top = rect.top + row * blockSize;
    return CRect(left, top, std::min<int>(left + blockSize, rect.right), std::min<int>(top + blockSize, rect.bottom));
}

}  // namespace

std::vector<COLORREF> PixelateBlocks(const PixelView& image, const CRect& rect, int blockSize,
                                     const std::vector<int8_t>& offsets)
{
    const int columns = BlockColumns(rect, blockSize);
    const int rows = BlockRows(rect, blockSize);
    std::vector<COLORREF> blocks(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    if (blocks.empty() || offsets.size() < blocks.size() * 3)
        return {};
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const size_t index = static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(column);
            blocks[index] = BlockColour(image, BlockRect(rect, blockSize, row, column), &offsets[index * 3]);
        }
    return blocks;
}

void RepixelateMark(Mark& mark, const PixelView& image, const CRect& rect)
{
    const int bs = mark.size;
    const CRect bounds(0, 0, image.width, image.height);
    CRect fresh;
    ::IntersectRect(&fresh, &rect, &bounds);
    if (fresh.IsRectEmpty() || bs <= 0) {
        mark.rect = fresh;
        mark.offsets.clear();
        mark.blocks.clear();
        return;
    }
    // Blocks whole in both rectangles on the same grid are the same pixels:
    // they keep their colour and offsets.
    const CRect old = mark.rect;
    const bool sameGrid = !old.IsRectEmpty() && old.TopLeft() == fresh.TopLeft() &&
                          mark.blocks.size() == static_cast<size_t>(BlockColumns(old, bs)) *
                                                    static_cast<size_t>(BlockRows(old, bs));
    const int keptColumns = sameGrid ? std::min(old.Width(), fresh.Width()) / bs : 0;
    const int keptRows = sameGrid ? std::min(old.Height(), fresh.Height()) / bs : 0;
    const int oldColumns = sameGrid ? BlockColumns(old, bs) : 0;

    const int columns = BlockColumns(fresh, bs);
    const int rows = BlockRows(fresh, bs);
    const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    const std::vector<int8_t> drawn =
        DrawPixelOffsets((count - static_cast<size_t>(keptColumns) * static_cast<size_t>(keptRows)) * 3);
    size_t next = 0;
    std::vector<int8_t> offsets(count * 3);
    std::vector<COLORREF> blocks(count);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const size_t index = static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(column);
            int8_t* offset = &offsets[index * 3];
            if (row < keptRows && column < keptColumns) {
                const size_t from = static_cast<size_t>(row) * static_cast<size_t>(oldColumns) + static_cast<size_t>(column);
                std::copy_n(&mark.offsets[from * 3], 3, offset);
                blocks[index] = mark.blocks[from];
                continue;
            }
            std::copy_n(&drawn[next], 3, offset);
            next += 3;
            blocks[index] = BlockColour(image, BlockRect(fresh, bs, row, column), offset);
        }
    mark.rect = fresh;
    mark.offsets = std::move(offsets);
    mark.blocks = std::move(blocks);
}

Mark MakePixelateMark(const PixelView& image, const CRect& rect, int blockSize)
{
    Mark mark;
    mark.tool = MarkTool::Pixelate;
    mark.size = blockSize;
    RepixelateMark(mark, image, rect);
    return mark;
}
