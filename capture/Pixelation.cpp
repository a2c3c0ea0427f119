#include "capture/Pixelation.h"

#include <windows.h>
#include <ntsecapi.h>

#include <algorithm>

std::vector<int8_t> DrawPixelOffsets(size_t count)
{
    std::vector<int8_t> offsets;
    offsets.reserve(count);
    // 33 values; bytes from 231 up would favour the low ones and are dropped.
    unsigned char buffer[256];
    while (offsets.size() < count) {
        if (!RtlGenRandom(buffer, sizeof(buffer)))
            break;
        for (unsigned char b : buffer)
            if (b < 231 && offsets.size() < count)
                offsets.push_back(static_cast<int8_t>(b % 33 - 16));
    }
    // Without the random source the blocks still get an offset each, never
    // none: a hash of the position is better than the plain mean.
    while (offsets.size() < count)
        offsets.push_back(static_cast<int8_t>((offsets.size() * 2654435761u >> 7) % 33) - 16);
    return offsets;
}

int BlockColumns(const CRect& rect, int blockSize) { return (rect.Width() + blockSize - 1) / blockSize; }
int BlockRows(const CRect& rect, int blockSize) { return (rect.Height() + blockSize - 1) / blockSize; }

std::vector<COLORREF> PixelateBlocks(const PixelView& image, const CRect& rect, int blockSize,
                                     const std::vector<int8_t>& offsets)
{
    const int columns = BlockColumns(rect, blockSize);
    const int rows = BlockRows(rect, blockSize);
    std::vector<COLORREF> blocks(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    if (blocks.empty() || offsets.size() < blocks.size() * 3)
        return {};
    std::vector<unsigned> sums(static_cast<size_t>(columns) * 3);
    for (int row = 0; row < rows; ++row) {
        const int top = rect.top + row * blockSize;
        const int bottom = std::min<int>(top + blockSize, rect.bottom);
        std::fill(sums.begin(), sums.end(), 0u);
        for (int y = top; y < bottom; ++y) {
            const DWORD* line = image.bits + static_cast<size_t>(y) * static_cast<size_t>(image.width);
            for (int x = rect.left; x < rect.right; ++x) {
                unsigned* sum = &sums[static_cast<size_t>((x - rect.left) / blockSize) * 3];
                const DWORD p = line[x];
                sum[0] += (p >> 16) & 0xFF;
                sum[1] += (p >> 8) & 0xFF;
                sum[2] += p & 0xFF;
            }
        }
        for (int column = 0; column < columns; ++column) {
            const int left = rect.left + column * blockSize;
            const unsigned count =
                static_cast<unsigned>((std::min<int>(left + blockSize, rect.right) - left) * (bottom - top));
            const size_t index = static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(column);
            int channel[3];
            for (int c = 0; c < 3; ++c) {
                const int mean = static_cast<int>((sums[static_cast<size_t>(column) * 3 + static_cast<size_t>(c)] * 2 + count) / (2 * count));
                channel[c] = std::clamp(mean + offsets[index * 3 + static_cast<size_t>(c)], 0, 255);
            }
            blocks[index] = RGB(channel[0], channel[1], channel[2]);
        }
    }
    return blocks;
}

Mark MakePixelateMark(const PixelView& image, const CRect& rect, int blockSize)
{
    Mark mark;
    mark.tool = MarkTool::Pixelate;
    mark.size = blockSize;
    const CRect bounds(0, 0, image.width, image.height);
    ::IntersectRect(&mark.rect, &rect, &bounds);
    if (mark.rect.IsRectEmpty())
        return mark;
    const size_t count = static_cast<size_t>(BlockColumns(mark.rect, blockSize)) *
                         static_cast<size_t>(BlockRows(mark.rect, blockSize));
    mark.offsets = DrawPixelOffsets(count * 3);
    mark.blocks = PixelateBlocks(image, mark.rect, blockSize, mark.offsets);
    return mark;
}
