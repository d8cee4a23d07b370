/* Preloaded into the program under test: appends one line per text drawn,
   rectangle filled and area copied to the file named by QIR_TEST_DRAWLOG,
   so that a test can read what the windows of another process show
   (tests/support/qirDrawLog.h rebuilds them).
     T drawable x y text        (control characters as '?')
     F drawable drawable 0 0 width height x y
     C source destination src_x src_y width height dest_x dest_y
     P source destination src_x src_y width height dest_x dest_y (a bitmap
       drawn in a colour: a stencil such as a face picture)
   The program runs as users run it, double-buffered: InterViews draws into
   a back buffer and copies it to the window, and the copies tell which
   buffer belongs to which window.  Each line is one write() on an O_APPEND
   descriptor, so lines never interleave. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
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

int XFillRectangle(Display* dpy, Drawable d, GC gc, int x, int y, unsigned w, unsigned h)
{
    REAL(XFillRectangle);
    put_area('F', d, d, 0, 0, w, h, x, y);
    return real(dpy, d, gc, x, y, w, h);
}

int XCopyArea(Display* dpy, Drawable src, Drawable dst, GC gc, int sx, int sy, unsigned w, unsigned h, int dx,
              int dy)
{
    REAL(XCopyArea);
    put_area('C', src, dst, sx, sy, w, h, dx, dy);
    return real(dpy, src, dst, gc, sx, sy, w, h, dx, dy);
}

int XCopyPlane(Display* dpy, Drawable src, Drawable dst, GC gc, int sx, int sy, unsigned w, unsigned h, int dx,
               int dy, unsigned long plane)
{
    REAL(XCopyPlane);
    put_area('P', src, dst, sx, sy, w, h, dx, dy);
    return real(dpy, src, dst, gc, sx, sy, w, h, dx, dy, plane);
}
