#include "settings/GeneralView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/TaskbarPresence.h"
#include "settings/SDivider.h"
#include "settings/SForm.h"
#include "settings/SGroupBox.h"
#include "settings/SToggle.h"

namespace tk {

GeneralView::GeneralView(QWidget* parent) : GeneralView(LoginItemService::mainApp(), parent) {}

GeneralView::GeneralView(LoginItemService loginItem, QWidget* parent)
    : QWidget(parent), loginItem_(std::move(loginItem)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* form = new SForm(30, false, this);
  layout->addWidget(form);

  auto* startup = new SGroupBox(tr("Startup"));
  launchAtLoginToggle_ = new SToggle(tr("Launch at Login"), bindingOfState(&launchAtLogin_));
  showInDockToggle_ = new SToggle(tr("Show tavelkombrix in Taskbar"), bindingOf(settings::showInDock));
  showInMenuBarToggle_ = new SToggle(tr("Show tavelkombrix in Tray"), bindingOf(settings::showInMenuBar));
  startup->add(launchAtLoginToggle_);
  startup->add(new SDivider);
  startup->add(showInDockToggle_);
  startup->add(new SDivider);
  startup->add(showInMenuBarToggle_);
  form->add(startup);

  const QString version = QCoreApplication::applicationVersion();
  if (!version.isEmpty()) {
    version_ = new QLabel(QStringLiteral("tavelkombrix v") + version);
    version_->setTextFormat(Qt::PlainText);
    version_->setAlignment(Qt::AlignCenter);
    version_->setForegroundRole(QPalette::PlaceholderText);
    form->add(version_);
  }

  connect(launchAtLoginToggle_, &SToggle::toggled, this, &GeneralView::changeLaunchAtLogin);
  connect(showInDockToggle_, &SToggle::toggled, this,
          [this](bool shown) { changeShowInDock(window(), shown); });
  refreshLaunchAtLogin();
}

void GeneralView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refreshLaunchAtLogin();
}

void GeneralView::refreshLaunchAtLogin() {
  launchAtLogin_ = loginItem_.status() == LoginItemService::Status::enabled;
  launchAtLoginToggle_->refresh();
}

void GeneralView::changeLaunchAtLogin(bool on) {
  try {
    if (on) {
      loginItem_.registerApp();
    } else {
      loginItem_.unregisterApp();
    }
  } catch (const Error& error) {
    Diagnostics::line(std::string("Failed to ") + (on ? "enable" : "disable") +
                      " launch at login: " + error.localizedDescription());
  }
  // The switch shows what the desktop will do, also after a failure.
  refreshLaunchAtLogin();
}

void GeneralView::changeShowInDock(QWidget* window, bool shown) {
  TaskbarPresence::shared().setShown(shown);
  // Taken off the taskbar, the window stays the active one.
  if (!shown && window) {
    window->raise();
    window->activateWindow();
  }
}

}  // namespace tk
