/* Preloaded into the program under test: appends one line per text drawn,
   rectangle filled and area copied to the file named by QIR_TEST_DRAWLOG,
   so that a test can read what the windows of another process show
   (tests/support/qirDrawLog.h rebuilds them).
     T drawable x y text        (control characters as '?')
     F drawable drawable 0 0 width height x y
     C source destination src_x src_y width height dest_x dest_y
   The program runs as users run it, double-buffered: InterViews draws into
   a back buffer and copies it to the window, and the copies tell which
   buffer belongs to which window.  Each line is one write() on an O_APPEND
   descriptor, so lines never interleave. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int logfd(void)
{
    static int fd = -2;
    if (fd == -2) {
        const char* path = getenv("QIR_TEST_DRAWLOG");
        fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }
    return fd;
}

static void put_text(Drawable d, int x, int y, const char* s, int n)
{
    char line[2048];
    int fd = logfd();
    if (fd < 0) return;
    int k = snprintf(line, sizeof line, "T %lu %d %d ", (unsigned long)d, x, y);
    for (int i = 0; i < n && k < (int)sizeof line - 1; i++) {
        unsigned char c = (unsigned char)s[i];
        line[k++] = (c < 0x20 || c == 0x7f) ? '?' : (char)c;
    }
    line[k++] = '\n';
    (void)!write(fd, line, k);
}

static void put_area(char kind, Drawable src, Drawable dst, int sx, int sy, unsigned w, unsigned h, int dx, int dy)
{
    int fd = logfd();
    if (fd < 0) return;
    char line[160];
    int k = snprintf(line, sizeof line, "%c %lu %lu %d %d %u %u %d %d\n", kind, (unsigned long)src,
                     (unsigned long)dst, sx, sy, w, h, dx, dy);
    (void)!write(fd, line, k);
}

#define REAL(fn) \
    static __typeof__(&fn) real; \
    if (!real) real = (__typeof__(&fn))dlsym(RTLD_NEXT, #fn)

int XDrawString(Display* dpy, Drawable d, GC gc, int x, int y, const char* s, int n)
{
    REAL(XDrawString);
    put_text(d, x, y, s, n);
    return real(dpy, d, gc, x, y, s, n);
}

int XDrawImageString(Display* dpy, Drawable d, GC gc, int x, int y, const char* s, int n)
{
    REAL(XDrawImageString);
    put_text(d, x, y, s, n);
    return real(dpy, d, gc, x, y, s, n);
}

int XDrawString16(Display* dpy, Drawable d, GC gc, int x, int y, const XChar2b* s, int n)
{
    REAL(XDrawString16);
    char buf[1024];
    int m = n < (int)sizeof buf ? n : (int)sizeof buf;
    for (int i = 0; i < m; i++) buf[i] = s[i].byte1 ? '?' : (char)s[i].byte2;
    put_text(d, x, y, buf, m);
    return real(dpy, d, gc, x, y, s, n);
}

/* The items as one text at the call's origin: enough to find a line. */
int XDrawText(Display* dpy, Drawable d, GC gc, int x, int y, XTextItem* items, int n)
{
    REAL(XDrawText);
    char buf[1024];
    int m = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < items[i].nchars && m < (int)sizeof buf; j++) buf[m++] = items[i].chars[j];
    put_text(d, x, y, buf, m);
    return real(dpy, d, gc, x, y, items, n);
}

/* The clip box of each GC that has one: a window repairs its damage with
   the background filled over the whole window and the GC clipped to the
   damage, and only what the clip lets through is erased. */
static struct {
    GC gc;
    int x, y, w, h;
} clips[64];

static int clip_slot(GC gc, int make)
{
    int free_slot = -1;
    for (int i = 0; i < 64; i++) {
        if (clips[i].gc == gc) return i;
        if (!clips[i].gc && free_slot < 0) free_slot = i;
    }
    if (make && free_slot >= 0) clips[free_slot].gc = gc;
    return make ? free_slot : -1;
}

static void set_clip(GC gc, int x, int y, int w, int h)
{
    int i = clip_slot(gc, 1);
    if (i < 0) return;
    clips[i].x = x;
    clips[i].y = y;
    clips[i].w = w;
    clips[i].h = h;
}

static void clear_clip(GC gc)
{
    int i = clip_slot(gc, 0);
    if (i >= 0) clips[i].gc = 0;
}

int XSetRegion(Display* dpy, GC gc, Region r)
{
    REAL(XSetRegion);
    XRectangle box;
    XClipBox(r, &box);
    set_clip(gc, box.x, box.y, box.width, box.height);
    return real(dpy, gc, r);
}

int XSetClipRectangles(Display* dpy, GC gc, int xo, int yo, XRectangle* rects, int n, int ordering)
{
    REAL(XSetClipRectangles);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (int i = 0; i < n; i++) {
        int l = rects[i].x, t = rects[i].y, r = l + rects[i].width, b = t + rects[i].height;
        if (i == 0 || l < x0) x0 = l;
        if (i == 0 || t < y0) y0 = t;
        if (i == 0 || r > x1) x1 = r;
        if (i == 0 || b > y1) y1 = b;
    }
    set_clip(gc, x0 + xo, y0 + yo, x1 - x0, y1 - y0);
    return real(dpy, gc, xo, yo, rects, n, ordering);
}

int XSetClipMask(Display* dpy, GC gc, Pixmap mask)
{
    REAL(XSetClipMask);
    clear_clip(gc);
    return real(dpy, gc, mask);
}

int XFreeGC(Display* dpy, GC gc)
{
    REAL(XFreeGC);
    clear_clip(gc);
    return real(dpy, gc);
}

int XFillRectangle(Display* dpy, Drawable d, GC gc, int x, int y, unsigned w, unsigned h)
{
    REAL(XFillRectangle);
    int i = clip_slot(gc, 0);
    int l = x, t = y, r = x + (int)w, b = y + (int)h;
    if (i >= 0) {
        if (clips[i].x > l) l = clips[i].x;
        if (clips[i].y > t) t = clips[i].y;
        if (clips[i].x + clips[i].w < r) r = clips[i].x + clips[i].w;
        if (clips[i].y + clips[i].h < b) b = clips[i].y + clips[i].h;
    }
    if (r > l && b > t) put_area('F', d, d, 0, 0, (unsigned)(r - l), (unsigned)(b - t), l, t);
    return real(dpy, d, gc, x, y, w, h);
}

int XCopyArea(Display* dpy, Drawable src, Drawable dst, GC gc, int sx, int sy, unsigned w, unsigned h, int dx,
              int dy)
{
    REAL(XCopyArea);
    put_area('C', src, dst, sx, sy, w, h, dx, dy);
    return real(dpy, src, dst, gc, sx, sy, w, h, dx, dy);
}
