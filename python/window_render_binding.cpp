#include "python/window_render_binding.h"

#include <QApplication>
#include <QThread>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <pybind11/numpy.h>

#include "app/window_render.h"
#include "app/window_setup.h"
#include "form/catalogue.h"
#include "python/python_values.h"

namespace ebsim {

namespace {

constexpr const char* kCaller = "ebsim.render()";

// The application object the window needs: the process's own if it has
// one, else one made here, offscreen, kept for the life of the process.
QApplication& Application() {
  if (QCoreApplication* existing = QCoreApplication::instance()) {
    auto* application = qobject_cast<QApplication*>(existing);
    if (!application) throw std::runtime_error("ebsim.render() needs a QApplication; this process has another kind");
    return *application;
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::optional<std::string> saved = platform ? std::optional<std::string>(platform) : std::nullopt;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  DisableLayoutScaling();
  static int argc = 1;
  static char name[] = "ebsim";
  static char* argv[] = {name, nullptr};
  auto* application = new QApplication(argc, argv);
  PrepareApplication();
  if (saved) setenv("QT_QPA_PLATFORM", saved->c_str(), 1);
  else unsetenv("QT_QPA_PLATFORM");
  return *application;
}

py::array_t<std::uint8_t> RgbArray(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  py::array_t<std::uint8_t> array({rgb.height(), rgb.width(), 3});
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(array.mutable_data(y, 0, 0), rgb.constScanLine(y), static_cast<std::size_t>(rgb.width()) * 3);
  return array;
}

py::array_t<std::uint8_t> Render(const std::array<py::object, 7>& inputs, const py::object& seedMs) {
  RenderRequest request;
  for (std::size_t k = 0; k < inputs.size(); ++k)
    request.texts[Inputs()[k].input] = FieldText(inputs[k], Inputs()[k], kCaller);
  request.seedMs = SeedOf(seedMs, kCaller);
  QApplication& application = Application();
  if (QThread::currentThread() != application.thread())
    throw std::runtime_error("ebsim.render() must be called from the thread that made the QApplication");
  const Rendering rendering = RenderWindow(request);
  if (rendering.error) RaiseError(*rendering.error, rendering.stage);
  return RgbArray(rendering.picture);
}

}  // namespace

void AddRender(py::module_& module) {
  module.def(
      "render",
      [](py::object side, py::object dilution, py::object enhancement, py::object fieldSd, py::object h0,
         py::object hmin, py::object steps, py::object seedMs, py::object sd) {
        fieldSd = InputValue(kAliasedInput, fieldSd, sd, kCaller);
        return Render({side, dilution, enhancement, fieldSd, h0, hmin, steps}, seedMs);
      },
      R"(The window after its three run buttons, as `ebsim render` draws it.

Takes the inputs and seed_ms of ebsim.run. Returns the window's client area
as a height x width x 3 uint8 numpy array (RGB). Draws offscreen with an
application object made for it unless the process has a QApplication; call
it from that application's thread. Raises ebsim.Error with the window's
message and stage when a button fails.)",
      py::kw_only(), InputArg(0), InputArg(1), InputArg(2), InputArg(3), InputArg(4), InputArg(5),
      InputArg(6), py::arg("seed_ms") = py::none(), AliasArg(kAliasedInput));
}

}  // namespace ebsim
