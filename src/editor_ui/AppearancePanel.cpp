#include "editor_ui/AppearancePanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include "editor_ui/GradientPresetPicker.h"
#include "editor_ui/SliderRow.h"
#include "editor_ui/TrimmerActions.h"
#include "editor_ui/VideoTrimmerView.h"

namespace tk {

namespace {

QFont captionFont(const QWidget* widget) {
  QFont font = widget->font();
  font.setPointSizeF(std::max(7.0, font.pointSizeF() - 2));
  return font;
}

// A card's on/off switch: its title in the 12 pt medium system font.
QCheckBox* sectionHeader(const QString& title, QWidget* parent) {
  auto* header = new QCheckBox(title, parent);
  QFont font = header->font();
  font.setPointSizeF(9);
  font.setWeight(QFont::Medium);
  header->setFont(font);
  return header;
}

QLabel* subHeading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(captionFont(parent));
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

QFrame* separator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setContentsMargins(0, 2, 0, 2);
  return line;
}

// A label of `labelWidth` and one exclusive segment per title; `choose` gets the segment's index.
QWidget* segmentedRow(const QString& label, int labelWidth, const QStringList& titles,
                      std::vector<QPushButton*>& segments, std::function<void(int)> choose, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  auto* text = subHeading(label, row);
  text->setFixedWidth(labelWidth);
  layout->addWidget(text);
  auto* group = new QButtonGroup(row);
  for (int i = 0; i < titles.size(); ++i) {
    auto* segment = new QPushButton(titles[i], row);
    segment->setCheckable(true);
    segment->setFont(captionFont(row));
    // As wide as its title needs, not the style's wide button: the card decides the rest.
    segment->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    segment->setMinimumWidth(segment->fontMetrics().horizontalAdvance(titles[i]) + 10);
    group->addButton(segment);
    layout->addWidget(segment, 1);
    QObject::connect(segment, &QPushButton::clicked, row, [choose, i] { choose(i); });
    segments.push_back(segment);
  }
  return row;
}

// Two settings side by side, sharing the card's width, so that the strip stays low.
QWidget* pair(QWidget* left, QWidget* right, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  left->setParent(row);
  layout->addWidget(left, 1);
  if (right) {
    right->setParent(row);
    layout->addWidget(right, 1);
  } else {
    layout->addStretch(1);
  }
  return row;
}

void showChecked(QCheckBox* box, bool checked) {
  const QSignalBlocker quiet(box);
  box->setChecked(checked);
}

void showSegment(const std::vector<QPushButton*>& segments, size_t selected) {
  for (size_t i = 0; i < segments.size(); ++i) {
    const QSignalBlocker quiet(segments[i]);
    segments[i]->setChecked(i == selected);
  }
}

template <typename E>
size_t caseIndex(E value) {
  const auto cases = allCases<E>();
  return static_cast<size_t>(std::find(cases.begin(), cases.end(), value) - cases.begin());
}

}  // namespace

AppearancePanel::AppearancePanel(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent)
    : QWidget(parent), view_(view), actions_(actions) {
  setObjectName(QStringLiteral("appearancePanel"));
  auto* strip = new QHBoxLayout(this);
  strip->setContentsMargins(0, 0, 0, 0);
  strip->setSpacing(12);
  strip->addWidget(backgroundCard(), 1, Qt::AlignTop);
  strip->addWidget(cursorCard(), 1, Qt::AlignTop);
  strip->addWidget(cameraCard(), 1, Qt::AlignTop);
  strip->addStretch(0);
  strip->addWidget(exportColumn(), 0, Qt::AlignTop);
  refresh();
}

QWidget* AppearancePanel::card(const QString& name) {
  auto* box = new QWidget(this);
  box->setObjectName(name);
  box->setAttribute(Qt::WA_StyledBackground);
  box->setStyleSheet(
      QStringLiteral("#%1 { background: rgba(128, 128, 128, 45); border-radius: 8px; }").arg(name));
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(8, 6, 8, 6);
  column->setSpacing(4);
  column->setAlignment(Qt::AlignTop);
  return box;
}

