#include "export/RoundedCameraCompositor.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include "CompositorTestSupport.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::channels;
using test::Channels;
using test::compose;
using test::plainSettings;

constexpr uint32_t kRed = 0xffff0000u, kBlue = 0xff0000ffu, kGreen = 0xff00ff00u, kYellow = 0xffffff00u;
constexpr uint32_t kBlack = 0xff000000u, kDark = 0xff202020u;

BackgroundSettings solid(double grey) {
  BackgroundSettings b;
  b.type = StudioBackgroundType::solidColor;
  b.color = CodableColor{grey, grey, grey, 1};
  return b;
}

BackgroundSettings gradient(std::vector<CodableColor> colors, double angle) {
  BackgroundSettings b;
  b.type = StudioBackgroundType::gradient;
  b.gradient = GradientSettings{std::move(colors), angle, std::nullopt};
  return b;
}

std::vector<CursorPosition> cursorAt(double x, double y) {
  return {{newRecordId(), 0, {x, y}}, {newRecordId(), 100, {x, y}}};
}

class RoundedCameraCompositorTest : public ::testing::Test {
 protected:
  RoundedCameraCompositor compositor;
};

TEST_F(RoundedCameraCompositorTest, SharedSettingsStartWithTheirDefaultsAndEachExportKeepsItsOwnCopy) {
  auto& shared = RoundedCameraCompositorSettings::shared();
  const RoundedCameraCompositorSettings saved = shared;
  EXPECT_EQ(shared.cameraSettings.centerNormalized, QPointF(0.85, 0.18));
  EXPECT_EQ(shared.cameraSettings.widthFraction, 0.22);
  EXPECT_EQ(shared.cameraSettings.shape, CameraShape::squircle);
  EXPECT_FALSE(shared.backgroundEnabled);
  EXPECT_FALSE(shared.backgroundSettings);
  EXPECT_TRUE(shared.cursorOverlaySettings.enabled);
  EXPECT_EQ(shared.screenShadowOffsetY, 10);

  shared.videoPadding = 50;
  const RoundedCameraCompositionInstruction first({MediaTime(0, 600), MediaTime(600, 600)}, {7, 9});
  shared.videoPadding = 200;  // the next export's writes
  EXPECT_EQ(first.settings().videoPadding, 50);
  EXPECT_EQ(RoundedCameraCompositorSettings::shared().videoPadding, 200);  // one instance, carried over
  EXPECT_EQ(first.requiredSourceTrackIDs, (std::vector<int32_t>{7, 9}));
  EXPECT_TRUE(first.containsTweening);
  EXPECT_FALSE(first.enablePostProcessing);
  EXPECT_EQ(first.passthroughTrackID, kInvalidTrackID);
  const RoundedCameraCompositionInstruction none({}, {});
  EXPECT_TRUE(none.requiredSourceTrackIDs->empty());
  shared = saved;
}

TEST_F(RoundedCameraCompositorTest, NoFrameBufferFinishesWithTheCompositorsError) {
  auto context = std::make_shared<VideoCompositionRenderContext>(QSize(64, 36), MediaTime(1, 60), 1);
  auto held = context->newPixelBuffer();
  const auto result = compose(compositor, plainSettings(), 0, QSize(64, 36),
                              test::splitFrame(64, 36, kRed, kBlue), nullptr, context);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain(), "RoundedCameraCompositor");
  EXPECT_EQ(result.error->code(), -1);
  EXPECT_EQ(result.frame, nullptr);
}

