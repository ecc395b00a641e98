#include "app/ModeSelectionView.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThreadPool>

#include "../settings/SettingsTestStore.h"
#include "FakeServices.h"
#include "app/AudioDeviceManager.h"
#include "settings/SettingsKeys.h"
#include "support/TestSupport.h"
#include "ui/RecordButton.h"
#include "ui/SymbolButton.h"

using namespace tk;
using Mode = ModeSelectionView::RecordingMode;

namespace {

class ModeSelectionViewTest : public ::testing::Test {
 protected:
  ModeSelectionViewTest() {
    auto first = std::make_shared<CaptureDisplay>();
    first->displayID = 11;
    first->frame = QRectF(0, 0, 400, 600);
    auto second = std::make_shared<CaptureDisplay>();
    second->displayID = 22;
    second->frame = QRectF(400, 0, 400, 600);
    content.displayList = {first, second};
    devices.microphoneList = {test::device("alsa_input.usb", "USB Mic & <b>Studio</b>"),
                              test::device("tk_null_sink.monitor", "Monitor of Null Output"),
                              test::device("alsa_input.pci", "Built-in Audio")};
    devices.cameraList = {test::device("/dev/video0", "HD Webcam")};
    settings::outputDirectory.write(outputDir.path());
  }
  ~ModeSelectionViewTest() override {
    // Device lists still being asked for on workers finish before the fakes go.
    QThreadPool::globalInstance()->waitForDone();
    test::pumpEvents(std::chrono::milliseconds(10));
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<QMessageBox*>(widget)) delete widget;
    }
  }

  ModeSelectionServices services(bool withPickers = false) {
    ModeSelectionServices s;
    s.recording = &recording;
    s.devices = &devices;
    s.content = &content;
    s.openSettings = [this] { ++settingsOpened; };
    s.openMicrophoneSettings = [this] { ++soundSettingsOpened; };
    s.quit = [this] { quitCalls.push_back(recording.calls); };
    if (withPickers) {
      s.openWindowSelector = [this] { ++windowSelectorOpened; };
      s.openAreaSelector = [this](CaptureDisplayRef display) { areaDisplays.push_back(display->displayID); };
    }
    return s;
  }

  // Shows the view as the application does and waits for its device lists.
  std::unique_ptr<ModeSelectionView> shownView(bool withPickers = false) {
    auto view = std::make_unique<ModeSelectionView>(services(withPickers));
    view->show();
    test::waitUntil([&] { return view->availableCameras().size() == devices.cameraList.size(); });
    return view;
  }

  static QMessageBox* openAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box && box->isVisible()) return box;
    }
    return nullptr;
  }

  static QStringList menuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) texts << (action->isSeparator() ? "--" : action->text());
    return texts;
  }

  static QAction* action(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
      if (a->text() == text) return a;
    }
    return nullptr;
  }

  test::SettingsTestStore store;
  QTemporaryDir outputDir;
  test::FakeRecordingControl recording;
  test::FakeDevices devices;
  test::FakeContent content;
  int settingsOpened = 0;
  int soundSettingsOpened = 0;
  int windowSelectorOpened = 0;
  std::vector<uint32_t> areaDisplays;
  std::vector<std::vector<std::string>> quitCalls;
};

}  // namespace

TEST_F(ModeSelectionViewTest, ModesAreDisplayWindowAreaAndStartAtDisplay) {
  EXPECT_EQ(ModeSelectionView::text(Mode::screen), "Display");
  EXPECT_EQ(ModeSelectionView::modeFromText("Window"), Mode::window);
  EXPECT_EQ(ModeSelectionView::modeFromText("Area"), Mode::area);
  EXPECT_FALSE(ModeSelectionView::modeFromText("display").has_value());

  auto view = shownView();
  EXPECT_EQ(view->windowTitle(), "tavelkombrix");
  EXPECT_EQ(view->selectedMode(), Mode::screen);
  EXPECT_EQ(view->modeButton(Mode::screen)->symbolColor(), QColor(Qt::white));
  // Without the pickers, the modes that need them cannot be chosen.
  EXPECT_FALSE(view->modeButton(Mode::window)->isEnabled());
  EXPECT_FALSE(view->modeButton(Mode::area)->isEnabled());
}

TEST_F(ModeSelectionViewTest, WindowOpensThePickerAtOnceAndClosesTheMainWindow) {
  auto view = shownView(true);
  view->modeButton(Mode::window)->click();
  EXPECT_EQ(view->selectedMode(), Mode::window);
  EXPECT_EQ(windowSelectorOpened, 1);
  EXPECT_FALSE(view->isVisible());

  view->show();
  view->recordButton()->click();
  EXPECT_EQ(windowSelectorOpened, 2);
  EXPECT_FALSE(view->isVisible());
  EXPECT_TRUE(recording.calls.empty());
}

