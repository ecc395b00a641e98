#pragma once

// What the benchmarks share: a moving picture to record and a way to wait for a task.

#include <QCoroTask>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <exception>

namespace tk::bench {

// A window of coloured bars over the whole primary screen that move every 16 ms, so every frame
// differs.
class MovingBars : public QWidget {
 public:
  MovingBars() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setGeometry(QGuiApplication::primaryScreen()->geometry());
    connect(&timer_, &QTimer::timeout, this, [this] {
      ++frame_;
      update();
    });
    timer_.start(16);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 60, 90));
    const double scale = width() / 1920.0;
    for (int i = 0; i < 12; ++i) {
      int x = int((frame_ * (4 + i) + i * 150) * scale) % std::max(width(), 1);
      painter.fillRect(x, int(i * 90 * scale), int(120 * scale), int(80 * scale),
                       QColor::fromHsv((i * 30 + frame_) % 360, 200, 230));
    }
  }

 private:
  QTimer timer_;
  int frame_ = 0;
};

// Waits for a task in a nested event loop; what it throws comes back here.
inline void runBlocking(QCoro::Task<void> task) {
  std::exception_ptr error;
  auto run = [&]() -> QCoro::Task<void> {
    try {
      co_await std::move(task);
    } catch (...) {
      error = std::current_exception();
    }
  };
  QCoro::waitFor(run());
  if (error) std::rethrow_exception(error);
}

}  // namespace tk::bench
