#pragma once

#include <QColor>
#include <QWidget>

namespace tk {

class AlphaChannelSettingsSection;
class ClickToZoomSettingsSection;
class ColorWell;
class CustomCursorSettingsSection;
class SGroupBox;
class SPicker;
class SSteper;
class SeparateLayersSettingsSection;
class SToggle;

// The Recorder tab: countdown, auto-stop, background and its custom colour, the recording switches
// and the four studio sections, in a scrolling page. Main thread only.
class RecorderView : public QWidget {
  Q_OBJECT
 public:
  explicit RecorderView(QWidget* parent = nullptr);

  // The four groups, in order.
  QList<SGroupBox*> groups() const { return groups_; }
  QColor customBackgroundColor() const { return customBackgroundColor_; }
  ColorWell* customBackgroundColorWell() const { return colorWell_; }
  AlphaChannelSettingsSection* alphaChannel() const { return alpha_; }
  SeparateLayersSettingsSection* separateLayers() const { return layers_; }
  ClickToZoomSettingsSection* clickToZoom() const { return zoom_; }
  CustomCursorSettingsSection* customCursor() const { return cursor_; }

  // Loads the stored custom background colour into the well (black when none can be read).
  void refreshCustomBackgroundColor();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QList<SGroupBox*> groups_;
  QColor customBackgroundColor_ = Qt::black;
  ColorWell* colorWell_ = nullptr;
  AlphaChannelSettingsSection* alpha_ = nullptr;
  SeparateLayersSettingsSection* layers_ = nullptr;
  ClickToZoomSettingsSection* zoom_ = nullptr;
  CustomCursorSettingsSection* cursor_ = nullptr;
};

}  // namespace tk
