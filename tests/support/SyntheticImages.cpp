#include "tests/support/SyntheticImages.h"

#include <algorithm>
#include <cmath>

BgrImage::BgrImage(uint32_t w, uint32_t h)
    : width(w), height(h), stride(static_cast<ptrdiff_t>((w * 3 + 3) & ~3u)),
      bytes(static_cast<size_t>(stride) * h)
{
}

void BgrImage::Set(uint32_t x, uint32_t y, uint32_t rgb)
{
    uint8_t* p = &bytes[static_cast<size_t>(y) * stride + x * 3];
    p[0] = static_cast<uint8_t>(rgb);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb >> 16);
}

uint32_t BgrImage::Get(uint32_t x, uint32_t y) const
{
    const uint8_t* p = &bytes[static_cast<size_t>(y) * stride + x * 3];
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
}

namespace {

struct Colour {
    double r, g, b;
};

uint8_t ToByte(double v)
{
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

uint32_t Pack(const Colour& c)
{
    return static_cast<uint32_t>(ToByte(c.r)) << 16 | static_cast<uint32_t>(ToByte(c.g)) << 8 | ToByte(c.b);
}

Colour Unpack(uint32_t rgb)
{
    return Colour{static_cast<double>(rgb >> 16), static_cast<double>((rgb >> 8) & 0xFF),
                  static_cast<double>(rgb & 0xFF)};
}

Colour Mix(const Colour& a, const Colour& b, double t)
{
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Draws into a BgrImage with clipping; all shapes a desktop is made of.
class Painter {
public:
    explicit Painter(BgrImage& image) : m_image(image) {}

    void Fill(int x0, int y0, int x1, int y1, uint32_t rgb)
    {
        Clip(x0, y0, x1, y1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                m_image.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), rgb);
    }

    // Top to bottom (vertical) or left to right.
    void Gradient(int x0, int y0, int x1, int y1, uint32_t from, uint32_t to, bool vertical)
    {
        const Colour a = Unpack(from);
        const Colour b = Unpack(to);
        const int span = vertical ? y1 - y0 : x1 - x0;
        const int ox = x0;
        const int oy = y0;
        Clip(x0, y0, x1, y1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const double t = span > 1 ? static_cast<double>(vertical ? y - oy : x - ox) / (span - 1) : 0.0;
                m_image.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), Pack(Mix(a, b, t)));
            }
    }

    void Frame(int x0, int y0, int x1, int y1, uint32_t rgb)
    {
        Fill(x0, y0, x1, y0 + 1, rgb);
        Fill(x0, y1 - 1, x1, y1, rgb);
        Fill(x0, y0, x0 + 1, y1, rgb);
        Fill(x1 - 1, y0, x1, y1, rgb);
    }

    // A soft shadow of the given width around a rectangle.
    void Shadow(int x0, int y0, int x1, int y1, int width)
    {
        for (int d = width; d >= 1; --d) {
            const double strength = 0.35 * (1.0 - static_cast<double>(d - 1) / width);
            Darken(x0 - d + width / 2, y1 + d - 1, x1 + d, y1 + d, strength);
            Darken(x1 + d - 1, y0 - d + width / 2, x1 + d, y1 + d - 1, strength);
        }
    }

    void Blend(int x, int y, const Colour& ink, double coverage)
    {
        if (x < 0 || y < 0 || x >= static_cast<int>(m_image.width) || y >= static_cast<int>(m_image.height) ||
            coverage <= 0.0)
            return;
        const Colour under = Unpack(m_image.Get(static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
        m_image.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), Pack(Mix(under, ink, std::min(coverage, 1.0))));
    }

    // Coverage per channel, as sub-pixel text leaves it.
    void BlendChannels(int x, int y, const Colour& ink, double cr, double cg, double cb)
    {
        if (x < 0 || y < 0 || x >= static_cast<int>(m_image.width) || y >= static_cast<int>(m_image.height))
            return;
        const Colour under = Unpack(m_image.Get(static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
        const Colour out{under.r + (ink.r - under.r) * cr, under.g + (ink.g - under.g) * cg,
                         under.b + (ink.b - under.b) * cb};
        m_image.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), Pack(out));
    }

    int Width() const { return static_cast<int>(m_image.width); }
    int Height() const { return static_cast<int>(m_image.height); }
    BgrImage& Image() { return m_image; }

private:
    void Clip(int& x0, int& y0, int& x1, int& y1) const
    {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, static_cast<int>(m_image.width));
        y1 = std::min(y1, static_cast<int>(m_image.height));
    }

    void Darken(int x0, int y0, int x1, int y1, double strength)
    {
        Clip(x0, y0, x1, y1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                Blend(x, y, Colour{0, 0, 0}, strength);
    }

    BgrImage& m_image;
};

