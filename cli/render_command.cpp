#include "cli/render_command.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "app/errors.h"
#include "app/numeric_fields.h"
#include "app/window_setup.h"
#include "cli/json.h"
#include "cli/run_options.h"

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
  // No display needed: the window is drawn offscreen.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  SetDecimalSeparator(options.separator.value_or(U'.'));
  const HeadlessFields fields = PrepareFields(options);

  TForm1 form;
  for (const InputOption& input : InputOptions())
    form.Edit(input.field)->setText(QString::fromStdString(fields.Text(input.field)));
  form.SetClock(std::make_unique<FixedClock>(SeedOrClock(options)));
  std::string error;
  const char* stage = "";
  form.SetErrorReport([&](const std::string& message) { error = ErrorBoxText(message); });
  const std::pair<QPushButton*, const char*> buttons[] = {{form.Button1, "lee"}, {form.Button2, "qrf"}, {form.Button3, "run"}};
  form.show();
  for (const auto& [button, name] : buttons) {
    stage = name;
    button->click();
    if (!error.empty()) break;
  }
  QApplication::processEvents();
  const std::string path = options.values.at("png");
  if (!form.grab().save(QString::fromStdString(path), "PNG")) {
    err << "ebsim render: cannot write '" << path << "'\n";
    return 1;
  }
  if (!error.empty()) {
    out << "{\"error\": " << JsonString(error) << ", \"stage\": " << JsonString(stage) << "}\n";
    return 1;
  }
  return 0;
}
