#include "platform/composition/VideoCompositionRequest.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

struct Outcome {
  int calls = 0;
  std::shared_ptr<PixelBuffer> frame;
  std::optional<PlatformError> error;
};

VideoCompositionRequest::Completion recordInto(Outcome& outcome) {
  return [&outcome](std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error) {
    ++outcome.calls;
    outcome.frame = std::move(frame);
    outcome.error = std::move(error);
  };
}

std::shared_ptr<VideoCompositionInstruction> instructionFor(std::vector<int32_t> ids) {
  auto instruction = std::make_shared<VideoCompositionInstruction>();
  instruction->requiredSourceTrackIDs = std::move(ids);
  return instruction;
}

TEST(VideoCompositionRequestTest, FramesAreGivenOnlyInsideTheirTracksRange) {
  auto screen = PixelBuffer::create(4, 4);
  auto camera = PixelBuffer::create(2, 2);
  const MediaTimeRange whole{MediaTime(0, 600), MediaTime(6000, 600)};
  const MediaTimeRange firstSecond{MediaTime(0, 600), MediaTime(600, 600)};
  auto context = std::make_shared<VideoCompositionRenderContext>(QSize(8, 8), MediaTime(1, 60));
  Outcome outcome;
  VideoCompositionRequest early(MediaTime(300, 600), instructionFor({1, 2}), context,
                                {{1, whole, screen}, {2, firstSecond, camera}}, recordInto(outcome));
  EXPECT_EQ(early.sourceFrame(1), screen);
  EXPECT_EQ(early.sourceFrame(2), camera);
  EXPECT_EQ(early.sourceFrame(3), nullptr);
  EXPECT_EQ(early.sourceTrackIDs(), (std::vector<int32_t>{1, 2}));
  VideoCompositionRequest late(MediaTime(600, 600), instructionFor({1, 2}), context,
                               {{1, whole, screen}, {2, firstSecond, camera}}, recordInto(outcome));
  EXPECT_EQ(late.sourceFrame(1), screen);
  EXPECT_EQ(late.sourceFrame(2), nullptr);  // the range's end is outside it
  early.finishWithComposedVideoFrame(nullptr);
  late.finishWithComposedVideoFrame(nullptr);
}

TEST(VideoCompositionRequestTest, FinishesOnceAndADroppedRequestReportsAnError) {
  auto context = std::make_shared<VideoCompositionRenderContext>(QSize(8, 8), MediaTime(1, 60));
  Outcome finished;
  {
    VideoCompositionRequest request(MediaTime(0, 600), nullptr, context, {}, recordInto(finished));
    EXPECT_TRUE(request.sourceTrackIDs().empty());
    auto frame = context->newPixelBuffer();
    request.finishWithComposedVideoFrame(frame);
    request.finishWithError(PlatformError("X", -1, "late"));
    EXPECT_TRUE(request.isFinished());
  }
  EXPECT_EQ(finished.calls, 1);
  EXPECT_NE(finished.frame, nullptr);
  EXPECT_FALSE(finished.error);

  Outcome dropped;
  { VideoCompositionRequest request(MediaTime(0, 600), nullptr, context, {}, recordInto(dropped)); }
  EXPECT_EQ(dropped.calls, 1);
  ASSERT_TRUE(dropped.error);
  EXPECT_EQ(dropped.frame, nullptr);
}

TEST(VideoCompositionRequestTest, RenderContextReusesReleasedBuffersAndRunsOutWhenAllAreHeld) {
  VideoCompositionRenderContext context(QSize(16, 9), MediaTime(1, 60), 2);
  auto a = context.newPixelBuffer();
  auto b = context.newPixelBuffer();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->width(), 16);
  EXPECT_EQ(a->height(), 9);
  EXPECT_EQ(context.newPixelBuffer(), nullptr);
  PixelBuffer* first = a.get();
  a.reset();
  EXPECT_EQ(context.newPixelBuffer().get(), first);
  VideoCompositionRenderContext empty(QSize(0, 9), MediaTime(1, 60));
  EXPECT_EQ(empty.newPixelBuffer(), nullptr);
}

TEST(VideoCompositionRequestTest, LayerTransformsHoldUntilTheNextTimeThatHasOne) {
  VideoCompositionLayerInstruction layer(1);
  const auto twice = AffineTransform::scale(2, 2);
  const auto shifted = AffineTransform::translation(5, -3);
  layer.setTransform(shifted, MediaTime(600, 600));
  layer.setTransform(twice, MediaTime(0, 600));  // out of order
  layer.setTransform(AffineTransform::scale(3, 3), MediaTime(1200, 600));
  layer.setTransform(twice, MediaTime(1200, 600));  // replaces
  EXPECT_EQ(layer.transforms().size(), 3u);
  EXPECT_TRUE(layer.transformAt(MediaTime(-1, 600)).isIdentity());
  EXPECT_EQ(layer.transformAt(MediaTime(599, 600)), twice);
  EXPECT_EQ(layer.transformAt(MediaTime(600, 600)), shifted);
  EXPECT_EQ(layer.transformAt(MediaTime(100000, 600)), twice);
  // then(): the receiver first, then the argument.
  EXPECT_EQ(twice.then(shifted).map({1, 1}), QPointF(7, -1));
  EXPECT_EQ(shifted.then(twice).map({1, 1}), QPointF(12, -4));
}

}  // namespace
}  // namespace tk
