#include "selection/ResizePanelView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "selection/ScreenSelectorViewModel.h"
#include "settings/SettingsKeys.h"

namespace tk {

namespace {

QLabel* secondary(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

}  // namespace

ResizePanelView::ResizePanelView(CaptureDisplayRef screen, QSize size, long long resolution,
                                 std::function<void(QSize)> onSizeChanged, QWidget* parent)
    : QDialog(parent),
      screen_(std::move(screen)),
      size_(size),
      resolution_(resolution),
      onSizeChanged_(std::move(onSizeChanged)) {
  setWindowTitle(tr("Resize Area"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 20, 20, 20);
  column->setSpacing(16);

  auto* heading = new QLabel(tr("Resize Area"), this);
  QFont headline = heading->font();
  headline.setBold(true);
  heading->setFont(headline);
  heading->setAlignment(Qt::AlignCenter);
  column->addWidget(heading);

  auto* sizeRow = new QHBoxLayout();
  sizeRow->setSpacing(8);
  sizeRow->addStretch();
  sizeRow->addWidget(secondary(tr("Size:"), this));
  const auto makeField = [this](Field field) {
    auto* edit = new QLineEdit(this);
    edit->setFixedWidth(70);
    edit->setAlignment(Qt::AlignRight);
    connect(edit, &QLineEdit::editingFinished, this, [this, field] { commit(field); });
    return edit;
  };
  widthField_ = makeField(Field::width);
  heightField_ = makeField(Field::height);
  sizeRow->addWidget(widthField_);
  sizeRow->addWidget(secondary(QStringLiteral("×"), this));
  sizeRow->addWidget(heightField_);
  sizeRow->addStretch();
  column->addLayout(sizeRow);

  auto* outputRow = new QHBoxLayout();
  outputRow->addStretch();
  outputRow->addWidget(secondary(tr("Output:"), this));
  outputLabel_ = new QLabel(this);
  outputLabel_->setTextFormat(Qt::PlainText);
  outputRow->addWidget(outputLabel_);
  outputRow->addStretch();
  column->addLayout(outputRow);

  doneButton_ = new QPushButton(tr("Done"), this);
  doneButton_->setDefault(true);
  connect(doneButton_, &QPushButton::clicked, this, [this] {
    commit(Field::width);
    commit(Field::height);
    accept();
  });
  column->addWidget(doneButton_, 0, Qt::AlignCenter);

  widthField_->setText(QString::number(size_.width()));
  heightField_->setText(QString::number(size_.height()));
  refresh();
  widthField_->setFocus();
}

void ResizePanelView::commit(Field field) {
  QLineEdit* edit = field == Field::width ? widthField_ : heightField_;
  const IntSetting& setting = field == Field::width ? settings::areaWidth : settings::areaHeight;
  const long long limit = screen_ ? (field == Field::width ? screen_->width : screen_->height) : 1;
  const long long shown = field == Field::width ? size_.width() : size_.height();
  bool ok = false;
  // Digits only; anything else leaves the area as it is.
  const double typed = edit->text().trimmed().toDouble(&ok);
  long long value = ok && std::isfinite(typed) ? std::llround(std::clamp(typed, -1e12, 1e12)) : shown;
  value = std::clamp(value, 1LL, std::max(1LL, limit));
  edit->setText(QString::number(value));
  // Leaving a field, Done and Escape all end here: what was not changed must not move the area.
  if (value == shown) return;
  if (field == Field::width) {
    size_.setWidth(int(value));
  } else {
    size_.setHeight(int(value));
  }
  setting.write(value);
  refresh();
  if (onSizeChanged_) onSizeChanged_(size_);
}

QString ResizePanelView::outputText() const {
  long long width = size_.width();
  long long height = size_.height();
  if (resolution_ == 2) {
    double scale = 1.0;
    if (screen_) {
      if (QScreen* shown = ScreenSelectorViewModel::screenOf(*screen_)) scale = shown->devicePixelRatio();
    }
    width *= std::max(1LL, (long long)scale);
    height *= std::max(1LL, (long long)scale);
  }
  return QString::number(width) + QStringLiteral(" × ") + QString::number(height);
}

void ResizePanelView::refresh() {
  outputLabel_->setText(outputText());
}

}  // namespace tk
