#include "cli/render_command.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "app/errors.h"
#include "app/numeric_fields.h"
#include "app/window_setup.h"
#include "base/output_file.h"
#include "cli/json.h"
#include "cli/run_options.h"

Rendering RenderWindow(const CommonOptions& options) {
  SetDecimalSeparator(options.separator.value_or(U'.'));
  const HeadlessFields fields = PrepareFields(options);
  TForm1 form;
  for (const InputOption& input : InputOptions())
    form.Edit(input.field)->setText(QString::fromStdString(fields.Text(input.field)));
  form.SetClock(std::make_unique<FixedClock>(SeedOrClock(options)));
  Rendering rendering;
  form.SetErrorReport([&](const std::string& message) { rendering.error = ErrorBoxText(message); });
  form.show();
  const std::pair<QPushButton*, const char*> buttons[] = {
      {form.Button1, "lee"}, {form.Button2, "qrf"}, {form.Button3, "run"}};
  for (const auto& [button, stage] : buttons) {
    rendering.stage = stage;
    button->click();
    if (rendering.error) break;
  }
  QApplication::processEvents();
  rendering.picture = form.grab().toImage();
  return rendering;
}

int RenderCommand(int argc, char** argv, std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const std::string values[] = {"png"};
  CommonOptions options;
  try {
    options = ParseCommonOptions(args, {}, values);
    if (!options.values.count("png")) throw std::invalid_argument("--png FILE is required");
  } catch (const std::invalid_argument& bad) {
    err << "ebsim render: " << bad.what() << "\n";
    return 2;
  }
  std::unique_ptr<OutputFile> png;
  try {
    png = std::make_unique<OutputFile>(options.values.at("png"));
  } catch (const OutputError& bad) {
    err << "ebsim render: " << bad.what() << "\n";
    return 1;
  }
  // No display needed: the window is drawn offscreen.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  const Rendering rendering = RenderWindow(options);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  try {
    if (!rendering.picture.save(&buffer, "PNG")) throw OutputError("cannot encode the picture as PNG");
    png->Stream().write(bytes.constData(), bytes.size());
    png->Commit();
  } catch (const OutputError& bad) {
    err << "ebsim render: " << bad.what() << "\n";
    return 1;
  }
  if (rendering.error) {
    out << "{\"error\": " << JsonString(*rendering.error) << ", \"stage\": " << JsonString(rendering.stage) << "}\n";
    return 1;
  }
  return 0;
}
