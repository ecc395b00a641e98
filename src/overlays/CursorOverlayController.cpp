#include "overlays/CursorOverlayController.h"

#include <QGuiApplication>
#include <QWindow>
#include <cmath>

#include "overlays/CustomCursorView.h"
#include "overlays/MousePointerView.h"
#include "overlays/OverlayWindow.h"
#include "overlays/RippleEffectView.h"
#include "overlays/ScreenMagnifierView.h"
#include "platform/media/GlobalCoordinates.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"
#include "platform/x11/ScreenRegionSampler.h"
#include "platform/x11/SystemCursor.h"

namespace tk {

namespace {

constexpr int kAnimatingMilliseconds = 300;
constexpr int kRippleMilliseconds = 600;
constexpr int kAnimationFrameMilliseconds = 16;

// A square of `side` centred on `centre` in the global space, as a window frame in root
// coordinates. The pointer's pixel lands on the square's middle pixel.
QRect centredFrame(QPointF centre, QSizeF size) {
  const QRectF global(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                      size.height());
  const QRectF root = GlobalCoordinates::current().toX11(global);
  return QRect(QPoint(int(std::lround(root.x())), int(std::lround(root.y()))), size.toSize());
}

bool isMoveOrDrag(MouseEventType type) {
  return type == MouseEventType::mouseMoved || type == MouseEventType::leftMouseDragged ||
         type == MouseEventType::rightMouseDragged || type == MouseEventType::otherMouseDragged;
}

bool showMouseSetting() { return SettingsStore::standard().boolValue("showMouse", true); }

}  // namespace

CursorOverlayController::CursorOverlayController(QObject* parent) : QObject(parent) {
  animationTimer_.setInterval(kAnimationFrameMilliseconds);
  connect(&animationTimer_, &QTimer::timeout, this, &CursorOverlayController::redrawAnimations);
  animatingResetTimer_.setSingleShot(true);
  animatingResetTimer_.setInterval(kAnimatingMilliseconds);
  connect(&animatingResetTimer_, &QTimer::timeout, this, [this] { setAnimating(false); });
  rippleOrderOutTimer_.setSingleShot(true);
  rippleOrderOutTimer_.setInterval(kRippleMilliseconds);
  connect(&rippleOrderOutTimer_, &QTimer::timeout, this, [this] {
    if (rippleWindow_) rippleWindow_->orderOut();
    rippleView_.reset();
  });
}

CursorOverlayController::~CursorOverlayController() {
  mouseMonitor_.reset();
  showSystemCursor();
}

void CursorOverlayController::setHighlightEnabled(bool enabled) {
  if (!enabled && mousePointerWindow_) mousePointerWindow_->orderOut();
  if (enabled == isHighlightEnabled_) return;
  isHighlightEnabled_ = enabled;
  emit highlightEnabledChanged(enabled);
}

void CursorOverlayController::setMagnifierEnabled(bool enabled) {
  if (!enabled && magnifierWindow_) magnifierWindow_->orderOut();
  if (enabled == isMagnifierEnabled_) return;
  isMagnifierEnabled_ = enabled;
  emit magnifierEnabledChanged(enabled);
}

void CursorOverlayController::setUseCustomCursor(bool use) {
  useCustomCursor_ = use;
  if (!isMonitoring()) return;
  if (use) {
    hideSystemCursor();
  } else {
    showSystemCursor();
  }
}

void CursorOverlayController::setAnimating(bool animating) {
  if (customCursorView_) {
    customCursorView_->setAnimating(animating, now());
    if (customCursorView_->isPulsing(now())) animationTimer_.start();
  }
  if (animating == isAnimating_) return;
  isAnimating_ = animating;
  emit isAnimatingChanged(animating);
}

void CursorOverlayController::hideSystemCursor() {
  if (systemCursorHidden_) return;
  systemCursorHidden_ = SystemCursor::hide();
}

void CursorOverlayController::showSystemCursor() {
  if (!systemCursorHidden_) return;
  SystemCursor::show();
  systemCursorHidden_ = false;
}

void CursorOverlayController::startMouseMonitoring() {
  if (isMonitoring()) {
    Diagnostics::line("⚠️ CursorOverlayController: Already monitoring");
    return;
  }
  Diagnostics::line("🎯 CursorOverlayController: Starting mouse event monitoring...");
  Diagnostics::line("   Click threshold: " + formatDouble(clickThreshold_) + "s");
  Diagnostics::line("   Click handler set: " + boolText(bool(clickHandler_)));
  std::string error;
  mouseMonitor_ = GlobalMouseMonitor::start(
      [this](const MouseEvent& event) { handleMouseEvent(event); }, &error);
  if (!mouseMonitor_) Diagnostics::line("   ⚠️ Mouse events unavailable: " + error);
  Diagnostics::line("✅ CursorOverlayController: Mouse monitoring started");
  if (useCustomCursor_ && isMonitoring()) hideSystemCursor();
  showMousePointer();
}

void CursorOverlayController::stopMouseMonitoring() {
  mouseMonitor_.reset();
  // Only windows that exist can be on screen; a stop never needs to make one.
  if (mousePointerWindow_) mousePointerWindow_->orderOut();
  if (magnifierWindow_) magnifierWindow_->orderOut();
  if (rippleWindow_) rippleWindow_->orderOut();
  animationTimer_.stop();
  sampler_.reset();
  // Whatever useCustomCursor says now: the pointer comes back exactly when this controller hid it.
  showSystemCursor();
}

void CursorOverlayController::handleMouseEvent(const MouseEvent& event) {
  handleMouseClick(event);
  updateMousePointer(event);
  updateMagnifier(event);
  if (isMoveOrDrag(event.type) && cursorMoveHandler_) cursorMoveHandler_(event.location);
}

void CursorOverlayController::handleMouseClick(const MouseEvent& event) {
  ClickType type;
  if (event.type == MouseEventType::rightMouseDown) {
    type = ClickType::rightClick;
  } else if (event.type == MouseEventType::leftMouseDown) {
    type = event.clickCount == 2 ? ClickType::doubleClick : ClickType::leftClick;
  } else {
    return;
  }
  Diagnostics::line("🖱️ CursorOverlayController: Click detected - Type: " +
                    std::string(rawValue(type)));
  // The monotonic clock: a wall-clock step must never swallow clicks or let a burst through.
  const double current = now();
  if (lastClickTime_ && current - *lastClickTime_ < clickThreshold_) {
    Diagnostics::linef("   ⏭️ Filtered rapid click (threshold: %ss, elapsed: %.3fs)",
                       formatDouble(clickThreshold_).c_str(), current - *lastClickTime_);
    return;
  }
  lastClickTime_ = current;
  const QPointF point = event.location;
  Diagnostics::line("   📍 Position: (" + formatInt((long long)std::trunc(point.x())) + ", " +
                    formatInt((long long)std::trunc(point.y())) + ")");
  animateClick(type, point);
  Diagnostics::line("   🔔 Calling clickHandler...");
  Diagnostics::line("   clickHandler exists: " + boolText(bool(clickHandler_)));
  if (clickHandler_) {
    // A copy: the handler may replace itself.
    const ClickHandler handler = clickHandler_;
    handler(point, type);
  }
  Diagnostics::line("   ✅ clickHandler called");
}

void CursorOverlayController::animateClick(ClickType type, QPointF point) {
  lastClickPosition_ = point;
  lastClickType_ = type;
  emit lastClickChanged();
  setAnimating(true);
  if (enableRippleEffect_) showRippleEffect(type, point);
  // A newer click restarts the countdown, so its animation is never cut short by an older one.
  animatingResetTimer_.start();
}

void CursorOverlayController::showRippleEffect(ClickType type, QPointF point) {
  rippleView_ = std::make_unique<RippleEffectView>(rippleColor_, type, 0.1, 0.8);
  rippleStart_ = now();
  const QRect frame =
      centredFrame(point, QSizeF(RippleEffectView::kSide, RippleEffectView::kSide));
  rippleWindow().present(rippleView_->render(0), frame);
  rippleOrderOutTimer_.start();
  animationTimer_.start();
}

void CursorOverlayController::showMousePointer() {
  if (hideMousePointer_ || (!isHighlightEnabled_ && !useCustomCursor_)) return;
  pointerLocation_ = mouseLocation();
  drawMousePointer(std::nullopt);
}

void CursorOverlayController::updateMousePointer(const MouseEvent& event) {
  if (event.type == MouseEventType::scrollWheel) return;
  if (hideMousePointer_ || (!isHighlightEnabled_ && !useCustomCursor_)) {
    if (mousePointerWindow_) mousePointerWindow_->orderOut();
    return;
  }
  pointerLocation_ = event.location;
  drawMousePointer(event.type);
}

void CursorOverlayController::drawMousePointer(const std::optional<MouseEventType>& event) {
  pointerEvent_ = event;
  const bool custom = useCustomCursor_ && customCursorStyle_;
  const double side = useCustomCursor_ ? std::lround(2 * customCursorSize_) : MousePointerView::kSide;
  QImage picture;
  if (custom) {
    if (!customCursorView_) customCursorView_ = std::make_unique<CustomCursorView>();
    CustomCursorView& view = *customCursorView_;
    view.event = event;
    view.style = *customCursorStyle_;
    view.size = customCursorSize_;
    view.enableScaleAnimation = enableScaleAnimation_;
    view.showMouse = showMouseSetting();
    // The first drawing starts at rest; later ones follow the click animation.
    view.setAnimating(event ? isAnimating_ : false, now());
    if (view.isPulsing(now())) animationTimer_.start();
    picture = view.render(now());
  } else {
    customCursorView_.reset();
    MousePointerView view;
    view.showMouse = showMouseSetting();
    view.event = event;
    view.side = int(side);
    picture = view.render();
  }
  mousePointerWindow().present(picture, centredFrame(pointerLocation_, QSizeF(side, side)));
  if (rippleWindow_ && rippleWindow_->isOrderedIn()) rippleWindow_->raiseAbove();
  mousePointerWindow().raiseAbove();
}

void CursorOverlayController::updateMagnifier(const MouseEvent& event) {
  if (!isMagnifierEnabled_ || hideMagnifier_) {
    if (magnifierWindow_) magnifierWindow_->orderOut();
    return;
  }
  const QPointF m = event.location;
  const QSizeF region(ScreenMagnifierView::kRegion);
  const auto shot = captureRegionExcludingOwnWindows(
      QRectF(m.x() - region.width() / 2, m.y() - region.height() / 2, region.width(),
             region.height()));
  if (!shot) return;  // the window keeps its last picture and place
  OverlayWindow& window = magnifierWindow();
  const QImage picture = ScreenMagnifierView::render(*shot);
  window.present(picture, centredFrame(m, QSizeF(picture.size())));
  // The magnifier floats below the pointer and the ripple.
  if (rippleWindow_ && rippleWindow_->isOrderedIn()) rippleWindow_->raiseAbove();
  if (mousePointerWindow_ && mousePointerWindow_->isOrderedIn()) mousePointerWindow_->raiseAbove();
}

std::optional<QImage> CursorOverlayController::captureRegionExcludingOwnWindows(
    const QRectF& region) {
  if (!sampler_) {
    std::string error;
    sampler_ = ScreenRegionSampler::open(&error);
    if (!sampler_) {
      Diagnostics::line("⚠️ CursorOverlayController: Screen magnifier unavailable: " + error);
      return std::nullopt;
    }
  }
  const QRectF root = GlobalCoordinates::current().toX11(region);
  return sampler_->sample(QRect(QPoint(int(std::lround(root.x())), int(std::lround(root.y()))),
                                root.size().toSize()),
                          ownWindowIds());
}

void CursorOverlayController::redrawAnimations() {
  const double current = now();
  bool running = false;
  if (rippleView_ && rippleWindow_ && rippleWindow_->isOrderedIn()) {
    const double elapsed = current - rippleStart_;
    rippleWindow_->present(rippleView_->render(elapsed), rippleWindow_->geometry());
    if (mousePointerWindow_ && mousePointerWindow_->isOrderedIn()) mousePointerWindow_->raiseAbove();
    running = elapsed < rippleView_->duration();
  }
  if (customCursorView_ && mousePointerWindow_ && mousePointerWindow_->isOrderedIn()) {
    const bool pulsing = customCursorView_->isPulsing(current);
    mousePointerWindow_->present(customCursorView_->render(current),
                                 mousePointerWindow_->geometry());
    running = running || pulsing;
  }
  if (!running) animationTimer_.stop();
}

std::vector<uint32_t> CursorOverlayController::ownWindowIds() const {
  std::vector<uint32_t> ids;
  const auto windows = QGuiApplication::allWindows();
  for (QWindow* window : windows) {
    if (window->handle()) ids.push_back(uint32_t(window->winId()));
  }
  return ids;
}

QPointF CursorOverlayController::mouseLocation() {
  return GlobalMouseMonitor::pointerLocation().value_or(QPointF());
}

OverlayWindow& CursorOverlayController::mousePointerWindow() {
  if (!mousePointerWindow_) mousePointerWindow_ = std::make_unique<OverlayWindow>(kMousePointerTitle);
  return *mousePointerWindow_;
}

OverlayWindow& CursorOverlayController::magnifierWindow() {
  if (!magnifierWindow_) magnifierWindow_ = std::make_unique<OverlayWindow>(kMagnifierTitle, true);
  return *magnifierWindow_;
}

OverlayWindow& CursorOverlayController::rippleWindow() {
  if (!rippleWindow_) rippleWindow_ = std::make_unique<OverlayWindow>(kRippleTitle);
  return *rippleWindow_;
}

}  // namespace tk
