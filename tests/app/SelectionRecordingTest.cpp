// The pickers driven as a person would on the private desktop (no compositing manager): an area
// dragged over the display and recorded, and two windows picked from their pictures and recorded.
// The movies are read back with the ffmpeg tools and their pixels checked.

#include <gtest/gtest.h>

#include <QPainter>
#include <QWidget>
#include <memory>

#include "../overlays/DesktopDriver.h"
#include "ApplicationDriver.h"
#include "support/TestSupport.h"

using namespace tk::test;

namespace {

std::string describe(const QColor& colour) {
  return "(" + std::to_string(colour.red()) + ", " + std::to_string(colour.green()) + ", " +
         std::to_string(colour.blue()) + ")";
}

const QColor kRed(220, 40, 40);
const QColor kGreen(40, 200, 60);
const QColor kBlue(40, 60, 220);

// The main window's mode buttons, from the bar's left edge: Display, Window, Area.
constexpr int kWindowModeX = 135;
constexpr int kAreaModeX = 195;

void drag(QPoint from, QPoint to) {
  run("xdotool", {"mousemove", QString::number(from.x()), QString::number(from.y())});
  run("xdotool", {"mousedown", "1"});
  const QPoint middle = (from + to) / 2;
  run("xdotool", {"mousemove", QString::number(middle.x()), QString::number(middle.y())});
  run("xdotool", {"mousemove", QString::number(to.x()), QString::number(to.y())});
  run("xdotool", {"mouseup", "1"});
}

QSize movieSize(const QString& movie) {
  const QString out = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                      "stream=width,height", "-of", "csv=p=0", movie});
  const QStringList parts = out.split(',');
  return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

// A window of another application (this test program), filled with one colour.
class ColourWindow : public QWidget {
 public:
  ColourWindow(const QString& title, QColor colour, QRect geometry) : colour_(colour) {
    setWindowTitle(title);
    setGeometry(geometry);
  }
  // Shown where the window manager put it, with its colour on screen.
  bool showAndWait(ForeignClient& screen) {
    show();
    return waitUntil([&] {
      const QPoint centre = geometry().center();
      return isVisible() && near(screen.screenPixel(centre), colour_, 8);
    });
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour_); }

 private:
  QColor colour_;
};

// A point of `area` (root coordinates) whose pixel on screen is close to `colour`.
std::optional<QPoint> findColour(const QRect& area, const QColor& colour) {
  const QImage shot = screenshot(area);
  for (int y = 0; y < shot.height(); y += 3) {
    for (int x = 0; x < shot.width(); x += 3) {
      if (near(shot.pixelColor(x, y), colour, 20)) return area.topLeft() + QPoint(x, y);
    }
  }
  return std::nullopt;
}

// Clicks the picker's card whose picture shows `colour` once the grid has settled, and waits until
// the card is drawn picked (its picture framed in blue). False, with a message, when either never came.
::testing::AssertionResult pickCard(const QRect& grid, const QColor& colour) {
  std::optional<QPoint> card, before;
  // The picture at the same place in two looks in a row: no late picture moves the cards any more.
  if (!waitUntil([&] {
        before = card;
        card = findColour(grid, colour);
        return card && card == before;
      }))
    return ::testing::AssertionFailure() << "no settled picture of " << describe(colour) << " in the picker";
  click(card->x() + 4, card->y() + 4);
  const QRect around = QRect(card->x() - 6, card->y() - 6, 240, 140) & grid;
  if (!waitUntil([&] { return findColour(around, QColor(0, 122, 255)).has_value(); }))
    return ::testing::AssertionFailure() << "the card of " << describe(colour) << " was not drawn picked";
  return ::testing::AssertionSuccess();
}

// Clicks a mode on the main bar and returns the window named `title` once it shows.
QString chooseMode(Application& app, int modeX, const QString& title) {
  const QString bar = waitForMainWindow();
  EXPECT_FALSE(bar.isEmpty()) << "the main window did not show";
  if (bar.isEmpty()) return {};
  const QRect barGeometry = geometryOf(bar);
  click(barGeometry.x() + modeX, barGeometry.y() + barGeometry.height() / 2);
  const QString shown = waitForVisible(title);
  EXPECT_FALSE(shown.isEmpty()) << "no " << title.toStdString() << "; output:\n"
                                << app.output().toStdString();
  return shown;
}

