// The sharing picker of this desktop, opened on files and used as a person would: each service it
// offers is chosen once and does its work, and the delegate hands every outcome to its closure,
// none when the menu is dismissed. The desktop here is made up: applications in a data folder of
// the test's own (besides the machine's), and stand-ins for xdg-email and xdg-open that note how
// they were called.

#include "app/SharingServicePickerDelegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>

#include "support/TestSupport.h"

using namespace tk;

namespace {

class SharingServicePickerDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = qgetenv("PATH");
    savedDataHome_ = qgetenv("XDG_DATA_HOME");
    QDir(dir_.path()).mkpath("bin");
    QDir(dir_.path()).mkpath("data/applications");
    QDir(dir_.path()).mkpath("files");
    // Each stand-in writes its arguments, one a line, to a file named after it.
    for (const char* program : {"xdg-email", "xdg-open", "note-viewer"}) {
      writeFile(dir_.filePath(QStringLiteral("bin/") + program),
                "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" + dir_.filePath(program).toUtf8() +
                    ".args.tmp\"\nmv \"" + dir_.filePath(program).toUtf8() + ".args.tmp\" \"" +
                    dir_.filePath(program).toUtf8() + ".args\"\n",
                true);
    }
    writeFile(dir_.filePath("data/applications/tk-note-viewer.desktop"),
              "[Desktop Entry]\nType=Application\nName=Note Viewer\nExec=" +
                  dir_.filePath("bin/note-viewer").toUtf8() + " --new %F\nMimeType=text/plain;\n");
    writeFile(dir_.filePath("data/applications/tk-picture-viewer.desktop"),
              "[Desktop Entry]\nType=Application\nName=Picture Viewer\nExec=picture-viewer "
              "%f\nMimeType=image/png;\n");
    qputenv("PATH", dir_.filePath("bin").toUtf8() + ":" + savedPath_);
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    notes_ = {QUrl::fromLocalFile(dir_.filePath("files/first notes.txt")),
              QUrl::fromLocalFile(dir_.filePath("files/second.txt"))};
    for (const QUrl& file : notes_) writeFile(file.toLocalFile(), "some text\n");
  }
  void TearDown() override {
    qputenv("PATH", savedPath_);
    qputenv("XDG_DATA_HOME", savedDataHome_);
  }

  static void writeFile(const QString& path, const QByteArray& body, bool executable = false) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(body);
    file.close();
    if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner);
  }

  // The arguments a stand-in was called with, once it has run.
  QStringList argumentsOf(const char* program) {
    const QString path = dir_.filePath(program) + ".args";
    if (!test::waitUntil([&] { return QFile::exists(path); })) return {QStringLiteral("(never ran)")};
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  }

  static QStringList titles(const std::vector<SharingService>& services) {
    QStringList result;
    for (const SharingService& service : services) result << service.title;
    return result;
  }

  // Opens the picker's menu and waits until it shows.
  static QMenu* openMenu(SharingServicePicker& picker) {
    picker.show(QPoint(200, 200));
    EXPECT_TRUE(test::waitUntil([&] { return picker.menu() && picker.menu()->isVisible(); }))
        << "the menu never showed";
    return picker.menu();
  }

  // The action titled `title` in the picker's menu, opened for it; null when it offers none.
  static QAction* offered(SharingServicePicker& picker, const QString& title) {
    QMenu* menu = openMenu(picker);
    if (!menu) return nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == title) return action;
    }
    return nullptr;
  }

  QTemporaryDir dir_;
  QList<QUrl> notes_;
  QByteArray savedPath_, savedDataHome_;
};

TEST_F(SharingServicePickerDelegateTest, TheMenuOffersWhatTheDesktopHasForTheFiles) {
  // Copy first, Show in Folder last; between them the applications that take text, then e-mail.
  const auto expectOffers = [](const QStringList& offered, bool email) {
    ASSERT_GE(offered.size(), 3);
    EXPECT_EQ(offered.first(), "Copy");
    EXPECT_EQ(offered.last(), "Show in Folder");
    EXPECT_TRUE(offered.contains("Open with Note Viewer")) << offered.join(", ").toStdString();
    EXPECT_FALSE(offered.contains("Open with Picture Viewer")) << "the picture viewer takes no text";
    EXPECT_EQ(offered.contains("Email"), email);
    if (email) {
      EXPECT_EQ(offered.indexOf("Email"), offered.size() - 2);
    }
  };
  SharingServicePicker picker(notes_);
  expectOffers(titles(picker.services()), true);
  // A type the text one derives from counts too: C source is text.
  writeFile(dir_.filePath("files/main.c"), "int main() {}\n");
  expectOffers(titles(SharingServicePicker({QUrl::fromLocalFile(dir_.filePath("files/main.c"))}).services()),
               true);
  // A picture and a text together: only what takes both.
  writeFile(dir_.filePath("files/dot.png"),
            QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX"
                                   "8jx0gAAAABJRU5ErkJggg=="));
  const QStringList mixed = titles(
      SharingServicePicker({notes_[0], QUrl::fromLocalFile(dir_.filePath("files/dot.png"))}).services());
  EXPECT_FALSE(mixed.contains("Open with Note Viewer"));
  EXPECT_FALSE(mixed.contains("Open with Picture Viewer"));

  // Without xdg-email there is no e-mail.
  qputenv("PATH", dir_.filePath("nothing").toUtf8());
  expectOffers(titles(picker.services()), false);
}

