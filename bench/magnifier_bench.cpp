// What one mouse move costs the magnifier: the drawing that copies only the
// pixels it shows against the plain drawing that copies the whole screen
// image first, at two screen sizes, in the same run.
//
//   wine build/x86_64/magnifier_bench.exe [moves]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/WholeCopyMagnifier.h"
#include "capture/MagnifierView.h"

namespace {

// The options dialog's magnifier surface at 96 DPI.
constexpr int kViewW = 254;
constexpr int kViewH = 256;

struct Cost {
    double wallMs;
    double cpuMs;
};

// Milliseconds per move over `moves` cursor positions along the diagonal.
template <class Draw>
Cost PerMove(Draw draw, CDC& target, MagnifierScene scene, int imageW, int imageH, int moves)
{
    const double wall = WallSeconds();
    const double cpu = CpuSeconds();
    for (int i = 0; i < moves; ++i) {
        scene.cursor = {static_cast<LONG>(static_cast<long long>(imageW) * i / moves),
                        static_cast<LONG>(static_cast<long long>(imageH) * i / moves)};
        scene.zoom = 1.0 + (i % 4);  // the cheap and the usual zooms alike
        draw(target, kViewW, kViewH, scene);
    }
    ::GdiFlush();
    return {(WallSeconds() - wall) * 1000.0 / moves, (CpuSeconds() - cpu) * 1000.0 / moves};
}

}  // namespace

int main(int argc, char** argv)
{
    const int moves = argc > 1 ? std::atoi(argv[1]) : 200;
    CClientDC screen(nullptr);
    CDC target;
    target.CreateCompatibleDC(screen);
    CBitmap view;
    view.CreateCompatibleBitmap(screen, kViewW, kViewH);
    CSelection selectView(target, view);

    const int wholeMoves = moves / 10 > 0 ? moves / 10 : 1;
    std::printf("magnifier cost per mouse move, %dx%d view, %d moves (whole copy: %d); ms wall / ms cpu\n", kViewW,
                kViewH, moves, wholeMoves);
    std::printf("%-11s %19s %19s %13s\n", "image", "shown-only", "whole-copy", "ratio (cpu)");
    const SIZE sizes[] = {{1920, 1080}, {3840, 2160}};
    for (const SIZE& size : sizes) {
        CBitmap image;
        if (!image.CreateCompatibleBitmap(screen, size.cx, size.cy)) {
            std::printf("%ldx%ld: cannot make the image\n", size.cx, size.cy);
            return 1;
        }
        {
            CDC dc;
            dc.CreateCompatibleDC(screen);
            CSelection select(dc, image);
            for (int y = 0; y < size.cy; y += 64)
                dc.FillSolidRect(CRect(0, y, size.cx, y + 32), RGB(y & 0xFF, 128, 255 - (y & 0xFF)));
        }
        MagnifierScene scene;
        scene.image = image;
        scene.area = CRect(size.cx / 4, size.cy / 4, size.cx / 2, size.cy / 2);
        scene.highlight = CRect(size.cx / 3, size.cy / 3, size.cx * 2 / 3, size.cy * 2 / 3);

        PerMove(DrawMagnifierView, target, scene, size.cx, size.cy, 10);  // warm up
        const Cost fast = PerMove(DrawMagnifierView, target, scene, size.cx, size.cy, moves);
        const Cost whole = PerMove(DrawMagnifierWholeCopy, target, scene, size.cx, size.cy, wholeMoves);
        std::printf("%4ldx%-6ld %9.3f / %7.3f %9.3f / %7.3f %12.0fx\n", size.cx, size.cy, fast.wallMs, fast.cpuMs,
                    whole.wallMs, whole.cpuMs, fast.cpuMs > 0 ? whole.cpuMs / fast.cpuMs : 0.0);
    }
    return 0;
}