// Chooses Area on the main bar; returns the control panel once the overlay shows.
QString openAreaPicker(Application& app) {
  const QString panel = chooseMode(app, kAreaModeX, "Area Control Panel");
  if (!panel.isEmpty()) {
    EXPECT_FALSE(waitForVisible("Area Selector").isEmpty()) << "no area overlay";
  }
  return panel;
}

QString openWindowPicker(Application& app) {
  return chooseMode(app, kWindowModeX, "Window Selector");
}

// The picker's grid lies between its title bar and its bottom bar.
QRect gridOf(const QString& picker) {
  return geometryOf(picker).adjusted(0, 44, 0, -56);
}

// Record, in the middle of the bottom bar; the picker closes once it took the click.
void clickRecordInPicker(Application& app, const QString& picker) {
  const QRect settled = geometryOf(picker);
  click(settled.center().x(), settled.bottom() - 28);
  EXPECT_TRUE(waitUntil([] { return visibleWindows("Window Selector").isEmpty(); }))
      << "the picker did not take Record; output:\n"
      << app.output().toStdString();
}

void clickRecordOnPanel(const QString& panel) {
  const QRect geometry = geometryOf(panel);
  EXPECT_EQ(geometry.width(), 420);
  click(geometry.right() - 16 - 40, geometry.y() + geometry.height() / 2);
}

}  // namespace

TEST(SelectionRecordingTest, AnAreaDraggedOverTheDisplayIsRecordedAtExactlyThatSizeAndPlace) {
  TK_REQUIRE_DESKTOP();
  ForeignClient desktop;
  // Red on the left, blue on the right, both in the upper part of the area to be dragged.
  const uint32_t red = desktop.window({300, 200, 200, 150}, kRed);
  const uint32_t blue = desktop.window({520, 200, 200, 150}, kBlue);

  Application app;
  app.start();
  const QString panel = openAreaPicker(app);
  ASSERT_FALSE(panel.isEmpty());
  EXPECT_TRUE(mainWindow().isEmpty()) << "the main window stayed open";
  // Without a compositing manager the overlay shows the display's picture, dimmed: the red window
  // is still there to be seen, darker.
  EXPECT_TRUE(waitUntil([&] {
    const QColor seen = desktop.screenPixel({400, 275});
    return seen.red() > 60 && seen.red() < 160 && seen.green() < 40;
  })) << describe(desktop.screenPixel({400, 275}));

  // Rows 180 to 480 and columns 280 to 680 of the display: 400 x 300.
  drag({280, 180}, {680, 480});
  clickRecordOnPanel(panel);

  const QString movie = recordAndStop(app);
  ASSERT_FALSE(movie.isEmpty());
  EXPECT_TRUE(visibleWindows("Area Control Panel").isEmpty()) << "the panel stayed after the start";
  EXPECT_TRUE(visibleWindows("Area Selector").isEmpty()) << "the overlay stayed after the start";
  EXPECT_EQ(movieSize(movie), QSize(400, 300));

  const QImage frame = movieFrame(movie, 1.0);
  ASSERT_FALSE(frame.isNull());
  ASSERT_EQ(frame.size(), QSize(400, 300));
  // The red window starts 20 in and 20 down, the blue one at 240 and runs past the right edge.
  const struct {
    QPoint at;
    bool red;
    bool blue;
  } probes[] = {
      {{25, 25}, true, false},    {{15, 95}, false, false},   {{120, 15}, false, false},
      {{215, 165}, true, false},  {{225, 95}, false, false},  {{245, 95}, false, true},
      {{395, 25}, false, true},   {{120, 175}, false, false}, {{120, 280}, false, false},
      {{320, 280}, false, false},
  };
  for (const auto& probe : probes) {
    const QColor seen = frame.pixelColor(probe.at);
    EXPECT_EQ(near(seen, kRed), probe.red) << probe.at.x() << "," << probe.at.y() << " " << describe(seen);
    EXPECT_EQ(near(seen, kBlue), probe.blue) << probe.at.x() << "," << probe.at.y() << " " << describe(seen);
  }
  desktop.destroy(red);
  desktop.destroy(blue);
}

