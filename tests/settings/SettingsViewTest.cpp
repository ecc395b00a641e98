#include "settings/SettingsView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainterPath>
#include <QTranslator>

#include "settings/SGroupBox.h"

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
  for (size_t i = 0; i < kSymbolCount; ++i) {
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

// A translation of every text, as a loaded translation file would give one.
class MarkingTranslator : public QTranslator {
 public:
  QString translate(const char* context, const char* sourceText, const char*, int) const override {
    return QString::fromUtf8(context).startsWith("tk::")
               ? QStringLiteral("«%1»").arg(QString::fromUtf8(sourceText))
               : QString();
  }
  bool isEmpty() const override { return false; }
};

TEST(SettingsViewTest, TextsGoThroughTheLoadedTranslationWhileTabsKeepTheirNames) {
  MarkingTranslator translator;
  QCoreApplication::installTranslator(&translator);
  SettingsView view;
  QCoreApplication::removeTranslator(&translator);
  EXPECT_EQ(view.windowTitle(), "«tavelkombrix Settings»");
  auto* sidebar = view.findChild<QListWidget*>();
  ASSERT_NE(sidebar, nullptr);
  EXPECT_EQ(sidebar->item(1)->text(), "«Recorder»");
  // The tabs are still chosen by their own names.
  view.setSelectedItem("Hotkey");
  EXPECT_EQ(view.selectedItem(), "Hotkey");
  QStringList texts;
  for (QLabel* label : view.page("Hotkey")->findChildren<QLabel*>()) texts << label->text();
  for (SGroupBox* group : view.findChildren<SGroupBox*>()) texts << group->title();
  EXPECT_TRUE(texts.contains("«Hotkey»")) << texts.join(" | ").toStdString();
  EXPECT_TRUE(texts.contains("«Keyboard shortcuts will be implemented in a future update»"));
  EXPECT_TRUE(texts.contains("«Studio Features»"));
  EXPECT_TRUE(texts.contains("«Blocklist»"));
}
