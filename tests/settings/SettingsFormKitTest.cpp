// The settings form kit: rows bound to the store, the stepper's clamping, the pickers' options and
// the help sheet.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "SettingsTestStore.h"
#include "settings/SDivider.h"
#include "settings/SForm.h"
#include "settings/SGroupBox.h"
#include "settings/SInfoButton.h"
#include "settings/SPicker.h"
#include "settings/SSteper.h"
#include "settings/SToggle.h"
#include "support/TestSupport.h"
#include "ui/ToggleSwitch.h"

using namespace tk;

namespace {

constexpr IntSetting kDelay{"countdown", 0};
constexpr BoolSetting kFlag{"showPreview", true};

class SettingsFormKitTest : public ::testing::Test {
 protected:
  test::SettingsTestStore store_;
};

}  // namespace

TEST_F(SettingsFormKitTest, StepperClampsTypedSteppedAndOutsideValuesToItsBounds) {
  SSteper steper("Delay Before Recording", bindingOf(kDelay), 0, 99, 45);
  EXPECT_EQ(steper.field()->text(), "0");
  EXPECT_EQ(steper.field()->width(), 45);

  steper.enter("150");
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 99);
  EXPECT_EQ(steper.field()->text(), "99");
  steper.stepUp();
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 99);

  steper.enter("-5");
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 0);
  steper.stepDown();
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 0);
  steper.stepUp();
  steper.stepUp();
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 2);

  // Text that is no number leaves the value and shows it again.
  steper.enter("ten");
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 2);
  EXPECT_EQ(steper.field()->text(), "2");

  // A value written elsewhere shows, clamped like a typed one.
  SettingsStore::standard().setInteger("countdown", 7);
  EXPECT_EQ(steper.field()->text(), "7");
  SettingsStore::standard().setInteger("countdown", 1000);
  EXPECT_EQ(steper.field()->text(), "99");
  EXPECT_EQ(store_.reopened()->integerValue("countdown"), 99);
}

TEST_F(SettingsFormKitTest, ToggleShowsTheDefaultWritesTheKeyAndFollowsOtherWriters) {
  SToggle first("Show floating preview after recording", bindingOf(kFlag));
  SToggle second("Same key", bindingOf(kFlag));
  EXPECT_TRUE(first.isOn());
  EXPECT_FALSE(store_.reopened()->contains("showPreview"));  // showing a default stores nothing

  first.control()->click();
  EXPECT_FALSE(first.isOn());
  EXPECT_FALSE(second.isOn());  // every row bound to the key shows the write
  EXPECT_TRUE(store_.reopened()->contains("showPreview"));
  EXPECT_FALSE(store_.reopened()->boolValue("showPreview"));
  EXPECT_EQ(first.control()->width(), 32);
}

TEST_F(SettingsFormKitTest, RowsShowTheInfoButtonOnlyWithHelpTextAndItsSheetClosesWithOK) {
  SToggle plain("Plain", bindingOf(kFlag));
  EXPECT_EQ(plain.infoButton(), nullptr);

  SSteper helped("Auto-Stop After (minutes)", bindingOf(kDelay), 0, 999, 60,
                 QString("Set to 0 to disable auto-stop"));
  ASSERT_NE(helped.infoButton(), nullptr);
  SInfoButton* info = helped.infoButton();
  EXPECT_FALSE(info->isPresented());
  info->click();
  ASSERT_TRUE(info->isPresented());
  const auto texts = info->sheet()->findChildren<QLabel*>();
  ASSERT_EQ(texts.size(), 1);
  EXPECT_EQ(texts[0]->text(), "Set to 0 to disable auto-stop");
  auto* ok = info->sheet()->findChild<QPushButton*>();
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  ok->click();
  EXPECT_TRUE(test::waitUntil([&] { return !info->isPresented(); }));
}

TEST_F(SettingsFormKitTest, PickerShowsTheTaggedOptionAndStoresTheChosenValue) {
  auto binding = bindingOf(StringSetting{"backgroundColor", "wallpaper"})
                     .mapped<QVariant>([](const QString& text) { return QVariant(text); },
                                       [](const QVariant& value) { return value.toString(); });
  SPicker picker("Background", binding, {{"Wallpaper", QString("wallpaper")}, {"Black", QString("black")}});
  EXPECT_EQ(picker.optionTexts(), QStringList({"Wallpaper", "Black"}));
  EXPECT_EQ(picker.currentText(), "Wallpaper");
  EXPECT_TRUE(picker.choose(1));
  EXPECT_EQ(store_.reopened()->stringValue("backgroundColor"), "black");
  EXPECT_FALSE(picker.choose(2));

  // A stored value that no option carries shows none (and stays as it is).
  SettingsStore::standard().setString("backgroundColor", "purple");
  EXPECT_EQ(picker.currentText(), "");
  EXPECT_EQ(store_.reopened()->stringValue("backgroundColor"), "purple");
}

TEST_F(SettingsFormKitTest, FormAndGroupHoldTheirRowsInOrder) {
  SForm form(30, false);
  auto* group = new SGroupBox(QString("Startup"));
  auto* row = new SToggle("One", bindingOf(kFlag));
  auto* divider = new SDivider;
  group->add(row);
  group->add(divider);
  form.add(group);
  EXPECT_EQ(group->title(), "Startup");
  EXPECT_TRUE(group->font().bold());
  // The headline font is the title's alone.
  EXPECT_FALSE(row->font().bold());
  EXPECT_FALSE(row->findChild<QLabel*>()->font().bold());
  form.show();
  EXPECT_FALSE(row->findChild<QLabel*>()->font().bold());
  EXPECT_EQ(group->contents(), QList<QWidget*>({row, divider}));
  EXPECT_EQ(group->parentWidget(), &form);
  EXPECT_EQ(row->height(), SItem::kRowHeight);

  SGroupBox untitled;
  EXPECT_TRUE(untitled.title().isEmpty());
}
