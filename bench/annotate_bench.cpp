// What one mouse move costs while a mark is drawn: the mark grows, and only
// the rectangle it changed is painted again (image, inverted area,
// highlight, every mark), beside repainting the whole screen per move, at
// two screen sizes, in the same run.
//
//   wine build/x86_64/annotate_bench.exe [moves]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/BenchClock.h"
#include "capture/CaptureScene.h"
#include "capture/MarkDrag.h"

namespace {

struct Cost {
    double wallMs;
    double cpuMs;
};

// One drag of `moves` steps from `from` by (dx, dy) per step, painting the
// changed part (or the whole screen) after each.
Cost Drag(MarkTool tool, HDC target, CaptureScene scene, const ComposedPixels& source, POINT from, int dx, int dy,
          int moves, bool whole, SIZE size)
{
    MarkStyle style;
    Mark mark = BeginMark(tool, style, from, 1);
    scene.pending = &mark;
    const PixelView view{source.bits.data(), source.width, source.height};
    const double wall = WallSeconds();
    const double cpu = CpuSeconds();
    for (int i = 1; i <= moves; ++i) {
        const CRect dirty = ContinueMark(mark, POINT{from.x + dx * i, from.y + dy * i}, view);
        PaintCaptureScene(target, scene, whole ? CRect(0, 0, size.cx, size.cy) : dirty);
    }
    ::GdiFlush();
    return {(WallSeconds() - wall) * 1000.0 / moves, (CpuSeconds() - cpu) * 1000.0 / moves};
}

}  // namespace

int main(int argc, char** argv)
{
    const int moves = argc > 1 ? std::atoi(argv[1]) : 200;
    PrintLoad();
    CClientDC screen(nullptr);
    std::printf("cost per mouse move while drawing, %d moves (whole-screen repaint: %d); ms wall / ms cpu\n", moves,
                moves / 10);
    std::printf("%-11s %-9s %19s %19s\n", "screen", "tool", "changed part", "whole screen");
    const SIZE sizes[] = {{1920, 1080}, {3840, 2160}};
    for (const SIZE& size : sizes) {
        CBitmap image, shown;
        CDC dcImage, dcShown;
        if (!image.CreateCompatibleBitmap(screen, size.cx, size.cy) ||
            !shown.CreateCompatibleBitmap(screen, size.cx, size.cy)) {
            std::printf("%ldx%ld: cannot make the images\n", size.cx, size.cy);
            return 1;
        }
        dcImage.CreateCompatibleDC(screen);
        dcShown.CreateCompatibleDC(screen);
        CSelection selectImage(dcImage, image);
        CSelection selectShown(dcShown, shown);
        for (int y = 0; y < size.cy; y += 64)
            dcImage.FillSolidRect(CRect(0, y, size.cx, y + 32), RGB(y & 0xFF, 128, 255 - (y & 0xFF)));

        // A capture with twenty earlier marks and an inverted area.
        std::vector<Mark> marks;
        for (int i = 0; i < 20; ++i) {
            Mark m = BeginMark(i % 2 ? MarkTool::Arrow : MarkTool::Rectangle, MarkStyle{}, POINT{50 + i * 40, 60 + i * 30}, 0);
            ContinueMark(m, POINT{250 + i * 40, 200 + i * 30}, PixelView{});
            marks.push_back(m);
        }
        CaptureScene scene;
        scene.image = dcImage;
        scene.area = CRect(size.cx / 4, size.cy / 4, size.cx * 3 / 4, size.cy * 3 / 4);
        scene.marks = &marks;
        const ComposedPixels source = ComposeImagePixels(dcImage, size, marks);

        struct Case {
            MarkTool tool;
            const char* name;
        } cases[] = {{MarkTool::Pen, "pen"},           {MarkTool::Marker, "marker"}, {MarkTool::Arrow, "arrow"},
                     {MarkTool::Rectangle, "rectangle"}, {MarkTool::Pixelate, "pixelate"}};
        for (const Case& c : cases) {
            const POINT from{size.cx / 3, size.cy / 3};
            Drag(c.tool, dcShown, scene, source, from, 3, 2, 10, false, size);  // warm up
            const Cost part = Drag(c.tool, dcShown, scene, source, from, 3, 2, moves, false, size);
            const Cost all = Drag(c.tool, dcShown, scene, source, from, 3, 2, moves / 10 > 0 ? moves / 10 : 1, true, size);
            std::printf("%4ldx%-6ld %-9s %9.3f / %7.3f %9.3f / %7.3f\n", size.cx, size.cy, c.name, part.wallMs,
                        part.cpuMs, all.wallMs, all.cpuMs);
        }
    }
    PrintLoad();
    return 0;
}
