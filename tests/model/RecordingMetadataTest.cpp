#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/RecordingMetadata.h"

using namespace tk;

namespace {

const char* kId = "0B5F3A9C-1D2E-4F60-8A7B-9C0D1E2F3A4B";

RecordingMetadata filledMetadata() {
  RecordingMetadata m;
  m.duration = 12.5;
  m.resolution = QSizeF(1920, 1080);
  m.frameRate = 60;
  m.zoomEvents.push_back(
      {QUuid::createUuid(), 1.25, QPointF(0.25, 0.8), 2.0, 0.5, EasingFunction::easeInOut});
  m.zoomKeyframes.push_back(
      {QUuid::createUuid(), 1.25, QPointF(0.25, 0.2), 2.0, 0.5, 0.5, EasingFunction::easeIn});
  m.zoomSegments.push_back({QUuid::createUuid(), 1, 3.5, 2.5, 0.3, 0.4, EasingFunction::linear, 0.5, 0.1});
  m.cameraPositions.push_back({QUuid::createUuid(), 2, QRectF(10, 20, 300, 200), EasingFunction::easeOut});
  m.cursorClicks.push_back({QUuid::createUuid(), 3, QPointF(0.1, 0.9), ClickType::rightClick});
  m.cursorPositions.push_back({QUuid::createUuid(), 3.25, QPointF(0.125, 0.875)});
  BackgroundSettings background;
  background.type = StudioBackgroundType::image;
  background.gradient = gradientSettings(GradientPreset::ocean);
  background.color = CodableColor{0.1, 0.2, 0.3, 0.4};
  background.imageURL = "/home/user/Pictures/my background #1.png";
  background.opacity = 0.75;
  m.backgroundSettings = background;
  return m;
}

// A small valid document, to be broken one way at a time.
Json minimalDocument() {
  return Json::parse(R"({
    "version": "1.0", "duration": 5, "resolution": [1280, 720], "frameRate": 30,
    "zoomEvents": [], "zoomKeyframes": [], "cameraPositions": [], "cursorPositions": [],
    "zoomSegments": [{"id": "0B5F3A9C-1D2E-4F60-8A7B-9C0D1E2F3A4B", "startTime": 1, "endTime": 2,
                      "zoomLevel": 2, "easeIn": 0.3, "easeOut": 0.3, "easing": "easeInOut"}],
    "cursorClicks": [{"id": "0B5F3A9C-1D2E-4F60-8A7B-9C0D1E2F3A4B", "timestamp": 1,
                      "position": [0.5, 0.5], "clickType": "leftClick"}]
  })");
}

std::string readingFailure(const Json& document) {
  try {
    recordingMetadataFromJson(document);
  } catch (const JsonError& error) {
    return error.localizedDescription();
  }
  return "read without error";
}

}  // namespace

TEST(RecordingMetadataTest, EmptyRecordingWritesVersionAndSixEmptyListsSorted) {
  RecordingMetadata m;
  m.resolution = QSizeF(800, 600);
  m.frameRate = 30;
  const std::string text = encodeRecordingMetadata(m);
  const Json document = Json::parse(text);
  EXPECT_EQ(document["version"], "1.0");
  EXPECT_FALSE(document.contains("backgroundSettings"));
  EXPECT_EQ(document.size(), 10u);
  for (const char* key : {"zoomEvents", "zoomKeyframes", "zoomSegments", "cameraPositions", "cursorClicks",
                          "cursorPositions"}) {
    EXPECT_EQ(document[key], Json::array()) << key;
  }
  EXPECT_EQ(document["resolution"], Json::array({800.0, 600.0}));
  // Pretty-printed with sorted keys: one member per line, root keys in name order.
  EXPECT_NE(text.find("\n  \"cameraPositions\""), std::string::npos);
  EXPECT_LT(text.find("\"cameraPositions\""), text.find("\"cursorClicks\""));
  EXPECT_LT(text.find("\"resolution\""), text.find("\"version\""));
  EXPECT_LT(text.find("\"zoomKeyframes\""), text.find("\"zoomSegments\""));
}

