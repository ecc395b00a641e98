#include "settings/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QSet>

#include "SettingsTestStore.h"

using namespace tk;

TEST(SettingsKeysTest, TableHoldsEveryKeyOnceWithItsTypeAndDefault) {
  const auto& table = settingsKeyTable();
  QSet<QString> names;
  for (const auto& info : table) {
    EXPECT_FALSE(names.contains(info.key)) << info.key.toStdString();
    names.insert(info.key);
    EXPECT_EQ(info.defaultValue.isValid(), info.type != SettingType::data) << info.key.toStdString();
  }
  EXPECT_EQ(table.size(), 43u);
  EXPECT_EQ(settingsKeyInfo("frameRate")->defaultValue.toLongLong(), 60);
  EXPECT_EQ(settingsKeyInfo("recordSystemAudio")->defaultValue.toBool(), true);
  EXPECT_EQ(settingsKeyInfo("encoder")->defaultValue.toString(), "h265");
  EXPECT_EQ(settingsKeyInfo("cursorRippleColorGreen")->type, SettingType::real);
  EXPECT_EQ(settingsKeyInfo("hiddenApps")->type, SettingType::data);
  // One encoder key: the one that both the picker and the recordings use.
  EXPECT_FALSE(settingsKeyInfo("videoEncoder").has_value());
}

TEST(SettingsKeysTest, AFreshStoreShowsEveryDefault) {
  test::SettingsTestStore store;
  EXPECT_FALSE(settings::recordMicrophone.read());
  EXPECT_TRUE(settings::recordSystemAudio.read());
  EXPECT_EQ(settings::microphoneDevice.read(), "default");
  EXPECT_EQ(settings::frameRate.read(), 60);
  EXPECT_DOUBLE_EQ(settings::videoQuality.read(), 1.0);
  EXPECT_DOUBLE_EQ(settings::zoomLevel.read(), 2.0);
  EXPECT_DOUBLE_EQ(settings::cursorRippleColorBlue.read(), 1.0);
  EXPECT_TRUE(settings::preventSleep.read());
  EXPECT_EQ(settings::outputDirectory.read(), "");
  EXPECT_FALSE(settings::hiddenApps.read().has_value());
  // Nothing is registered with the store: reading it directly still gives its empty values.
  EXPECT_FALSE(store.store().contains("recordSystemAudio"));
  EXPECT_DOUBLE_EQ(store.store().doubleValue("zoomLevel"), 0.0);
}

TEST(SettingsKeysTest, WrittenAndTextValuesReadBackTyped) {
  test::SettingsTestStore store;
  store.writeText("recordSystemAudio=false\nframeRate=30\nvideoQuality=0.7\npreventSleep=0\nshowMouse=YES\n");
  EXPECT_FALSE(settings::recordSystemAudio.read());
  EXPECT_EQ(settings::frameRate.read(), 30);
  EXPECT_DOUBLE_EQ(settings::videoQuality.read(), 0.7);
  EXPECT_FALSE(settings::preventSleep.read());
  EXPECT_TRUE(settings::showMouse.read());

  settings::microphoneDevice.write("USB Mic & <b>Co</b>");
  settings::hiddenApps.write(QByteArray("[]"));
  EXPECT_EQ(settings::microphoneDevice.read(), "USB Mic & <b>Co</b>");
  EXPECT_EQ(settings::hiddenApps.read(), QByteArray("[]"));
}
