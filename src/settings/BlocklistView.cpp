#include "settings/BlocklistView.h"

#include <QLabel>
#include <QVBoxLayout>

#include "settings/BundleSelector.h"
#include "settings/SForm.h"
#include "settings/SGroupBox.h"

namespace tk {

BlocklistView::BlocklistView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* form = new SForm(10, true, this);
  layout->addWidget(form);
  auto* group = new SGroupBox(tr("Blocklist"));
  selector_ = new BundleSelector;
  group->add(selector_);
  form->add(group);
  auto* note =
      new QLabel(tr("These apps will be excluded when recording \"Screen\" or \"Screen Area\"\n"
                    "But if the app is launched after the recording starts, it cannot be excluded."));
  note->setTextFormat(Qt::PlainText);
  note->setAlignment(Qt::AlignCenter);
  note->setForegroundRole(QPalette::PlaceholderText);
  QFont footnote = note->font();
  footnote.setPointSizeF(footnote.pointSizeF() * 0.85);
  note->setFont(footnote);
  form->add(note);
}

}  // namespace tk
