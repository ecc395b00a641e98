#pragma once

#include <QObject>
#include <utility>
#include <vector>

#include "platform/media/ShareableContent.h"

namespace tk {

// The applications that have windows on each display, and whether that list is complete: a holder
// for a picker of applications. Nothing fills it yet; whoever does sets both fields, and each
// change is announced. Main thread only.
class ApplicationSelectorViewModel : public QObject {
  Q_OBJECT
  Q_PROPERTY(
      AppsByDisplay appsByDisplay READ appsByDisplay WRITE setAppsByDisplay NOTIFY appsByDisplayChanged)
  Q_PROPERTY(bool isReady READ isReady WRITE setIsReady NOTIFY isReadyChanged)
 public:
  using DisplayApplications = std::pair<CaptureDisplayRef, std::vector<CaptureApplicationRef>>;
  using AppsByDisplay = std::vector<DisplayApplications>;

  explicit ApplicationSelectorViewModel(QObject* parent = nullptr);

  const AppsByDisplay& appsByDisplay() const { return appsByDisplay_; }
  void setAppsByDisplay(AppsByDisplay appsByDisplay);
  bool isReady() const { return isReady_; }
  void setIsReady(bool isReady);

 signals:
  void appsByDisplayChanged();
  void isReadyChanged(bool isReady);

 private:
  AppsByDisplay appsByDisplay_;
  bool isReady_ = false;
};

}  // namespace tk
