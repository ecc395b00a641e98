#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

class QMenu;
class QWidget;

namespace tk {

// One thing the desktop can do with files: copy them to the clipboard as a file list that file
// managers paste, open them with an application whose desktop entry takes their type (started
// once per file when its command takes a single file), send them
// by e-mail through xdg-email, or show them in their folder.
struct SharingService {
  enum class Kind { copy, openWith, email, showInFolder };

  Kind kind = Kind::copy;
  QString title;         // as the menu shows it
  QString desktopEntry;  // openWith: the application's desktop entry file

  bool operator==(const SharingService&) const = default;

  // Does it for `items` (local files); false when it could not be started.
  bool perform(const QList<QUrl>& items) const;
};

// A menu of what the desktop offers for some files: Copy, "Open with" each application that takes
// all their types, Email (where xdg-email is installed) and Show in Folder. Choosing one performs
// it; the delegate learns the choice, or that the menu closed without one. Main thread only.
class SharingServicePicker : public QObject {
  Q_OBJECT
 public:
  // What the owner of a picker may learn of it. Every method has a default that keeps the
  // picker's own behaviour.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The services to offer; `proposed` are the desktop's.
    virtual std::vector<SharingService> sharingServicesForItems(SharingServicePicker& picker,
                                                                const QList<QUrl>& items,
                                                                std::vector<SharingService> proposed);
    // The menu closed, after performing `service`, or without a choice (none).
    virtual void sharingServicePickerDidChooseSharingService(SharingServicePicker& picker,
                                                             const std::optional<SharingService>& service);
  };

  explicit SharingServicePicker(QList<QUrl> items, QObject* parent = nullptr);
  ~SharingServicePicker() override;

  const QList<QUrl>& items() const { return items_; }
  // Not owned; may be null.
  void setDelegate(Delegate* delegate) { delegate_ = delegate; }
  Delegate* delegate() const { return delegate_; }

  // What the desktop offers for the items, in menu order.
  std::vector<SharingService> services() const;
  // Opens the menu at `globalPosition`. It stays open until a choice or a click elsewhere.
  void show(QPoint globalPosition);
  // The open menu (null when none is open).
  QMenu* menu() const;

  // The applications whose desktop entries take every one of `mimeTypes` (the XDG data folders'
  // "applications", the first entry of an id wins); "Open with" items.
  static std::vector<SharingService> applicationsFor(const QStringList& mimeTypes);

 private:
  void finish(const std::optional<SharingService>& service);

  QList<QUrl> items_;
  Delegate* delegate_ = nullptr;
  QPointer<QMenu> menu_;
  bool finished_ = false;
};

}  // namespace tk
