// ebsim-render: draws the window offscreen for `ebsim render`, which checks
// the options and hands them over. Kept apart so that ebsim itself never
// loads the window's toolkit.

#include <QtGlobal>

#include "app/window_render.h"

using namespace ebsim;

namespace {

QtMessageHandler toolkitHandler = nullptr;

// A headless render needs no runtime folder, so the toolkit's notice that
// the session has none says nothing to the user: stderr holds the seed line
// and real errors only.
void DropMissingRuntimeFolder(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  toolkitHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  toolkitHandler = qInstallMessageHandler(DropMissingRuntimeFolder);
  return RenderMain(argc, argv);
}
