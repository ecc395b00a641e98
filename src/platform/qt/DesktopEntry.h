#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tk {

// The facts we use of an XDG desktop entry (a ".desktop" file): an application's name, command
// and window class. Read from the file's "[Desktop Entry]" group; other groups, comments and
// localized keys are passed over. Any thread.
struct DesktopEntry {
  QString type;            // "Application", "Link", ...
  QString name;            // "Name", unlocalized
  QString exec;            // "Exec" as written
  QString startupWMClass;  // "StartupWMClass"
  QString icon;
  QString flatpak;               // "X-Flatpak": the application id of an entry Flatpak exported
  QString id;                    // the desktop file id: the file's name without ".desktop" (set by read)
  QStringList mimeTypes;         // "MimeType": the types of files it opens
  bool noDisplay = false;        // "NoDisplay=true": not offered in menus
  bool hidden = false;           // "Hidden=true": the entry counts as deleted
  bool autostartEnabled = true;  // "X-GNOME-Autostart-enabled"

  // None when the file cannot be read or has no "[Desktop Entry]" group.
  static std::optional<DesktopEntry> read(const QString& path);
  static std::optional<DesktopEntry> parse(const QByteArray& text);

  // The program "Exec" runs: the first word that is neither "env" nor a VAR=value assignment, as
  // a file name without its folder. Empty when there is none.
  QString programName() const;
  // The window class the application's windows carry, which identifies it on the desktop: the
  // entry's "StartupWMClass", else the name of the program it runs. Empty when it has neither.
  QString applicationId() const;
  // The application id a Flatpak launch carries: "X-Flatpak", else the first word after
  // "flatpak run" and its options ("flatpak run --branch=stable org.example.App" gives
  // org.example.App). Empty for an entry that is no Flatpak launch.
  QString flatpakApplicationId() const;
  // Every window class the application's windows may carry, the likeliest first:
  // "StartupWMClass", the Flatpak application id, the program Exec runs (not "flatpak" itself),
  // the desktop file id. Without repeats (case does not count), never an empty one.
  QStringList windowClasses() const;

  // The words of an "Exec" value, with the quoting and escapes of the desktop entry rules undone.
  static QStringList splitExec(const QString& exec);
  // One word for an "Exec" value, quoted and escaped when it needs it.
  static QString quoteExecWord(const QString& word);
};

}  // namespace tk
