#include "settings/SInfoButton.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Symbols.h"

namespace tk {

SInfoButton::SInfoButton(QString tips, QWidget* parent) : QToolButton(parent), tips_(std::move(tips)) {
  setAutoRaise(true);
  setCursor(Qt::PointingHandCursor);
  setIconSize(QSize(15, 15));
  QColor color = palette().color(QPalette::WindowText);
  color.setAlphaF(0.5);
  setIcon(symbolIcon(Symbol::infoCircle, color));
  setToolTip(tips_);
  connect(this, &QToolButton::clicked, this, &SInfoButton::present);
}

void SInfoButton::present() {
  if (sheet_) return;
  auto* sheet = new QDialog(this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(sheet);
  auto* box = new QGroupBox(sheet);
  auto* boxLayout = new QVBoxLayout(box);
  auto* text = new QLabel(tips_, box);
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  boxLayout->addWidget(text);
  layout->addWidget(box);
  auto* ok = new QPushButton(tr("OK"), sheet);
  ok->setMinimumWidth(30);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, sheet, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
  sheet_ = sheet;
  sheet->open();
}

}  // namespace tk