// Glyph coverage masks: a few strokes per glyph on a small grid, rasterised
// with a soft edge, so text brings the in-between colours real text has.
class Font {
public:
    Font(int cellWidth, int cellHeight, uint32_t seed) : m_cellWidth(cellWidth), m_cellHeight(cellHeight)
    {
        TestRandom random(seed);
        const double penWidth = std::max(1.0, cellWidth / 7.0);
        for (auto& glyph : m_glyphs) {
            glyph.assign(static_cast<size_t>(cellWidth * 3 * cellHeight), 0.0);
            const int strokes = 2 + static_cast<int>(random.Below(3));
            for (int s = 0; s < strokes; ++s) {
                const double ax = (1 + random.Below(4)) * cellWidth / 6.0;
                const double ay = (3 + random.Below(7)) * cellHeight / 12.0;
                const double bx = (1 + random.Below(4)) * cellWidth / 6.0;
                const double by = (3 + random.Below(7)) * cellHeight / 12.0;
                // three samples per pixel across, for sub-pixel text
                for (int y = 0; y < cellHeight; ++y)
                    for (int sx = 0; sx < cellWidth * 3; ++sx) {
                        const double px = (sx + 0.5) / 3.0;
                        const double py = y + 0.5;
                        const double d = Distance(px, py, ax, ay, bx, by);
                        const double c = std::clamp(penWidth / 2 + 0.5 - d, 0.0, 1.0);
                        double& cell = glyph[static_cast<size_t>(y * cellWidth * 3 + sx)];
                        cell = std::max(cell, c);
                    }
            }
        }
    }

    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }

    // Grey-scale anti-aliased glyph.
    void Draw(Painter& painter, int x, int y, unsigned code, const Colour& ink) const
    {
        const std::vector<double>& glyph = m_glyphs[code % kGlyphs];
        for (int gy = 0; gy < m_cellHeight; ++gy)
            for (int gx = 0; gx < m_cellWidth; ++gx) {
                const size_t at = static_cast<size_t>(gy * m_cellWidth * 3 + gx * 3);
                const double coverage = (glyph[at] + glyph[at + 1] + glyph[at + 2]) / 3.0;
                painter.Blend(x + gx, y + gy, ink, coverage);
            }
    }

    // Sub-pixel glyph: each channel takes the coverage of its third.
    void DrawSubpixel(Painter& painter, int x, int y, unsigned code, const Colour& ink) const
    {
        const std::vector<double>& glyph = m_glyphs[code % kGlyphs];
        for (int gy = 0; gy < m_cellHeight; ++gy)
            for (int gx = 0; gx < m_cellWidth; ++gx) {
                const size_t at = static_cast<size_t>(gy * m_cellWidth * 3 + gx * 3);
                if (glyph[at] + glyph[at + 1] + glyph[at + 2] > 0.0)
                    painter.BlendChannels(x + gx, y + gy, ink, glyph[at], glyph[at + 1], glyph[at + 2]);
            }
    }

private:
    static double Distance(double px, double py, double ax, double ay, double bx, double by)
    {
        const double dx = bx - ax;
        const double dy = by - ay;
        const double length2 = dx * dx + dy * dy;
        const double t = length2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / length2, 0.0, 1.0) : 0.0;
        const double qx = ax + t * dx - px;
        const double qy = ay + t * dy - py;
        return std::sqrt(qx * qx + qy * qy);
    }

    static constexpr unsigned kGlyphs = 48;
    int m_cellWidth;
    int m_cellHeight;
    std::vector<double> m_glyphs[kGlyphs];
};

// Lines of words of random length inside a box.
void DrawText(Painter& painter, const Font& font, TestRandom& random, int x0, int y0, int x1, int y1,
              const Colour& ink, bool subpixel, int lineGap)
{
    for (int y = y0; y + font.CellHeight() <= y1; y += font.CellHeight() + lineGap) {
        int x = x0 + static_cast<int>(random.Below(3)) * font.CellWidth() * 2;
        const int lineEnd = x1 - static_cast<int>(random.Below(static_cast<uint32_t>(std::max(1, (x1 - x0) / 3))));
        while (x + font.CellWidth() <= lineEnd) {
            const int letters = 2 + static_cast<int>(random.Below(8));
            for (int i = 0; i < letters && x + font.CellWidth() <= lineEnd; ++i, x += font.CellWidth()) {
                if (subpixel)
                    font.DrawSubpixel(painter, x, y, random.Next(), ink);
                else
                    font.Draw(painter, x, y, random.Next(), ink);
            }
            x += font.CellWidth();
        }
    }
}

