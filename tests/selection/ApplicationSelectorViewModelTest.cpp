#include "selection/ApplicationSelectorViewModel.h"

#include <gtest/gtest.h>

#include <QMetaProperty>

#include "SelectionTestSupport.h"

using namespace tk;

namespace {

TEST(ApplicationSelectorViewModelTest, BothFieldsAreNotifyingPropertiesThatAnnounceEachChange) {
  ApplicationSelectorViewModel model;
  EXPECT_TRUE(model.appsByDisplay().empty());
  EXPECT_FALSE(model.isReady());
  int listChanges = 0;
  std::vector<bool> readiness;
  QObject::connect(&model, &ApplicationSelectorViewModel::appsByDisplayChanged, [&] { ++listChanges; });
  QObject::connect(&model, &ApplicationSelectorViewModel::isReadyChanged,
                   [&](bool ready) { readiness.push_back(ready); });

  // Whoever binds to the model finds each field by name, with the signal that announces it.
  for (const char* name : {"appsByDisplay", "isReady"}) {
    const QMetaObject& meta = ApplicationSelectorViewModel::staticMetaObject;
    const QMetaProperty property = meta.property(meta.indexOfProperty(name));
    ASSERT_TRUE(property.isValid()) << name;
    EXPECT_TRUE(property.hasNotifySignal()) << name;
  }

  const auto display = test::offscreenDisplay(0);
  const auto app = std::make_shared<const CaptureApplication>(CaptureApplication{"editor", "Editor", 7});
  // Written through the property as a binding would.
  model.setProperty("appsByDisplay",
                    QVariant::fromValue(ApplicationSelectorViewModel::AppsByDisplay{{display, {app}}}));
  model.setIsReady(true);
  ASSERT_EQ(model.appsByDisplay().size(), 1u);
  EXPECT_EQ(model.appsByDisplay()[0].second.front()->bundleIdentifier, "editor");
  EXPECT_EQ(model.property("appsByDisplay").value<ApplicationSelectorViewModel::AppsByDisplay>().size(), 1u);
  EXPECT_EQ(listChanges, 1);
  EXPECT_EQ(readiness, std::vector<bool>{true});
  EXPECT_TRUE(model.property("isReady").toBool());
}

}  // namespace
