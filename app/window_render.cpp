#include "app/window_render.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QLineEdit>
#include <QPushButton>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "app/window_setup.h"
#include "base/available_memory.h"
#include "base/errors.h"
#include "base/output_file.h"
#include "base/utf8.h"
#include "batch/run_provenance.h"
#include "batch/sweep_runner.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"
#include "form/headless_form.h"

namespace ebsim {

namespace {

// The render program takes the inputs' texts in the catalogue's order.
constexpr int kFirstText = 4;

bool WritePng(const QImage& picture, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  try {
    OutputFile png(path);
    if (!picture.save(&buffer, "PNG")) throw OutputError("cannot encode the picture as PNG");
    png.Stream().write(bytes.constData(), bytes.size());
    png.Commit();
  } catch (const OutputError& bad) {
    std::cerr << "ebsim render: " << bad.what() << "\n";
    return false;
  }
  return true;
}

// The three runs on the window's fields and surface with the lattice held
// compactly, on every processor the process may use.
void RunCompactly(TForm1& form, std::uint32_t seedMs, Rendering& rendering) {
  Simulator simulator;
  CompactProgress progress;
  try {
    simulator.RunCompact(form.Port(), seedMs, static_cast<int>(AvailableProcessors()), progress);
  } catch (const Exception& error) {
    rendering.error = ErrorBoxText(error.Message());
  } catch (const std::bad_alloc&) {
    rendering.error = ErrorBoxText(kOutOfMemory);
  }
  rendering.stage = progress.stage;
}

}  // namespace

Rendering RenderWindow(const RenderRequest& request) {
  const DecimalSeparator separator(request.separator);
  HeadlessFields fields(separator);
  for (const auto& [field, text] : request.texts) fields.Set(field, text);
  TForm1 form(separator);
  for (const InputEntry& input : Inputs())
    form.Edit(input.control)->setText(QString::fromStdString(fields.Text(input.input)));
  form.SetClock(std::make_unique<FixedClock>(request.seedMs));
  Rendering rendering;
  form.SetErrorReport([&](const std::string& message) { rendering.error = ErrorBoxText(message); });
  form.show();
  // A side outside the window's 1 to 300 is refused, or run, as ebsim run
  // does: with the headless limit.
  if (request.compact || LargeSide(fields)) {
    RunCompactly(form, request.seedMs, rendering);
  } else {
    const std::pair<QPushButton*, const char*> buttons[] = {
        {form.Button1, "lee"}, {form.Button2, "qrf"}, {form.Button3, "run"}};
    for (const auto& [button, stage] : buttons) {
      rendering.stage = stage;
      button->click();
      if (rendering.error) break;
    }
  }
  QApplication::processEvents();
  rendering.picture = form.grab().toImage();
  return rendering;
}

int RenderMain(int argc, char** argv) {
  if (argc != kFirstText + kInputCount) {
    std::cerr << "ebsim-render: run by `ebsim render`, which takes the options\n";
    return 2;
  }
  RenderRequest request;
  const std::string seed = argv[2];
  std::from_chars(seed.data(), seed.data() + seed.size(), request.seedMs);
  request.separator = DecodeSingleUtf8(argv[3]);
  for (int k = 0; k < kInputCount; ++k) request.texts[Inputs()[static_cast<std::size_t>(k)].input] = argv[kFirstText + k];
  // Checked before anything is drawn.
  try {
    OutputFile check(argv[1]);
  } catch (const OutputError& bad) {
    std::cerr << "ebsim render: " << bad.what() << "\n";
    return 1;
  }
  // No display needed: the window is drawn offscreen.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  try {
    const Rendering rendering = RenderWindow(request);
    // A failed Run leaves the file that stood there: its error, as ebsim
    // run gives it, says what happened.
    if (rendering.error) {
      const DecimalSeparator separator(request.separator);
      HeadlessFields fields(separator);
      for (const auto& [field, text] : request.texts) fields.Set(field, text);
      Json json = RunProvenance(fields, request.seedMs);
      json["error"] = ValidUtf8(*rendering.error);
      json["stage"] = rendering.stage;
      std::cout << json.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
      return 1;
    }
    return WritePng(rendering.picture, argv[1]) ? 0 : 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "ebsim render: out of memory\n";
    return 1;
  }
}

}  // namespace ebsim
