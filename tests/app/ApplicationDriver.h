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
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <functional>
#include <stdexcept>
#include <string>

#include "support/ChildTests.h"
#include "support/TestSupport.h"

namespace tk::test {

// The X display the tools below talk to; empty for the private desktop's own.
inline QString toolDisplay;

// What one run of a tool said.
struct ToolRun {
  int exitCode = -1;  // -1: it did not start, crashed or was still running after a minute
  QString out;        // standard output, trimmed
  QString err;        // error output, trimmed

  std::string describe() const {
    return "exit " + std::to_string(exitCode) + ", output \"" + out.left(300).toStdString() +
           "\", error output \"" + err.left(600).toStdString() + "\"";
  }
};

inline ToolRun runTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  if (!toolDisplay.isEmpty()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", toolDisplay);
    process.setProcessEnvironment(environment);
  }
  process.start(program, arguments);
  ToolRun result;
  if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
    result.exitCode = process.exitCode();
  else
    process.kill();
  result.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
  result.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
  if (process.error() == QProcess::FailedToStart) result.err = program + " could not be started";
  return result;
}

// Runs a tool that acts (a click, a key) to its end and returns its standard output.
inline QString run(const QString& program, const QStringList& arguments) {
  return runTool(program, arguments).out;
}

// Ends the test: a question about the windows that the tools could not answer.
class UnansweredWindowQuery : public std::runtime_error {
 public:
  UnansweredWindowQuery(const QString& question, const ToolRun& last)
      : std::runtime_error(question.toStdString() + " had no answer in " + std::to_string(kTries) +
                           " tries; the last: " + last.describe()) {}
  static constexpr int kTries = 10;
};

inline bool cleanExit(const ToolRun& result) {
  return result.exitCode == 0 && result.err.isEmpty();
}

// Asks a tool about the windows until it answers. A window that goes while the tool walks the
// window tree (the frame round a closing prompt) kills it with an X error on its error output and
// exit status 1: that says nothing about the windows asked for, so it is asked again, and one that
// still cannot answer ends the test with what the tool said rather than reading as "no window".
inline QString askAboutWindows(const QString& program, const QStringList& arguments,
                               const std::function<bool(const ToolRun&)>& answered = cleanExit) {
  ToolRun last;
  for (int attempt = 0; attempt < UnansweredWindowQuery::kTries; ++attempt) {
    last = runTool(program, arguments);
    if (answered(last)) return last.out;
  }
  throw UnansweredWindowQuery(program + " " + arguments.join(' '), last);
}

// Windows of this display whose name is exactly `title`, visible ones only.
inline QStringList visibleWindows(const QString& title) {
  // A search that matches nothing exits 1 too, but silently and with nothing listed.
  const QString out = askAboutWindows(
      "xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, [](const ToolRun& r) {
        return r.err.isEmpty() && (r.exitCode == 0 || (r.exitCode == 1 && r.out.isEmpty()));
      });
  return out.isEmpty() ? QStringList() : out.split('\n');
}

// "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines of xdotool's getwindowgeometry --shell.
inline QRect geometryFromShell(const QString& shell) {
  QMap<QString, int> values;
  for (const QString& line : shell.split('\n')) {
    const auto parts = line.split('=');
    if (parts.size() == 2) values[parts[0]] = parts[1].toInt();
  }
  return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

inline QRect geometryOf(const QString& window) {
  return geometryFromShell(askAboutWindows("xdotool", {"getwindowgeometry", "--shell", window}));
}

inline QImage screenshot(const QRect& area) {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// The application with a home, settings and data of its own. Each process started from it writes
// its sanitizer reports to a log of its own: when it is gone, any report fails the test, printed
// whole.
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
      // It may be finishing a take, or its sanitizer writing a report: only a hang is cut short.
      if (!process_.waitForFinished(120000)) {
        ADD_FAILURE() << "the application still ran two minutes after it was asked to end; output:\n"
                      << output().toStdString();
        process_.kill();
        process_.waitForFinished(60000);
      }
    }
    const QString reports = sanitizers_.reports();
    EXPECT_TRUE(reports.isEmpty()) << "the application's sanitizer reported:\n" << reports.toStdString();
  }

  static QString binary() { return QCoreApplication::applicationDirPath() + "/../tavelkombrix"; }
  QString recordings() const { return home_.filePath("recordings"); }

  QProcessEnvironment environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env.insert("XDG_DATA_HOME", home_.filePath("data"));
    env.remove("QT_QPA_PLATFORM");
    if (!display_.isEmpty()) env.insert("DISPLAY", display_);
    sanitizers_.addTo(env);
    for (auto it = extra_.cbegin(); it != extra_.cend(); ++it) {
      if (it.value().isEmpty())
        env.remove(it.key());
      else
        env.insert(it.key(), it.value());
    }
    return env;
  }
  // One more variable of the application's environment; an empty value removes it.
  void setEnvironment(const QString& name, const QString& value) { extra_[name] = value; }
  // Runs it on another X display than the private desktop's.
  void setDisplay(const QString& display) { display_ = display; }

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
  SanitizerLog sanitizers_;
  QProcess process_;
  QString output_;
  QString display_;
  QMap<QString, QString> extra_;
};