std::function<void(double)> AppearancePanel::appearanceEdit(double VideoTrimmerView::Appearance::*field) {
  return [this, field](double v) {
    auto look = view_.appearance();
    look.*field = v;
    view_.setAppearance(look);
  };
}

QWidget* AppearancePanel::backgroundCard() {
  QWidget* box = card(QStringLiteral("backgroundCard"));
  auto* column = static_cast<QVBoxLayout*>(box->layout());
  backgroundSwitch_ = sectionHeader(QStringLiteral("Background"), box);
  connect(backgroundSwitch_, &QCheckBox::toggled, this,
          [this](bool on) { view_.viewModel().setBackgroundEnabled(on); });
  column->addWidget(backgroundSwitch_);

  backgroundRows_ = new QWidget(box);
  auto* rows = new QVBoxLayout(backgroundRows_);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(4);
  gradientPicker_ = new GradientPresetPicker(backgroundRows_);
  gradientPicker_->onPresetChosen = [this](GradientPreset preset, const GradientSettings& gradient) {
    view_.setSelectedGradientPreset(preset);
    BackgroundSettings settings = view_.viewModel().backgroundSettings();
    settings.gradient = gradient;  // type, colour, image and opacity stay
    view_.viewModel().setBackgroundSettings(std::move(settings));
  };
  rows->addWidget(gradientPicker_);
  const auto edit = [this](double VideoTrimmerView::Appearance::*field) { return appearanceEdit(field); };
  using A = VideoTrimmerView::Appearance;
  padding_ = new SliderRow(QStringLiteral("Pad"), 24, 40, 320, 0, &SliderRow::integer, 28, backgroundRows_);
  padding_->onChange = edit(&A::paddingPixels);
  corner_ = new SliderRow(QStringLiteral("Rad"), 24, 0, 80, 0, &SliderRow::integer, 28, backgroundRows_);
  corner_->onChange = edit(&A::backgroundCornerRadius);
  screenOpacity_ =
      new SliderRow(QStringLiteral("Opacity"), 42, 0, 1, 0, &SliderRow::percent, 28, backgroundRows_);
  screenOpacity_->onChange = edit(&A::screenShadowOpacity);
  screenBlur_ = new SliderRow(QStringLiteral("Blur"), 42, 0, 60, 0, &SliderRow::integer, 28, backgroundRows_);
  screenBlur_->onChange = edit(&A::screenShadowRadius);
  rows->addWidget(pair(padding_, corner_, backgroundRows_));
  rows->addWidget(separator(backgroundRows_));
  rows->addWidget(subHeading(QStringLiteral("Screen Shadow"), backgroundRows_));
  rows->addWidget(pair(screenOpacity_, screenBlur_, backgroundRows_));
  column->addWidget(backgroundRows_);
  return box;
}

