#pragma once
// The window takes no user input while a Run works: what the user does
// meanwhile (clicks, keys, shortcuts) is held back and handed on, in order,
// once the Run is over. A request to close the window is not held.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

class HeldInput : public QObject {
 public:
  // Processes what is pending, holding back the user's input among it.
  void ProcessEvents();
  // Hands what was held to its receivers, behind what is already queued.
  void Release();
  // Forgets what was held.
  void Discard() { held_.clear(); }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  struct Held {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };
  std::vector<Held> held_;
};
