#pragma once
// Under X11, a request to close a window that a modal box blocks (the
// WM_DELETE_WINDOW message a title bar's close button sends) is dropped by
// the toolkit. This watch sees every such request before the toolkit does and
// reports the window it was sent to, so that the owner can act on it once the
// box is gone.

#include <QAbstractNativeEventFilter>
#include <QtGui/qwindowdefs.h>
#include <cstdint>
#include <functional>

namespace ebsim {

class X11CloseWatch : public QAbstractNativeEventFilter {
 public:
  // Watches for the object's life; does nothing on other platforms.
  explicit X11CloseWatch(std::function<void(WId)> closeRequested);
  ~X11CloseWatch() override;
  X11CloseWatch(const X11CloseWatch&) = delete;
  X11CloseWatch& operator=(const X11CloseWatch&) = delete;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  std::function<void(WId)> closeRequested_;
  std::uint32_t protocols_ = 0;
  std::uint32_t deleteWindow_ = 0;
  bool installed_ = false;
};

}  // namespace ebsim