TEST_F(ModeSelectionViewTest, AreaStartsOnTheDisplayUnderThePointer) {
  auto view = shownView(true);
  QCursor::setPos(600, 100);
  if (!test::waitUntil([] { return QCursor::pos() == QPoint(600, 100); }, std::chrono::seconds(30)))
    GTEST_SKIP() << "this platform cannot place the pointer";
  view->modeButton(Mode::area)->click();
  ASSERT_TRUE(test::waitUntil([&] { return !areaDisplays.empty(); }));
  EXPECT_EQ(areaDisplays, std::vector<uint32_t>{22});
  EXPECT_FALSE(view->isVisible());
}

TEST_F(ModeSelectionViewTest, RecordWithDisplayPreparesAndStartsTheFirstDisplayAfterClosingTheWindow) {
  settings::frameRate.write(30);
  auto view = shownView();
  test::CapturedLines lines;
  content.answerLater = true;
  view->recordButton()->click();
  view->recordButton()->click();  // a second click while the first start is under way
  content.answer();
  ASSERT_TRUE(test::waitUntil([&] { return recording.calls.size() == 2; }));
  test::pumpEvents(std::chrono::milliseconds(20));
  EXPECT_EQ(recording.calls, (std::vector<std::string>{"prepare", "start"}));
  EXPECT_FALSE(view->isVisible());
  ASSERT_TRUE(recording.preparedMode.has_value());
  ASSERT_EQ(recording.preparedMode->kind(), RecordingMode::Kind::screen);
  EXPECT_EQ(recording.preparedMode->get<RecordingMode::Screen>()->display->displayID, 11u);
  EXPECT_EQ(recording.preparedConfiguration->frameRate, 30);
  EXPECT_EQ(recording.preparedConfiguration->mode, *recording.preparedMode);
  ASSERT_TRUE(test::waitUntil([&] { return lines.contains("📁 Output directory: "); }));
  EXPECT_TRUE(lines.contains("✅ Recording started successfully"));
  EXPECT_TRUE(lines.contains("📁 Output directory: " + outputDir.path().toStdString()));
  EXPECT_EQ(openAlert(), nullptr);
}

TEST_F(ModeSelectionViewTest, FailuresOfAStartEndInTheRecordingErrorAlert) {
  auto view = shownView();

  content.displayList.clear();
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  EXPECT_EQ(openAlert()->windowTitle(), "Recording Error");
  EXPECT_EQ(openAlert()->informativeText(), "No display found");
  EXPECT_TRUE(view->isVisible());
  delete openAlert();

  content.fail = true;
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  EXPECT_EQ(openAlert()->informativeText(), "Failed to start recording: The display refused the request");
  EXPECT_TRUE(view->isVisible());  // closed only once the configuration is built
  delete openAlert();

  content.fail = false;
  content.displayList = {std::make_shared<CaptureDisplay>()};
  recording.failPrepare = true;
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  EXPECT_EQ(openAlert()->textFormat(), Qt::PlainText);
  EXPECT_TRUE(openAlert()->informativeText().startsWith("Failed to start recording: "));
  EXPECT_EQ(openAlert()->informativeText(),
            "Failed to start recording: " +
                QString::fromStdString(RecordingError::outputDirectoryNotWritable().localizedDescription()));
  EXPECT_FALSE(view->isVisible());
  EXPECT_EQ(recording.calls, std::vector<std::string>{"prepare"});
  delete openAlert();

  // Stored values the settings window cannot offer fail nothing: Record gets them as the window
  // shows them (a frame rate that is no number, minutes beyond 2^32 ms, a countdown of 68 years).
  SettingsStore::standard().setString("frameRate", "fast");
  SettingsStore::standard().setString("autoStopMinutes", "71583");
  SettingsStore::standard().setString("countdown", "2147483647");
  content.displayList = {std::make_shared<CaptureDisplay>()};
  recording.failPrepare = false;
  recording.calls.clear();
  view->show();
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return recording.calls.size() == 2 || openAlert(); }));
  EXPECT_EQ(openAlert(), nullptr);
  EXPECT_EQ(recording.calls, (std::vector<std::string>{"prepare", "start"}));
  ASSERT_TRUE(recording.preparedConfiguration);
  EXPECT_EQ(recording.preparedConfiguration->frameRate, 60);
  EXPECT_EQ(recording.preparedConfiguration->autoStopMinutes, 999);
  EXPECT_EQ(recording.preparedConfiguration->countdown, 99);
}

TEST_F(ModeSelectionViewTest, MicrophoneMenuListsInputsAsPlainTextAndStoresTheName) {
  auto view = shownView();
  ASSERT_TRUE(test::waitUntil([&] { return view->audioDeviceManager().availableDevices().size() == 2; }));
  EXPECT_EQ(menuTexts(view->microphoneMenu()),
            QStringList({"Default", "--", "USB Mic && <b>Studio</b>", "Built-in Audio"}));
  // The menu opens only while the microphone is on.
  EXPECT_FALSE(view->microphoneMenuButton()->isEnabled());
  view->microphoneButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return view->microphoneMenuButton()->isEnabled(); }));

  action(view->microphoneMenu(), "USB Mic && <b>Studio</b>")->trigger();
  EXPECT_EQ(settings::microphoneDevice.read(), "USB Mic & <b>Studio</b>");
  action(view->microphoneMenu(), "Default")->trigger();
  EXPECT_EQ(settings::microphoneDevice.read(), "default");
}

