#include <QApplication>
#include <QLabel>
#include <cstdio>

#include "platform/x11/X11Session.h"

int main(int argc, char** argv) {
  if (auto problem = tk::x11SessionProblem()) {
    std::fprintf(stderr, "tavelkombrix: %s\n", problem->c_str());
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavelkombrix");
  QApplication::setOrganizationName("tavelkombrix");
  QLabel window("tavelkombrix");
  window.setWindowTitle("tavelkombrix");
  window.setMinimumSize(480, 56);
  window.show();
  return app.exec();
}
