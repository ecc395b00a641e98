#include "capture/DiskSpace.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <QTemporaryDir>

namespace tk {
namespace {

TEST(DiskSpaceTest, AFolderNotYetMadeIsMeasuredOnItsNearestParent) {
  QTemporaryDir directory;
  const std::filesystem::path existing = directory.path().toStdString();
  const auto here = availableDiskSpace(existing);
  ASSERT_TRUE(here.has_value());
  struct statvfs info {};
  ASSERT_EQ(statvfs(existing.c_str(), &info), 0);
  // The volume is shared with everything else running: allow it to move a little.
  EXPECT_NEAR(static_cast<double>(*here), static_cast<double>(info.f_bavail) * info.f_frsize,
              64.0 * 1024 * 1024);

  const auto later = availableDiskSpace(existing / "Recordings" / "not" / "made");
  ASSERT_TRUE(later.has_value());
  EXPECT_NEAR(static_cast<double>(*later), static_cast<double>(*here), 64.0 * 1024 * 1024);
  EXPECT_FALSE(availableDiskSpace("").has_value());
}

}  // namespace
}  // namespace tk