TEST(SelectionRecordingTest, ASizeTypedInTheSheetIsTheSizeDrawnAndRecorded) {
  TK_REQUIRE_DESKTOP();
  ForeignClient desktop;
  const uint32_t red = desktop.window({700, 560, 100, 100}, kRed);
  Application app;
  app.start();
  const QString panel = openAreaPicker(app);
  ASSERT_FALSE(panel.isEmpty());

  // Resize, right of the close button and the separator.
  const QRect geometry = geometryOf(panel);
  click(geometry.x() + 16 + 16 + 12 + 1 + 12 + 22, geometry.y() + geometry.height() / 2);
  ASSERT_FALSE(waitForVisible("Resize Area").isEmpty()) << "no resize sheet";
  // The width field has the focus.
  run("xdotool", {"key", "ctrl+a"});
  run("xdotool", {"type", "320"});
  run("xdotool", {"key", "Tab"});
  run("xdotool", {"key", "ctrl+a"});
  run("xdotool", {"type", "240"});
  run("xdotool", {"key", "Return"});
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Resize Area").isEmpty(); })) << "the sheet stayed";
  // The overlay draws the typed size over its old bottom-left corner: the display's columns 660
  // to 980 and rows 525 to 765.
  EXPECT_TRUE(waitUntil([&] {
    return near(desktop.screenPixel({750, 610}), kRed, 12);
  })) << "the area's inside is not clear: "
      << describe(desktop.screenPixel({750, 610}));
  clickRecordOnPanel(panel);

  const QString movie = recordAndStop(app);
  ASSERT_FALSE(movie.isEmpty());
  EXPECT_EQ(movieSize(movie), QSize(320, 240));
  const QImage frame = movieFrame(movie, 1.0);
  ASSERT_FALSE(frame.isNull());
  // The red window starts 40 in and 35 down.
  EXPECT_TRUE(near(frame.pixelColor(45, 40), kRed)) << describe(frame.pixelColor(45, 40));
  EXPECT_FALSE(near(frame.pixelColor(35, 40), kRed)) << describe(frame.pixelColor(35, 40));
  EXPECT_FALSE(near(frame.pixelColor(45, 30), kRed)) << describe(frame.pixelColor(45, 30));
  EXPECT_FALSE(near(frame.pixelColor(45, 200), kRed)) << describe(frame.pixelColor(45, 200));
  desktop.destroy(red);
}

