#include "app/code_KVORAL_QVTR_03_100.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QShortcut>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cctype>
#include <vector>

#include "form/application_title.h"
#include "base/errors.h"
#include "form/catalogue.h"
#include "form/form_layout.h"
#include "form/field_numbers.h"
#include "app/readout_edit.h"
#include "app/window_fonts.h"
#include "app/x11_close_watch.h"
#include "base/output_file.h"
#include "batch/sweep_metadata.h"

namespace ebsim {

TForm1* Form1 = nullptr;

namespace {

// Thrown through a Run to end it when the window closes; not an error.
struct RunAbandoned {};

// Repaints during a Run come at most this often.
constexpr qint64 kFrameMs = 16;

QColor ToQColor(Color color) { return QColor::fromRgb(ToRgb(ResolveColor(color))); }

QString ApplicationTitle() {
  return QString::fromStdString(TitleFromProgramPath(QCoreApplication::applicationFilePath().toStdString()));
}

void PaintShape(QPainter& painter, const ShapeLayout& shape) {
  const QRect box(shape.left, shape.top, shape.width, shape.height);
  if (shape.pen) {
    painter.fillRect(box, ToQColor(*shape.pen));
    painter.fillRect(box.adjusted(1, 1, -1, -1), ToQColor(shape.brush));
  } else {
    // Without an outline the brush stops one pixel short on the right and
    // at the bottom.
    painter.fillRect(box.adjusted(0, 0, -1, -1), ToQColor(shape.brush));
  }
}

void PaintLabel(QPainter& painter, const LabelLayout& label) {
  const QRect box(label.left, label.top, label.width, label.height);
  painter.fillRect(box, ToQColor(clBtnFace));
  // Not clipped: the substitute title face runs a few pixels wider than the
  // boxes were measured for, into empty face colour.
  painter.save();
  painter.setFont(FontFor(label.font));
  painter.setPen(ToQColor(label.color));
  const QString text = QString::fromUtf8(label.text);
  if (label.wrap) {
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
  } else {
    const QFontMetrics metrics(painter.font());
    const int top = label.centred ? label.top + (label.height - metrics.height()) / 2 : label.top;
    painter.drawText(label.left, top + metrics.ascent(), text);
  }
  painter.restore();
}

// Same look on every platform: the window's own face colour throughout.
void ApplyFormPalette(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ToQColor(clBtnFace));
  palette.setColor(QPalette::Button, ToQColor(clBtnFace));
  palette.setColor(QPalette::WindowText, ToQColor(clWindowText));
  palette.setColor(QPalette::ButtonText, ToQColor(clWindowText));
  palette.setColor(QPalette::Base, ToQColor(clWhite));
  palette.setColor(QPalette::Text, ToQColor(clWindowText));
  widget->setPalette(palette);
}

QString ChooseSavePath(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Save picture and loop"), QStringLiteral("loop.png"),
                     QStringLiteral("PNG image (*.png)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  // The window asks itself, once for both files, after the name is final.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

struct SavePaths {
  QString png, csv;
};

// The picture always ends in ".png": a name ending in ".csv" would otherwise
// be the loop's own name, and the picture would overwrite it.
SavePaths SavePathsFor(QString png) {
  if (QFileInfo(png).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) != 0) png += QStringLiteral(".png");
  const QFileInfo info(png);
  return {png, info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"))};
}

// The loop file is ebsim run's loop table: "# {json}" saying where its loop
// came from, the rows, and "# {json}" with the rows and whether the Run
// swept the whole loop.
void WritePictureAndLoop(const SavePaths& paths, const QPixmap& picture, const std::vector<LoopPoint>& loop,
                         const std::string& origin, bool complete) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) throw OutputError("cannot write '" + paths.png.toStdString() + "': no PNG encoder");
  OutputFile png(paths.png.toStdString());
  OutputFile csv(paths.csv.toStdString());
  // A loop linked to the picture's own file would replace the picture.
  if (SameOutputTarget(png.Path(), csv.Path()))
    throw OutputError("cannot write '" + csv.Path() + "': it is the picture's own file");
  png.Stream().write(bytes.constData(), bytes.size());
  csv.Stream() << origin;
  WriteLoopCsv(csv.Stream(), loop);
  csv.Stream() << EndLine(loop.size(), complete);
  // Neither file goes in place before both are written whole. Committing a
  // file whose writing failed throws, naming it with the system's reason.
  for (OutputFile* file : {&png, &csv}) {
    file->Stream().flush();
    if (!file->Good()) file->Commit();
  }
  png.Commit();
  csv.Commit();
}

}  // namespace

char32_t LocaleDecimalSeparator() {
  const QList<uint> point = QLocale::system().decimalPoint().toUcs4();
  return point.isEmpty() ? U'.' : static_cast<char32_t>(point.front());
}

