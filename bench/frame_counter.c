/* Counts the frames a running game sends to the X server, from outside the game: loaded with
 * LD_PRELOAD, it passes every XPutImage and XShmPutImage on to the real one and counts the bursts
 * of them: a frame sends only what changed, in one or a few rectangles at once. The count is a
 * 64-bit number at the start of the file named by VORN_FRAME_COUNT, which the reader creates; without it nothing is counted. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <sys/mman.h>
#include <unistd.h>

/* Xlib's types as the ABI passes them, so that no X headers are needed. */
typedef unsigned long Drawable;
typedef int (*put_fn)(void *, Drawable, void *, void *, int, int, int, int, unsigned, unsigned);
typedef int (*shm_put_fn)(void *, Drawable, void *, void *, int, int, int, int, unsigned, unsigned, int);

static uint64_t *frames;

__attribute__((constructor)) static void open_count(void)
{
    const char *path = getenv("VORN_FRAME_COUNT");
    int fd = path ? open(path, O_RDWR) : -1;
    if (fd < 0)
        return;
    void *p = mmap(NULL, sizeof *frames, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED)
        frames = p;
}

static void count(void)
{
    /* Puts more than 4 ms after the last one start a new frame; frames come 16.7 ms apart. */
    static uint64_t last_ns;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ns = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
    if (frames && ns - last_ns > 4000000u)
        __atomic_add_fetch(frames, 1, __ATOMIC_RELAXED);
    last_ns = ns;
}

int XPutImage(void *dpy, Drawable d, void *gc, void *image, int sx, int sy, int dx, int dy,
              unsigned w, unsigned h)
{
    static put_fn real;
    if (!real)
        real = (put_fn)dlsym(RTLD_NEXT, "XPutImage");
    count();
    return real(dpy, d, gc, image, sx, sy, dx, dy, w, h);
}

int XShmPutImage(void *dpy, Drawable d, void *gc, void *image, int sx, int sy, int dx, int dy,
                 unsigned w, unsigned h, int send_event)
{
    static shm_put_fn real;
    if (!real)
        real = (shm_put_fn)dlsym(RTLD_NEXT, "XShmPutImage");
    count();
    return real(dpy, d, gc, image, sx, sy, dx, dy, w, h, send_event);
}
