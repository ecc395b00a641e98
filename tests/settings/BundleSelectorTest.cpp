// The hidden-applications list: desktop entries added and removed, each change stored as the JSON
// the capture filter reads.
#include "settings/BundleSelector.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>

#include "SettingsTestStore.h"
#include "capture/ContentQueries.h"
#include "support/TestSupport.h"

using namespace tk;

namespace {

class BundleSelectorTest : public ::testing::Test {
 protected:
  QString entry(const QString& file, const QByteArray& body) {
    const QString path = entries_.filePath(file);
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(body);
    return path;
  }
  std::vector<AppInfo> stored() { return loadHiddenApps(*store_.reopened()); }
  QByteArray storedText() { return store_.reopened()->dataValue("hiddenApps").value_or("absent"); }

  test::SettingsTestStore store_;
  QTemporaryDir entries_;
};

}  // namespace

TEST_F(BundleSelectorTest, TheChosenEntryIsAddedOnceAndStoredAsJson) {
  const QString editor = entry("org.example.Editor.desktop",
                               "[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/editor %F\n"
                               "StartupWMClass=Example-Editor\n");
  std::optional<QString> answer = editor;
  BundleSelector selector([&](QWidget*) { return answer; });
  selector.show();
  EXPECT_TRUE(selector.bundles().empty());
  EXPECT_EQ(storedText(), "absent");  // showing an empty list stores nothing

  selector.addButton()->click();
  EXPECT_EQ(
      storedText(),
      R"([{"bundleID":"Example-Editor","name":"Editor","windowClasses":["editor","org.example.Editor"]}])");
  EXPECT_EQ(selector.rowNames(), QStringList({"Editor"}));

  // The same application again keeps one row; a cancelled dialog changes nothing.
  selector.addButton()->click();
  answer.reset();
  selector.addButton()->click();
  EXPECT_EQ(stored().size(), 1u);

  // Without StartupWMClass the id is the program the entry runs; the entry's own id comes next.
  EXPECT_TRUE(selector.addEntry(
      entry("viewer.desktop", "[Desktop Entry]\nName=Viewer\nExec=env LANG=C viewer-bin --x\n")));
  EXPECT_EQ(stored(), (std::vector<AppInfo>{{"Example-Editor", "Editor"}, {"viewer-bin", "Viewer"}}));
  EXPECT_EQ(stored()[1].windowClasses, std::vector<std::string>{"viewer"});
}

TEST_F(BundleSelectorTest, EntriesThatNameNoApplicationAreRefusedWithALine) {
  BundleSelector selector([](QWidget*) { return std::nullopt; });
  test::CapturedLines lines;
  EXPECT_FALSE(
      selector.addEntry(entry("link.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=http://x\n")));
  EXPECT_FALSE(selector.addEntry(entry("plain.txt", "just some text\n")));
  EXPECT_FALSE(selector.addEntry(entries_.filePath("missing.desktop")));
  EXPECT_FALSE(
      selector.addEntry(entry("noexec.desktop", "[Desktop Entry]\nType=Application\nName=Nothing\n")));
  EXPECT_TRUE(selector.bundles().empty());
  EXPECT_EQ(storedText(), "absent");
  EXPECT_TRUE(lines.contains("Not a desktop entry"));
  EXPECT_TRUE(lines.contains("Not an application entry"));
}

TEST_F(BundleSelectorTest, NamesShowAsPlainTextAndTheMinusRemovesTheRow) {
  BundleSelector selector([](QWidget*) { return std::nullopt; });
  selector.addEntry(entry("a.desktop", "[Desktop Entry]\nName=<b>Bold</b>\nExec=alpha\n"));
  selector.addEntry(entry("b.desktop", "[Desktop Entry]\nName=Beta\nExec=beta\n"));
  for (QLabel* label : selector.findChildren<QLabel*>()) EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(selector.rowNames(), QStringList({"<b>Bold</b>", "Beta"}));

  ASSERT_TRUE(selector.removeRow(0));
  ASSERT_TRUE(test::waitUntil([&] { return selector.bundles().size() == 1; }));
  EXPECT_EQ(stored(), (std::vector<AppInfo>{{"beta", "Beta"}}));
  // Removing a record no longer listed does nothing.
  selector.remove({"alpha", "<b>Bold</b>"});
  EXPECT_EQ(stored().size(), 1u);
  ASSERT_TRUE(selector.removeRow(0));
  ASSERT_TRUE(test::waitUntil([&] { return selector.bundles().empty(); }));
  EXPECT_EQ(storedText(), "[]");
}

TEST_F(BundleSelectorTest, ShowingLoadsTheStoredListAndUnreadableDataIsReplacedByTheNextChange) {
  SettingsStore::standard().setData("hiddenApps", R"([{"bundleID":"Gimp-2.10","name":"GNU Image"}])");
  BundleSelector selector([](QWidget*) { return std::nullopt; });
  selector.show();
  EXPECT_EQ(selector.rowNames(), QStringList({"GNU Image"}));

  SettingsStore::standard().setData("hiddenApps", "{oops");
  BundleSelector broken([](QWidget*) { return std::nullopt; });
  test::CapturedLines lines;
  broken.show();
  EXPECT_TRUE(broken.bundles().empty());
  EXPECT_TRUE(lines.contains("cannot be read"));
  broken.addEntry(entry("c.desktop", "[Desktop Entry]\nName=Gamma\nExec=gamma\n"));
  EXPECT_EQ(stored(), (std::vector<AppInfo>{{"gamma", "Gamma"}}));
}

TEST_F(BundleSelectorTest, TheCaptureFilterMatchesTheStoredIdWhateverItsCase) {
  // An entry's program name is often the lower-case form of its windows' class.
  BundleSelector selector([](QWidget*) { return std::nullopt; });
  selector.addEntry(entry("fox.desktop", "[Desktop Entry]\nName=Fox\nExec=/usr/lib/fox/fox-browser %u\n"));
  ShareableContent content;
  CaptureApplication browser;
  browser.bundleIdentifier = "Fox-Browser";
  browser.processID = 42;
  CaptureApplication other;
  other.bundleIdentifier = "fox-browser-helper";
  other.processID = 43;
  content.applications = {std::make_shared<const CaptureApplication>(browser),
                          std::make_shared<const CaptureApplication>(other)};
  const auto hidden = hiddenApplications(content, SettingsStore::standard());
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_EQ(hidden[0]->processID, 42);
}
