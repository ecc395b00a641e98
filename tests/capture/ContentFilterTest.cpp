#include "capture/ContentFilter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "capture/AppInfo.h"
#include "capture/BackgroundColor.h"
#include "capture/ContentQueries.h"
#include "capture/ScreenCaptureEngine.h"
#include "platform/qt/SettingsStore.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

// A desktop of two displays side by side, as the X11 layer would report it.
class ContentFilterTest : public ::testing::Test {
 protected:
  ContentFilterTest() : store_(directory_.filePath("settings.ini")) {
    left_ = display(11, QRectF(0, 0, 1920, 1080));
    right_ = display(12, QRectF(1920, 0, 1280, 1024));
    content_.displays = {left_, right_};
    own_ = app(applicationBundleIdentifier(), 100);
    editor_ = app("Editor", 200);
    hidden_ = app("Secret", 300);
    panel_ = app("Trayer", 400);
    drawer_ = app("Desktopper", 500);
    content_.applications = {own_, editor_, hidden_, panel_, drawer_};
    ownPanel_ = window(1, "", own_, QRectF(10, 10, 100, 100));
    pointer_ = window(2, "Mouse Pointer", own_, QRectF(10, 10, 40, 40));
    editorWindow_ = window(3, "Notes", editor_, QRectF(2000, 100, 600, 400));  // on the right display
    untitled_ = window(4, "", editor_, QRectF(100, 100, 50, 50));
    secret_ = window(5, "Diary", hidden_, QRectF(300, 300, 400, 300));
    dock_ = window(6, "panel", panel_, QRectF(0, 1040, 1920, 40), CaptureWindowType::dock);
    wallpaper_ = window(7, "desktop", drawer_, QRectF(0, 0, 1920, 1080), CaptureWindowType::desktop);
    bareDesktop_ = window(8, "", nullptr, QRectF(1920, 0, 1280, 1024), CaptureWindowType::desktop);
    content_.windows = {pointer_, ownPanel_, editorWindow_, untitled_,
                        secret_,  dock_,     wallpaper_,    bareDesktop_};
    engine_.setAvailableContent(content_);
  }

  static CaptureDisplayRef display(uint32_t id, QRectF frame) {
    CaptureDisplay made;
    made.displayID = id;
    made.frame = frame;
    made.width = static_cast<int>(frame.width());
    made.height = static_cast<int>(frame.height());
    return std::make_shared<const CaptureDisplay>(made);
  }
  static CaptureApplicationRef app(std::string id, pid_t pid) {
    return std::make_shared<const CaptureApplication>(CaptureApplication{id, id, pid});
  }
  static CaptureWindowRef window(uint32_t id, std::string title, const CaptureApplicationRef& owner,
                                 QRectF frame, CaptureWindowType type = CaptureWindowType::normal) {
    CaptureWindow made;
    made.windowID = id;
    made.title = std::move(title);
    made.frame = frame;
    made.type = type;
    made.isOnScreen = true;
    if (owner) made.owningApplication = *owner;
    return std::make_shared<const CaptureWindow>(made);
  }
  static std::vector<uint32_t> ids(const std::vector<CaptureWindowRef>& windows) {
    std::vector<uint32_t> result;
    for (const auto& w : windows) result.push_back(w->windowID);
    return result;
  }
  static std::vector<std::string> ids(const std::vector<CaptureApplicationRef>& apps) {
    std::vector<std::string> result;
    for (const auto& a : apps) result.push_back(a->bundleIdentifier);
    return result;
  }

  ContentFilter filterFor(const RecordingMode& mode, BackgroundType background) {
    RecordingConfiguration configuration;
    configuration.mode = mode;
    configuration.backgroundColor = background;
    return engine_.createFilter(mode, configuration, store_);
  }

  QTemporaryDir directory_;
  SettingsStore store_;
  ShareableContent content_;
  ScreenCaptureEngine engine_;
  CaptureDisplayRef left_, right_;
  CaptureApplicationRef own_, editor_, hidden_, panel_, drawer_;
  CaptureWindowRef ownPanel_, pointer_, editorWindow_, untitled_, secret_, dock_, wallpaper_, bareDesktop_;
};