TEST_F(ModeSelectionViewTest, CameraMenuChoiceTurnsTheCameraOnButDefaultDoesNot) {
  auto view = shownView();
  EXPECT_EQ(menuTexts(view->cameraMenu()), QStringList({"Default Camera", "--", "HD Webcam"}));
  EXPECT_TRUE(view->cameraMenuButton()->isEnabled());

  action(view->cameraMenu(), "Default Camera")->trigger();
  EXPECT_EQ(settings::cameraDevice.read(), "default");
  EXPECT_FALSE(settings::recordCamera.read());

  action(view->cameraMenu(), "HD Webcam")->trigger();
  EXPECT_EQ(settings::cameraDevice.read(), "HD Webcam");
  EXPECT_TRUE(settings::recordCamera.read());
  EXPECT_EQ(view->cameraButton()->symbolColor(), QColor::fromRgbF(0.2f, 0.8f, 0.4f));

  view->cameraButton()->click();
  EXPECT_FALSE(settings::recordCamera.read());

  EXPECT_EQ(menuTexts(view->systemAudioMenu()), QStringList({"System Default"}));
}

TEST_F(ModeSelectionViewTest, TogglesFlipTheirSettingsAndAskForAccess) {
  auto view = shownView();
  view->systemAudioButton()->click();
  EXPECT_FALSE(settings::recordSystemAudio.read());
  EXPECT_FALSE(view->systemAudioMenuButton()->isEnabled());
  view->systemAudioButton()->click();
  EXPECT_TRUE(settings::recordSystemAudio.read());

  devices.cameraAccess = false;
  view->cameraButton()->click();
  test::pumpEvents(std::chrono::milliseconds(50));
  EXPECT_FALSE(settings::recordCamera.read());
  EXPECT_EQ(openAlert(), nullptr);  // a camera refused stays off without a message

  devices.cameraAccess = true;
  view->cameraButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return settings::recordCamera.read(); }));

  view->settingsButton()->click();
  EXPECT_EQ(settingsOpened, 1);
}

TEST_F(ModeSelectionViewTest, MicrophoneRefusedSwitchesBackOffAndOffersTheSoundSettings) {
  devices.microphoneAccess = false;
  auto view = shownView();
  view->microphoneButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  QMessageBox* alert = openAlert();
  EXPECT_EQ(alert->windowTitle(), "Permission Required");
  EXPECT_EQ(alert->informativeText(), "tavelkombrix needs permission to record your microphone.");
  EXPECT_FALSE(settings::recordMicrophone.read());

  QAbstractButton* openSettings = nullptr;
  for (QAbstractButton* button : alert->buttons()) {
    if (button->text() == "Open Settings") openSettings = button;
  }
  ASSERT_NE(openSettings, nullptr);
  openSettings->click();
  EXPECT_EQ(soundSettingsOpened, 1);
}

TEST_F(ModeSelectionViewTest, CloseWhileRecordingFinishesTheRecordingBeforeQuitting) {
  auto view = shownView();
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return recording.current == RecordingControl::Activity::recording; }));

  view->closeButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return !quitCalls.empty(); }));
  EXPECT_EQ(quitCalls.front(), (std::vector<std::string>{"prepare", "start", "stop", "finished"}));

  // With nothing recording, close quits at once.
  quitCalls.clear();
  view->closeButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return !quitCalls.empty(); }));
  EXPECT_EQ(recording.calls.size(), 4u);
}

TEST_F(ModeSelectionViewTest, TheBarIsOneRowWithTheRedRecordButton) {
  auto view = shownView();
  EXPECT_EQ(view->sizeHint().height(), ModeSelectionView::kBarHeight);
  EXPECT_EQ(RecordButton::fillColor(), QColor::fromRgbF(0.9f, 0.2f, 0.35f));
  const QImage image = view->grab().toImage();
  const QPoint centre = view->recordButton()->geometry().center();
  const QColor pixel = image.pixelColor(centre * image.devicePixelRatio());
  EXPECT_NEAR(pixel.red(), 230, 3);
  EXPECT_NEAR(pixel.green(), 51, 3);
  EXPECT_NEAR(pixel.blue(), 89, 3);
  // Left of the record button is the gear, not red.
  const QColor gear = image.pixelColor((view->settingsButton()->geometry().center() + QPoint(0, -1)) *
                                       image.devicePixelRatio());
  EXPECT_LT(gear.red(), 200);
}