struct Box {
    int x0, y0, x1, y1;
};

// Frame, title bar with its text and buttons, and the client box it leaves.
Box DrawWindow(Painter& painter, const Font& font, TestRandom& random, Box outer, int scale, bool active)
{
    painter.Shadow(outer.x0, outer.y0, outer.x1, outer.y1, 6 * scale);
    const int title = 30 * scale;
    if (active)
        painter.Gradient(outer.x0, outer.y0, outer.x1, outer.y0 + title, 0x1F4E8C, 0x3C7CC8, false);
    else
        painter.Fill(outer.x0, outer.y0, outer.x1, outer.y0 + title, 0xDCDCDC);
    const Colour titleInk = active ? Colour{255, 255, 255} : Colour{90, 90, 90};
    DrawText(painter, font, random, outer.x0 + 10 * scale, outer.y0 + (title - font.CellHeight()) / 2,
             outer.x0 + (outer.x1 - outer.x0) / 2, outer.y0 + title, titleInk, false, 0);
    const int button = 22 * scale;
    for (int i = 0; i < 3; ++i) {
        const int bx = outer.x1 - (i + 1) * (button + 4 * scale);
        const int by = outer.y0 + (title - button) / 2;
        painter.Fill(bx, by, bx + button, by + button, i == 0 ? 0xE81123 : (active ? 0x2B5FA0 : 0xC8C8C8));
        // an anti-aliased cross
        for (int t = 0; t < button / 2; ++t) {
            const double c = 0.6 + 0.4 * ((t % 3) / 2.0);
            painter.Blend(bx + button / 4 + t, by + button / 4 + t, Colour{255, 255, 255}, c);
            painter.Blend(bx + button * 3 / 4 - t, by + button / 4 + t, Colour{255, 255, 255}, c);
        }
    }
    painter.Frame(outer.x0, outer.y0, outer.x1, outer.y1, active ? 0x2A5A96 : 0xA0A0A0);
    const int menu = 24 * scale;
    painter.Fill(outer.x0 + 1, outer.y0 + title, outer.x1 - 1, outer.y0 + title + menu, 0xF3F3F3);
    DrawText(painter, font, random, outer.x0 + 8 * scale, outer.y0 + title + (menu - font.CellHeight()) / 2,
             outer.x0 + (outer.x1 - outer.x0) / 2, outer.y0 + title + menu, Colour{30, 30, 30}, false, 0);
    return Box{outer.x0 + 1, outer.y0 + title + menu, outer.x1 - 1, outer.y1 - 1};
}

void DrawPhoto(Painter& painter, Box box, uint32_t seed)
{
    TestRandom random(seed);
    const double w = box.x1 - box.x0;
    const double h = box.y1 - box.y0;
    for (int y = std::max(box.y0, 0); y < std::min(box.y1, painter.Height()); ++y)
        for (int x = std::max(box.x0, 0); x < std::min(box.x1, painter.Width()); ++x) {
            const double u = (x - box.x0) / w;
            const double v = (y - box.y0) / h;
            const double horizon = 0.45 + 0.08 * std::sin(u * 9.0) + 0.04 * std::sin(u * 23.0 + 1.0);
            Colour c;
            if (v < horizon) {  // sky with a sun glow
                const double glow = std::exp(-((u - 0.7) * (u - 0.7) + (v - 0.2) * (v - 0.2)) * 18.0);
                c = Mix(Colour{70, 120, 200}, Colour{190, 215, 240}, v / horizon);
                c = Mix(c, Colour{255, 240, 200}, glow);
            } else {  // hills and grass with texture
                const double t = (v - horizon) / (1.0 - horizon);
                const double texture = 0.5 + 0.25 * std::sin(u * 140.0 + v * 60.0) + 0.25 * std::sin(v * 210.0);
                c = Mix(Colour{60, 110, 40}, Colour{120, 150, 60}, texture);
                c = Mix(c, Colour{40, 60, 20}, t * 0.6);
            }
            // sensor grain
            c.r += static_cast<double>(random.Below(13)) - 6.0;
            c.g += static_cast<double>(random.Below(13)) - 6.0;
            c.b += static_cast<double>(random.Below(13)) - 6.0;
            painter.Image().Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), Pack(c));
        }
}

}  // namespace

