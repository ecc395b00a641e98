#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QThreadPool>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "app/PlatformServices.h"
#include "app/tavelkombrixApp.h"
#include "platform/qt/MemoryRelease.h"
#include "platform/qt/TestHold.h"
#include "platform/x11/X11Session.h"

int main(int argc, char** argv) {
  tk::MemoryRelease::configure();
  if (auto problem = tk::x11SessionProblem()) {
    std::fprintf(stderr, "tavelkombrix: %s\n", problem->c_str());
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication application(argc, argv);
  QApplication::setApplicationName("tavelkombrix");
  QApplication::setOrganizationName("tavelkombrix");
  QApplication::setApplicationVersion(TK_VERSION);
  QApplication::setDesktopFileName("tavelkombrix");
  // Texts are looked up through Qt's translators; English is built in, so a missing translation
  // for the user's language changes nothing.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
  QTranslator ownTexts;
  if (ownTexts.load(QLocale(), "tavelkombrix", "_",
                    QApplication::applicationDirPath() + "/../share/tavelkombrix/translations"))
    QApplication::installTranslator(&ownTexts);

  // Declared first so it goes last: the windows hold its services until they are gone.
  std::unique_ptr<tk::PlatformServices> services;
  tk::tavelkombrixApp app;
  if (app.handOverToRunningInstance()) return 0;
  services = std::make_unique<tk::PlatformServices>();
  app.launch(services->modeSelectionServices());
  const int code = application.exec();
  // Work still on the thread pool (device lists, content queries, a sound being opened, files
  // being finished) reads the services and the windows: it ends before they go. A worker a test
  // holds is let go only while this waits, so that an end that did not wait would leave it reading
  // what the end freed.
  while (!QThreadPool::globalInstance()->waitForDone(50)) tk::TestHold::releaseAll();
  return code;
}