TEST_F(ContentFilterTest, DisplayRecordingLeavesOutSystemInterfaceAndHiddenApplications) {
  store_.setData(
      kHiddenAppsKey,
      encodeAppInfoList({{"Secret", "Secret"}, {"Secret", "Secret again"}, {"NotRunning", "Gone"}}));
  const ContentFilter black = filterFor(RecordingMode::screen(left_), BackgroundType::black);
  EXPECT_EQ(black.kind, ContentFilter::Kind::displayExcludingApplications);
  EXPECT_EQ(black.display, left_);
  EXPECT_EQ(ids(black.applications), std::vector<std::string>{"Secret"});
  EXPECT_TRUE(black.windows.empty());
  EXPECT_FALSE(black.showsWallpaper);
  EXPECT_EQ(black.excludedWindowTypes,
            (std::vector<CaptureWindowType>{CaptureWindowType::dock, CaptureWindowType::notification,
                                            CaptureWindowType::desktop}));

  const ContentFilter wallpaper = filterFor(RecordingMode::screen(left_), BackgroundType::wallpaper);
  EXPECT_EQ(ids(wallpaper.windows), (std::vector<uint32_t>{7, 8}));
  EXPECT_TRUE(wallpaper.showsWallpaper);
  EXPECT_EQ(wallpaper.excludedWindowTypes,
            (std::vector<CaptureWindowType>{CaptureWindowType::dock, CaptureWindowType::notification}));

  const CaptureSource source = wallpaper.captureSource();
  EXPECT_EQ(source.kind, CaptureSource::Kind::display);
  EXPECT_EQ(source.excluded.applicationIds, std::vector<std::string>{"Secret"});
  EXPECT_EQ(source.kept.windowIds, (std::vector<uint32_t>{7, 8}));
  EXPECT_EQ(source.displayFrame, QRect(0, 0, 1920, 1080));
}

TEST_F(ContentFilterTest, UnreadableHiddenAppsHideNothingAndSaySo) {
  store_.setData(kHiddenAppsKey, QByteArray("{not json"));
  test::CapturedLines lines;
  const ContentFilter filter = filterFor(RecordingMode::screen(left_), BackgroundType::black);
  EXPECT_TRUE(filter.applications.empty());
  EXPECT_TRUE(lines.contains("⚠️ Could not read the hidden applications"));

  store_.remove(kHiddenAppsKey);
  test::CapturedLines quiet;
  EXPECT_TRUE(filterFor(RecordingMode::screen(left_), BackgroundType::black).applications.empty());
  EXPECT_TRUE(quiet.lines().empty());
}

TEST_F(ContentFilterTest, WindowRecordingUsesTheDisplayThatHoldsTheWindow) {
  const ContentFilter clear = filterFor(RecordingMode::window(editorWindow_), BackgroundType::clear);
  EXPECT_EQ(clear.kind, ContentFilter::Kind::desktopIndependentWindow);
  EXPECT_EQ(ids(clear.windows), std::vector<uint32_t>{3});
  EXPECT_EQ(clear.contentRect(), QRectF(80, 100, 600, 400));

  const ContentFilter wallpaper = filterFor(RecordingMode::window(editorWindow_), BackgroundType::wallpaper);
  EXPECT_EQ(wallpaper.kind, ContentFilter::Kind::displayIncludingWindows);
  EXPECT_EQ(wallpaper.display, right_);
  EXPECT_EQ(ids(wallpaper.windows), (std::vector<uint32_t>{3, 7}));
  EXPECT_EQ(engine_.currentDisplay(), right_);

  const ContentFilter several =
      filterFor(RecordingMode::windows({editorWindow_, secret_}), BackgroundType::black);
  EXPECT_EQ(several.display, right_);
  EXPECT_EQ(ids(several.windows), (std::vector<uint32_t>{3, 5}));
  EXPECT_FALSE(several.showsWallpaper);
}

TEST_F(ContentFilterTest, ApplicationRecordingKeepsOnlyOurOverlaysAndTheWallpaperWithoutDocks) {
  const ContentFilter filter = filterFor(RecordingMode::application({editor_}), BackgroundType::wallpaper);
  EXPECT_EQ(filter.kind, ContentFilter::Kind::displayIncludingApplications);
  EXPECT_EQ(ids(filter.applications),
            (std::vector<std::string>{"Editor", applicationBundleIdentifier(), "Desktopper"}));
  // Our untitled window is interface, not overlay; the pointer overlay stays in.
  EXPECT_EQ(ids(filter.windows), (std::vector<uint32_t>{1, 6}));
  EXPECT_EQ(filter.display, right_);

  const ContentFilter black = filterFor(RecordingMode::application({editor_}), BackgroundType::black);
  EXPECT_EQ(ids(black.windows), std::vector<uint32_t>{1});
  EXPECT_EQ(black.applications.size(), 2u);
}

