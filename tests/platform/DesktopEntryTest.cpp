// Reading desktop entries: the facts of the [Desktop Entry] group and the program an Exec runs.
#include "platform/qt/DesktopEntry.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace tk;

TEST(DesktopEntryTest, ReadsTheDesktopEntryGroupOnly) {
  const auto entry = DesktopEntry::parse(
      "# comment\n[Desktop Entry]\nType=Application\nName=Film Cutter\nName[de]=Filmschnitt\n"
      "Exec=cutter --new-window %U\nIcon=cutter\n\n[Desktop Action New]\nName=Other\nExec=other\n");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->type, "Application");
  EXPECT_EQ(entry->name, "Film Cutter");
  EXPECT_EQ(entry->exec, "cutter --new-window %U");
  EXPECT_EQ(entry->applicationId(), "cutter");
  EXPECT_FALSE(entry->hidden);

  EXPECT_FALSE(DesktopEntry::parse("Name=No group\nExec=x\n"));
  EXPECT_FALSE(DesktopEntry::parse(QByteArray("\x00\xff\xfe", 3)));
  const auto hidden = DesktopEntry::parse("[Desktop Entry]\nHidden=true\nX-GNOME-Autostart-enabled=false\n");
  ASSERT_TRUE(hidden);
  EXPECT_TRUE(hidden->hidden);
  EXPECT_FALSE(hidden->autostartEnabled);
}

TEST(DesktopEntryTest, TheIdIsTheWindowClassElseTheProgramThatExecRuns) {
  const auto id = [](const char* body) {
    return DesktopEntry::parse(QByteArray("[Desktop Entry]\n") + body)->applicationId();
  };
  EXPECT_EQ(id("Exec=firefox %u\nStartupWMClass=Firefox\n"), "Firefox");
  EXPECT_EQ(id("Exec=/usr/bin/gimp-2.10 %U\n"), "gimp-2.10");
  EXPECT_EQ(id("Exec=env GDK_BACKEND=x11 LANG=C /opt/app/bin/app --flag\n"), "app");
  EXPECT_EQ(id(R"(Exec="/opt/My Apps/tool" --x)"), "tool");
  EXPECT_EQ(id(R"(Exec="/opt/quote\"d/prog")"), "prog");
  EXPECT_EQ(id("Exec=\n"), "");
  EXPECT_EQ(id("Name=Only\n"), "");
}

TEST(DesktopEntryTest, WindowClassesTakeInTheFlatpakApplicationAndTheEntrysOwnId) {
  QTemporaryDir folder;
  const auto classes = [&](const char* fileName, const char* body) {
    QFile file(folder.filePath(fileName));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[Desktop Entry]\n") + body);
    file.close();
    return DesktopEntry::read(folder.filePath(fileName))->windowClasses();
  };
  EXPECT_EQ(classes("org.example.App.desktop",
                    "Exec=/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=app org.example.App "
                    "@@u %U @@\n"),
            QStringList({"org.example.App"}));
  EXPECT_EQ(classes("viewer.desktop", "Exec=flatpak run org.example.Viewer\n"),
            QStringList({"org.example.Viewer", "viewer"}));
  EXPECT_EQ(classes("exported.desktop", "Exec=launcher\nX-Flatpak=org.example.Exported\n"),
            QStringList({"org.example.Exported", "launcher", "exported"}));
  EXPECT_EQ(classes("wrapped-tool.desktop", "Exec=/opt/tool/run.sh %F\nStartupWMClass=Tool\n"),
            QStringList({"Tool", "run.sh", "wrapped-tool"}));
  EXPECT_EQ(classes("firefox.desktop", "Exec=firefox %u\nStartupWMClass=Firefox\n"),
            QStringList({"Firefox"}));
  EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=flatpak run\n")->flatpakApplicationId(), "");
  EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nExec=flatpak install x\n")->flatpakApplicationId(), "");
}

TEST(DesktopEntryTest, QuotedWordsSplitBackToThemselves) {
  for (const QString& word :
       {QString("/usr/bin/plain"), QString("/opt/with space/x"), QString(R"(a"b$c\d`e)"), QString("")}) {
    EXPECT_EQ(DesktopEntry::splitExec(DesktopEntry::quoteExecWord(word) + " next"),
              QStringList({word, "next"}))
        << word.toStdString();
  }
}
