#include "support/ChildTests.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace tk::test {

void SanitizerLog::addTo(QProcessEnvironment& environment) const {
  // Under AddressSanitizer the leak and undefined-behaviour checkers share its log; the last
  // log_path given wins, so every tool names the same place.
  const QString place = "log_path=" + folder_.filePath("report");
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    const QString inherited = environment.value(name);
    environment.insert(name, inherited.isEmpty() ? place : inherited + ":" + place);
  }
}

QString SanitizerLog::reports() const {
  QString all;
  for (const QString& name : QDir(folder_.path()).entryList({"report.*"}, QDir::Files, QDir::Name)) {
    QFile file(QDir(folder_.path()).filePath(name));
    if (file.open(QIODevice::ReadOnly)) all += "---- " + name + "\n" + QString::fromUtf8(file.readAll());
  }
  return all;
}

void startChildTests(QProcess& child, const char* variable, const QString& value, const QString& filter,
                     QStringList wrapper) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(variable, value);
  // The child is judged by its tests; its leak report is the parent run's business. Its other
  // sanitizer options are the parent's.
  const QString inherited = environment.value("ASAN_OPTIONS");
  environment.insert("ASAN_OPTIONS", (inherited.isEmpty() ? "" : inherited + ":") + "detect_leaks=0");
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  wrapper << QCoreApplication::applicationFilePath() << "--gtest_filter=" + filter;
  const QString program = wrapper.takeFirst();
  child.start(program, wrapper);
}

std::optional<std::string> privateMountsRefused() {
  QProcess probe;
  probe.setProcessChannelMode(QProcess::MergedChannels);
  probe.start("unshare", {"-Urm", "true"});
  if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
    return "this machine allows no private mount namespace (unshare -Urm: " +
           (probe.error() == QProcess::FailedToStart ? std::string("not found")
                                                     : probe.readAll().trimmed().toStdString()) +
           ")";
  return std::nullopt;
}

std::optional<std::string> runTestsOnSmallDisk(const QString& filter, const QString& size) {
  if (auto refused = privateMountsRefused()) return refused;
  QTemporaryDir mountPoint;
  EXPECT_TRUE(mountPoint.isValid());
  QProcess child;
  const QString script = "mount -t tmpfs -o size=" + size + " tmpfs \"$1\" || exit 77; shift; exec \"$@\"";
  startChildTests(child, "TK_SMALL_DISK", mountPoint.path(), filter,
                  {"unshare", "-Urm", "sh", "-c", script, "sh", mountPoint.path()});
  EXPECT_TRUE(child.waitForStarted());
  EXPECT_TRUE(child.waitForFinished(600000));
  if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
    return "no small file system can be mounted in a private mount namespace here";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  return std::nullopt;
}

void fillDiskLeaving(const std::filesystem::path& folder, uint64_t room) {
  const int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  // A recording may write on meanwhile: when it took more than `room` between the count of what is
  // free and the taking, the taking fails whole, and the rest is counted again.
  int result = ENOSPC;
  off_t taken = 0;
  for (int attempt = 0; attempt < 100 && result == ENOSPC; ++attempt) {
    struct statvfs facts {};
    ASSERT_EQ(::statvfs(folder.c_str(), &facts), 0);
    const uint64_t free = uint64_t(facts.f_bavail) * facts.f_frsize;
    if (attempt > 0 && free <= room) {
      result = 0;  // the writer itself left no more than that
      break;
    }
    ASSERT_GT(free, room);
    result = ::posix_fallocate(fd, taken, off_t(free - room));
    if (result == 0) taken += off_t(free - room);
  }
  ::close(fd);
  EXPECT_EQ(result, 0);
}

}  // namespace tk::test
