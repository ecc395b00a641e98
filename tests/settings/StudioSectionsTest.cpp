// The four studio sections of the Recorder tab: their switches, sliders, pickers and the ripple
// colour, read back through another instance of the store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QWheelEvent>

#include "SettingsTestStore.h"
#include "settings/AlphaChannelSettingsSection.h"
#include "settings/ClickToZoomSettingsSection.h"
#include "settings/CustomCursorSettingsSection.h"
#include "settings/SPicker.h"
#include "settings/SToggle.h"
#include "settings/SeparateLayersSettingsSection.h"
#include "settings/SettingsSlider.h"
#include "support/TestSupport.h"
#include "ui/ColorWell.h"
#include "ui/ToggleSwitch.h"

using namespace tk;

namespace {

class StudioSectionsTest : public ::testing::Test {
 protected:
  test::SettingsTestStore store_;
};

}  // namespace

TEST_F(StudioSectionsTest, AlphaIsOfferedWithTheCodecsThisMachineCanWrite) {
  // ProRes 4444 is what FFmpeg writes here; the check runs on a worker and answers on the main thread.
  AlphaChannelSettingsSection section;
  EXPECT_FALSE(section.isAlphaChannelSupported());
  EXPECT_FALSE(section.toggle()->isEnabled());
  bool answered = false;
  QObject::connect(&section, &AlphaChannelSettingsSection::supportChecked, [&] { answered = true; });
  section.show();
  ASSERT_TRUE(test::waitUntil([&] { return answered; }));
  EXPECT_TRUE(section.isAlphaChannelSupported());
  ASSERT_FALSE(section.supportedAlphaCodecs().empty());
  EXPECT_EQ(section.supportedAlphaCodecs().front(), AlphaVideoCodec::proRes4444);
  EXPECT_TRUE(section.toggle()->isEnabled());
  EXPECT_TRUE(section.warning()->isHidden());
  EXPECT_EQ(section.codecPicker(), nullptr);  // only while alpha is on

  section.toggle()->control()->click();
  EXPECT_TRUE(store_.reopened()->boolValue("enableAlphaChannel"));
  ASSERT_NE(section.codecPicker(), nullptr);
  QStringList offered;
  for (AlphaVideoCodec codec : section.supportedAlphaCodecs())
    offered << AlphaChannelSettingsSection::label(codec);
  EXPECT_EQ(section.codecPicker()->optionTexts(), offered);
  // The default "hevcWithAlpha" cannot be written here: the picker shows the codec a recording
  // falls back to, and stores nothing until a choice.
  EXPECT_EQ(section.codecPicker()->currentText(), "ProRes 4444");
  EXPECT_FALSE(store_.reopened()->contains("alphaChannelCodec"));
  section.codecPicker()->choose(0);
  EXPECT_EQ(store_.reopened()->stringValue("alphaChannelCodec"), "proRes4444");
}

TEST_F(StudioSectionsTest, WithoutAnyAlphaCodecTheSwitchIsOffDisabledAndExplained) {
  SettingsStore::standard().setBool("enableAlphaChannel", true);
  AlphaChannelSettingsSection section;
  section.applySupport({});
  EXPECT_FALSE(store_.reopened()->boolValue("enableAlphaChannel"));
  EXPECT_FALSE(section.toggle()->isEnabled());
  EXPECT_FALSE(section.toggle()->isOn());
  EXPECT_FALSE(section.warning()->isHidden());
  EXPECT_EQ(section.codecPicker(), nullptr);

  // Offered codecs: stored names show their codec, anything else the first offered one.
  section.applySupport(
      {AlphaVideoCodec::hevcWithAlpha, AlphaVideoCodec::proRes4444, AlphaVideoCodec::proRes4444XQ});
  section.toggle()->control()->click();
  ASSERT_NE(section.codecPicker(), nullptr);
  EXPECT_EQ(section.codecPicker()->optionTexts(),
            QStringList({"HEVC with Alpha", "ProRes 4444", "ProRes 4444 XQ"}));
  for (const auto& [stored, shown] : std::vector<std::pair<QString, QString>>{
           {"proRes4444XQ", "ProRes 4444 XQ"}, {"", "HEVC with Alpha"}, {"h264", "HEVC with Alpha"}}) {
    SettingsStore::standard().setString("alphaChannelCodec", stored);
    EXPECT_EQ(section.codecPicker()->currentText(), shown) << stored.toStdString();
  }
}

