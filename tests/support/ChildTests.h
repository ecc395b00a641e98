#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class QProcess;

namespace tk::test {

// A folder of its own for the sanitizer reports of the processes a test starts, so that a report
// from a child is seen whole and fails the test rather than going by in the output.
class SanitizerLog {
 public:
  // `environment` with the folder appended to the sanitizer options it inherited.
  void addTo(QProcessEnvironment& environment) const;
  // Every report written so far, whole, one after another; empty when there is none.
  QString reports() const;

 private:
  QTemporaryDir folder_;
};

// Runs this test program again in `child` on the tests `filter` names, with `variable` set to
// `value`; `wrapper` (a program and its arguments) runs it when given.
void startChildTests(QProcess& child, const char* variable, const QString& value, const QString& filter,
                     QStringList wrapper = {});

// Why this machine allows no private mount namespace (unshare -Urm), or nothing when it does: the
// child tests that need one run under "unshare -Urm".
std::optional<std::string> privateMountsRefused();

// Runs this test program again on the tests `filter` names inside a private mount namespace, on a
// fresh tmpfs of `size` (as mount's size= option) whose folder the child finds in TK_SMALL_DISK,
// and expects them to pass. Returns why it could not when this machine allows no private mount of
// a small file system: the caller skips with that reason.
std::optional<std::string> runTestsOnSmallDisk(const QString& filter, const QString& size);

// Takes all but `room` bytes of what is left on the file system of `folder`, in a file "filler".
void fillDiskLeaving(const std::filesystem::path& folder, uint64_t room);

}  // namespace tk::test