TEST(SelectionRecordingTest, TwoWindowsPickedFromTheirPicturesAreRecordedOverTheBackgroundAlone) {
  TK_REQUIRE_DESKTOP();
  ForeignClient desktop;
  ColourWindow one("Pick One", kRed, {120, 120, 360, 260});
  ColourWindow two("Pick Two", kGreen, {1440, 120, 360, 260});
  ColourWindow other("Leave Out", kBlue, {780, 700, 360, 260});
  ASSERT_TRUE(one.showAndWait(desktop));
  ASSERT_TRUE(two.showAndWait(desktop));
  ASSERT_TRUE(other.showAndWait(desktop));
  // Where no window is, before the recording: the background.
  const QColor background = desktop.screenPixel({960, 60});

  Application app;
  app.start();
  const QString picker = openWindowPicker(app);
  ASSERT_FALSE(picker.isEmpty());
  const QRect grid = gridOf(picker);
  ASSERT_TRUE(waitUntil([&] {
    return findColour(grid, kRed) && findColour(grid, kGreen) && findColour(grid, kBlue);
  })) << "the pictures of the three windows did not show; output:\n"
      << app.output().toStdString();
  ASSERT_TRUE(pickCard(grid, kRed));
  ASSERT_TRUE(pickCard(grid, kGreen));
  clickRecordInPicker(app, picker);
  ASSERT_FALSE(HasFailure());

  const QString movie = recordAndStop(app);
  ASSERT_FALSE(movie.isEmpty());
  EXPECT_TRUE(visibleWindows("Window Selector").isEmpty()) << "the picker stayed open";
  EXPECT_EQ(movieSize(movie), QSize(1920, 1080));

  const QImage frame = movieFrame(movie, 1.0);
  ASSERT_FALSE(frame.isNull());
  const QPoint redAt = one.geometry().center();
  const QPoint greenAt = two.geometry().center();
  const QPoint leftOutAt = other.geometry().center();
  EXPECT_TRUE(near(frame.pixelColor(redAt), kRed)) << describe(frame.pixelColor(redAt));
  EXPECT_TRUE(near(frame.pixelColor(greenAt), kGreen)) << describe(frame.pixelColor(greenAt));
  // The third window, where the picker and the main bar were, and the corners: background only.
  for (const QPoint at : {leftOutAt, QPoint(960, 540), QPoint(960, 60), QPoint(60, 1000)}) {
    EXPECT_TRUE(near(frame.pixelColor(at), background, 24))
        << at.x() << "," << at.y() << " " << describe(frame.pixelColor(at)) << " against "
        << describe(background);
  }
}

TEST(SelectionRecordingTest, PickedWindowsThatCloseBeforeRecordFailTheStartNamingThemAndRecordNothing) {
  TK_REQUIRE_DESKTOP();
  ForeignClient desktop;
  auto alone = std::make_unique<ColourWindow>("Closed Before Record", kRed, QRect(120, 120, 360, 260));
  auto first = std::make_unique<ColourWindow>("First Of Two", kGreen, QRect(1440, 120, 360, 260));
  auto second = std::make_unique<ColourWindow>("Second Of Two", kBlue, QRect(780, 700, 360, 260));
  ASSERT_TRUE(alone->showAndWait(desktop));
  ASSERT_TRUE(first->showAndWait(desktop));
  ASSERT_TRUE(second->showAndWait(desktop));

  Application app;
  app.start();
  // Picks the windows of these colours, closes them, presses Record and expects the start to fail
  // with the alert, naming each closed window.
  const auto pickCloseAndRecord = [&](std::vector<std::pair<QColor, std::unique_ptr<ColourWindow>*>> picks,
                                      const QString& named) {
    const QString picker = openWindowPicker(app);
    ASSERT_FALSE(picker.isEmpty());
    const QRect grid = gridOf(picker);
    for (auto& [colour, window] : picks) ASSERT_TRUE(pickCard(grid, colour));
    for (auto& [colour, window] : picks) {
      const QString title = (*window)->windowTitle();
      window->reset();
      ASSERT_TRUE(waitUntil([&] { return visibleWindows(title).isEmpty(); }));
    }
    clickRecordInPicker(app, picker);
    const QString alert = waitForVisible("Recording Error");
    ASSERT_FALSE(alert.isEmpty()) << "no error alert; output:\n" << app.output().toStdString();
    const QString failure =
        "❌ Recording failed: Invalid recording configuration: " + named + " closed or minimised";
    EXPECT_TRUE(waitUntil([&] { return app.output().contains(failure); })) << app.output().toStdString();
    pressKeyIn(alert, "Return");
  };

  pickCloseAndRecord({{kRed, &alone}}, "The window \"Closed Before Record\" was");
  ASSERT_FALSE(HasFailure());
  pickCloseAndRecord({{kGreen, &first}, {kBlue, &second}},
                     "The windows \"First Of Two\" and \"Second Of Two\" were");
  ASSERT_FALSE(HasFailure());

  EXPECT_FALSE(app.output().contains("Recording started successfully")) << app.output().toStdString();
  EXPECT_TRUE(QDir(app.recordings()).entryList(QDir::Files | QDir::Hidden).isEmpty())
      << QDir(app.recordings()).entryList(QDir::Files | QDir::Hidden).join(", ").toStdString();
}
