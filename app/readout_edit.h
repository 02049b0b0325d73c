#pragma once
// A read-out: a small field the runs write numbers into. A user may type in
// it (at most five digits, signs or blanks), but nothing typed is ever read.

#include <QLineEdit>

namespace ebsim {

class ReadoutEdit : public QLineEdit {
  Q_OBJECT

 public:
  static constexpr int kTypedLength = 5;

  explicit ReadoutEdit(QWidget* parent = nullptr);

  // Whether a user may type this character here.
  static bool AcceptsTyped(QChar c);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ebsim
