// Where a row of pixels changes colour. Both octree passes walk a row run by
// run (screens are mostly runs of one colour); finding the runs pixel by
// pixel, or eight pixels at a time with a loop over the changes, costs a
// mispredicted branch at almost every run. Here sixteen pixels are compared
// with their left neighbours at once and the positions of the changes are
// written from a table without a branch; the runs are then walked in a loop
// that ends once a row (or span), not once a run.
//
// Pixels are 3 bytes (blue, green, red) or 4 (the same and a fourth byte
// that is never compared).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pixel_runs {

// The longest span ForEachRun looks at in one go, and the room its changes need.
constexpr uint32_t kSpan = 2048;
constexpr uint32_t kStartsRoom = kSpan + 16;

// Colour of the pixel at p as 0x00RRGGBB, which is also how the blue, green,
// red bytes read as a little-endian number.
inline uint32_t LoadPixel(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
}

// The same for a pixel that is not the last of its row: four bytes read at
// once, the fourth belonging to the next pixel or being the fourth byte.
inline uint32_t LoadPixelBeforeLast(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value & 0xFFFFFFu;  // little-endian: blue, green, red are the low bytes
}

// For each of the 256 patterns of eight changed/unchanged pixels: the
// positions (0 to 7) of the changed ones, in order, then zeros; and how many.
struct ChangeTable {
    uint16_t positions[256][8];
    uint8_t count[256];

    constexpr ChangeTable() : positions(), count()
    {
        for (unsigned pattern = 0; pattern < 256; ++pattern) {
            unsigned n = 0;
            for (unsigned bit = 0; bit < 8; ++bit) {
                if (pattern & (1u << bit))
                    positions[pattern][n++] = static_cast<uint16_t>(bit);
            }
            count[pattern] = static_cast<uint8_t>(n);
        }
    }
};
inline constexpr ChangeTable kChangeTable{};

// Writes offset + the positions of the changes in an eight-pixel pattern to
// out (eight entries are always written) and returns how many there are.
inline unsigned WriteChanges(unsigned pattern, uint16_t offset, uint16_t* out)
{
#if defined(__SSE2__)
    const __m128i positions = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kChangeTable.positions[pattern]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_add_epi16(positions, _mm_set1_epi16(static_cast<short>(offset))));
#else
    for (unsigned i = 0; i < 8; ++i)
        out[i] = static_cast<uint16_t>(kChangeTable.positions[pattern][i] + offset);
#endif
    return kChangeTable.count[pattern];
}

// Bit i set where pixel i of the sixteen at p differs from the one before it
// (the pixel before p must be readable; only these sixteen pixels are read).
template <unsigned PixelBytes>
inline unsigned ChangesInSixteen(const uint8_t* p);

template <>
inline unsigned ChangesInSixteen<3>(const uint8_t* p)
{
#if defined(__SSE2__)
    const auto same = [p](int offset) {
        return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset - 3))))));
    };
    const uint64_t differ = ~(same(0) | same(16) << 16 | same(32) << 32) & 0xFFFFFFFFFFFFull;  // a bit per byte
#else
    const uint8_t* before = p - 3;
    uint64_t differ = 0;
    for (unsigned i = 0; i < 48; ++i)
        differ |= static_cast<uint64_t>(p[i] != before[i]) << i;
#endif
    // the three bytes of each pixel gathered into bit 3i, then bit 3i moved
    // to bit i in steps: pairs, fours, eights, sixteen
    uint64_t bits = (differ | differ >> 1 | differ >> 2) & 0x249249249249ull;
    bits = (bits | bits >> 2) & 0x0C30C30C30C3ull;
    bits = (bits | bits >> 4) & 0x00F00F00F00Full;
    bits = (bits | bits >> 8) & 0x0000FF0000FFull;
    return static_cast<unsigned>((bits | bits >> 16) & 0xFFFFu);
}

