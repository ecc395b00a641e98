#pragma once

// Editor windows on movies our own writer made, shown on the private desktop.

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "editor_ui/TrimmerPlayerArea.h"
#include "editor_ui/TrimmerPreview.h"
#include "editor_ui/VideoTrimmerView.h"
#include "model/RecordingMetadata.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk::test {

namespace fs = std::filesystem;

class EditorWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override { TK_REQUIRE_DESKTOP(); }

  // A movie in the fixture's folder, with its metadata beside it when given.
  fs::path writeMovie(const std::string& name, TestMovieSpec spec = {},
                      const std::optional<RecordingMetadata>& metadata = std::nullopt) {
    fs::path movie = fs::path(folder.path().toStdString()) / name;
    writeTestMovie(movie, spec);
    if (metadata) {
      std::ofstream out(movie.parent_path() / (movie.stem().string() + ".metadata.json"));
      out << encodeRecordingMetadata(*metadata);
    }
    return movie;
  }

  // The silent camera layer a package keeps beside its screen layer.
  void writeCameraLayer() {
    TestMovieSpec camera;
    camera.withAudio = false;
    writeMovie(".camera.mov", camera);
  }

  // Shows an editor on `movie` in its own window and waits until it has loaded (or failed).
  VideoTrimmerView& open(const fs::path& movie, QSize size = QSize(1200, 750)) {
    window = std::make_unique<QWidget>();
    window->setWindowTitle(QString::fromStdString("Video Trimmer - " + movie.filename().string()));
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    view = new VideoTrimmerView(movie, window.get());
    layout->addWidget(view);
    window->resize(size);
    window->show();
    EXPECT_TRUE(waitUntil([&] {
      return (!view->viewModel().isLoading() && view->playbackTimerRunning()) || view->loadFailed();
    }));
    return *view;
  }

  // Waits until the main player shows a frame and the preview has painted it.
  bool waitForPicture() {
    return waitUntil([&] {
      auto* player = view->viewModel().player();
      return player && player->currentFrame() && view->playerArea().preview().isVisible();
    });
  }

  QImage previewImage() const { return view->playerArea().preview().grab().toImage(); }

  QTemporaryDir folder;
  std::unique_ptr<QWidget> window;
  VideoTrimmerView* view = nullptr;
};

// Difference of two colours: the largest of the channel differences.
inline int colourDistance(QRgb a, QRgb b) {
  return std::max(
      {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace tk::test
