/* Key-to-screen time on an X display: presses a key (xdotool) and reads the
 * screen's pixels in a rectangle until they change, a number of times; the
 * key should change the rectangle each time (a turn of the falling piece).
 *   key_to_screen X Y WIDTH HEIGHT KEY [TIMES]
 * Prints each time in ms and the median. Built by tools/key_to_screen.sh. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static void Xdotool(const char* what, const char* key) {
  const pid_t child = fork();
  if (child == 0) {
    execlp("xdotool", "xdotool", what, key, (char*)NULL);
    _exit(127);
  }
  waitpid(child, NULL, 0);
}

static int CompareDoubles(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: key_to_screen X Y WIDTH HEIGHT KEY [TIMES]\n");
    return 2;
  }
  const int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
  const int times = argc > 6 ? atoi(argv[6]) : 10;
  if (w <= 0 || h <= 0 || times <= 0 || times > 100) return 2;
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) return 1;
  const Window root = DefaultRootWindow(display);
  double got[100];
  int n = 0;
  for (int i = 0; i < times; ++i) {
    XImage* before = XGetImage(display, root, x, y, w, h, AllPlanes, ZPixmap);
    if (before == NULL) return 1;
    const size_t bytes = (size_t)before->bytes_per_line * h;
    const double start = NowMs();
    Xdotool("keydown", argv[5]);
    double seen = -1;
    while (NowMs() - start < 1000 && seen < 0) {
      XImage* now = XGetImage(display, root, x, y, w, h, AllPlanes, ZPixmap);
      if (now != NULL && memcmp(now->data, before->data, bytes) != 0) seen = NowMs() - start;
      if (now != NULL) XDestroyImage(now);
      usleep(500);
    }
    XDestroyImage(before);
    Xdotool("keyup", argv[5]);
    if (seen >= 0) {
      got[n++] = seen;
      printf("%.1f\n", seen);
    }
    usleep(400000);
  }
  if (n == 0) return 1;
  qsort(got, n, sizeof got[0], CompareDoubles);
  printf("median %.1f ms, %.1f to %.1f, %d of %d presses seen\n", got[n / 2], got[0], got[n - 1], n, times);
  XCloseDisplay(display);
  return 0;
}
