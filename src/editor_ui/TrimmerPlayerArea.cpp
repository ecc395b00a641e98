#include "editor_ui/TrimmerPlayerArea.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "editor_ui/TrimmerPreview.h"
#include "editor_ui/TrimmerPreviewGeometry.h"
#include "editor_ui/VideoTrimmerView.h"

namespace tk {

TrimmerPlayerArea::TrimmerPlayerArea(VideoTrimmerView& trimmer, QWidget* parent)
    : QWidget(parent), trimmer_(trimmer) {
  setMinimumHeight(kMinimumHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

  loading_ = new QWidget(this);
  loading_->setAutoFillBackground(true);
  QPalette black = loading_->palette();
  black.setColor(QPalette::Window, Qt::black);
  loading_->setPalette(black);
  auto* loadingLayout = new QVBoxLayout(loading_);
  loadingLayout->setSpacing(16);
  loadingLayout->addStretch();
  auto* spinner = spinner_ = new QProgressBar(loading_);
  spinner->setRange(0, 0);  // indeterminate
  spinner->setFixedWidth(120);
  spinner->setTextVisible(false);
  loadingLayout->addWidget(spinner, 0, Qt::AlignHCenter);
  loadingText_ = new QLabel(QStringLiteral("Loading video..."), loading_);
  loadingText_->setTextFormat(Qt::PlainText);
  loadingText_->setWordWrap(true);
  loadingText_->setAlignment(Qt::AlignCenter);
  QFont font = loadingText_->font();
  font.setPointSizeF(14);
  loadingText_->setFont(font);
  loadingText_->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 160);"));
  loadingLayout->addWidget(loadingText_, 0, Qt::AlignHCenter);
  loadingLayout->addStretch();

  preview_ = new TrimmerPreview(trimmer_, this);

  exportCard_ = new QFrame(this);
  exportCard_->setObjectName(QStringLiteral("exportCard"));
  exportCard_->setAutoFillBackground(true);
  // Opaque, so that the preview (its cursor above all) never shows through the progress digits.
  exportCard_->setStyleSheet(
      QStringLiteral("#exportCard { background: palette(window); border-radius: 12px; }"));
  auto* shadow = new QGraphicsDropShadowEffect(exportCard_);
  shadow->setColor(QColor(0, 0, 0, 84));
  shadow->setBlurRadius(20);
  shadow->setOffset(0, 0);
  exportCard_->setGraphicsEffect(shadow);
  auto* cardLayout = new QVBoxLayout(exportCard_);
  cardLayout->setContentsMargins(24, 24, 24, 24);
  cardLayout->setSpacing(16);
  exportBar_ = new QProgressBar(exportCard_);
  exportBar_->setRange(0, 1000);
  exportBar_->setFixedWidth(200);
  exportBar_->setTextVisible(false);
  cardLayout->addWidget(exportBar_, 0, Qt::AlignHCenter);
  exportText_ = new QLabel(exportCard_);
  QFont medium = exportText_->font();
  medium.setPointSizeF(14);
  medium.setWeight(QFont::Medium);
  exportText_->setFont(medium);
  cardLayout->addWidget(exportText_, 0, Qt::AlignHCenter);
  exportCancel_ = new QPushButton(QStringLiteral("Cancel"), exportCard_);
  cardLayout->addWidget(exportCancel_, 0, Qt::AlignHCenter);
  connect(exportCancel_, &QPushButton::clicked, this, [this] { trimmer_.viewModel().cancelExport(); });
}

void TrimmerPlayerArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void TrimmerPlayerArea::relayout() {
  const auto& model = trimmer_.viewModel();
  const QSizeF available = size();
  const bool loading = model.isLoading();
  loading_->setVisible(loading);
  // A load that failed says so where the picture would be, instead of spinning on.
  spinner_->setVisible(!trimmer_.loadFailed());
  loadingText_->setText(trimmer_.loadFailed() ? QString::fromStdString(trimmer_.errorMessage())
                                              : QStringLiteral("Loading video..."));
  loading_->setGeometry(rect());
  preview_->setVisible(!loading);
  if (!loading) {
    const QSizeF natural = trimmer_.videoNaturalSize();
    const double ratio = TrimmerPreviewGeometry::canvasAspectRatio(trimmer_.verticalStack(),
                                                                   trimmer_.selectedAspect(), natural);
    const QSizeF canvas = TrimmerPreviewGeometry::canvasSize(available, ratio);
    const bool stacked = trimmer_.verticalStack() && trimmer_.cameraLayerExists();
    const QRect placed =
        QRectF(QPointF((available.width() - canvas.width()) / 2, (available.height() - canvas.height()) / 2),
               canvas)
            .toRect();
    const QSizeF area = TrimmerPreviewGeometry::standardScreenArea(
        QSizeF(placed.size()), TrimmerPreviewGeometry::previewAspectRatio(trimmer_.selectedAspect(), natural),
        natural);
    preview_->setGeometry(placed);
    preview_->setLayout(area, stacked);
  }
  exportCard_->setVisible(model.isExporting());
  if (model.isExporting()) {
    const double progress = std::clamp(model.exportProgress(), 0.0, 1.0);
    exportBar_->setValue(static_cast<int>(progress * 1000));
    exportText_->setText(QStringLiteral("Exporting: %1%").arg(static_cast<int>(std::trunc(progress * 100))));
    exportCard_->adjustSize();
    exportCard_->move((width() - exportCard_->width()) / 2, (height() - exportCard_->height()) / 2);
    exportCard_->raise();
  }
}

}  // namespace tk
