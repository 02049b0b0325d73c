#include "app/readout_edit.h"

#include <QKeyEvent>
#include <algorithm>

namespace ebsim {

ReadoutEdit::ReadoutEdit(QWidget* parent) : QLineEdit(parent) {
  setText(QString(kTypedLength, QLatin1Char(' ')));
  setContextMenuPolicy(Qt::NoContextMenu);
  setAcceptDrops(false);
}

bool ReadoutEdit::AcceptsTyped(QChar c) {
  return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char(' ');
}

void ReadoutEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    event->ignore();
    return;
  }
  const QString typed = event->text();
  const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
  if (printable) {
    const bool allowed = std::all_of(typed.begin(), typed.end(), AcceptsTyped);
    // Like a fixed-width mask: a full field is typed over, not lengthened.
    if (allowed && !hasSelectedText() && cursorPosition() < text().size() &&
        text().size() + typed.size() > kTypedLength)
      setSelection(cursorPosition(), static_cast<int>(typed.size()));
    const qsizetype after = text().size() - selectedText().size() + typed.size();
    if (!allowed || after > kTypedLength) {
      event->ignore();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace ebsim