TEST(RecordingMetadataTest, RoundTripKeepsEveryField) {
  const RecordingMetadata original = filledMetadata();
  const RecordingMetadata read = recordingMetadataFromJson(Json::parse(encodeRecordingMetadata(original)));

  EXPECT_EQ(read.duration, 12.5);
  EXPECT_EQ(read.resolution, QSizeF(1920, 1080));
  EXPECT_EQ(read.frameRate, 60);
  ASSERT_EQ(read.zoomEvents.size(), 1u);
  EXPECT_EQ(read.zoomEvents[0].id, original.zoomEvents[0].id);
  EXPECT_EQ(read.zoomEvents[0].position, QPointF(0.25, 0.8));
  EXPECT_EQ(read.zoomEvents[0].duration, 0.5);
  EXPECT_EQ(read.zoomKeyframes, original.zoomKeyframes);
  EXPECT_EQ(read.zoomSegments, original.zoomSegments);
  ASSERT_EQ(read.cameraPositions.size(), 1u);
  EXPECT_EQ(read.cameraPositions[0].frame, QRectF(10, 20, 300, 200));
  EXPECT_EQ(read.cameraPositions[0].easing, EasingFunction::easeOut);
  ASSERT_EQ(read.cursorClicks.size(), 1u);
  EXPECT_EQ(read.cursorClicks[0].clickType, ClickType::rightClick);
  EXPECT_EQ(read.cursorClicks[0].id, original.cursorClicks[0].id);
  ASSERT_EQ(read.cursorPositions.size(), 1u);
  EXPECT_EQ(read.cursorPositions[0].position, QPointF(0.125, 0.875));

  ASSERT_TRUE(read.backgroundSettings.has_value());
  const BackgroundSettings& background = *read.backgroundSettings;
  EXPECT_EQ(background.type, StudioBackgroundType::image);
  EXPECT_EQ(background.opacity, 0.75);
  ASSERT_TRUE(background.imageURL.has_value());
  EXPECT_EQ(*background.imageURL, "/home/user/Pictures/my background #1.png");
  ASSERT_TRUE(background.gradient.has_value());
  EXPECT_EQ(background.gradient->preset, GradientPreset::ocean);
  ASSERT_EQ(background.gradient->colors.size(), 3u);
  EXPECT_EQ(background.gradient->colors[2].blue, 0.4);
  ASSERT_TRUE(background.color.has_value());
  EXPECT_EQ(background.color->alpha, 0.4);

  // Written again, the document is the same text.
  EXPECT_EQ(encodeRecordingMetadata(read), encodeRecordingMetadata(original));
}

TEST(RecordingMetadataTest, StreamedSaveIsTheSameTextAsTheWholeTree) {
  for (const RecordingMetadata& m : {RecordingMetadata{}, filledMetadata()}) {
    EXPECT_EQ(encodeRecordingMetadata(m), encodeJson(toJson(m), JsonStyle::pretty));
  }
}

TEST(RecordingMetadataTest, NewRecordsGetDistinctVersion4Ids) {
  const CursorPosition a, b;
  EXPECT_NE(a.id, b.id);
  EXPECT_EQ(a.id.version(), QUuid::Random);
  EXPECT_EQ(a.id.variant(), QUuid::DCE);
}

TEST(RecordingMetadataTest, ValueFormsOnTheWire) {
  const Json document = toJson(filledMetadata());
  const std::string id = document["cursorClicks"][0]["id"];
  EXPECT_EQ(id.size(), 36u);
  EXPECT_EQ(id, QString::fromStdString(id).toUpper().toStdString());
  EXPECT_EQ(document["cameraPositions"][0]["frame"], Json::parse("[[10.0, 20.0], [300.0, 200.0]]"));
  EXPECT_EQ(document["cursorClicks"][0]["clickType"], "rightClick");
  EXPECT_EQ(document["zoomEvents"][0]["easing"], "easeInOut");
  EXPECT_EQ(document["backgroundSettings"]["imageURL"],
            "file:///home/user/Pictures/my%20background%20%231.png");
  EXPECT_EQ(document["frameRate"], 60);
  EXPECT_TRUE(document["frameRate"].is_number_integer());
}

TEST(RecordingMetadataTest, ReadingIgnoresVersionAndUnknownKeysAndFillsSegmentDefaults) {
  Json document = minimalDocument();
  document["version"] = "7.3";
  document["somethingNew"] = {1, 2, 3};
  document["cursorClicks"][0]["pressure"] = 0.5;
  RecordingMetadata read = recordingMetadataFromJson(document);
  EXPECT_EQ(std::string(RecordingMetadata::version), "1.0");
  EXPECT_EQ(toJson(read)["version"], "1.0");
  ASSERT_EQ(read.zoomSegments.size(), 1u);
  EXPECT_EQ(read.zoomSegments[0].panSmoothing, 0.75);
  EXPECT_EQ(read.zoomSegments[0].deadZone, 0.06);
  EXPECT_FALSE(read.backgroundSettings.has_value());

  document.erase("version");
  document["zoomSegments"][0]["panSmoothing"] = nullptr;
  document["zoomSegments"][0]["deadZone"] = 0.2;
  document["backgroundSettings"] = nullptr;
  document["cursorClicks"][0]["id"] = QString(kId).toLower().toStdString();
  read = recordingMetadataFromJson(document);
  EXPECT_EQ(read.zoomSegments[0].panSmoothing, 0.75);
  EXPECT_EQ(read.zoomSegments[0].deadZone, 0.2);
  EXPECT_EQ(read.cursorClicks[0].id, QUuid::fromString(QString(kId)));
  EXPECT_FALSE(read.backgroundSettings.has_value());

  document["frameRate"] = 30.0;  // a whole number written with a fraction is still an integer
  EXPECT_EQ(recordingMetadataFromJson(document).frameRate, 30);
}