TEST_F(RoundedCameraCompositorTest, RendersOnItsOwnNamedThreadInArrivalOrder) {
  std::string name;
  std::vector<int> order;
  std::mutex mutex;
  auto context = std::make_shared<VideoCompositionRenderContext>(QSize(32, 18), MediaTime(1, 60), 8);
  auto instruction = std::make_shared<RoundedCameraCompositionInstruction>(
      MediaTimeRange{}, std::vector<int32_t>{}, plainSettings());
  for (int i = 0; i < 5; ++i)
    compositor.startVideoCompositionRequest(std::make_shared<VideoCompositionRequest>(
        MediaTime(i, 60), instruction, context, std::vector<VideoCompositionRequest::SourceFrame>{},
        [&, i](std::shared_ptr<PixelBuffer>, std::optional<PlatformError>) {
          char buffer[32] = {};
          pthread_getname_np(pthread_self(), buffer, sizeof buffer);
          std::lock_guard lock(mutex);
          name = buffer;
          order.push_back(i);
        }));
  ASSERT_TRUE(test::waitUntil([&] {
    std::lock_guard lock(mutex);
    return order.size() == 5;
  }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(name, std::string(RoundedCameraCompositor::kRenderQueueLabel).substr(0, 15));
}

TEST_F(RoundedCameraCompositorTest, WithoutBackgroundTheScreenIsCentredAsItComes) {
  const auto out =
      compose(compositor, plainSettings(), 0, QSize(200, 100), test::splitFrame(100, 50, kRed, kBlue));
  ASSERT_TRUE(out.frame);
  EXPECT_EQ(out.frame->pixel(60, 30), kRed);
  EXPECT_EQ(out.frame->pixel(60, 70), kBlue);
  EXPECT_EQ(out.frame->pixel(140, 70), kBlue);
  EXPECT_EQ(out.frame->pixel(60, 10), kBlack);   // above the picture
  EXPECT_EQ(out.frame->pixel(60, 90), kBlack);   // below it
  EXPECT_EQ(out.frame->pixel(20, 50), kBlack);   // to its left
  EXPECT_EQ(out.frame->pixel(180, 50), kBlack);  // to its right
  // Without a screen frame only the background is drawn.
  auto settings = plainSettings();
  settings.backgroundSettings = solid(1);
  const auto empty = compose(compositor, settings, 0, QSize(200, 100), nullptr);
  EXPECT_EQ(empty.frame->pixel(10, 95), 0xffffffffu);
}

TEST_F(RoundedCameraCompositorTest, PaddedScreenIsFittedRoundedAndCastsItsShadowDownwards) {
  auto settings = plainSettings();
  settings.backgroundEnabled = true;
  settings.backgroundSettings = solid(0.5);
  settings.screenShadowOpacity = 0.4;
  // 640 × 360: padding 40, the picture 497.8 × 280 at (71.1, 40) from the top left, radius 9.3.
  const auto out =
      compose(compositor, settings, 0, QSize(640, 360), test::splitFrame(640, 360, kRed, kGreen));
  ASSERT_TRUE(out.frame);
  const auto& f = *out.frame;
  EXPECT_EQ(f.pixel(320, 45), kRed);
  EXPECT_EQ(f.pixel(320, 315), kGreen);
  EXPECT_EQ(f.pixel(90, 41), kRed);
  EXPECT_NE(f.pixel(72, 41), kRed);  // cut by the rounded corner
  EXPECT_EQ(channels(f.pixel(70, 180)).r, channels(f.pixel(70, 180)).g) << "only grey left of the picture";
  EXPECT_EQ(channels(f.pixel(5, 5)).r, 128);
  // The shadow falls below the picture, not above it.
  const int below = channels(f.pixel(320, 323)).r, above = channels(f.pixel(320, 37)).r;
  EXPECT_LT(below, 110);
  EXPECT_LT(below + 15, above);
  EXPECT_EQ(f.pixel(320, 180 - 2), kRed);  // nothing of the shadow inside the picture

  // Zoomed by 1.2 about the centre: the picture grows to (21.3, 12) and 597.3 × 336, and its
  // shadow still falls below it.
  settings.zoomSegments = {test::zoomSegment(1, 2, 1.2, 0.5)};
  RoundedCameraCompositor zooming;
  const auto zoomed =
      compose(zooming, settings, 1.5, QSize(640, 360), test::splitFrame(640, 360, kRed, kGreen));
  const auto& z = *zoomed.frame;
  EXPECT_EQ(z.pixel(320, 15), kRed);
  EXPECT_EQ(z.pixel(320, 345), kGreen);
  EXPECT_EQ(z.pixel(25, 100), kRed);  // left of the unzoomed picture's edge at 71.1
  EXPECT_NE(f.pixel(25, 100), kRed);
  EXPECT_LT(channels(z.pixel(320, 352)).r + 15, channels(z.pixel(320, 8)).r);
  settings.zoomSegments.clear();

  // An oversized radius is held to half the shorter side: a stadium, not a broken mask.
  settings.videoCornerRadius = 100000;
  RoundedCameraCompositor other;
  const auto round = compose(other, settings, 0, QSize(640, 360), test::splitFrame(640, 360, kRed, kGreen));
  EXPECT_EQ(round.frame->pixel(75, 180 + 2), kGreen);
  EXPECT_NE(round.frame->pixel(80, 45), kRed);
  EXPECT_EQ(round.frame->pixel(320, 42), kRed);
}

TEST_F(RoundedCameraCompositorTest, GradientsRunAsTheEditorShowsThemAndNoticeChangedColours) {
  auto settings = plainSettings();
  const CodableColor red{1, 0, 0, 1}, blue{0, 0, 1, 1}, green{0, 1, 0, 1};
  settings.backgroundSettings = gradient({red, blue}, 0);  // 0°: first colour at the bottom
  auto f = compose(compositor, settings, 0, QSize(160, 90), nullptr).frame;
  EXPECT_GT(channels(f->pixel(80, 89)).r, 240);
  EXPECT_GT(channels(f->pixel(80, 0)).b, 240);
  settings.backgroundSettings = gradient({red, green}, 0);  // same angle and count, other colour
  f = compose(compositor, settings, 0, QSize(160, 90), nullptr).frame;
  EXPECT_GT(channels(f->pixel(80, 0)).g, 240);
  settings.backgroundSettings = gradient({red, blue}, 90);
  f = compose(compositor, settings, 0, QSize(160, 90), nullptr).frame;
  EXPECT_GT(channels(f->pixel(0, 45)).r, 240);
  EXPECT_GT(channels(f->pixel(159, 45)).b, 240);
  const int mid = channels(f->pixel(80, 45)).r;
  EXPECT_NEAR(mid, 127, 4);

  settings.backgroundSettings = gradient({}, 0);
  EXPECT_EQ(compose(compositor, settings, 0, QSize(16, 9), nullptr).frame->pixel(3, 3), kBlack);
  BackgroundSettings image;
  image.type = StudioBackgroundType::image;
  settings.backgroundSettings = image;
  EXPECT_EQ(compose(compositor, settings, 0, QSize(16, 9), nullptr).frame->pixel(3, 3), kBlack);
}

TEST_F(RoundedCameraCompositorTest, CursorTipSitsOnItsRecordedPointOfThePicture) {
  auto settings = plainSettings();
  settings.cursorOverlaySettings = CursorOverlaySettings::defaultSettings();
  settings.cursorOverlaySettings.smoothing = 0;
  settings.cursorOverlaySettings.motionBlurEnabled = false;
  settings.cursorPositions = cursorAt(0.25, 0.25);
  auto screen = test::splitFrame(640, 360, kDark, kDark);
  auto f = compose(compositor, settings, 1, QSize(640, 360), screen).frame;
  // Tip at (160, 90); the arrow body hangs below and to the right of it.
  EXPECT_GT(channels(f->pixel(162, 99)).r, 200);
  EXPECT_EQ(f->pixel(162, 81), kDark);
  EXPECT_EQ(f->pixel(150, 99), kDark);

  // On a square canvas the picture is letterboxed: the cursor follows the picture, not the canvas.
  settings.backgroundEnabled = true;
  settings.cursorPositions = cursorAt(0.1, 0.1);
  RoundedCameraCompositor square;
  f = compose(square, settings, 1, QSize(360, 360), screen).frame;
  // Picture at (40, 101.25) and 280 × 157.5: the tip at (68, 117).
  EXPECT_GT(channels(f->pixel(70, 126)).r, 200);
  EXPECT_LT(channels(f->pixel(70, 77)).r, 100);

  // Switched off: no arrow anywhere.
  settings.cursorOverlaySettings.enabled = false;
  RoundedCameraCompositor off;
  f = compose(off, settings, 1, QSize(360, 360), screen).frame;
  EXPECT_EQ(f->pixel(70, 126), kDark);
}

TEST_F(RoundedCameraCompositorTest, ZoomMagnifiesAboutTheFocusOnTheRampAndAtTheHold) {
  auto settings = plainSettings();
  settings.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  auto screen = test::positionFrame(320, 180);
  auto expectSource = [&](const PixelBuffer& f, int x, int y, double sx, double sy) {
    const Channels c = channels(f.pixel(x, y));
    EXPECT_NEAR(c.r, sx * 255 / 319, 3) << x << "," << y;
    EXPECT_NEAR(c.g, sy * 255 / 179, 3) << x << "," << y;
  };
  auto f = compose(compositor, settings, 1.5, QSize(320, 180), screen).frame;
  expectSource(*f, 80, 45, 160 + (80.5 - 160) / 2 - 0.5, 90 + (45.5 - 90) / 2 - 0.5);
  expectSource(*f, 80, 135, 160 + (80.5 - 160) / 2 - 0.5, 90 + (135.5 - 90) / 2 - 0.5);
  f = compose(compositor, settings, 0.75, QSize(320, 180), screen).frame;  // half-way up: level 1.5
  expectSource(*f, 80, 45, 160 + (80.5 - 160) / 1.5 - 0.5, 90 + (45.5 - 90) / 1.5 - 0.5);
  f = compose(compositor, settings, 3, QSize(320, 180), screen).frame;
  expectSource(*f, 80, 45, 80, 45);

  // Following a cursor in the top-left quarter: the focus holds at the edge of the allowed band.
  settings.cursorPositions = cursorAt(0.1, 0.2);
  RoundedCameraCompositor following;
  f = compose(following, settings, 1.5, QSize(320, 180), screen).frame;
  expectSource(*f, 160, 90, 80, 45);
}

TEST_F(RoundedCameraCompositorTest, PaddedScreenLayoutScalesWithTheOutputHeight) {
  RoundedCameraCompositorSettings s;
  s.backgroundEnabled = true;
  bool padded = false;
  QRectF r = RoundedCameraCompositor::screenRect(s, 1920, 1080, 1920, 1080, &padded);
  EXPECT_TRUE(padded);
  EXPECT_NEAR(r.x(), 213.333, 1e-3);
  EXPECT_NEAR(r.y(), 120, 1e-9);
  EXPECT_NEAR(r.width(), 1493.333, 1e-3);
  EXPECT_NEAR(r.height(), 840, 1e-9);
  r = RoundedCameraCompositor::screenRect(s, 3840, 2160, 1920, 1080);
  EXPECT_NEAR(r.x(), 426.667, 1e-3);
  EXPECT_NEAR(r.y(), 240, 1e-9);
  // No room left, or the background off: the picture at its own size, centred on whole pixels.
  s.videoPadding = 600;
  r = RoundedCameraCompositor::screenRect(s, 1920, 1080, 1920, 1080, &padded);
  EXPECT_FALSE(padded);
  EXPECT_EQ(r, QRectF(0, 0, 1920, 1080));
  s.videoPadding = 120;
  s.backgroundEnabled = false;
  EXPECT_EQ(RoundedCameraCompositor::screenRect(s, 1920, 1080, 640, 360), QRectF(640, 360, 640, 360));
  EXPECT_EQ(RoundedCameraCompositor::screenRect(s, 1920, 1920, 1920, 1080), QRectF(0, 420, 1920, 1080));
  EXPECT_EQ(RoundedCameraCompositor::screenRect(s, 428, 240, 427, 240), QRectF(0, 0, 427, 240));
}

TEST_F(RoundedCameraCompositorTest, CameraBubbleGeometryAnchorsToTheNearerEdgesAndShrinksWhileZoomed) {
  RoundedCameraCompositorSettings s;
  double r = 0;
  QRectF b = RoundedCameraCompositor::cameraBubbleRect(s, 0, 1920, 1080, &r);
  EXPECT_NEAR(b.x(), 1420.8, 1e-9);
  EXPECT_NEAR(b.y(), 657.6, 1e-9);
  EXPECT_NEAR(b.width(), 422.4, 1e-9);
  EXPECT_NEAR(r, 92.928, 1e-9);
  s.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  b = RoundedCameraCompositor::cameraBubbleRect(s, 1.5, 1920, 1080, &r);
  EXPECT_NEAR(b.width(), 278.784, 1e-9);
  EXPECT_NEAR(b.x(), 1564.416, 1e-9);
  EXPECT_NEAR(b.y(), 801.216, 1e-9);
  EXPECT_NEAR(r, 61.33248, 1e-9);
  s.cameraSettings.shape = CameraShape::roundedRect;
  s.cameraNaturalSize = {1280, 720};
  b = RoundedCameraCompositor::cameraBubbleRect(s, 0, 1920, 1080, &r);
  EXPECT_NEAR(b.height(), 237.6, 1e-9);
  EXPECT_NEAR(r, 28.512, 1e-9);
  s.cameraSettings.centerNormalized = {0.5, 0.5};
  s.cameraSettings.shape = CameraShape::squircle;
  b = RoundedCameraCompositor::cameraBubbleRect(s, 1.5, 1920, 1080);
  EXPECT_NEAR(b.right(), 960 + 211.2, 1e-9);  // a tie keeps the right and top sides
  EXPECT_NEAR(b.bottom(), 540 + 211.2, 1e-9);
}

TEST_F(RoundedCameraCompositorTest, CameraBubbleIsClippedToItsShapeTheRightWayUp) {
  auto settings = plainSettings();
  auto screen = test::splitFrame(640, 360, kBlack, kBlack);
  auto camera = test::splitFrame(160, 160, kRed, kBlue);
  // 640 × 360: the bubble is 140.8 wide at (473.6, 0) from the top left.
  test::CapturedLines lines;
  auto f = compose(compositor, settings, 0, QSize(640, 360), screen, camera).frame;
  EXPECT_TRUE(lines.contains("⚠️ Camera shadow skipped: opacity is 0"));
  EXPECT_TRUE(lines.contains("📷 Camera shape: squircle"));
  EXPECT_EQ(f->pixel(544, 20), kRed);
  EXPECT_EQ(f->pixel(544, 120), kBlue);
  EXPECT_EQ(f->pixel(474, 1), kBlack);  // squircle corner
  EXPECT_EQ(f->pixel(481, 20), kRed);
  settings.cameraSettings.shape = CameraShape::circle;
  RoundedCameraCompositor circle;
  f = compose(circle, settings, 0, QSize(640, 360), screen, camera).frame;
  EXPECT_EQ(f->pixel(481, 20), kBlack);
  EXPECT_EQ(f->pixel(544, 5), kRed);
  settings.cameraSettings.shape = CameraShape::rectangle;
  settings.cameraNaturalSize = {160, 160};
  RoundedCameraCompositor rectangle;
  f = compose(rectangle, settings, 0, QSize(640, 360), screen, camera).frame;
  EXPECT_EQ(f->pixel(474, 1), kRed);
  // While a zoom segment holds the bubble shrinks towards its top right corner.
  settings.cameraSettings.shape = CameraShape::squircle;
  settings.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  settings.cameraShadowOpacity = 0.4;
  RoundedCameraCompositor shrinking;
  for (int i = 0; i < 20; ++i)  // every ramp frame moves the bubble: more masks than the cache keeps
    ASSERT_TRUE(compose(shrinking, settings, 0.5 + i * 0.025, QSize(640, 360), screen, camera).frame);
  f = compose(shrinking, settings, 1.5, QSize(640, 360), screen, camera).frame;
  EXPECT_EQ(f->pixel(600, 20), kRed);
  EXPECT_NE(f->pixel(490, 60), kRed);
  EXPECT_NE(f->pixel(490, 60), kBlue);
}

TEST_F(RoundedCameraCompositorTest, CameraShadowIsBlurredOncePerRestAndScaledThroughAZoomRamp) {
  auto settings = plainSettings();
  settings.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  settings.cameraShadowOpacity = 0.8;
  settings.cameraShadowRadius = 4;
  constexpr uint32_t kWhite = 0xffffffffu;
  auto screen = test::splitFrame(640, 360, kWhite, kWhite);
  auto camera = test::splitFrame(160, 160, kRed, kRed);
  test::CapturedLines lines;
  // One export's frames share one settings value, as the compositor's caches expect.
  const auto shared = std::make_shared<const RoundedCameraCompositorSettings>(settings);
  auto f = PixelBuffer::create(640, 360);
  double radius = 0;
  QRectF bubble;
  // Into the zoom and out of it again: the bubble takes a new size every frame.
  for (int i = 0; i <= 40; ++i) {
    const double t = i < 20 ? 0.5 + i * 0.025 : 2 + (i - 20) * 0.025;
    compositor.renderFrame(*f, shared, t, screen.get(), camera.get());
    if (i == 10) {
      // Mid-ramp: the shadow lies under the bubble's lower edge at the bubble's size, not at a rest's.
      bubble = RoundedCameraCompositor::cameraBubbleRect(settings, t, 640, 360, &radius);
      const int x = static_cast<int>(bubble.center().x());
      const int below = static_cast<int>(360 - bubble.y());  // the bubble's bottom row, from the top
      EXPECT_EQ(f->pixel(x, below - 3), kRed);
      EXPECT_LT(test::channels(f->pixel(x, below + 1)).g, 200) << "no shadow under the bubble";
      EXPECT_EQ(f->pixel(x, below + 30), kWhite);
    }
  }
  int builds = 0;
  for (const auto& line : lines.lines()) builds += line.find("Creating camera shadow") != std::string::npos;
  EXPECT_LE(builds, 2) << "the shadow was blurred again while the bubble was resized";
}

TEST_F(RoundedCameraCompositorTest, VerticalStackPutsTheCameraBandOverTheScreenBandAndZoomsTheScreen) {
  auto settings = plainSettings();
  settings.verticalStack = true;
  settings.backgroundSettings = solid(1);
  auto camera = test::splitFrame(160, 160, kRed, kBlue);
  auto screen = test::splitFrame(320, 180, kGreen, kYellow);
  // 270 × 480: camera band (1, 1, 268, 166), screen band (1, 169, 268, 310) from the top left.
  auto f = compose(compositor, settings, 0, QSize(270, 480), screen, camera).frame;
  EXPECT_EQ(f->pixel(135, 10), kRed);
  EXPECT_EQ(f->pixel(135, 160), kBlue);
  EXPECT_EQ(f->pixel(135, 168), 0xffffffffu);  // the gap shows the background
  EXPECT_EQ(f->pixel(135, 180), kGreen);
  EXPECT_EQ(f->pixel(135, 470), kYellow);
  EXPECT_EQ(f->pixel(0, 300), 0xffffffffu);
  EXPECT_NE(f->pixel(1, 169), kGreen);  // rounded band corner
  // Without a camera frame the normal layout is used.
  f = compose(compositor, settings, 0, QSize(270, 480), screen).frame;
  EXPECT_EQ(f->pixel(135, 10), 0xffffffffu);

  // Zoomed, the band shows the middle of the screen magnified.
  auto position = test::positionFrame(320, 180);
  auto plain = compose(compositor, settings, 0, QSize(270, 480), position, camera).frame;
  settings.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  RoundedCameraCompositor zooming;
  auto zoomed = compose(zooming, settings, 1.5, QSize(270, 480), position, camera).frame;
  EXPECT_NEAR(channels(plain->pixel(40, 324)).r, 105 * 255 / 319, 3);
  EXPECT_NEAR(channels(zoomed->pixel(40, 324)).r, 132.5 * 255 / 319, 3);
  EXPECT_NEAR(channels(zoomed->pixel(135, 324)).r, 127, 3);

  // The cursor follows the band's zoom: at 0.3 across, the zoom centres it in the band.
  auto dark = test::splitFrame(320, 180, kDark, kDark);
  settings.cursorOverlaySettings = CursorOverlaySettings::defaultSettings();
  settings.cursorOverlaySettings.smoothing = 0;
  settings.cursorOverlaySettings.motionBlurEnabled = false;
  settings.cursorPositions = cursorAt(0.3, 0.5);
  RoundedCameraCompositor withCursor;
  auto still = compose(withCursor, settings, 3, QSize(270, 480), dark, camera).frame;
  auto held = compose(withCursor, settings, 1.5, QSize(270, 480), dark, camera).frame;
  // Unzoomed the tip is at (24.8, 324); zoomed at (135, 324). The arrow hangs below its tip.
  EXPECT_GT(channels(still->pixel(25, 327)).r, 200);
  EXPECT_EQ(held->pixel(25, 327), kDark);
  EXPECT_GT(channels(held->pixel(135, 327)).r, 200);
  EXPECT_EQ(held->pixel(135, 320), kDark);
}

}  // namespace
}  // namespace tk