QWidget* AppearancePanel::cursorCard() {
  QWidget* box = card(QStringLiteral("cursorCard"));
  auto* column = static_cast<QVBoxLayout*>(box->layout());
  auto& model = view_.viewModel();
  const auto edit = [&model](auto apply) {
    return [&model, apply](auto value) {
      CursorOverlaySettings settings = model.cursorOverlaySettings();
      apply(settings, value);
      model.setCursorOverlaySettings(settings);  // the whole value: one change
    };
  };
  cursorSwitch_ = sectionHeader(QStringLiteral("Cursor"), box);
  connect(cursorSwitch_, &QCheckBox::toggled, this,
          edit([](CursorOverlaySettings& s, bool on) { s.enabled = on; }));
  column->addWidget(cursorSwitch_);

  cursorRows_ = new QWidget(box);
  auto* rows = new QVBoxLayout(cursorRows_);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(4);
  cursorScale_ = new SliderRow(QStringLiteral("Scale"), 42, 1, 3, 0, SliderRow::decimals(1), 24, cursorRows_);
  cursorScale_->onChange = edit([](CursorOverlaySettings& s, double v) { s.scale = v; });
  cursorSmooth_ = new SliderRow(QStringLiteral("Smooth"), 42, 0, 1, 0, &SliderRow::percent, 28, cursorRows_);
  cursorSmooth_->onChange = edit([](CursorOverlaySettings& s, double v) { s.smoothing = v; });
  QStringList speedTitles;
  for (auto speed : allCases<CursorAnimationSpeed>())
    speedTitles << QString::fromUtf8(rawValue(speed).data(), rawValue(speed).size());
  auto* speedRow = segmentedRow(
      QStringLiteral("Speed"), 42, speedTitles, speeds_,
      edit([](CursorOverlaySettings& s, int i) { s.animationSpeed = allCases<CursorAnimationSpeed>()[i]; }),
      cursorRows_);
  motionBlur_ = new QCheckBox(QStringLiteral("Motion Blur"), cursorRows_);
  motionBlur_->setFont(captionFont(cursorRows_));
  connect(motionBlur_, &QCheckBox::toggled, this,
          edit([](CursorOverlaySettings& s, bool on) { s.motionBlurEnabled = on; }));
  motionBlurIntensity_ =
      new SliderRow(QStringLiteral("Blur"), 42, 0, 1, 0, &SliderRow::percent, 28, cursorRows_);
  motionBlurIntensity_->onChange =
      edit([](CursorOverlaySettings& s, double v) { s.motionBlurIntensity = v; });
  rows->addWidget(pair(cursorScale_, cursorSmooth_, cursorRows_));
  rows->addWidget(speedRow);
  rows->addWidget(pair(motionBlur_, motionBlurIntensity_, cursorRows_));
  column->addWidget(cursorRows_);
  return box;
}

QWidget* AppearancePanel::cameraCard() {
  QWidget* box = card(QStringLiteral("cameraCard"));
  auto* column = static_cast<QVBoxLayout*>(box->layout());
  cameraSwitch_ = sectionHeader(QStringLiteral("Camera"), box);
  connect(cameraSwitch_, &QCheckBox::toggled, this, [this](bool on) { view_.setIncludeCameraInExport(on); });
  column->addWidget(cameraSwitch_);

  cameraRows_ = new QWidget(box);
  auto* rows = new QVBoxLayout(cameraRows_);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(4);
  rows->addWidget(segmentedRow(
      QStringLiteral("Shape"), 36,
      {QStringLiteral("Squircle"), QStringLiteral("Circle"), QStringLiteral("Rounded"),
       QStringLiteral("Rectangle")},
      shapes_,
      [this](int i) {
        auto look = view_.appearance();
        look.cameraShape = allCases<CameraShape>()[i];
        view_.setAppearance(look);
      },
      cameraRows_));
  const auto edit = [this](double VideoTrimmerView::Appearance::*field) { return appearanceEdit(field); };
  using A = VideoTrimmerView::Appearance;
  size_ = new SliderRow(QStringLiteral("Size"), 36, 0.1, 0.5, 0, &SliderRow::percent, 28, cameraRows_);
  size_->onChange = edit(&A::pipWidthFraction);
  shrink_ = new SliderRow(QStringLiteral("Shrink"), 36, 0.4, 0.95, 0, &SliderRow::percent, 28, cameraRows_);
  shrink_->onChange = edit(&A::shrinkFactor);
  ease_ = new SliderRow(QStringLiteral("Ease"), 36, 0.05, 0.5, 0, SliderRow::decimals(2), 28, cameraRows_);
  ease_->onChange = edit(&A::easeDuration);
  cameraOpacity_ =
      new SliderRow(QStringLiteral("Opacity"), 42, 0, 1, 0, &SliderRow::percent, 28, cameraRows_);
  cameraOpacity_->onChange = edit(&A::cameraShadowOpacity);
  cameraBlur_ = new SliderRow(QStringLiteral("Blur"), 42, 0, 30, 0, &SliderRow::integer, 28, cameraRows_);
  cameraBlur_->onChange = edit(&A::cameraShadowRadius);
  rows->addWidget(pair(size_, shrink_, cameraRows_));
  rows->addWidget(pair(ease_, nullptr, cameraRows_));
  rows->addWidget(separator(cameraRows_));
  rows->addWidget(subHeading(QStringLiteral("Camera Shadow"), cameraRows_));
  rows->addWidget(pair(cameraOpacity_, cameraBlur_, cameraRows_));
  column->addWidget(cameraRows_);
  return box;
}

