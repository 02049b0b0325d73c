#pragma once
// The program's one window: its fixed layout, the five click handlers, and
// the window's side of the interfaces the runs use.

#include <QImage>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "form/form_fields.h"
#include "app/held_input.h"
#include "app/qt_drawing_surface.h"
#include "run/simulator.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace ebsim {
class ReadoutEdit;
class X11CloseWatch;

// The user's decimal separator, from the system locale.
char32_t LocaleDecimalSeparator();

class TForm1 : public QWidget, public FieldTexts, public ReadoutFields, private SweepObserver {
  Q_OBJECT

 public:
  // With the locale's decimal separator, or with the one given.
  explicit TForm1(QWidget* parent = nullptr);
  explicit TForm1(DecimalSeparator separator, QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls.
  QLineEdit* Edit(InputField field) const { return edits_.at(field); }
  ReadoutEdit* MaskEdit(Readout field) const { return readouts_.at(field); }
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

  // What the runs see of the window.
  std::string Text(Input input) const override;
  DecimalSeparator Separator() const override { return separator_; }
  void SetReadout(Quantity quantity, const ReadoutValue& shown) override;
  // The separator the fields are read and written with: the locale's, and
  // again the locale's when it changes (after a run, never during one).
  void SetSeparator(DecimalSeparator separator) { separator_ = std::move(separator); }
  QtDrawingSurface& Surface() { return *surface_; }
  FormPort Port() { return FormPort{*this, *this, surface_.get()}; }

  // The lattice and random state the runs share, alive with the window.
  LatticeState& Lattice() { return simulator_.Lattice(); }
  RandomNumbers& Random() { return simulator_.Random(); }
  // The clock that seeds the generator; the system clock unless replaced.
  void SetClock(std::unique_ptr<UtcClock> clock) { simulator_.SetClock(std::move(clock)); }

  // Where errors raised in a click handler are reported; by default a modal
  // box with the application's title, the message and a stop icon.
  void SetErrorReport(std::function<void(const std::string&)> report);
  static void ShowErrorBox(QWidget* parent, const std::string& message);

  // Ctrl+S: a PNG of the window and the last Run's loop as CSV beside it
  // (same name, ".csv"), at a path the user picks; by default through a
  // file dialog that adds ".png" to a name without a suffix. An empty path
  // saves nothing. When either file exists, one question naming the ones
  // that do comes first. Both files are put in place only when both were
  // written whole; a failure names the file and leaves both as they were.
  void SetSavePathPrompt(std::function<QString()> prompt) { savePathPrompt_ = std::move(prompt); }
  // The question before files are replaced: true replaces them. By default
  // a box naming them, with "No" as its default button.
  void SetReplaceQuestion(std::function<bool(const QStringList& existing)> question) {
    replaceQuestion_ = std::move(question);
  }
  static bool AskToReplace(QWidget* parent, const QStringList& existing);
  void SaveWindowAndLoop();
  const std::vector<LoopPoint>& LastLoop() const { return lastLoop_; }

  // Click handlers.
  void Button1Click();  // "Run LEE Constants"
  void Button2Click();  // "Run QRF Fields"
  void Button3Click();  // "Run"
  void Button4Click();  // "Exit"
  void Button5Click();  // "Clear"

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void ConnectHandlers();
  void SetTabOrder();
  // Runs a click handler; an error it raises ends it and is reported.
  void Dispatch(void (TForm1::*handler)());
  // Keeps the window painted during a Run, at the screen's rate, holding
  // the user's input back; ends the Run when the window is being closed.
  void FieldStepDone(Branch branch, double H, double M) override;

  Simulator simulator_;
  QImage layer_;
  std::unique_ptr<QtDrawingSurface> surface_;
  std::map<InputField, QLineEdit*> edits_;
  // The fields' texts as the runs read them, kept as they change: a run
  // reads some fields once per site.
  std::map<Input, std::string> texts_;
  std::map<Readout, ReadoutEdit*> readouts_;
  DecimalSeparator separator_;
  std::function<void(const std::string&)> errorReport_;
  std::function<QString()> savePathPrompt_;
  std::function<bool(const QStringList&)> replaceQuestion_;
  std::vector<LoopPoint> lastLoop_;
  LoopOrigin lastRun_;             // where lastLoop_ came from
  bool lastRunComplete_ = false;   // whether that Run swept its whole loop
  bool exchangeTried_ = false;     // "Run LEE Constants" was pressed
  HeldInput heldInput_;
  std::unique_ptr<X11CloseWatch> closeWatch_;
  bool busy_ = false;             // a click handler is running
  bool closeRequested_ = false;   // the window was closed while busy: close when done
  bool localeChanged_ = false;    // the locale changed during a Run
  qint64 lastFrameMs_ = 0;
};

// The window of this program, alive from start-up to the end.
extern TForm1* Form1;

}  // namespace ebsim