TEST_F(StudioSectionsTest, SeparateLayersAndClickToZoomSwitchesAndSliders) {
  SeparateLayersSettingsSection layers;
  EXPECT_EQ(layers.toggle()->label(), "Enable Separate Layer Recording");
  layers.toggle()->control()->click();
  EXPECT_TRUE(store_.reopened()->boolValue("enableSeparateLayers"));

  ClickToZoomSettingsSection zoom;
  EXPECT_TRUE(zoom.options()->isHidden());
  zoom.toggle()->control()->click();
  EXPECT_TRUE(store_.reopened()->boolValue("enableClickToZoom"));
  EXPECT_FALSE(zoom.options()->isHidden());

  struct Expected {
    SettingsSlider* slider;
    const char* label;
    double min, max, defaultValue;
    const char* text;
  };
  for (const Expected& e : {Expected{zoom.zoomLevel(), "Zoom Level:", 1.5, 3.0, 2.0, "2.0x"},
                            Expected{zoom.duration(), "Duration:", 0.3, 1.0, 0.5, "0.5s"},
                            Expected{zoom.clickThreshold(), "Click Threshold:", 0.3, 2.0, 0.5, "0.5s"}}) {
    EXPECT_EQ(e.slider->label(), e.label);
    EXPECT_DOUBLE_EQ(e.slider->minimum(), e.min);
    EXPECT_DOUBLE_EQ(e.slider->maximum(), e.max);
    EXPECT_DOUBLE_EQ(e.slider->value(), e.defaultValue);
    EXPECT_EQ(e.slider->valueText(), e.text);
  }
  // Untouched sliders store nothing: the loader keeps reading the store's empty values.
  EXPECT_FALSE(store_.reopened()->contains("zoomLevel"));

  // One step up from 2.0 stores exactly 2.1.
  zoom.zoomLevel()->slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(store_.reopened()->rawValue("zoomLevel").toString(), "2.1");
  EXPECT_EQ(zoom.zoomLevel()->valueText(), "2.1x");
  zoom.clickThreshold()->slider()->setValue(zoom.clickThreshold()->slider()->maximum());
  EXPECT_DOUBLE_EQ(store_.reopened()->doubleValue("clickThreshold"), 2.0);
  zoom.duration()->slider()->setValue(0);
  EXPECT_DOUBLE_EQ(store_.reopened()->doubleValue("zoomDuration"), 0.3);
  EXPECT_EQ(zoom.duration()->valueText(), "0.3s");

  zoom.toggle()->control()->click();
  EXPECT_TRUE(zoom.options()->isHidden());
}

TEST_F(StudioSectionsTest, CustomCursorStyleSizeAnimationsAndRippleColour) {
  CustomCursorSettingsSection cursor;
  EXPECT_TRUE(cursor.options()->isHidden());
  cursor.toggle()->control()->click();
  EXPECT_TRUE(store_.reopened()->boolValue("enableCustomCursor"));
  EXPECT_FALSE(cursor.options()->isHidden());

  EXPECT_EQ(cursor.style()->optionTexts(), QStringList({"Circle", "Arrow", "Pointer", "Custom"}));
  SettingsStore::standard().setString("cursorStyle", "sparkles");
  EXPECT_EQ(cursor.style()->currentText(), "Circle");
  cursor.style()->choose(2);
  EXPECT_EQ(store_.reopened()->stringValue("cursorStyle"), "pointer");

  // The size moves 16, 18, ... 48.
  QSlider* size = cursor.size()->slider();
  EXPECT_EQ(cursor.size()->valueText(), "24pt");
  size->setValue(0);
  EXPECT_EQ(cursor.size()->valueText(), "16pt");
  size->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_DOUBLE_EQ(store_.reopened()->doubleValue("cursorSize"), 18.0);
  size->setValue(size->maximum());
  EXPECT_DOUBLE_EQ(store_.reopened()->doubleValue("cursorSize"), 48.0);
  EXPECT_EQ(cursor.size()->valueText(), "48pt");
  EXPECT_EQ(size->maximum() - size->minimum(), 16);

  EXPECT_TRUE(cursor.scaleAnimation()->isOn());
  cursor.scaleAnimation()->control()->click();
  EXPECT_FALSE(store_.reopened()->boolValue("enableCursorScaleAnimation", true));

  // The well shows the stored components at full opacity; a choice stores only red, green, blue.
  EXPECT_EQ(cursor.rippleColor()->color(), QColor::fromRgbF(0.0f, 0.5f, 1.0f, 1.0f));
  cursor.rippleColor()->choose(QColor::fromRgbF(1.0f, 0.25f, 0.0f, 0.3f));
  const auto other = store_.reopened();
  EXPECT_NEAR(other->doubleValue("cursorRippleColorRed"), 1.0, 1e-4);
  EXPECT_NEAR(other->doubleValue("cursorRippleColorGreen"), 0.25, 1e-4);
  EXPECT_NEAR(other->doubleValue("cursorRippleColorBlue"), 0.0, 1e-4);
  EXPECT_EQ(cursor.rippleColor()->color().alphaF(), 1.0f);

  EXPECT_FALSE(cursor.rippleColorRow()->isHidden());
  cursor.rippleEffect()->control()->click();
  EXPECT_FALSE(store_.reopened()->boolValue("enableCursorRippleEffect", true));
  EXPECT_TRUE(cursor.rippleColorRow()->isHidden());

  // Switched off, the sub-rows go and their values stay.
  cursor.toggle()->control()->click();
  EXPECT_TRUE(cursor.options()->isHidden());
  EXPECT_EQ(store_.reopened()->stringValue("cursorStyle"), "pointer");
}

TEST_F(StudioSectionsTest, AWheelTurnWhileScrollingThePageChangesNoSetting) {
  CustomCursorSettingsSection cursor;
  cursor.toggle()->control()->click();
  const auto turn = [](QWidget* control) {
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(control, &wheel);
  };
  turn(cursor.size()->slider());
  turn(cursor.style()->control());
  const auto stored = store_.reopened();
  EXPECT_FALSE(stored->contains("cursorSize"));
  EXPECT_FALSE(stored->contains("cursorStyle"));
  EXPECT_EQ(cursor.size()->valueText(), "24pt");
  EXPECT_EQ(cursor.style()->currentText(), "Circle");
}