TForm1::TForm1(QWidget* parent) : TForm1(DecimalSeparator(LocaleDecimalSeparator()), parent) {}

TForm1::TForm1(DecimalSeparator separator, QWidget* parent)
    : QWidget(parent),
      layer_(kClientWidth, kClientHeight, QImage::Format_ARGB32_Premultiplied),
      separator_(std::move(separator)),
      errorReport_([this](const std::string& message) { ShowErrorBox(this, message); }) {
  layer_.fill(Qt::transparent);
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(FormCaption()));
  ApplyFormPalette(this);
  setFont(FontFor(FontRole::Window));
  CreateControls();
  surface_ = std::make_unique<QtDrawingSurface>(QtDrawingSurface::Targets{
      &layer_, this, FontFor(FontRole::Window),
      [](Panel panel) {
        const ShapeLayout& shape = PanelShape(panel);
        return QRect(shape.left, shape.top, shape.width, shape.height);
      },
      [this](Quantity quantity) -> QWidget* { return readouts_.at(ReadoutOf(quantity).control); },
      ProgressBar1});
  ConnectHandlers();
  SetTabOrder();
  savePathPrompt_ = [this] { return ChooseSavePath(this); };
  replaceQuestion_ = [this](const QStringList& existing) { return AskToReplace(this, existing); };
  connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
          [this] { Dispatch(&TForm1::SaveWindowAndLoop); });
  // A close request that a modal box blocks (an error box, the save dialog)
  // still ends the program once the box is gone.
  closeWatch_ = std::make_unique<X11CloseWatch>([this](WId window) {
    if (busy_ && window == internalWinId()) closeRequested_ = true;
  });
  resize(kClientWidth, kClientHeight);
  move(kWindowLeft, kWindowTop);
  // The first control in tab order has the focus.
  Button1->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  for (const EditLayout& item : FormEdits()) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(item.name));
    edit->setGeometry(item.left, item.top, kEditWidth, kEditHeight);
    // Default texts are written with the separator in force at start.
    edits_[item.field] = edit;
    connect(edit, &QLineEdit::textChanged, this,
            [this, input = InputOf(item.field).input](const QString& text) { texts_[input] = text.toStdString(); });
    edit->setText(QString::fromStdString(DefaultText(InputOf(item.field).input, separator_.Text())));
  }
  for (const ReadoutLayout& item : FormReadouts()) {
    auto* edit = new ReadoutEdit(this);
    edit->setObjectName(QString::fromLatin1(item.name));
    edit->setGeometry(item.left, item.top, kEditWidth, kEditHeight);
    readouts_[item.field] = edit;
  }
  for (const ButtonLayout& item : FormButtons()) {
    auto* button = new QPushButton(QString::fromLatin1(item.text), this);
    button->setObjectName(QString::fromLatin1(item.name));
    button->setGeometry(item.left, item.top, item.width, item.height);
    button->setFont(FontFor(item.font));
  }
  Button1 = findChild<QPushButton*>(QStringLiteral("Button1"));
  Button2 = findChild<QPushButton*>(QStringLiteral("Button2"));
  Button3 = findChild<QPushButton*>(QStringLiteral("Button3"));
  Button4 = findChild<QPushButton*>(QStringLiteral("Button4"));
  Button5 = findChild<QPushButton*>(QStringLiteral("Button5"));
  for (const StaticTextLayout& item : FormStaticTexts()) {
    auto* text = new QLabel(QString::fromLatin1(item.text), this);
    text->setObjectName(QString::fromLatin1(item.name));
    text->setGeometry(item.left, item.top, item.width, kStaticTextHeight);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setMargin(0);
    text->setIndent(0);
    text->setAutoFillBackground(true);
    QPalette palette = text->palette();
    palette.setColor(QPalette::Window, ToQColor(kStaticTextBackground));
    palette.setColor(QPalette::WindowText, ToQColor(item.color));
    text->setPalette(palette);
    text->setFocusPolicy(Qt::NoFocus);
  }
  const ProgressLayout& bar = FormProgressBar();
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QString::fromLatin1(bar.name));
  ProgressBar1->setGeometry(bar.left, bar.top, bar.width, bar.height);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFocusPolicy(Qt::NoFocus);
}

void TForm1::ConnectHandlers() {
  connect(Button1, &QPushButton::clicked, this, [this] { Dispatch(&TForm1::Button1Click); });
  connect(Button2, &QPushButton::clicked, this, [this] { Dispatch(&TForm1::Button2Click); });
  connect(Button3, &QPushButton::clicked, this, [this] { Dispatch(&TForm1::Button3Click); });
  connect(Button4, &QPushButton::clicked, this, [this] { Dispatch(&TForm1::Button4Click); });
  connect(Button5, &QPushButton::clicked, this, [this] { Dispatch(&TForm1::Button5Click); });
}

