/* Hotkey to frozen screen, as a person at the screen sees it: a native X
 * client presses Print Screen through XTest and watches the X server's
 * screen until the capture has settled, then presses Escape and waits until
 * the live screen is back.
 *
 *   capture_latency RUNS DL DT DR DB TL TT TR TB
 *
 * DL..DB is the options dialog's rectangle (where it shows when no placement
 * is stored: the middle of the screen), TL..TB the rectangle of the ticker
 * window (bench/tickerwindow.cpp), whose colour changes every 10 ms while the
 * screen is live. Two moments are taken after the press:
 *   dialog: the last change of the dialog's rectangle that touches more than
 *           a caret's worth of pixels (the caret of the file-name field
 *           blinks on for ever); from then on the dialog is complete.
 *   frozen: the last change of the ticker's middle. The live ticker changes
 *           every 10 ms; the frozen copy covering it never changes, so its
 *           last change is when the frozen image got there.
 * The figure is the later of the two; "first" is the first change seen in
 * the dialog's rectangle (the capture window or the dialog starting to
 * show there). Each moment is the time a poll saw
 * it, so it is late by at most one poll: every 5 ms by default, or every
 * CAPTURE_POLL_MS (each poll of the dialog costs the X server a copy of its
 * pixels, which on a busy machine competes with what it measures).
 * Once settled, the whole screen outside the dialog and the ticker must
 * equal the screen before the press (the frozen image is the screen, pixel
 * for pixel), and the ticker must hold one colour.
 * Prints one line per run, "run N total MS dialog MS frozen MS first MS
 * outside PIXELS ticker PIXELS". A capture that does not settle with the dialog on
 * it, or that Escape does not end, is left as it is: "run N stuck WHY"
 * (nothing-froze, no-dialog, escape) and exit code 3. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* More changed pixels than a blinking caret (2 x 20 or so) makes. */
#define CARET_PIXELS 64
/* How long the screen must stay still before a capture counts as settled:
 * far beyond the ticker's 10 ms, and beyond a busy machine's hiccups. */
#define SETTLE_MS 1000.0
#define GIVE_UP_MS 8000.0

typedef struct {
    int x, y, w, h;
} Rect;

typedef struct {
    int w, h;
    uint32_t* px;
} Frame;

static Display* dpy;
static long pollNs = 5000000L;
static Window root;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static void pause_ns(long ns)
{
    struct timespec t = {0, ns};
    nanosleep(&t, NULL);
}

