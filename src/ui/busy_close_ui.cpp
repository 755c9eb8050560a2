#include "ui/busy_close_ui.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace pixlane {

namespace {

void pass_to_gtk(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

// Every event of the display passes here first while a dialog is busy.
void take_close_requests(GdkEvent* event, gpointer data) {
    wxTopLevelWindow* window = static_cast<CloseBoxWhileBusy*>(data)->window();
    if (event->type == GDK_DELETE && window != nullptr &&
        event->any.window == gtk_widget_get_window(window->GetHandle())) {
        window->CallAfter([window] { window->Close(); });
        return;
    }
    gtk_main_do_event(event);
}

} // namespace

CloseBoxWhileBusy::CloseBoxWhileBusy(wxTopLevelWindow* window) : m_window(window) {
    if (m_window != nullptr) {
        gdk_event_handler_set(take_close_requests, this, nullptr);
    }
}

CloseBoxWhileBusy::~CloseBoxWhileBusy() {
    if (m_window != nullptr) {
        gdk_event_handler_set(pass_to_gtk, nullptr, nullptr);
    }
}

void send_close_request(wxTopLevelWindow& window) {
    GdkWindow* gdk = gtk_widget_get_window(window.GetHandle());
    if (gdk == nullptr || !GDK_IS_X11_WINDOW(gdk)) {
        return;
    }
    Display* display = GDK_WINDOW_XDISPLAY(gdk);
    GdkDisplay* shown = gdk_window_get_display(gdk);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = GDK_WINDOW_XID(gdk);
    request.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(shown, "WM_PROTOCOLS");
    request.xclient.format = 32;
    request.xclient.data.l[0] =
        static_cast<long>(gdk_x11_get_xatom_by_name_for_display(shown, "WM_DELETE_WINDOW"));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, request.xclient.window, False, NoEventMask, &request);
    XFlush(display);
}

} // namespace pixlane
