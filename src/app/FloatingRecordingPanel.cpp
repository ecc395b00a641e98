#include "app/FloatingRecordingPanel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/FloatingRecordingPanelController.h"

namespace tk {

class FloatingRecordingPanel::StatusDot : public QWidget {
 public:
  explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(16, 16); }
  void setPaused(bool paused) {
    paused_ = paused;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor colour = paused_ ? QColor(255, 204, 0) : QColor(230, 40, 40);
    painter.setBrush(colour);
    painter.setPen(QPen(QColor(255, 255, 255, 77), 1));
    painter.drawEllipse(QRectF(2, 2, 12, 12));
  }

 private:
  bool paused_ = false;
};

namespace {

QToolButton* roundButton(QWidget* parent, QColor background) {
  auto* button = new QToolButton(parent);
  button->setFixedSize(28, 28);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setStyleSheet(
      QString("QToolButton { background: rgba(%1,%2,%3,%4); border-radius: 14px; color: white; }")
          .arg(background.red())
          .arg(background.green())
          .arg(background.blue())
          .arg(background.alpha()));
  return button;
}

}  // namespace

FloatingRecordingPanel::FloatingRecordingPanel(FloatingRecordingPanelController& controller)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      controller_(controller) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle("Recording");
  setFixedSize(kWidth, kHeight);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 10, 16, 10);
  column->setSpacing(6);
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  dot_ = new StatusDot(this);
  time_ = new QLabel(this);
  QFont font("monospace");
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(16);
  font.setWeight(QFont::Medium);
  time_->setFont(font);
  time_->setMinimumWidth(55);
  time_->setAlignment(Qt::AlignCenter);
  time_->setStyleSheet("color: white;");
  pauseButton_ = roundButton(this, QColor(255, 255, 255, 51));
  stopButton_ = roundButton(this, QColor(255, 0, 0, 204));
  stopButton_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  stopButton_->setToolTip(QCoreApplication::translate("tk::FloatingRecordingPanel", "Stop Recording"));
  layout->addWidget(dot_);
  layout->addWidget(time_);
  layout->addStretch(1);
  layout->addWidget(pauseButton_);
  layout->addWidget(stopButton_);
  column->addLayout(layout);
  problem_ = new QLabel(this);
  problem_->setTextFormat(Qt::PlainText);
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: rgb(255, 204, 0);");
  problem_->hide();
  column->addWidget(problem_);

  connect(pauseButton_, &QToolButton::clicked, this, [this] { controller_.pauseResumeClicked(); });
  connect(stopButton_, &QToolButton::clicked, this, [this] { controller_.stopClicked(); });
  refresh();
}

FloatingRecordingPanel::~FloatingRecordingPanel() = default;

QString FloatingRecordingPanel::timeText() const {
  return time_->text();
}

QString FloatingRecordingPanel::problemText() const {
  return problem_->text();
}

void FloatingRecordingPanel::refresh() {
  bool paused = controller_.isPaused();
  dot_->setPaused(paused);
  time_->setText(QString::fromStdString(
      FloatingRecordingPanelController::formatDuration(controller_.recordingDuration())));
  pauseButton_->setIcon(style()->standardIcon(paused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
  pauseButton_->setToolTip(paused ? QCoreApplication::translate("tk::FloatingRecordingPanel", "Resume")
                                  : QCoreApplication::translate("tk::FloatingRecordingPanel", "Pause"));
  const QString problem = QString::fromStdString(controller_.problem());
  if (problem != problem_->text()) {
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    // The panel grows by the line's height, downwards, so its controls stay where they were.
    const int below = problem.isEmpty() ? 0 : problem_->heightForWidth(kWidth - 32) + 6;
    setFixedSize(kWidth, kHeight + below);
  }
}

void FloatingRecordingPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), QColor(30, 30, 34));
  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
  painter.setPen(QPen(QColor(255, 255, 255, 26), 1));
  painter.drawPath(outline);
}

void FloatingRecordingPanel::mousePressEvent(QMouseEvent* event) {
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void FloatingRecordingPanel::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace tk
