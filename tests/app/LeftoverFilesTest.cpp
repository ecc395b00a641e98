// The application, started, removes what killed runs of it left in its recordings folder.

#include <unistd.h>

#include <QProcess>
#include <filesystem>
#include <fstream>

#include "ApplicationDriver.h"

namespace tk::test {
namespace {

namespace fs = std::filesystem;

TEST(LeftoverFilesTest, AStartRemovesThePartialExportsAndReservesOfRunsThatAreGone) {
  TK_REQUIRE_DESKTOP();
  Application app;
  const fs::path folder = app.recordings().toStdString();
  // A process that has ended: its files are leftovers.
  QProcess gone;
  gone.start("sleep", {"0.1"});
  ASSERT_TRUE(gone.waitForStarted(30000));
  const std::string dead = std::to_string(gone.processId());
  ASSERT_TRUE(gone.waitForFinished(30000));
  const std::string alive = std::to_string(::getpid());
  const fs::path package = folder / "Recording-2026-12-07 05.00.00";
  fs::create_directory(package);
  const std::vector<fs::path> stale{
      folder / (".Clip (Edited 2026-12-07 05.10.00).partial-" + dead + "-0123456789abcdef.mp4"),
      folder / (".Recording at 2026-12-07 05.00.00.mov.reserve-" + dead),
      package / (".screen.mov.reserve-" + dead)};
  const std::vector<fs::path> kept{
      folder / (".Clip (Merged 2026-12-07 05.10.00).partial-" + alive + "-0123456789abcdef.mov"),
      folder / (".Recording at 2026-12-07 05.20.00.mov.reserve-" + alive), folder / ".notes.partial-x.txt",
      folder / "Clip.mov", package / ".screen.mov"};
  for (const auto& file : stale) std::ofstream(file) << "left";
  for (const auto& file : kept) std::ofstream(file) << "ours";

  app.start();
  EXPECT_TRUE(waitUntil(
      [&] {
        return std::none_of(stale.begin(), stale.end(), [](const fs::path& f) { return fs::exists(f); });
      },
      std::chrono::seconds(60)))
      << "the leftovers stayed; the application said: " << app.output().toStdString();
  for (const auto& file : kept) EXPECT_TRUE(fs::exists(file)) << file;
}

}  // namespace
}  // namespace tk::test
