#pragma once

#include <QWidget>

namespace tk {

class BundleSelector;

// The Blocklist tab: the hidden-applications list and what it does. Main thread only.
class BlocklistView : public QWidget {
  Q_OBJECT
 public:
  explicit BlocklistView(QWidget* parent = nullptr);
  BundleSelector* bundleSelector() const { return selector_; }

 private:
  BundleSelector* selector_ = nullptr;
};

}  // namespace tk
