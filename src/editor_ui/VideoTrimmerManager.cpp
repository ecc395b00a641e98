#include "editor_ui/VideoTrimmerManager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <vector>

#include "editor_ui/VideoTrimmerView.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MemoryRelease.h"
#include "ui/ScreenFit.h"

namespace tk {

namespace {

std::unique_ptr<VideoTrimmerManager>& sharedTrimmerManager() {
  // Left to the post routine, never to the static destructors: a process that exits from under Qt
  // (the X server gone) must not delete widgets after Qt's thread data.
  static auto* instance = new std::unique_ptr<VideoTrimmerManager>();
  return *instance;
}

// A top-level window that tells the registry when it closes.
class TrimmerWindow : public QWidget {
 public:
  explicit TrimmerWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    // The registry owns the window: let it go once the close has been handled.
    QMetaObject::invokeMethod(qApp, onClose_, Qt::QueuedConnection);
  }

 private:
  std::function<void()> onClose_;
};

void bringForward(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

VideoTrimmerManager& VideoTrimmerManager::shared() {
  auto& instance = sharedTrimmerManager();
  if (!instance) {
    instance = std::make_unique<VideoTrimmerManager>();
    RecordingShell::installEditor(instance.get());
    // Windows must go before the application object does.
    qAddPostRoutine([] {
      RecordingShell::installEditor(nullptr);
      sharedTrimmerManager().reset();
    });
  }
  return *instance;
}

VideoTrimmerManager::VideoTrimmerManager() = default;
VideoTrimmerManager::~VideoTrimmerManager() {
  if (RecordingShell::editor() == this) RecordingShell::installEditor(nullptr);
}

QWidget* VideoTrimmerManager::openTrimmerWindow(const std::filesystem::path& url) const {
  auto it = openTrimmers_.find(url);
  return it == openTrimmers_.end() ? nullptr : it->second.get();
}

void VideoTrimmerManager::openTrimmer(const std::filesystem::path& url) {
  if (QWidget* open = openTrimmerWindow(url)) {
    bringForward(*open);
    return;
  }
  std::error_code error;
  if (!std::filesystem::exists(url, error)) {
    Diagnostics::line("Video file not found: " + url.string());
    return;
  }
  std::string extension = url.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension != "mov" && extension != "mp4" && extension != "m4v") {
    Diagnostics::line("Unsupported video format: " + extension);
    return;
  }

  auto window = std::make_unique<TrimmerWindow>([this, url] {
    openTrimmers_.erase(url);
    // The editor's player, decoders and frame caches went with the window.
    MemoryRelease::trim();
  });
  window->setWindowTitle(QString::fromStdString("Video Trimmer - " + url.filename().string()));
  window->resize(1200, 800);  // the ideal size; the least is what the content needs
  auto* layout = new QVBoxLayout(window.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new VideoTrimmerView(url, window.get()));
  // Within the screen it opens on: a small screen gets a smaller window, down to the least size.
  ScreenFit::install(window.get());
  QWidget& shown = *window;
  openTrimmers_.emplace(url, std::move(window));
  bringForward(shown);
}

bool VideoTrimmerManager::closeAll() {
  std::vector<QPointer<QWidget>> windows;
  for (const auto& [url, window] : openTrimmers_) windows.emplace_back(window.get());
  std::stable_partition(windows.begin(), windows.end(), [](const QPointer<QWidget>& window) {
    const auto* view = window->findChild<VideoTrimmerView*>();
    return view && view->asksBeforeClosing();
  });
  for (const QPointer<QWidget>& window : windows) {
    if (window && !window->close()) return false;
  }
  return true;
}

}  // namespace tk
