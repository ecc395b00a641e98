#pragma once

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "model/CursorStyle.h"
#include "model/MetadataEvents.h"
#include "platform/media/MonotonicClock.h"
#include "platform/x11/GlobalMouseMonitor.h"

#include <QImage>

namespace tk {

class CustomCursorView;
class OverlayWindow;
class RippleEffectView;
class ScreenRegionSampler;

// The live cursor effects shown on the desktop while a recording runs: a highlight ring around the
// pointer (or a custom cursor drawing instead), a ripple at every accepted click and a magnifier
// that follows the pointer. It watches the whole desktop's mouse, turns presses into clicks with a
// minimum interval between accepted clicks, and reports clicks and moves to the handlers the
// recording coordinator installs.
//
// Points handed to the handlers and kept in lastClickPosition are in the application's global
// space: origin at the bottom left of the primary display, y up.
//
// Everything runs on the main thread: the mouse monitor is read there, the handlers are called
// synchronously from it, and the delayed resets are main-thread timers.
class CursorOverlayController : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool isHighlightEnabled READ isHighlightEnabled WRITE setHighlightEnabled NOTIFY
                 highlightEnabledChanged)
  Q_PROPERTY(bool isMagnifierEnabled READ isMagnifierEnabled WRITE setMagnifierEnabled NOTIFY
                 magnifierEnabledChanged)
  Q_PROPERTY(bool isAnimating READ isAnimating NOTIFY isAnimatingChanged)

 public:
  using ClickHandler = std::function<void(QPointF point, ClickType type)>;
  using CursorMoveHandler = std::function<void(QPointF point)>;

  // Window titles; the capture content filters recognise the overlays by them.
  static constexpr const char* kMousePointerTitle = "Mouse Pointer";
  static constexpr const char* kMagnifierTitle = "Screen Magnifier";
  static constexpr const char* kRippleTitle = "Ripple Effect";

  // Creates no window and installs no monitor.
  explicit CursorOverlayController(QObject* parent = nullptr);
  ~CursorOverlayController() override;

  // Published state. Writing false orders the pointer (magnifier) window out at once; writing
  // true shows it at the next mouse event.
  bool isHighlightEnabled() const { return isHighlightEnabled_; }
  void setHighlightEnabled(bool enabled);
  bool isMagnifierEnabled() const { return isMagnifierEnabled_; }
  void setMagnifierEnabled(bool enabled);
  bool isAnimating() const { return isAnimating_; }
  std::optional<QPointF> lastClickPosition() const { return lastClickPosition_; }
  std::optional<ClickType> lastClickType() const { return lastClickType_; }

  // Whether the mouse monitor is installed.
  bool isMonitoring() const { return mouseMonitor_ != nullptr; }

  // Plain settings; they take effect at the next event or the next startMouseMonitoring().
  bool hideMousePointer() const { return hideMousePointer_; }
  void setHideMousePointer(bool hide) { hideMousePointer_ = hide; }
  bool hideMagnifier() const { return hideMagnifier_; }
  void setHideMagnifier(bool hide) { hideMagnifier_ = hide; }
  std::optional<CursorStyle> customCursorStyle() const { return customCursorStyle_; }
  void setCustomCursorStyle(std::optional<CursorStyle> style) { customCursorStyle_ = style; }
  double customCursorSize() const { return customCursorSize_; }
  void setCustomCursorSize(double size) { customCursorSize_ = size; }
  // Draw the custom cursor instead of the ring and hide the system pointer while monitoring.
  // Turning it on or off while monitoring hides or shows the system pointer at once.
  bool useCustomCursor() const { return useCustomCursor_; }
  void setUseCustomCursor(bool use);
  bool enableScaleAnimation() const { return enableScaleAnimation_; }
  void setEnableScaleAnimation(bool enable) { enableScaleAnimation_ = enable; }
  bool enableRippleEffect() const { return enableRippleEffect_; }
  void setEnableRippleEffect(bool enable) { enableRippleEffect_ = enable; }
  // Colour of left-click ripples.
  QColor rippleColor() const { return rippleColor_; }
  void setRippleColor(const QColor& color) { rippleColor_ = color; }
  const ClickHandler& clickHandler() const { return clickHandler_; }
  void setClickHandler(ClickHandler handler) { clickHandler_ = std::move(handler); }
  const CursorMoveHandler& cursorMoveHandler() const { return cursorMoveHandler_; }
  void setCursorMoveHandler(CursorMoveHandler handler) { cursorMoveHandler_ = std::move(handler); }
  // Minimum seconds from one accepted click to the next, on the monotonic clock.
  double clickThreshold() const { return clickThreshold_; }
  void setClickThreshold(double seconds) { clickThreshold_ = seconds; }
  // Monotonic seconds of the last accepted click.
  std::optional<double> lastClickTime() const { return lastClickTime_; }

  // Installs the global mouse monitor, hides the system pointer when the custom cursor is on and
  // shows the pointer overlay. A second start while monitoring only warns.
  void startMouseMonitoring();
  // Removes the monitor, orders every overlay window out and shows the system pointer again if
  // this controller hid it. Safe to call when not monitoring.
  void stopMouseMonitoring();

  // The steps of the monitor, callable on their own.
  void showMousePointer();
  void handleMouseClick(const MouseEvent& event);
  void animateClick(ClickType type, QPointF point);
  void showRippleEffect(ClickType type, QPointF point);
  void updateMousePointer(const MouseEvent& event);
  void updateMagnifier(const MouseEvent& event);
  // Handles one monitored event: click, pointer, magnifier, then the move report.
  void handleMouseEvent(const MouseEvent& event);
  // The pixels of a region of the desktop (global space) as the other applications show them,
  // without any window of this application. Nothing when the server gives no picture.
  std::optional<QImage> captureRegionExcludingOwnWindows(const QRectF& region);

  // The pointer's position in the global space, read from the X server.
  static QPointF mouseLocation();

  // The overlay windows, made on first use and kept for the controller's life.
  OverlayWindow& mousePointerWindow();
  OverlayWindow& magnifierWindow();
  OverlayWindow& rippleWindow();

  // Tests replace the clock the click threshold and animations are measured on.
  void setClock(SecondsClock clock) { clock_ = std::move(clock); }

 signals:
  void highlightEnabledChanged(bool enabled);
  void magnifierEnabledChanged(bool enabled);
  void isAnimatingChanged(bool animating);
  void lastClickChanged();

 private:
  void setAnimating(bool animating);
  void drawMousePointer(const std::optional<MouseEventType>& event);
  void redrawAnimations();
  void hideSystemCursor();
  void showSystemCursor();
  std::vector<uint32_t> ownWindowIds() const;
  double now() const { return clock_(); }

  bool isHighlightEnabled_ = false;
  bool isMagnifierEnabled_ = false;
  std::unique_ptr<GlobalMouseMonitor> mouseMonitor_;
  bool hideMousePointer_ = false;
  bool hideMagnifier_ = false;
  std::optional<CursorStyle> customCursorStyle_;
  double customCursorSize_ = 24;
  bool useCustomCursor_ = false;
  bool enableScaleAnimation_ = true;
  bool enableRippleEffect_ = true;
  QColor rippleColor_ = QColor::fromRgbF(0, 0.5f, 1, 0.5f);
  bool isAnimating_ = false;
  std::optional<QPointF> lastClickPosition_;
  std::optional<ClickType> lastClickType_;
  ClickHandler clickHandler_;
  CursorMoveHandler cursorMoveHandler_;
  double clickThreshold_ = 0.5;
  std::optional<double> lastClickTime_;

  std::unique_ptr<OverlayWindow> mousePointerWindow_;
  std::unique_ptr<OverlayWindow> magnifierWindow_;
  std::unique_ptr<OverlayWindow> rippleWindow_;
  std::unique_ptr<ScreenRegionSampler> sampler_;

  // What the windows show now, kept so animation frames can redraw them between events.
  std::unique_ptr<CustomCursorView> customCursorView_;
  std::optional<MouseEventType> pointerEvent_;
  QPointF pointerLocation_;
  std::unique_ptr<RippleEffectView> rippleView_;
  double rippleStart_ = 0;
  QTimer animationTimer_;
  // Each accepted click and ripple replaces the pending reset of the one before.
  QTimer animatingResetTimer_;
  QTimer rippleOrderOutTimer_;

  bool systemCursorHidden_ = false;
  SecondsClock clock_ = monotonicSecondsClock();
};

}  // namespace tk
