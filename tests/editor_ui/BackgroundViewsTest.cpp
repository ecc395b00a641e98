// The background views and the gradient preset picker, on their own and in the editor.

#include <QImage>
#include <QPainter>
#include <QTest>

#include "EditorWindowFixture.h"
#include "editor_ui/BackgroundPreviewView.h"
#include "editor_ui/GradientBackgroundView.h"
#include "editor_ui/GradientPresetButton.h"
#include "editor_ui/GradientPresetPicker.h"

namespace tk::test {
namespace {

QImage paintBackground(BackgroundPreviewView& view, const BackgroundSettings& settings,
                       QSize size = {100, 50}) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  view.paint(painter, QRectF(QPointF(), QSizeF(size)), settings);
  return image;
}

TEST(BackgroundViewsTest, GradientAnglesRunTheEditorsWay) {
  BackgroundPreviewView view;
  BackgroundSettings settings;
  settings.gradient = GradientSettings{{{1, 0, 0, 1}, {0, 0, 1, 1}}, 90, std::nullopt};
  QImage image = paintBackground(view, settings);
  EXPECT_GT(qRed(image.pixel(1, 25)), 240);  // first colour at the left
  EXPECT_GT(qBlue(image.pixel(98, 25)), 240);
  settings.gradient->angle = 0;
  image = paintBackground(view, settings);
  EXPECT_GT(qRed(image.pixel(50, 48)), 200);  // first colour at the bottom
  EXPECT_GT(qBlue(image.pixel(50, 1)), 200);
}

TEST(BackgroundViewsTest, WhatCannotBeDrawnIsBlack) {
  BackgroundPreviewView view;
  BackgroundSettings noGradient;  // gradient kind without a gradient
  EXPECT_EQ(paintBackground(view, noGradient).pixel(50, 25), qRgb(0, 0, 0));
  BackgroundSettings noColour;
  noColour.type = StudioBackgroundType::solidColor;
  EXPECT_EQ(paintBackground(view, noColour).pixel(50, 25), qRgb(0, 0, 0));
  BackgroundSettings noImage;
  noImage.type = StudioBackgroundType::image;
  EXPECT_EQ(paintBackground(view, noImage).pixel(50, 25), qRgb(0, 0, 0));
  QTemporaryDir dir;
  const std::filesystem::path bogus = dir.filePath("bogus.png").toStdString();
  std::ofstream(bogus) << "not an image";
  noImage.imageURL = bogus;
  EXPECT_EQ(paintBackground(view, noImage).pixel(50, 25), qRgb(0, 0, 0));
}

TEST(BackgroundViewsTest, ImageFillsTheRectangleAndIsDecodedOnce) {
  QTemporaryDir dir;
  QImage picture(200, 100, QImage::Format_RGB32);  // red left half, green right half
  picture.fill(Qt::red);
  QPainter(&picture).fillRect(100, 0, 100, 100, Qt::green);
  const QString file = dir.filePath("wide.png");
  ASSERT_TRUE(picture.save(file));
  BackgroundPreviewView view;
  BackgroundSettings settings;
  settings.type = StudioBackgroundType::image;
  settings.imageURL = file.toStdString();
  const QImage square = paintBackground(view, settings, {100, 100});
  // Filled, not letterboxed: the top and bottom rows are picture, cut at the left and right.
  EXPECT_EQ(square.pixel(50, 1) != qRgb(255, 255, 255) && square.pixel(50, 1) != qRgb(0, 0, 0), true);
  EXPECT_GT(qRed(square.pixel(5, 50)), 240);
  EXPECT_GT(qGreen(square.pixel(95, 50)), 200);
  paintBackground(view, settings, {100, 100});
  paintBackground(view, settings, {300, 100});
  EXPECT_EQ(view.imageDecodeCount(), 1);
}

TEST(BackgroundViewsTest, PickerOffersSixPresetsAndReportsEveryPress) {
  GradientPresetPicker picker;
  ASSERT_EQ(picker.buttons().size(), 6u);
  QStringList captions;
  for (auto* button : picker.buttons()) captions << button->text();
  EXPECT_EQ(captions, QStringList({"Sunset", "Ocean", "Forest", "Purple", "Midnight", "Aurora"}));

  std::vector<std::pair<GradientPreset, double>> chosen;
  picker.onPresetChosen = [&](GradientPreset preset, const GradientSettings& gradient) {
    chosen.emplace_back(preset, gradient.angle);
  };
  picker.setSelectedPreset(GradientPreset::ocean);
  picker.buttons()[1]->click();  // already selected: still reported
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], std::make_pair(GradientPreset::ocean, 180.0));
  EXPECT_TRUE(picker.buttons()[1]->isSelected());
  picker.setSelectedPreset(GradientPreset::custom);
  for (auto* button : picker.buttons()) EXPECT_FALSE(button->isSelected());
}

using BackgroundPickerInEditorTest = EditorWindowFixture;

TEST_F(BackgroundPickerInEditorTest, ChoosingASwatchSetsThePresetAndTheModelsGradient) {
  auto& trimmer = open(writeMovie("picker.mov"));
  auto* picker = trimmer.appearanceStrip()->findChild<GradientPresetPicker*>();
  ASSERT_TRUE(picker);
  EXPECT_TRUE(picker->buttons()[3]->isSelected());  // purple, the editor's default
  QTest::mouseClick(picker->buttons()[1], Qt::LeftButton);
  EXPECT_EQ(trimmer.selectedGradientPreset(), GradientPreset::ocean);
  const auto& gradient = trimmer.viewModel().backgroundSettings().gradient;
  ASSERT_TRUE(gradient);
  EXPECT_EQ(gradient->preset, GradientPreset::ocean);
  EXPECT_EQ(gradient->angle, 180);
  EXPECT_EQ(gradient->colors.size(), 3u);
  EXPECT_TRUE(picker->buttons()[1]->isSelected());
  EXPECT_FALSE(picker->buttons()[3]->isSelected());
  window->close();
}

}  // namespace
}  // namespace tk::test