BgrImage MakeDesktopImage(uint32_t width, uint32_t height)
{
    BgrImage image(width, height);
    Painter painter(image);
    TestRandom random(20240611);
    const int W = static_cast<int>(width);
    const int H = static_cast<int>(height);
    const int scale = std::max(1, H / 1080);
    const Font font(7 * scale, 13 * scale, 7);

    // Wallpaper: a diagonal blend of three colours with a soft light.
    const Colour top{24, 58, 110};
    const Colour middle{92, 64, 140};
    const Colour bottom{220, 120, 80};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double t = 0.65 * x / W + 0.35 * y / H;
            Colour c = t < 0.5 ? Mix(top, middle, t * 2) : Mix(middle, bottom, (t - 0.5) * 2);
            const double dx = (x - W * 0.3) / W;
            const double dy = (y - H * 0.35) / H;
            c = Mix(c, Colour{255, 255, 255}, 0.18 * std::exp(-(dx * dx + dy * dy) * 12.0));
            image.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), Pack(c));
        }

    // Desktop icons with labels down the left edge.
    for (int i = 0; i < 6; ++i) {
        const int ix = 20 * scale;
        const int iy = 20 * scale + i * 90 * scale;
        painter.Gradient(ix, iy, ix + 48 * scale, iy + 48 * scale, 0xF0C040 - static_cast<uint32_t>(i) * 0x101010,
                         0xB07010, true);
        DrawText(painter, font, random, ix - 4 * scale, iy + 52 * scale, ix + 60 * scale, iy + 52 * scale + font.CellHeight(),
                 Colour{255, 255, 255}, false, 0);
    }

    // An editor: white page, line numbers, text in several syntax colours.
    Box editor = DrawWindow(painter, font, random, Box{W * 8 / 100, H * 6 / 100, W * 58 / 100, H * 80 / 100}, scale, false);
    painter.Fill(editor.x0, editor.y0, editor.x1, editor.y1, 0xFFFFFF);
    painter.Fill(editor.x0, editor.y0, editor.x0 + 40 * scale, editor.y1, 0xF0F0F0);
    DrawText(painter, font, random, editor.x0 + 6 * scale, editor.y0 + 4 * scale, editor.x0 + 36 * scale, editor.y1,
             Colour{140, 140, 140}, false, 5 * scale);
    const Colour syntax[] = {{30, 30, 30}, {0, 0, 200}, {0, 128, 0}, {163, 21, 21}, {43, 145, 175}};
    for (int band = 0; band < 5; ++band) {
        const int by0 = editor.y0 + 4 * scale + band * (editor.y1 - editor.y0) / 5;
        const int by1 = editor.y0 + 4 * scale + (band + 1) * (editor.y1 - editor.y0) / 5;
        DrawText(painter, font, random, editor.x0 + 50 * scale + band * 16 * scale, by0, editor.x1 - 10 * scale, by1,
                 syntax[band], band % 2 == 1, 5 * scale);
    }
    painter.Fill(editor.x0 + 40 * scale, editor.y0 + 100 * scale, editor.x1, editor.y0 + 100 * scale + font.CellHeight() + 4 * scale,
                 0xFFF8C5);  // current line

    // A file list: alternating rows, a selected row, small icons.
    Box files = DrawWindow(painter, font, random, Box{W * 45 / 100, H * 45 / 100, W * 88 / 100, H * 92 / 100}, scale, false);
    painter.Fill(files.x0, files.y0, files.x0 + 180 * scale, files.y1, 0xF5F7FA);
    const int row = 26 * scale;
    for (int r = 0; files.y0 + r * row < files.y1; ++r) {
        const int ry = files.y0 + r * row;
        const uint32_t shade = r == 4 ? 0xCCE4F7 : (r % 2 ? 0xFAFAFA : 0xFFFFFF);
        painter.Fill(files.x0 + 180 * scale, ry, files.x1, std::min(ry + row, files.y1), shade);
        painter.Gradient(files.x0 + 190 * scale, ry + 4 * scale, files.x0 + 208 * scale, ry + 22 * scale,
                         0xFFD86E, 0xE8A33D, true);
        DrawText(painter, font, random, files.x0 + 216 * scale, ry + (row - font.CellHeight()) / 2, files.x1 - 20 * scale,
                 ry + row, Colour{20, 20, 20}, true, row);
    }

    // A browser, in front: toolbar, a photo with grain, text beside it.
    Box browser = DrawWindow(painter, font, random, Box{W * 30 / 100, H * 15 / 100, W * 75 / 100, H * 70 / 100}, scale, true);
    painter.Fill(browser.x0, browser.y0, browser.x1, browser.y0 + 36 * scale, 0xE9EEF4);
    painter.Fill(browser.x0 + 80 * scale, browser.y0 + 6 * scale, browser.x1 - 40 * scale, browser.y0 + 30 * scale, 0xFFFFFF);
    painter.Frame(browser.x0 + 80 * scale, browser.y0 + 6 * scale, browser.x1 - 40 * scale, browser.y0 + 30 * scale, 0x9AA7B5);
    DrawText(painter, font, random, browser.x0 + 90 * scale, browser.y0 + 6 * scale + (24 * scale - font.CellHeight()) / 2,
             browser.x1 - 400 * scale, browser.y0 + 30 * scale, Colour{40, 40, 40}, false, 0);
    painter.Fill(browser.x0, browser.y0 + 36 * scale, browser.x1, browser.y1, 0xFFFFFF);
    const int photoW = W * 900 / 3840;
    const int photoH = H * 500 / 2160;
    const Box photo{browser.x0 + 20 * scale, browser.y0 + 56 * scale, browser.x0 + 20 * scale + photoW,
                    browser.y0 + 56 * scale + photoH};
    DrawPhoto(painter, photo, 99);
    DrawText(painter, font, random, photo.x1 + 20 * scale, photo.y0, browser.x1 - 20 * scale, browser.y1 - 10 * scale,
             Colour{33, 33, 33}, false, 6 * scale);
    DrawText(painter, font, random, browser.x0 + 20 * scale, photo.y1 + 16 * scale, photo.x1, browser.y1 - 10 * scale,
             Colour{33, 33, 33}, false, 6 * scale);
    for (int b = 0; b < 3; ++b) {  // flat buttons
        const int bx = browser.x0 + 20 * scale + b * 130 * scale;
        const int by = browser.y1 - 50 * scale;
        painter.Fill(bx, by, bx + 120 * scale, by + 34 * scale, b == 0 ? 0x0067C0 : 0xE1E1E1);
        DrawText(painter, font, random, bx + 12 * scale, by + (34 * scale - font.CellHeight()) / 2, bx + 110 * scale,
                 by + 34 * scale, b == 0 ? Colour{255, 255, 255} : Colour{20, 20, 20}, false, 0);
    }

    // The taskbar with a clock and a row of app icons.
    const int bar = 48 * scale;
    painter.Fill(0, H - bar, W, H, 0x202A36);
    painter.Fill(0, H - bar, W, H - bar + 1, 0x3A4654);
    for (int i = 0; i < 9; ++i) {
        const int ix = W / 3 + i * 56 * scale;
        painter.Gradient(ix, H - bar + 8 * scale, ix + 32 * scale, H - 8 * scale,
                         0x60A0F0 + static_cast<uint32_t>(i) * 0x0B1300, 0x2050A0, true);
    }
    DrawText(painter, font, random, W - 120 * scale, H - bar + (bar - font.CellHeight()) / 2, W - 10 * scale, H,
             Colour{255, 255, 255}, false, 0);
    return image;
}

