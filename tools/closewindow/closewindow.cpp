// zarnell-close-window PID: asks every window of the process PID on $DISPLAY to close, as a
// window manager does when the user clicks a window's close box: a WM_DELETE_WINDOW message.
// Needs no window manager. Exits 0 when at least one window was asked, 1 when none was found.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using TDisplay = std::unique_ptr<Display, decltype(&XCloseDisplay)>;

template <typename T> using TXData = std::unique_ptr<T, decltype(&XFree)>;

// The process that made the window, from the _NET_WM_PID property that Qt sets; 0 if none.
unsigned long WindowPid(Display *Connection, Window Target)
{
    const Atom netWmPid = XInternAtom(Connection, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(Connection, Target, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &left, &data) != Success)
        return 0;
    const TXData<unsigned char> owned(data, &XFree);
    if (type != XA_CARDINAL || format != 32 || count != 1)
        return 0;
    return *reinterpret_cast<unsigned long *>(data);
}

bool Viewable(Display *Connection, Window Target)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(Connection, Target, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

bool TakesDeleteWindow(Display *Connection, Window Target, Atom DeleteWindow)
{
    Atom *protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(Connection, Target, &protocols, &count) == 0)
        return false;
    const TXData<Atom> owned(protocols, &XFree);
    for (int i = 0; i < count; ++i)
        if (protocols[i] == DeleteWindow)
            return true;
    return false;
}

bool SendDeleteWindow(Display *Connection, Window Target, Atom DeleteWindow)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Target;
    event.xclient.message_type = XInternAtom(Connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(DeleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    return XSendEvent(Connection, Target, False, NoEventMask, &event) != 0;
}

} // namespace

int main(int argc, char *argv[])
{
    char *end = nullptr;
    const unsigned long pid = argc == 2 ? std::strtoul(argv[1], &end, 10) : 0;
    if (pid == 0 || *end != '\0') {
        std::fputs("usage: zarnell-close-window PID\n", stderr);
        return 2;
    }
    const TDisplay connection(XOpenDisplay(nullptr), &XCloseDisplay);
    if (!connection) {
        std::fputs("zarnell-close-window: cannot open the display\n", stderr);
        return 2;
    }
    Display *display = connection.get();
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    // Without a window manager, top-level windows are the root window's own children.
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        std::fputs("zarnell-close-window: cannot list the windows\n", stderr);
        return 2;
    }
    const TXData<Window> owned(children, &XFree);
    int asked = 0;
    for (unsigned int i = 0; i < count; ++i) {
        const Window window = children[i];
        if (WindowPid(display, window) != pid || !Viewable(display, window) ||
            !TakesDeleteWindow(display, window, deleteWindow))
            continue;
        if (!SendDeleteWindow(display, window, deleteWindow)) {
            std::fprintf(stderr, "zarnell-close-window: cannot send to window 0x%lx\n", window);
            return 2;
        }
        std::printf("asked window 0x%lx to close\n", window);
        ++asked;
    }
    XSync(display, False);
    return asked > 0 ? 0 : 1;
}