QWidget* AppearancePanel::exportColumn() {
  auto* box = new QWidget(this);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(8);
  column->setAlignment(Qt::AlignTop | Qt::AlignRight);
  export_ =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Export"), box);
  QFont font = export_->font();
  font.setPointSizeF(10);
  font.setWeight(QFont::DemiBold);
  export_->setFont(font);
  export_->setMinimumHeight(32);
  connect(export_, &QPushButton::clicked, this, [this] { actions_.exportAdvanced(); });
  column->addWidget(export_, 0, Qt::AlignRight);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(6);
  reveal_ = new QPushButton(style()->standardIcon(QStyle::SP_DirIcon), QString(), box);
  reveal_->setToolTip(QStringLiteral("Reveal in File Manager"));
  connect(reveal_, &QPushButton::clicked, this,
          [this] { VideoTrimmerView::revealInFinder(view_.videoURL()); });
  buttons->addWidget(reveal_);
  close_ = new QPushButton(style()->standardIcon(QStyle::SP_TitleBarCloseButton), QString(), box);
  close_->setToolTip(QStringLiteral("Close"));
  connect(close_, &QPushButton::clicked, this, [this] { view_.closeTrimmerWindow(); });
  buttons->addWidget(close_);
  column->addLayout(buttons);
  // Escape is the close button's key, as the cancel action of the window.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), &view_);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, close_, &QPushButton::click);
  return box;
}

void AppearancePanel::refresh() {
  auto& model = view_.viewModel();
  const auto& look = view_.appearance();

  const bool background = model.backgroundEnabled();
  showChecked(backgroundSwitch_, background);
  backgroundRows_->setVisible(background);
  gradientPicker_->setSelectedPreset(view_.selectedGradientPreset());
  padding_->setValue(look.paddingPixels);
  corner_->setValue(look.backgroundCornerRadius);
  screenOpacity_->setValue(look.screenShadowOpacity);
  screenBlur_->setValue(look.screenShadowRadius);

  const auto& cursor = model.cursorOverlaySettings();
  const auto& metadata = model.metadata();
  showChecked(cursorSwitch_, cursor.enabled);
  // Without cursor samples the switch cannot be flipped; the rows stay usable.
  cursorSwitch_->setEnabled(metadata && !metadata->cursorPositions.empty());
  cursorRows_->setVisible(cursor.enabled);
  cursorScale_->setValue(cursor.scale);
  cursorSmooth_->setValue(cursor.smoothing);
  showSegment(speeds_, caseIndex(cursor.animationSpeed));
  showChecked(motionBlur_, cursor.motionBlurEnabled);
  motionBlurIntensity_->setVisible(cursor.motionBlurEnabled);
  motionBlurIntensity_->setValue(cursor.motionBlurIntensity);

  const bool layer = view_.cameraLayerExists();
  showChecked(cameraSwitch_, view_.includeCameraInExport());
  cameraSwitch_->setEnabled(layer);
  cameraRows_->setVisible(view_.includeCameraInExport() && layer);
  showSegment(shapes_, caseIndex(look.cameraShape));
  size_->setValue(look.pipWidthFraction);
  shrink_->setValue(look.shrinkFactor);
  ease_->setValue(look.easeDuration);
  cameraOpacity_->setValue(look.cameraShadowOpacity);
  cameraBlur_->setValue(look.cameraShadowRadius);

  export_->setEnabled(!model.isExporting() && view_.canEdit());
}

}  // namespace tk
