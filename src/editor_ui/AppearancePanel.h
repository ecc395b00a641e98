#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "editor_ui/VideoTrimmerView.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tk {

class GradientPresetPicker;
class SliderRow;
class TrimmerActions;
class VideoTrimmerView;

// The appearance strip: the Background card (gradient, padding, corners, screen shadow), the
// Cursor card, the Camera card and the export column (Export, reveal the edited movie, close). It
// keeps nothing of its own: every control writes the view state or the model at once and refresh
// shows both back without writing. Main thread only.
class AppearancePanel : public QWidget {
  Q_OBJECT

 public:
  AppearancePanel(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent = nullptr);

  void refresh();

  // Background card.
  QCheckBox* backgroundSwitch() const { return backgroundSwitch_; }
  GradientPresetPicker* gradientPicker() const { return gradientPicker_; }
  SliderRow* paddingRow() const { return padding_; }
  SliderRow* cornerRow() const { return corner_; }
  SliderRow* screenShadowOpacityRow() const { return screenOpacity_; }
  SliderRow* screenShadowBlurRow() const { return screenBlur_; }
  // Cursor card.
  QCheckBox* cursorSwitch() const { return cursorSwitch_; }
  SliderRow* cursorScaleRow() const { return cursorScale_; }
  SliderRow* cursorSmoothRow() const { return cursorSmooth_; }
  const std::vector<QPushButton*>& speedSegments() const { return speeds_; }
  QCheckBox* motionBlurSwitch() const { return motionBlur_; }
  SliderRow* motionBlurRow() const { return motionBlurIntensity_; }
  // Camera card.
  QCheckBox* cameraSwitch() const { return cameraSwitch_; }
  const std::vector<QPushButton*>& shapeSegments() const { return shapes_; }
  SliderRow* sizeRow() const { return size_; }
  SliderRow* shrinkRow() const { return shrink_; }
  SliderRow* easeRow() const { return ease_; }
  SliderRow* cameraShadowOpacityRow() const { return cameraOpacity_; }
  SliderRow* cameraShadowBlurRow() const { return cameraBlur_; }
  // The camera card's rows below its switch, top to bottom, as shown.
  QWidget* cameraRows() const { return cameraRows_; }
  QWidget* backgroundRows() const { return backgroundRows_; }
  QWidget* cursorRows() const { return cursorRows_; }
  // Export column.
  QPushButton* exportButton() const { return export_; }
  QPushButton* revealButton() const { return reveal_; }
  QPushButton* closeButton() const { return close_; }

 private:
  QWidget* card(const QString& name);
  // Writes one field of the view's appearance.
  std::function<void(double)> appearanceEdit(double VideoTrimmerView::Appearance::*field);
  QWidget* backgroundCard();
  QWidget* cursorCard();
  QWidget* cameraCard();
  QWidget* exportColumn();

  VideoTrimmerView& view_;
  TrimmerActions& actions_;
  QCheckBox* backgroundSwitch_ = nullptr;
  GradientPresetPicker* gradientPicker_ = nullptr;
  QWidget* backgroundRows_ = nullptr;
  SliderRow* padding_ = nullptr;
  SliderRow* corner_ = nullptr;
  SliderRow* screenOpacity_ = nullptr;
  SliderRow* screenBlur_ = nullptr;
  QCheckBox* cursorSwitch_ = nullptr;
  QWidget* cursorRows_ = nullptr;
  SliderRow* cursorScale_ = nullptr;
  SliderRow* cursorSmooth_ = nullptr;
  std::vector<QPushButton*> speeds_;
  QCheckBox* motionBlur_ = nullptr;
  SliderRow* motionBlurIntensity_ = nullptr;
  QCheckBox* cameraSwitch_ = nullptr;
  QWidget* cameraRows_ = nullptr;
  std::vector<QPushButton*> shapes_;
  SliderRow* size_ = nullptr;
  SliderRow* shrink_ = nullptr;
  SliderRow* ease_ = nullptr;
  SliderRow* cameraOpacity_ = nullptr;
  SliderRow* cameraBlur_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* reveal_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace tk