TEST(RecordingMetadataTest, StrictReadingFailsTheWholeDocument) {
  struct Case {
    const char* what;
    std::function<void(Json&)> breakIt;
    const char* expected;  // part of the error text
  };
  const std::vector<Case> cases = {
      {"unknown click type", [](Json& d) { d["cursorClicks"][0]["clickType"] = "middleClick"; },
       "at cursorClicks[0].clickType: \"middleClick\" is not a known value"},
      {"missing list", [](Json& d) { d.erase("zoomSegments"); },
       "at zoomSegments: the required key is missing"},
      {"missing field in a record", [](Json& d) { d["zoomSegments"][0].erase("easeIn"); },
       "at zoomSegments[0].easeIn: the required key is missing"},
      {"bool where a number is required", [](Json& d) { d["duration"] = true; },
       "at duration: expected a number, found a boolean"},
      {"bool in a point",
       [](Json& d) {
         d["cursorClicks"][0]["position"] = {true, 0.5};
       },
       "at cursorClicks[0].position"},
      {"string number", [](Json& d) { d["duration"] = "5"; }, "expected a number, found a string"},
      {"braces in a UUID",
       [](Json& d) { d["cursorClicks"][0]["id"] = "{0B5F3A9C-1D2E-4F60-8A7B-9C0D1E2F3A4B}"; },
       "is not a UUID"},
      {"short UUID", [](Json& d) { d["cursorClicks"][0]["id"] = "0B5F3A9C-1D2E-4F60-8A7B"; },
       "is not a UUID"},
      {"UUID without hyphens",
       [](Json& d) { d["cursorClicks"][0]["id"] = "0B5F3A9C1D2E4F608A7B9C0D1E2F3A4B0000"; }, "is not a UUID"},
      {"fractional frame rate", [](Json& d) { d["frameRate"] = 29.97; }, "at frameRate"},
      {"null required number", [](Json& d) { d["zoomSegments"][0]["endTime"] = nullptr; },
       "expected a number, found null"},
      {"bad optional value", [](Json& d) { d["zoomSegments"][0]["deadZone"] = "wide"; },
       "at zoomSegments[0].deadZone"},
      {"point of three numbers",
       [](Json& d) {
         d["cursorClicks"][0]["position"] = {1, 2, 3};
       },
       "expected an array of two numbers"},
      {"list is an object", [](Json& d) { d["zoomEvents"] = Json::object(); },
       "at zoomEvents: expected an array"},
      {"root is an array", [](Json& d) { d = Json::array(); }, "expected an object"},
      {"background without opacity",
       [](Json& d) {
         d["backgroundSettings"] = {{"type", "gradient"}};
       },
       "at backgroundSettings.opacity"},
      {"background image not a URL",
       [](Json& d) {
         d["backgroundSettings"] = {{"type", "image"}, {"opacity", 1}, {"imageURL", "http://[x"}};
       },
       "at backgroundSettings.imageURL"},
  };
  for (const Case& c : cases) {
    Json document = minimalDocument();
    c.breakIt(document);
    const std::string failure = readingFailure(document);
    EXPECT_NE(failure.find(c.expected), std::string::npos) << c.what << ": " << failure;
    EXPECT_EQ(failure.rfind("Cannot read the JSON document", 0), 0u) << c.what << ": " << failure;
  }
}

TEST(RecordingMetadataTest, NonFiniteNumbersCannotBeEncoded) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    RecordingMetadata m = filledMetadata();
    m.cursorPositions.push_back({QUuid::createUuid(), 4, QPointF(bad, 0.5)});
    try {
      encodeRecordingMetadata(m);
      ADD_FAILURE() << "encoded a non-finite number";
    } catch (const JsonError& error) {
      EXPECT_EQ(error.operation(), JsonError::Operation::encoding);
      EXPECT_EQ(error.path(), "cursorPositions[1].position");
    }
  }
  RecordingMetadata m;
  m.duration = std::nan("");
  EXPECT_THROW(toJson(m), JsonError);
}

TEST(RecordingMetadataTest, SegmentsAndKeyframesEqualOnlyWithTheSameId) {
  ZoomSegment a{QUuid::createUuid(), 1, 2, 2, 0.3, 0.3, EasingFunction::linear};
  ZoomSegment b = a;
  EXPECT_EQ(a, b);
  b.id = QUuid::createUuid();
  EXPECT_NE(a, b);
  ZoomKeyframe k{QUuid::createUuid(), 1, QPointF(0.5, 0.5), 2, 0.3, 0.3, EasingFunction::linear};
  ZoomKeyframe l = k;
  l.center.setY(0.5000000001);
  EXPECT_NE(k, l);
}