// The bar among the windows named "tavelkombrix" (the tray icon of a recording has the name too).
inline QString mainWindow() {
  ToolRun last;
  for (int attempt = 0; attempt < UnansweredWindowQuery::kTries; ++attempt) {
    // A window listed may go before its size is read (the bar as it hides, a recording's icon):
    // the question is asked again from the search.
    bool unread = false;
    for (const QString& window : visibleWindows("tavelkombrix")) {
      last = runTool("xdotool", {"getwindowgeometry", "--shell", window});
      unread = !cleanExit(last);
      if (unread) break;
      if (geometryFromShell(last.out).width() >= 400) return window;
    }
    if (!unread) return {};
  }
  throw UnansweredWindowQuery("the bar among the windows named tavelkombrix", last);
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

// Gives `window` the keyboard and presses `key` there. The window manager activates the windows it
// manages; one kept from it (the area's control panel) cannot be activated, and is focused directly.
inline void pressKeyIn(const QString& window, const QString& key) {
  const bool managed = askAboutWindows("xwininfo", {"-id", window}).contains("Override Redirect State: no");
  run("xdotool", {managed ? "windowactivate" : "windowfocus", "--sync", window});
  run("xdotool", {"key", "--clearmodifiers", key});
}

// Asks the window manager to close `window`, as its close button or a taskbar's Close does
// (EWMH _NET_CLOSE_WINDOW). A key binding would depend on the manager having taken the keyboard
// from a window mapped a moment before, and the first press could go to the window instead.
inline void closeWindow(const QString& window) {
  run("wmctrl", {"-i", "-c", window});
}

// The application's icons in the tray host: small windows of its name and class, on screen.
inline QList<QRect> trayIcons() {
  const QString tree = askAboutWindows("xwininfo", {"-root", "-tree"});
  static const QRegularExpression icon(
      R"re("tavelkombrix": \("tavelkombrix" "tavelkombrix"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re");
  QList<QRect> icons;
  for (auto match = icon.globalMatch(tree); match.hasNext();) {
    const auto found = match.next();
    const QRect area(found.captured(3).toInt(), found.captured(4).toInt(), found.captured(1).toInt(),
                     found.captured(2).toInt());
    if (area.width() < 100 && area.width() > 1) icons << area;
  }
  return icons;
}
inline int trayIconCount() {
  return int(trayIcons().size());
}

// The application's own icon in the tray (the dark tile, not a recording's red dot), once it is
// the only icon there; an empty rectangle when it did not come.
inline QRect waitForApplicationTrayIcon(std::chrono::seconds timeout = std::chrono::seconds(30)) {
  QRect found;
  waitUntil(
      [&] {
        const QList<QRect> icons = trayIcons();
        if (icons.size() != 1) return false;
        const QImage shot = screenshot(icons.front());
        int tile = 0;
        for (int y = 0; y < shot.height(); ++y)
          for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            tile += std::abs(c.red() - 0x1f) + std::abs(c.green() - 0x24) + std::abs(c.blue() - 0x30) <= 24;
          }
        if (tile * 4 < shot.width() * shot.height()) return false;
        found = icons.front();
        return true;
      },
      timeout);
  return found;
}

// Clicks the application's icon in the tray and waits for the bar; empty when the icon or the bar
// never came.
inline QString reopenFromTheTrayIcon() {
  const QRect icon = waitForApplicationTrayIcon();
  if (icon.isEmpty()) return {};
  click(icon.center().x(), icon.center().y());
  return waitForMainWindow();
}

