#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/qt/SettingsStore.h"

using tk::SettingsStore;

class SettingsStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path() const { return dir.filePath("settings.conf"); }
};

TEST_F(SettingsStoreTest, KeysNeverStoredReadAsEmptyValues) {
  SettingsStore store(path());
  EXPECT_FALSE(store.contains("zoomLevel"));
  EXPECT_FALSE(store.boolValue("enableClickToZoom"));
  EXPECT_EQ(store.doubleValue("zoomLevel"), 0.0);
  EXPECT_EQ(store.integerValue("frameRate"), 0);
  EXPECT_FALSE(store.stringValue("videoEncoder").has_value());
  EXPECT_EQ(store.doubleValue("zoomLevel", 2.0), 2.0);
}

TEST_F(SettingsStoreTest, ValuesWrittenAsTextReadBackTyped) {
  {
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nenableClickToZoom=true\nshowMouse=YES\nhighlight=0\nzoomLevel=2.5\n"
               "frameRate=60\nbroken=abc\n");
  }
  SettingsStore store(path());
  EXPECT_TRUE(store.boolValue("enableClickToZoom"));
  EXPECT_TRUE(store.boolValue("showMouse"));
  EXPECT_FALSE(store.boolValue("highlight"));
  EXPECT_DOUBLE_EQ(store.doubleValue("zoomLevel"), 2.5);
  EXPECT_EQ(store.integerValue("frameRate"), 60);
  EXPECT_EQ(store.doubleValue("broken"), 0.0);
  EXPECT_FALSE(store.boolValue("broken"));
}

TEST_F(SettingsStoreTest, WritesPersistAcrossInstancesAndNotify) {
  {
    SettingsStore store(path());
    int notified = 0;
    QObject::connect(&store, &SettingsStore::changed, [&](const QString& key) {
      if (key == "countdown") ++notified;
    });
    store.setInteger("countdown", 3);
    store.setBool("showMouse", true);
    store.setString("videoEncoder", "h265");
    store.setData("hiddenApps", QByteArray("[]"));
    EXPECT_EQ(notified, 1);
  }
  SettingsStore reopened(path());
  EXPECT_EQ(reopened.integerValue("countdown"), 3);
  EXPECT_TRUE(reopened.boolValue("showMouse"));
  EXPECT_EQ(reopened.stringValue("videoEncoder").value(), "h265");
  EXPECT_EQ(reopened.dataValue("hiddenApps").value(), QByteArray("[]"));
  reopened.remove("countdown");
  EXPECT_FALSE(reopened.contains("countdown"));
}