TEST_F(ContentFilterTest, ApplicationRecordingWithoutWallpaperDrawerAddsNoDockWindows) {
  content_.windows.erase(std::find(content_.windows.begin(), content_.windows.end(), wallpaper_));
  engine_.setAvailableContent(content_);
  const ContentFilter filter = filterFor(RecordingMode::application({editor_}), BackgroundType::wallpaper);
  EXPECT_EQ(ids(filter.windows), std::vector<uint32_t>{1});
  EXPECT_EQ(ids(filter.applications), (std::vector<std::string>{"Editor", applicationBundleIdentifier()}));
}

TEST_F(ContentFilterTest, QueriesTakeOnlyWhatTheyName) {
  EXPECT_EQ(ids(dockBarWindows(content_)), std::vector<uint32_t>{6});  // not the untitled windows
  EXPECT_EQ(ids(wallpaperWindows(content_)), std::vector<uint32_t>{7});
  EXPECT_EQ(ids(desktopWindows(content_)), std::vector<uint32_t>{8});
  EXPECT_EQ(ids(systemInterfaceWindows(content_)), std::vector<uint32_t>{6});
  EXPECT_EQ(ids(ownInterfaceWindows(content_)), std::vector<uint32_t>{1});
  EXPECT_EQ(ownRunningApplication(content_), own_);
  EXPECT_EQ(wallpaperApplication(content_), drawer_);
  EXPECT_EQ(displayHolding(content_, QRectF(1900, 0, 100, 100)), right_);  // 80 of 100 columns there
  EXPECT_EQ(displayHolding(content_, QRectF(-500, -500, 10, 10)), left_);
}

TEST_F(ContentFilterTest, FailuresNameTheirCause) {
  ScreenCaptureEngine empty;
  RecordingConfiguration configuration;
  try {
    empty.createFilter(RecordingMode::screen(left_), configuration, store_);
    FAIL() << "no error";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.kind(), RecordingError::Kind::invalidConfiguration);
    EXPECT_EQ(error.reason(), "Available content not loaded");
  }
  EXPECT_FALSE(empty.mode().has_value());

  try {
    filterFor(RecordingMode::iOSDevice(nullptr), BackgroundType::black);
    FAIL() << "no error";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.kind(), RecordingError::Kind::invalidConfiguration);
  }
  ASSERT_TRUE(engine_.mode().has_value());
  EXPECT_EQ(engine_.mode()->kind(), RecordingMode::Kind::iOSDevice);

  ShareableContent none;
  engine_.setAvailableContent(none);
  try {
    filterFor(RecordingMode::systemAudio(), BackgroundType::black);
    FAIL() << "no error";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.kind(), RecordingError::Kind::captureDeviceUnavailable);
  }
}

TEST(BackgroundColorTest, WallpaperAndCustomFallBackToBlackAndClearIsTransparent) {
  EXPECT_EQ(streamBackgroundColor(BackgroundType::wallpaper), 0xff000000u);
  EXPECT_EQ(streamBackgroundColor(BackgroundType::custom), 0xff000000u);
  EXPECT_EQ(streamBackgroundColor(BackgroundType::black), 0xff000000u);
  EXPECT_EQ(streamBackgroundColor(BackgroundType::clear), 0x00000000u);
  EXPECT_EQ(streamBackgroundColor(BackgroundType::white), 0xffffffffu);
  EXPECT_EQ(streamBackgroundColor(BackgroundType::red) & 0xffff0000u, 0xffff0000u);
}

TEST(AppInfoTest, DecodesOnlyArraysOfNamedEntries) {
  const auto apps = decodeAppInfoList(encodeAppInfoList({{"a.b", "A"}, {"c", "C"}}));
  ASSERT_TRUE(apps);
  EXPECT_EQ(*apps, (std::vector<AppInfo>{{"a.b", "A"}, {"c", "C"}}));
  std::string problem;
  EXPECT_FALSE(decodeAppInfoList("{\"bundleID\":\"a\",\"name\":\"A\"}", &problem));
  EXPECT_EQ(problem, "not a JSON array");
  EXPECT_FALSE(decodeAppInfoList("[{\"bundleID\":1,\"name\":\"A\"}]"));
  EXPECT_NE(std::hash<AppInfo>{}({"a", "b"}), std::hash<AppInfo>{}({"b", "a"}));
}

}  // namespace
}  // namespace tk
