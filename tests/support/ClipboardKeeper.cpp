// Stands in for a desktop's clipboard manager: owns CLIPBOARD_MANAGER on the display, prints "keep" for each
// request to keep a program's selections at its exit and answers it at once.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static xcb_atom_t Atom(xcb_connection_t *c, const char *name) {
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
}

int main() {
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, 0, w, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0,
                      nullptr);
    xcb_atom_t manager = Atom(c, "CLIPBOARD_MANAGER"), keep = Atom(c, "SAVE_TARGETS");
    xcb_set_selection_owner(c, w, manager, XCB_CURRENT_TIME);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *e = xcb_wait_for_event(c)) {
        if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
            auto *req = reinterpret_cast<xcb_selection_request_event_t *>(e);
            std::printf("%s\n", req->target == keep ? "keep" : "other");
            std::fflush(stdout);
            xcb_selection_notify_event_t n{};
            n.response_type = XCB_SELECTION_NOTIFY;
            n.requestor = req->requestor;
            n.selection = req->selection;
            n.target = req->target;
            n.property = req->property;
            n.time = req->time;
            xcb_send_event(c, 0, req->requestor, 0, reinterpret_cast<const char *>(&n));
            xcb_flush(c);
        }
        std::free(e);
    }
    return 0;
}
