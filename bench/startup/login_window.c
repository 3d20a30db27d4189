// Times a program from its start to the moment its window whose title holds
// a given text is mapped on the X screen, and reads the program's peak
// resident memory (VmHWM) then and one second later. Prints one line:
//   <milliseconds> <VmHWM KiB at the window> <VmHWM KiB one second later>
// Usage: login_window <title text> <program> [arguments...]
// (scripts/bench-startup builds and runs it under Xvfb and openbox.)
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <fcntl.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long vm_hwm_kib(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    long kib = -1;
    if (!f) return kib;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0) kib = atol(line + 6);
    fclose(f);
    return kib;
}

// The window's title, UTF-8 first (_NET_WM_NAME), else WM_NAME.
static int title_has(Display* d, Window w, const char* text) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False), net = XInternAtom(d, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = NULL;
    int found = 0;
    if (XGetWindowProperty(d, w, net, 0, 1024, False, utf8, &type, &format, &n, &after, &data) == Success && data) {
        found = strstr((char*)data, text) != NULL;
        XFree(data);
        if (found) return 1;
    }
    char* name = NULL;
    if (XFetchName(d, w, &name) && name) {
        found = strstr(name, text) != NULL;
        XFree(name);
    }
    return found;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s <title text> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "login_window: no X display\n");
        return 1;
    }
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);

    const double start = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[2], argv + 2);
        _exit(127);
    }
    double shown = -1;
    long hwm = -1;
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    while (shown < 0 && now_ms() - start < 20000) {
        if (!XPending(d)) {
            poll(&p, 1, 100);
            continue;
        }
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == CreateNotify) {
            // Its own map arrives through its structure events, wherever
            // the window manager puts it.
            XSelectInput(d, e.xcreatewindow.window, StructureNotifyMask);
            XSync(d, False);
        } else if (e.type == MapNotify && title_has(d, e.xmap.window, argv[1])) {
            shown = now_ms();
            hwm = vm_hwm_kib(pid);
        }
    }
    long later = -1;
    if (shown >= 0) {
        usleep(1000000);
        later = vm_hwm_kib(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    XCloseDisplay(d);
    if (shown < 0) {
        fprintf(stderr, "login_window: no window titled \"%s\" within 20 s\n", argv[1]);
        return 1;
    }
    printf("%.1f %ld %ld\n", shown - start, hwm, later);
    return 0;
}