BgrImage MakeNoiseImage(uint32_t width, uint32_t height, uint32_t seed)
{
    BgrImage image(width, height);
    TestRandom random(seed);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.Set(x, y, random.Next() & 0xFFFFFFu);
    return image;
}

BgrImage MakeRunsImage(uint32_t width, uint32_t height, uint32_t colours, uint32_t seed)
{
    BgrImage image(width, height);
    TestRandom random(seed);
    std::vector<uint32_t> set;
    for (uint32_t i = 0; i < std::max(colours, 1u); ++i)
        set.push_back(random.Next() & 0xFFFFFFu);
    uint32_t colour = 0;
    uint32_t left = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            if (left == 0) {
                colour = set[random.Below(static_cast<uint32_t>(set.size()))];
                left = 1 + random.Below(random.Below(4) == 0 ? 200 : 6);
            }
            --left;
            image.Set(x, y, colour);
        }
    return image;
}

BgrImage MakeGradientImage(uint32_t width, uint32_t height)
{
    BgrImage image(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t r = x * 255 / std::max(1u, width - 1);
            const uint32_t g = y * 255 / std::max(1u, height - 1);
            const uint32_t b = (x + y) * 127 / std::max(1u, width + height - 2);
            image.Set(x, y, r << 16 | g << 8 | b);
        }
    return image;
}

size_t CountColours(const BgrImage& image)
{
    std::vector<bool> seen(1u << 24);
    size_t count = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t rgb = image.Get(x, y);
            if (!seen[rgb]) {
                seen[rgb] = true;
                ++count;
            }
        }
    return count;
}
