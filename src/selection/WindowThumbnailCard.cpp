#include "selection/WindowThumbnailCard.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace tk {

namespace {
const QColor kBlue(0, 122, 255);
}

WindowThumbnailCard::WindowThumbnailCard(std::shared_ptr<const WindowThumbnail> thumbnail, QWidget* parent)
    : QAbstractButton(parent), thumbnail_(std::move(thumbnail)) {
  setFixedSize(kMinimumWidth, kHeight);
  setCursor(Qt::PointingHandCursor);
  if (thumbnail_->window && thumbnail_->window->owningApplication)
    icon_ = appIcon(*thumbnail_->window->owningApplication);
  setToolTip(caption());
  setAccessibleName(caption());
}

void WindowThumbnailCard::setThumbnail(std::shared_ptr<const WindowThumbnail> thumbnail) {
  thumbnail_ = std::move(thumbnail);
  update();
}

void WindowThumbnailCard::setSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  update();
}

QString WindowThumbnailCard::captionFor(const CaptureWindow& window) {
  if (!window.title.empty()) return QString::fromStdString(window.title);
  if (window.owningApplication && !window.owningApplication->applicationName.empty())
    return QString::fromStdString(window.owningApplication->applicationName);
  return tr("Untitled");
}

QString WindowThumbnailCard::caption() const {
  return thumbnail_->window ? captionFor(*thumbnail_->window) : tr("Untitled");
}

QIcon WindowThumbnailCard::appIcon(const CaptureApplication& application) {
  // The application's class names its icon in the desktop's theme, as launchers look it up.
  const QString name = QString::fromStdString(application.bundleIdentifier).toLower();
  if (name.isEmpty() || !QIcon::hasThemeIcon(name)) return {};
  return QIcon::fromTheme(name);
}

void WindowThumbnailCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setPen(Qt::NoPen);
  painter.setBrush(selected_ ? QColor(0, 122, 255, 51) : QColor(255, 255, 255, 13));
  painter.drawRoundedRect(QRectF(rect()), 8, 8);

  // The picture, fitted into 100 points of height, centred in its 110-point box.
  const QRectF box(8, 8, width() - 16, 110);
  const QImage& image = thumbnail_->image;
  QRectF picture;
  if (!image.isNull()) {
    const QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(box.width(), 100), Qt::KeepAspectRatio);
    picture = QRectF(box.center().x() - fitted.width() / 2, box.center().y() - fitted.height() / 2,
                     fitted.width(), fitted.height());
    QPainterPath clip;
    clip.addRoundedRect(picture, 6, 6);
    painter.save();
    painter.setClipPath(clip);
    painter.drawImage(picture, image);
    painter.restore();
  }
  if (selected_) {
    painter.setPen(QPen(kBlue, 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(picture.isValid() ? picture : box, 6, 6);
  }
  if (!icon_.isNull()) {
    const QPointF centre = box.center() + QPointF(0, 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 128));
    painter.drawEllipse(centre, 16, 16);
    icon_.paint(&painter, QRect(int(centre.x()) - 14, int(centre.y()) - 14, 28, 28));
  }

  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  painter.setPen(QColor(255, 255, 255, 204));
  const QRectF text(8, box.bottom() + 6, width() - 16, 16);
  // Drawn, not rendered: markup in a title stays text.
  const QString elided = QFontMetrics(font).elidedText(caption(), Qt::ElideRight, int(text.width()));
  painter.drawText(text, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, elided);
}

}  // namespace tk