template <>
inline unsigned ChangesInSixteen<4>(const uint8_t* p)
{
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const auto same = [p, colour](int offset) {
        const __m128i equal = _mm_cmpeq_epi32(
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset)), colour),
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset - 4)), colour));
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(equal)));
    };
    return ~(same(0) | same(16) << 4 | same(32) << 8 | same(48) << 12) & 0xFFFFu;
#else
    unsigned changes = 0;
    for (unsigned i = 0; i < 16; ++i)
        changes |= static_cast<unsigned>(LoadPixel(p + 4 * i) != LoadPixel(p + 4 * i - 4)) << i;
    return changes;
#endif
}

// Writes, as offsets from base, every x in [from, to) whose pixel differs
// from pixel x - 1, and returns how many. 1 <= from, base <= from and
// to - base <= 65536; starts needs room for to - from + 16 entries, as
// eight are written at a time.
template <unsigned PixelBytes>
inline unsigned FindChanges(const uint8_t* row, uint32_t from, uint32_t to, uint32_t base, uint16_t* starts)
{
    unsigned count = 0;
    uint32_t x = from;
    for (; x + 16 <= to; x += 16) {
        const unsigned changes = ChangesInSixteen<PixelBytes>(row + PixelBytes * static_cast<size_t>(x));
        count += WriteChanges(changes & 0xFFu, static_cast<uint16_t>(x - base), starts + count);
        count += WriteChanges(changes >> 8, static_cast<uint16_t>(x + 8 - base), starts + count);
    }
    for (; x < to; ++x) {
        const uint8_t* p = row + PixelBytes * static_cast<size_t>(x);
        starts[count] = static_cast<uint16_t>(x - base);
        count += LoadPixel(p) != LoadPixel(p - PixelBytes);
    }
    return count;
}

// The longest row whose changes FindRowChanges can write as offsets.
constexpr uint32_t kLongestRecordedRow = 65536;

// Writes every x of a row whose pixel differs from pixel x - 1, and returns
// how many. width <= kLongestRecordedRow; starts needs width + 16 entries.
template <unsigned PixelBytes>
inline unsigned FindRowChanges(const uint8_t* row, uint32_t width, uint16_t* starts)
{
    return width > 1 ? FindChanges<PixelBytes>(row, 1, width, 0, starts) : 0;
}

// Calls emit(rgb, x, length) for each run of a row whose changes are known
// (from FindRowChanges), left to right. emit is taken by value, so what it
// holds stays in registers whatever it writes.
template <unsigned PixelBytes, class Emit>
inline void ForEachRunOf(const uint8_t* row, uint32_t width, const uint16_t* starts, unsigned count, Emit emit)
{
    if (width == 0)
        return;
    uint32_t runStart = 0;
    for (unsigned i = 0; i < count; ++i) {
        const uint32_t boundary = starts[i];
        emit(LoadPixelBeforeLast(row + PixelBytes * static_cast<size_t>(runStart)), runStart, boundary - runStart);
        runStart = boundary;
    }
    emit(LoadPixel(row + PixelBytes * static_cast<size_t>(runStart)), runStart, width - runStart);
}

// Calls emit(rgb, x, length) for each run of identical pixels of a row, left
// to right, finding the changes a span at a time.
template <unsigned PixelBytes, class Emit>
inline void ForEachRun(const uint8_t* row, uint32_t width, Emit emit)
{
    if (width == 0)
        return;
    uint16_t starts[kStartsRoom];
    uint32_t runStart = 0;
    for (uint32_t from = 1; from < width; from += kSpan) {
        const uint32_t to = width - from > kSpan ? from + kSpan : width;
        const unsigned count = FindChanges<PixelBytes>(row, from, to, from, starts);
        for (unsigned i = 0; i < count; ++i) {
            const uint32_t boundary = from + starts[i];
            emit(LoadPixelBeforeLast(row + PixelBytes * static_cast<size_t>(runStart)), runStart,
                 boundary - runStart);
            runStart = boundary;
        }
    }
    emit(LoadPixel(row + PixelBytes * static_cast<size_t>(runStart)), runStart, width - runStart);
}

}  // namespace pixel_runs