TEST_F(SharingServicePickerDelegateTest, EachChoiceIsPerformedAndDismissingHandsOverNone) {
  TK_REQUIRE_DESKTOP();
  SharingServicePickerDelegate delegate;
  std::vector<std::optional<SharingService>> outcomes;
  delegate.onDidChooseService = [&](const std::optional<SharingService>& service) {
    outcomes.push_back(service);
  };
  SharingServicePicker picker(notes_);
  picker.setDelegate(&delegate);
  const auto choose = [&](const QString& title) {
    QAction* chosen = offered(picker, title);
    ASSERT_NE(chosen, nullptr) << title.toStdString();
    const size_t before = outcomes.size();
    chosen->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return outcomes.size() == before + 1 && !picker.menu(); }));
    ASSERT_TRUE(outcomes.back().has_value());
    EXPECT_EQ(outcomes.back()->title, title);
  };

  // Copy: a file list that file managers paste, and the plain URI list.
  choose("Copy");
  const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->urls(), notes_);
  EXPECT_EQ(copied->data("x-special/gnome-copied-files"),
            "copy\n" + notes_[0].toEncoded() + "\n" + notes_[1].toEncoded());

  choose("Open with Note Viewer");
  EXPECT_EQ(argumentsOf("note-viewer"),
            QStringList({"--new", notes_[0].toLocalFile(), notes_[1].toLocalFile()}));

  choose("Email");
  EXPECT_EQ(argumentsOf("xdg-email"),
            QStringList({"--attach", notes_[0].toLocalFile(), "--attach", notes_[1].toLocalFile()}));

  choose("Show in Folder");
  EXPECT_EQ(argumentsOf("xdg-open"), QStringList({QUrl::fromLocalFile(dir_.filePath("files")).toString()}));

  // Escape closes the menu without a choice.
  QMenu* menu = openMenu(picker);
  ASSERT_NE(menu, nullptr);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(menu, &escape);
  ASSERT_TRUE(test::waitUntil([&] { return outcomes.size() == 5; })) << "dismissing was not handed over";
  EXPECT_FALSE(outcomes.back().has_value());
  test::pumpEvents(std::chrono::milliseconds(50));
  EXPECT_EQ(outcomes.size(), 5u) << "one outcome per opening";
}

TEST_F(SharingServicePickerDelegateTest, AnApplicationThatTakesOneFileIsStartedOncePerFile) {
  TK_REQUIRE_DESKTOP();
  // Each start adds its file to one log; the starts may run in any order.
  const QByteArray log = dir_.filePath("single-viewer.log").toUtf8();
  writeFile(dir_.filePath("bin/single-viewer"), "#!/bin/sh\necho \"$1|$2|$3\" >> \"" + log + "\"\n", true);
  writeFile(dir_.filePath("data/applications/tk-single-viewer.desktop"),
            "[Desktop Entry]\nType=Application\nName=Single Viewer\nExec=" +
                dir_.filePath("bin/single-viewer").toUtf8() + " --open %f\nMimeType=text/plain;\n");
  QList<QUrl> files = notes_;
  files << QUrl::fromLocalFile(dir_.filePath("files/third.txt"));
  writeFile(files.back().toLocalFile(), "more text\n");

  SharingServicePicker picker(files);
  QAction* chosen = offered(picker, "Open with Single Viewer");
  ASSERT_NE(chosen, nullptr);
  chosen->trigger();

  QStringList started;
  ASSERT_TRUE(test::waitUntil([&] {
    QFile file(QString::fromUtf8(log));
    if (!file.open(QIODevice::ReadOnly)) return false;
    started = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    return started.size() >= 3;
  })) << started.join(", ").toStdString();
  started.sort();
  QStringList expected;
  for (const QUrl& file : files) expected << "--open|" + file.toLocalFile() + "|";
  expected.sort();
  EXPECT_EQ(started, expected);
}

TEST_F(SharingServicePickerDelegateTest, ADelegateWithoutAClosureDropsTheOutcomeAndTheChoiceIsStillMade) {
  TK_REQUIRE_DESKTOP();
  SharingServicePickerDelegate delegate;
  SharingServicePicker picker(notes_);
  picker.setDelegate(&delegate);
  EXPECT_NO_THROW(delegate.sharingServicePickerDidChooseSharingService(picker, std::nullopt));

  QAction* chosen = offered(picker, "Show in Folder");
  ASSERT_NE(chosen, nullptr);
  EXPECT_NO_THROW(chosen->trigger());
  EXPECT_EQ(argumentsOf("xdg-open"), QStringList({QUrl::fromLocalFile(dir_.filePath("files")).toString()}));
  EXPECT_TRUE(test::waitUntil([&] { return !picker.menu(); })) << "the menu stayed open";
}

}  // namespace
