#include "app/x11_close_watch.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ebsim {

namespace {

std::uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

}  // namespace

X11CloseWatch::X11CloseWatch(std::function<void(WId)> closeRequested) : closeRequested_(std::move(closeRequested)) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  protocols_ = InternAtom(x11->connection(), "WM_PROTOCOLS");
  deleteWindow_ = InternAtom(x11->connection(), "WM_DELETE_WINDOW");
  if (protocols_ == XCB_ATOM_NONE || deleteWindow_ == XCB_ATOM_NONE) return;
  QCoreApplication::instance()->installNativeEventFilter(this);
  installed_ = true;
}

X11CloseWatch::~X11CloseWatch() {
  if (installed_ && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11CloseWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (type != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
  const auto* client = static_cast<const xcb_client_message_event_t*>(message);
  if (client->format == 32 && client->type == protocols_ && client->data.data32[0] == deleteWindow_)
    closeRequested_(static_cast<WId>(client->window));
  return false;  // the toolkit goes on as usual
}

}  // namespace ebsim
