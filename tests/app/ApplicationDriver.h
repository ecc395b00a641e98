#pragma once

// Drives the built application on the private desktop as a person would: starts it with a home of
// its own, finds its windows by name through xdotool, clicks, and reads the screen and its movies.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QScreen>
#include <QTemporaryDir>

#include "support/TestSupport.h"

namespace tk::test {

// Runs a tool to its end and returns its standard output, trimmed.
inline QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  if (exitCode) *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Windows of this display whose name is exactly `title`, visible ones only.
inline QStringList visibleWindows(const QString& title) {
  const QString out = run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"});
  return out.isEmpty() ? QStringList() : out.split('\n');
}

inline QRect geometryOf(const QString& window) {
  // "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines.
  const QString out = run("xdotool", {"getwindowgeometry", "--shell", window});
  QMap<QString, int> values;
  for (const QString& line : out.split('\n')) {
    const auto parts = line.split('=');
    if (parts.size() == 2) values[parts[0]] = parts[1].toInt();
  }
  return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

inline QImage screenshot(const QRect& area) {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// The application with a home, settings and data of its own.
class Application {
 public:
  // `settings`: more lines of the [General] section.
  explicit Application(const QByteArray& settings = {}) {
    home_.setAutoRemove(true);
    QDir(home_.path()).mkpath("config/tavelkombrix");
    QDir(home_.path()).mkpath("recordings");
    QFile file(home_.filePath("config/tavelkombrix/tavelkombrix.conf"));
    file.open(QIODevice::WriteOnly);
    file.write("[General]\noutputDirectory=" + recordings().toUtf8() + "\nframeRate=30\n" + settings);
  }
  ~Application() {
    if (process_.state() != QProcess::NotRunning) {
      process_.terminate();
      if (!process_.waitForFinished(5000)) process_.kill();
      process_.waitForFinished(5000);
    }
  }

  static QString binary() { return QCoreApplication::applicationDirPath() + "/../tavelkombrix"; }
  QString recordings() const { return home_.filePath("recordings"); }

  QProcessEnvironment environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env.insert("XDG_DATA_HOME", home_.filePath("data"));
    env.remove("QT_QPA_PLATFORM");
    return env;
  }

  void start() {
    process_.setProcessEnvironment(environment());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(binary(), {});
  }
  // A second launch of the same application; returns its exit code.
  int launchAgain() {
    QProcess again;
    again.setProcessEnvironment(environment());
    again.start(binary(), {});
    if (!again.waitForFinished(60000)) {
      again.kill();
      again.waitForFinished();
      return -1;
    }
    return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
  }
  QProcess& process() { return process_; }
  QString output() {
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    return output_;
  }

 private:
  QTemporaryDir home_;
  QProcess process_;
  QString output_;
};

// The bar among the windows named "tavelkombrix" (the tray icon of a recording has the name too).
inline QString mainWindow() {
  for (const QString& window : visibleWindows("tavelkombrix")) {
    if (geometryOf(window).width() >= 400) return window;
  }
  return {};
}

inline QString waitForMainWindow() {
  QString window;
  tk::test::waitUntil([&] { return !(window = mainWindow()).isEmpty(); }, std::chrono::seconds(60));
  return window;
}

inline QStringList filesIn(const QString& folder, const QString& pattern) {
  return QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden);
}

inline void click(int x, int y) {
  run("xdotool", {"mousemove", QString::number(x), QString::number(y)});
  run("xdotool", {"click", "1"});
}

// One frame of a movie at `seconds`, decoded by the ffmpeg command line.
inline QImage movieFrame(const QString& movie, double seconds) {
  QProcess ffmpeg;
  ffmpeg.start("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", movie, "-frames:v", "1", "-f",
                          "image2pipe", "-vcodec", "png", "-"});
  ffmpeg.waitForFinished(60000);
  return QImage::fromData(ffmpeg.readAllStandardOutput(), "PNG");
}

}  // namespace tk::test
