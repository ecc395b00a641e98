// The application, started, removes what killed runs of it left, and nothing else.

#include "platform/ffmpeg/LeftoverFiles.h"

#include <signal.h>

#include <QProcess>
#include <filesystem>
#include <fstream>
#include <set>

#include "ApplicationDriver.h"

namespace tk::test {
namespace {

namespace fs = std::filesystem;

std::set<fs::path> filesUnder(const fs::path& folder) {
  std::set<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) found.insert(entry.path());
  return found;
}

TEST(LeftoverFilesTest,
     AStartRemovesWhatAKilledTakeLeftAndKeepsItsMovieLookAlikesTakesAndWhatARunningProcessHolds) {
  TK_REQUIRE_DESKTOP();
  Application app;
  // Its lists of working files beside this process's own, which stands for another running instance.
  app.setEnvironment("XDG_DATA_HOME", qEnvironmentVariable("XDG_DATA_HOME"));
  const fs::path folder = app.recordings().toStdString();
  app.start();
  ASSERT_TRUE(startDisplayRecording(app)) << app.output().toStdString();
  ASSERT_TRUE(waitForRecorded(app, 1.0)) << app.output().toStdString();
  const std::string killed = std::to_string(app.process().processId());
  ::kill(static_cast<pid_t>(app.process().processId()), SIGKILL);
  ASSERT_TRUE(app.process().waitForFinished(60000));

  // What the take was working on: the disk reserve beside its movie, which has its own name already.
  std::set<fs::path> leftovers;
  for (const auto& file : filesUnder(folder)) {
    const std::string name = file.filename().string();
    if (name.find(".reserve-") != std::string::npos || name.find(".recording-") != std::string::npos)
      leftovers.insert(file);
  }
  ASSERT_FALSE(leftovers.empty()) << "the killed take left no reserve";

  // Names of the same shape, some with the killed process's number, in the folder and one below.
  const fs::path package = folder / "Recording-2026-12-07 05.00.00";
  fs::create_directory(package);
  fs::create_directory(folder / "MyStuff");
  for (const fs::path& file :
       {folder / ".taxes.reserve-2024", folder / "MyStuff" / ".draft.recording-31337",
        folder / (".Recording at 2026-12-07 05.00.00.mov.reserve-" + killed),
        folder / (".Recording at 2026-12-07 05.00.00.mov.recording-" + killed),
        folder / (".Clip (Edited 2026-12-07 05.10.00).partial-" + killed + "-0123456789abcdef.mp4"),
        package / (".screen.mov.reserve-" + killed)})
    std::ofstream(file) << "someone's";
  // A working file of a process that runs.
  const fs::path held = folder / ".Recording at 2026-12-07 05.20.00.mov.recording-held";
  LeftoverFiles::claim(held);
  std::ofstream(held) << "still written";
  // A run that ended let go of a file (a take its finish kept under its working name), and left a
  // take cut short under its working name, listed.
  const QStringList killedMovie = filesIn(app.recordings(), "Recording at *.mov");
  ASSERT_EQ(killedMovie.size(), 1);
  const fs::path ended = fs::path(qEnvironmentVariable("XDG_DATA_HOME").toStdString()) / "tavelkombrix" /
                         "working-files" / "4242-0badc0de.list";
  const fs::path released = folder / ".Recording at 2026-12-07 05.30.00.mov.recording-4242-0badc0de";
  const fs::path cutShort = folder / ".Recording at 2026-12-07 05.40.00.mov.recording-4242-0badc0de";
  std::ofstream(released) << "kept by its finish";
  fs::copy_file(folder / killedMovie.front().toStdString(), cutShort);
  std::ofstream(ended, std::ios::binary) << '+' << released.string() << '\0' << '-' << released.string()
                                         << '\0' << '+' << cutShort.string() << '\0';
  std::set<fs::path> kept = filesUnder(folder);
  for (const auto& file : leftovers) kept.erase(file);
  kept.erase(cutShort);

  app.start();
  EXPECT_TRUE(waitUntil(
      [&] {
        return std::none_of(leftovers.begin(), leftovers.end(),
                            [](const fs::path& f) { return fs::exists(f); });
      },
      std::chrono::seconds(60)))
      << "the leftovers stayed; the application said: " << app.output().toStdString();
  // Once it ended, its sweep has.
  app.process().terminate();
  ASSERT_TRUE(app.process().waitForFinished(60000));
  for (const auto& file : kept) EXPECT_TRUE(fs::exists(file)) << file;
  // The take cut short took its movie's name, and the start said so.
  EXPECT_FALSE(fs::exists(cutShort));
  EXPECT_TRUE(app.output().contains(
      QString::fromStdString("Kept the recording of an interrupted run: " + cutShort.string() + " is now " +
                             (folder / "Recording at 2026-12-07 05.40.00.mov").string())))
      << app.output().toStdString();
  QStringList movies = filesIn(app.recordings(), "Recording at *.mov");
  QStringList expected{"Recording at 2026-12-07 05.40.00.mov", killedMovie.front()};
  movies.sort();
  expected.sort();
  ASSERT_EQ(movies.join(", ").toStdString(), expected.join(", ").toStdString());
  for (const QString& movie : movies)
    EXPECT_GT(movieDuration(QDir(app.recordings()).filePath(movie)), 0.9) << movie.toStdString() << " does not play";
  LeftoverFiles::removeOwn(held);
}

}  // namespace
}  // namespace tk::test
