#include <QApplication>
#include <cstdio>

#include "app/PlatformServices.h"
#include "app/tavelkombrixApp.h"
#include "platform/x11/X11Session.h"

int main(int argc, char** argv) {
  if (auto problem = tk::x11SessionProblem()) {
    std::fprintf(stderr, "tavelkombrix: %s\n", problem->c_str());
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication application(argc, argv);
  QApplication::setApplicationName("tavelkombrix");
  QApplication::setOrganizationName("tavelkombrix");

  tk::PlatformServices services;
  tk::tavelkombrixApp app(services.modeSelectionServices());
  if (app.handOverToRunningInstance()) return 0;
  app.launch();
  return application.exec();
}
