#include "app/held_input.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <memory>
#include <utility>

namespace ebsim {

namespace {

enum class Kind {
  Mouse,    // held as its values
  Other,    // held as a copy
  Refused,  // turned away: wheel turns, touch, pens, gestures, drags
  Passed,   // not input, or a request to close
};

Kind KindOf(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
      return Kind::Mouse;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
      return Kind::Other;
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return Kind::Refused;
    default:
      return Kind::Passed;
  }
}

// A mouse event's point shares its data with the pointer's live state, which
// later events overwrite: keep the values, build the event when it goes out.
std::function<void()> MouseDelivery(QObject* receiver, const QMouseEvent& e) {
  return [receiver = QPointer<QObject>(receiver), type = e.type(), position = e.position(), scene = e.scenePosition(),
          global = e.globalPosition(), button = e.button(), buttons = e.buttons(), modifiers = e.modifiers(),
          device = e.pointingDevice(), timestamp = e.timestamp()] {
    if (!receiver) return;
    QMouseEvent event(type, position, scene, global, button, buttons, modifiers, device);
    event.setTimestamp(timestamp);
    QCoreApplication::sendEvent(receiver, &event);
  };
}

std::function<void()> CopyDelivery(QObject* receiver, const QEvent& e) {
  return [receiver = QPointer<QObject>(receiver), event = std::shared_ptr<QEvent>(e.clone())] {
    if (receiver) QCoreApplication::sendEvent(receiver, event.get());
  };
}

}  // namespace

void HeldInput::ProcessEvents() {
  QCoreApplication* application = QCoreApplication::instance();
  application->installEventFilter(this);
  QCoreApplication::processEvents();
  application->removeEventFilter(this);
}

void HeldInput::Release() {
  for (std::function<void()>& delivery : std::exchange(held_, {}))
    QMetaObject::invokeMethod(this, std::move(delivery), Qt::QueuedConnection);
}

bool HeldInput::eventFilter(QObject* receiver, QEvent* event) {
  switch (KindOf(event->type())) {
    case Kind::Mouse:
      held_.push_back(MouseDelivery(receiver, *static_cast<QMouseEvent*>(event)));
      return true;
    case Kind::Other:
      held_.push_back(CopyDelivery(receiver, *event));
      return true;
    case Kind::Refused:
      event->ignore();
      return true;
    case Kind::Passed:
      break;
  }
  return false;
}

}  // namespace ebsim