void TForm1::SetTabOrder() {
  std::vector<std::pair<int, QWidget*>> order;
  for (const EditLayout& item : FormEdits()) order.emplace_back(item.tab, edits_.at(item.field));
  for (const ReadoutLayout& item : FormReadouts()) order.emplace_back(item.tab, readouts_.at(item.field));
  for (const ButtonLayout& item : FormButtons())
    order.emplace_back(item.tab, findChild<QPushButton*>(QString::fromLatin1(item.name)));
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1].second, order[i].second);
}

std::string TForm1::Text(Input input) const { return texts_.at(input); }

void TForm1::SetReadout(Quantity quantity, const ReadoutValue& shown) {
  readouts_.at(ReadoutOf(quantity).control)->setText(QString::fromStdString(shown.text));
}

void TForm1::SetErrorReport(std::function<void(const std::string&)> report) { errorReport_ = std::move(report); }

void TForm1::ShowErrorBox(QWidget* parent, const std::string& message) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), QString::fromStdString(ErrorBoxText(message)),
                  QMessageBox::Ok, parent);
  box.exec();
}

void TForm1::Dispatch(void (TForm1::*handler)()) {
  if (busy_) return;
  busy_ = true;
  lastFrameMs_ = QDateTime::currentMSecsSinceEpoch();
  try {
    (this->*handler)();
  } catch (const Exception& error) {
    surface_->Flush();  // what the handler drew shows behind the box
    errorReport_(error.Message());
  } catch (const RunAbandoned&) {
  }
  busy_ = false;
  surface_->Flush();
  if (localeChanged_) {
    localeChanged_ = false;
    separator_ = DecimalSeparator(LocaleDecimalSeparator());
  }
  if (closeRequested_) {
    closeRequested_ = false;
    heldInput_.Discard();
    close();
  } else {
    heldInput_.Release();
  }
}

bool TForm1::AskToReplace(QWidget* parent, const QStringList& existing) {
  QStringList names;
  for (const QString& path : existing) names << QFileInfo(path).fileName();
  const QString text = names.size() == 1
                           ? QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(names.front())
                           : QStringLiteral("%1 already exist.\nDo you want to replace them?")
                                 .arg(names.join(QStringLiteral(" and ")));
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(), text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void TForm1::SaveWindowAndLoop() {
  const QString chosen = savePathPrompt_();
  if (chosen.isEmpty()) return;
  const SavePaths paths = SavePathsFor(chosen);
  QStringList existing;
  for (const QString& path : {paths.png, paths.csv})
    if (QFileInfo::exists(path)) existing << path;
  if (!existing.isEmpty() && !replaceQuestion_(existing)) return;
  try {
    WritePictureAndLoop(paths, grab(), lastLoop_, LoopCommentLine(lastRun_, separator_), lastRunComplete_);
  } catch (const OutputError& error) {
    std::string message = error.what();
    message.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(message.front())));
    errorReport_(message);
  }
}

void TForm1::FieldStepDone(Branch branch, double H, double M) {
  lastLoop_.push_back({branch, H, M});
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastFrameMs_ < kFrameMs) return;
  lastFrameMs_ = now;
  surface_->Flush();
  heldInput_.ProcessEvents();
  if (closeRequested_) throw RunAbandoned{};
}

void TForm1::Button1Click() {
  exchangeTried_ = true;
  simulator_.SetUpExchange(Port());
}

void TForm1::Button2Click() { simulator_.SetUpRandomFields(Port()); }

void TForm1::Button3Click() {
  lastLoop_.clear();
  lastRunComplete_ = false;
  // The set-up behind the loop, also when the Run ends by an error or a close.
  struct Keep {
    TForm1& form;
    HeadlessFields texts;
    ~Keep() {
      form.lastRun_ = {form.simulator_.LastSetUp(), form.exchangeTried_ ? kExchangeSetUpFailed : kNoExchangeSetUp,
                       std::move(texts)};
    }
  } keep{*this, CopyTexts(*this)};
  simulator_.RunLoop(Port(), this);
  lastRunComplete_ = true;
}

void TForm1::Button4Click() { QApplication::quit(); }

void TForm1::Button5Click() { surface_->Refresh(Panel::Shape22); }

void TForm1::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), ToQColor(clBtnFace));
  // The legend swatches under the upper panels reach one row into the box of
  // the title below them; the swatch stays whole.
  for (const LabelLayout& label : FormLabels()) PaintLabel(painter, label);
  for (const ShapeLayout& shape : FormShapes()) PaintShape(painter, shape);
  painter.drawImage(event->rect(), layer_, event->rect());
}

void TForm1::changeEvent(QEvent* event) {
  // The separator never changes in the middle of a run.
  if (event->type() == QEvent::LocaleChange) {
    if (busy_)
      localeChanged_ = true;
    else
      separator_ = DecimalSeparator(LocaleDecimalSeparator());
  }
  QWidget::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (busy_) {
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace ebsim