// One frame of a movie at `seconds`, decoded by the ffmpeg command line.
inline QImage movieFrame(const QString& movie, double seconds) {
  QProcess ffmpeg;
  ffmpeg.start("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", movie, "-frames:v", "1", "-f",
                          "image2pipe", "-vcodec", "png", "-"});
  ffmpeg.waitForFinished(60000);
  return QImage::fromData(ffmpeg.readAllStandardOutput(), "PNG");
}

inline bool near(const QColor& actual, const QColor& expected, int tolerance = 40) {
  return std::abs(actual.red() - expected.red()) <= tolerance &&
         std::abs(actual.green() - expected.green()) <= tolerance &&
         std::abs(actual.blue() - expected.blue()) <= tolerance;
}

// Waits for a visible window named `title`; empty when none showed in time.
inline QString waitForVisible(const QString& title, std::chrono::seconds timeout = std::chrono::seconds(30)) {
  QString found;
  waitUntil(
      [&] {
        const QStringList windows = visibleWindows(title);
        found = windows.isEmpty() ? QString() : windows.front();
        return !found.isEmpty();
      },
      timeout);
  return found;
}

inline ToolRun probeDuration(const QString& movie) {
  return runTool("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", movie});
}

// How long a finished movie plays. One that ffprobe cannot read fails the test with what ffprobe
// said, and plays 0 s.
inline double movieDuration(const QString& movie) {
  const ToolRun probe = probeDuration(movie);
  bool read = false;
  const double seconds = probe.out.toDouble(&read);
  if (probe.exitCode == 0 && read) return seconds;
  ADD_FAILURE() << "ffprobe cannot tell how long " << movie.toStdString() << " plays: " << probe.describe();
  return 0;
}

// Waits until the movie being recorded holds more than `seconds`: it is written in fragments of
// about a second, each readable once written, so this waits for the frames themselves, however
// slowly a loaded machine captured them. False when they did not come in a minute.
inline bool waitForRecorded(Application& app, double seconds, const QString& format = "mov") {
  return waitUntil(
      [&] {
        const QStringList movies = filesIn(app.recordings(), "Recording at *." + format);
        if (movies.size() != 1) return false;
        const QString movie = QDir(app.recordings()).filePath(movies.front());
        // Before its first fragment it cannot be read: nothing recorded yet.
        return probeDuration(movie).out.toDouble() > seconds;
      },
      std::chrono::seconds(60));
}

// Display, then the record button; true once the application says the recording started.
inline bool startDisplayRecording(Application& app) {
  const QString window = waitForMainWindow();
  if (window.isEmpty()) return false;
  const QRect bar = geometryOf(window);
  click(bar.x() + 75, bar.y() + bar.height() / 2);
  click(bar.right() - 12 - 16, bar.y() + bar.height() / 2);
  return waitUntil([&] { return app.output().contains("✅ Recording started successfully"); },
                   std::chrono::seconds(30));
}

// Records for a while once the floating panel shows, stops from it, and returns the movie.
inline QString recordAndStop(Application& app) {
  const QString panel = waitForVisible("Recording", std::chrono::seconds(60));
  EXPECT_FALSE(panel.isEmpty()) << "the recording did not start; output:\n" << app.output().toStdString();
  if (panel.isEmpty()) return {};
  // A frame a second in, and more: the tests read the movie there.
  EXPECT_TRUE(waitForRecorded(app, 1.5)) << "the movie did not grow; output:\n" << app.output().toStdString();
  const QRect geometry = geometryOf(panel);
  click(geometry.right() - 16 - 14, geometry.y() + geometry.height() / 2);
  const QString folder = app.recordings();
  // The metadata is saved while recording too: the take is finished once the coordinator says so.
  EXPECT_TRUE(
      waitUntil([&] { return app.output().contains("Recording saved to: "); }, std::chrono::seconds(60)))
      << "no finished movie; output:\n"
      << app.output().toStdString();
  const QStringList movies = filesIn(folder, "Recording at *.mov");
  EXPECT_EQ(movies.size(), 1) << "the recordings folder holds: "
                              << QDir(folder).entryList(QDir::Files | QDir::Hidden).join(", ").toStdString();
  return movies.size() == 1 ? QDir(folder).filePath(movies.front()) : QString();
}

}  // namespace tk::test
