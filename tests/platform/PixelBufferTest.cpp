#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

using tk::PixelBuffer;
using tk::PixelBufferPool;

TEST(PixelBufferTest, RowsAreAlignedAndPixelsAddressedAsBgra) {
  auto buffer = PixelBuffer::create(3, 2);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->bytesPerRow() % 64, 0);
  buffer->setPixel(2, 1, 0xFF112233);
  const uint8_t* bytes = buffer->row(1) + 2 * 4;
  EXPECT_EQ(bytes[0], 0x33);  // blue first
  EXPECT_EQ(bytes[2], 0x11);
  EXPECT_EQ(bytes[3], 0xFF);
  EXPECT_EQ(buffer->pixel(0, 0), 0u);
  EXPECT_FALSE(PixelBuffer::create(0, 10));
}

TEST(PixelBufferTest, PoolReusesReleasedBuffersAndOutlivesItsOwner) {
  std::shared_ptr<PixelBuffer> survivor;
  {
    PixelBufferPool pool(64, 32, 2);
    const uint8_t* first;
    {
      auto a = pool.acquire();
      first = a->data();
    }
    auto b = pool.acquire();
    EXPECT_EQ(b->data(), first);
    EXPECT_EQ(pool.allocationCount(), 1u);
    survivor = pool.acquire();
  }
  // The pool is gone; the buffer still works and frees itself.
  survivor->fill(0xFF00FF00);
  EXPECT_EQ(survivor->pixel(63, 31), 0xFF00FF00u);
}

TEST(PixelBufferTest, PoolIsSafeAcrossThreads) {
  PixelBufferPool pool(16, 16, 4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&pool, t] {
      for (int i = 0; i < 500; ++i) {
        auto buffer = pool.acquire();
        buffer->setPixel(0, 0, static_cast<uint32_t>(t));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_LE(pool.idleCount(), 4u);
  EXPECT_LE(pool.allocationCount(), 8u);
}

TEST(SampleBufferTest, ValidityAndAudioDuration) {
  EXPECT_FALSE(tk::SampleBuffer().isValid());
  auto block = std::make_shared<tk::AudioBlock>();
  block->format = {48000, 2, true};
  block->frameCount = 1024;
  block->samples.assign(2048, 0.f);
  auto audio = tk::SampleBuffer::audio(block, tk::MediaTime(1, 1));
  EXPECT_TRUE(audio.isValid());
  EXPECT_EQ(audio.duration(), tk::MediaTime(1024, 48000));
  auto later = audio.retimed(tk::MediaTime(2, 1));
  EXPECT_EQ(later.audioBlock(), audio.audioBlock());
  EXPECT_FALSE(tk::SampleBuffer::video(nullptr, tk::MediaTime(0, 1)).isValid());
}
