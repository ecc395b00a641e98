#include "settings/SettingsView.h"

#include <gtest/gtest.h>

#include <QPainterPath>

#include "ui/Symbols.h"

using namespace tk;

TEST(SettingsViewTest, OpensAtGeneralWithTheFiveTabsInOrder) {
  SettingsView view;
  EXPECT_FALSE(view.windowTitle().isEmpty());
  EXPECT_EQ(view.selectedItem(), "General");
  EXPECT_EQ(SettingsView::tabTitles(), QStringList({"General", "Recorder", "Output", "Hotkey", "Blocklist"}));
  QString seen;
  QObject::connect(&view, &SettingsView::selectedItemChanged, [&](const QString& title) { seen = title; });
  view.setSelectedItem("Output");
  EXPECT_EQ(view.selectedItem(), "Output");
  EXPECT_EQ(seen, "Output");
  ASSERT_NE(view.page("Blocklist"), nullptr);
  EXPECT_EQ(view.page("Blocklist")->objectName(), "Blocklist");
  EXPECT_EQ(view.page("Nope"), nullptr);
}

TEST(SymbolsTest, EverySymbolIsAShapeInsideItsUnitSquare) {
  for (int i = 0; i <= static_cast<int>(Symbol::xmarkCircle); ++i) {
    const QPainterPath& path = symbolPath(static_cast<Symbol>(i));
    const QRectF bounds = path.boundingRect();
    EXPECT_FALSE(path.isEmpty()) << i;
    EXPECT_GT(bounds.width(), 0.3) << i;
    EXPECT_TRUE(QRectF(-0.01, -0.01, 1.02, 1.02).contains(bounds)) << i;
  }
  // The gear has its hole: the centre is not filled, the ring around it is.
  EXPECT_FALSE(symbolPath(Symbol::gearshapeFill).contains(QPointF(0.5, 0.5)));
  EXPECT_TRUE(symbolPath(Symbol::gearshapeFill).contains(QPointF(0.5, 0.75)));
}
