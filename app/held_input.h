#pragma once
// The window takes no user input while a Run works: what the user does
// meanwhile (clicks, keys, shortcuts) is held back and handed on, in order,
// once the Run is over. A request to close the window is not held.

#include <QObject>
#include <functional>
#include <vector>

class QEvent;

namespace ebsim {

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
  // Sends a held event to where it was going.
  std::vector<std::function<void()>> held_;
};

}  // namespace ebsim
