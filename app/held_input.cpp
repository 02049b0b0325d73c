#include "app/held_input.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

enum class Kind { Other, Input, Drag };

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
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
      return Kind::Input;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return Kind::Drag;
    default:
      return Kind::Other;
  }
}

}  // namespace

void HeldInput::ProcessEvents() {
  QCoreApplication* application = QCoreApplication::instance();
  application->installEventFilter(this);
  QCoreApplication::processEvents();
  application->removeEventFilter(this);
}

void HeldInput::Release() {
  std::vector<Held> held;
  held.swap(held_);
  for (Held& item : held)
    if (item.receiver) QCoreApplication::postEvent(item.receiver, item.event.release());
}

bool HeldInput::eventFilter(QObject* receiver, QEvent* event) {
  switch (KindOf(event->type())) {
    case Kind::Input:
      held_.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
      return true;
    case Kind::Drag:
      // A drag's data is gone when it ends: refused, not held.
      event->ignore();
      return true;
    case Kind::Other:
      break;
  }
  return false;
}