/* The screen's pixels in r, 0x00RRGGBB each. */
static int grab(Rect r, Frame* f)
{
    XImage* image = XGetImage(dpy, root, r.x, r.y, (unsigned)r.w, (unsigned)r.h, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    if (f->w != r.w || f->h != r.h) {
        free(f->px);
        f->px = malloc(sizeof(uint32_t) * (size_t)r.w * (size_t)r.h);
        f->w = r.w;
        f->h = r.h;
    }
    for (int y = 0; y < r.h; ++y) {
        if (image->bits_per_pixel == 32) {
            const uint32_t* row = (const uint32_t*)(image->data + (size_t)y * (size_t)image->bytes_per_line);
            for (int x = 0; x < r.w; ++x)
                f->px[(size_t)y * (size_t)r.w + (size_t)x] = row[x] & 0xFFFFFFu;
        } else {
            for (int x = 0; x < r.w; ++x)
                f->px[(size_t)y * (size_t)r.w + (size_t)x] = (uint32_t)XGetPixel(image, x, y) & 0xFFFFFFu;
        }
    }
    XDestroyImage(image);
    return 1;
}

static long differing(const Frame* a, const Frame* b)
{
    long n = 0;
    const size_t count = (size_t)a->w * (size_t)a->h;
    for (size_t i = 0; i < count; ++i)
        n += a->px[i] != b->px[i];
    return n;
}

static void copy_frame(Frame* to, const Frame* from)
{
    if (to->w != from->w || to->h != from->h) {
        free(to->px);
        to->px = malloc(sizeof(uint32_t) * (size_t)from->w * (size_t)from->h);
        to->w = from->w;
        to->h = from->h;
    }
    memcpy(to->px, from->px, sizeof(uint32_t) * (size_t)from->w * (size_t)from->h);
}

static int inside(Rect r, int x, int y)
{
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

static void press(KeyCode key)
{
    XTestFakeKeyEvent(dpy, key, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, False, CurrentTime);
    XFlush(dpy);
}

int main(int argc, char** argv)
{
    if (argc != 10) {
        fprintf(stderr, "usage: capture_latency RUNS DL DT DR DB TL TT TR TB\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    const Rect dialog = {atoi(argv[2]), atoi(argv[3]), atoi(argv[4]) - atoi(argv[2]), atoi(argv[5]) - atoi(argv[3])};
    const Rect ticker = {atoi(argv[6]), atoi(argv[7]), atoi(argv[8]) - atoi(argv[6]), atoi(argv[9]) - atoi(argv[7])};
    /* The ticker's middle, clear of any border. */
    if (getenv("CAPTURE_POLL_MS"))
        pollNs = atol(getenv("CAPTURE_POLL_MS")) * 1000000L;
    const Rect probe = {ticker.x + ticker.w / 2 - 4, ticker.y + ticker.h / 2 - 4, 8, 8};

    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    int event, error, major, minor;
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) {
        fprintf(stderr, "the X server has no XTEST\n");
        return 1;
    }
    root = DefaultRootWindow(dpy);
    const Rect screen = {0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy))};
    const KeyCode print = XKeysymToKeycode(dpy, XK_Print);
    const KeyCode escape = XKeysymToKeycode(dpy, XK_Escape);

    Frame before = {0}, after = {0}, dlgBefore = {0}, dlg = {0}, dlgRef = {0}, tick = {0}, tickPrev = {0};
    for (int run = 1; run <= runs; ++run) {
        /* The live screen: the ticker moves, the dialog's place shows what
         * lies under it. */
        grab(screen, &before);
        grab(dialog, &dlgBefore);
        grab(probe, &tickPrev);

        const double t0 = now_ms();
        press(print);
        double dialogAt = -1, frozenAt = -1, firstAt = -1, last = t0;
        int settled = 0;
        copy_frame(&dlgRef, &dlgBefore);
        for (;;) {
            pause_ns(pollNs);
            grab(dialog, &dlg);
            grab(probe, &tick);
            const double t = now_ms();
            if (differing(&dlg, &dlgRef) > CARET_PIXELS) {
                copy_frame(&dlgRef, &dlg);
                dialogAt = t;
                last = t;
            }
            if (differing(&tick, &tickPrev) > 0) {
                copy_frame(&tickPrev, &tick);
                frozenAt = t;
                last = t;
            }
            const int dialogShown = differing(&dlgRef, &dlgBefore) > CARET_PIXELS;
            if (firstAt < 0 && dialogAt >= 0)
                firstAt = t;
            if (dialogShown && frozenAt >= 0 && t - last >= SETTLE_MS) {
                settled = 1;
                break;
            }
            if (t - t0 > GIVE_UP_MS)
                break;
        }
        if (!settled) {
            /* The caller looks at the session and ends the capture. */
            printf("run %d stuck %s\n", run, frozenAt < 0 ? "nothing-froze" : "no-dialog");
            return 3;
        }

        /* The frozen image is the screen as it was, wherever the dialog and
         * the ticker are not; the ticker holds the one colour it had. */
        grab(screen, &after);
        long outside = 0, tickerMixed = 0;
        const uint32_t tickerColour = after.px[(size_t)(probe.y * screen.w + probe.x)];
        for (int y = 0; y < screen.h; ++y) {
            for (int x = 0; x < screen.w; ++x) {
                const size_t i = (size_t)y * (size_t)screen.w + (size_t)x;
                if (inside(dialog, x, y))
                    continue;
                if (inside(ticker, x, y))
                    tickerMixed += after.px[i] != tickerColour;
                else
                    outside += after.px[i] != before.px[i];
            }
        }
        const double total = (dialogAt > frozenAt ? dialogAt : frozenAt) - t0;
        printf("run %d total %.1f dialog %.1f frozen %.1f first %.1f outside %ld ticker %ld\n", run, total,
               dialogAt - t0, frozenAt - t0, firstAt - t0, outside, tickerMixed);
        fflush(stdout);

        /* Escape in the options dialog ends the capture: the dialog's place
         * shows what it showed before, and the ticker moves again. */
        press(escape);
        const double t1 = now_ms();
        grab(probe, &tickPrev);
        int gone = 0;
        while (!gone && now_ms() - t1 < GIVE_UP_MS) {
            pause_ns(10000000L);
            grab(dialog, &dlg);
            grab(probe, &tick);
            gone = differing(&dlg, &dlgBefore) == 0 && differing(&tick, &tickPrev) > 0;
        }
        if (!gone) {
            printf("run %d stuck escape\n", run);
            return 3;
        }
        /* The program back in its own loop before the next press. */
        pause_ns(300000000L);
    }
    XCloseDisplay(dpy);
    return 0;
}
