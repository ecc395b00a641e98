#include "settings/HotkeyView.h"

#include <QLabel>
#include <QVBoxLayout>

#include "settings/SForm.h"
#include "settings/SGroupBox.h"

namespace tk {

HotkeyView::HotkeyView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* form = new SForm(10, false, this);
  layout->addWidget(form);
  auto* group = new SGroupBox(tr("Hotkey"));
  auto* text = new QLabel(tr("Keyboard shortcuts will be implemented in a future update"));
  text->setAlignment(Qt::AlignCenter);
  text->setForegroundRole(QPalette::PlaceholderText);
  text->setContentsMargins(8, 8, 8, 8);
  group->add(text);
  form->add(group);
  // What a person can do meanwhile: a launch of the program brings its bar back.
  auto* note = new QLabel(
      tr("Note: Until then, a shortcut set in the desktop's keyboard settings to run tavelkombrix brings "
         "its bar back"));
  note->setWordWrap(true);
  note->setAlignment(Qt::AlignCenter);
  note->setForegroundRole(QPalette::PlaceholderText);
  form->add(note);
}

}  // namespace tk
