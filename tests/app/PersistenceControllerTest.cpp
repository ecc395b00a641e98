#include "app/PersistenceController.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/TestSupport.h"

using namespace tk;

TEST(PersistenceControllerTest, CreatesTheStoreWithItsItemEntityInAMissingFolder) {
  QTemporaryDir dir;
  const QString path = dir.filePath("data/tavelkombrix/tavelkombrix.sqlite");
  {
    PersistenceController controller(path);
    ASSERT_TRUE(controller.isLoaded());
    EXPECT_TRUE(controller.fetchItems().empty());
  }
  // Rows another run left behind are read back with their timestamps.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO Item (timestamp) VALUES (1700000000.5), (NULL)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  PersistenceController reopened(path);
  const auto items = reopened.fetchItems();
  ASSERT_EQ(items.size(), 2u);
  ASSERT_TRUE(items[0].timestamp.has_value());
  EXPECT_EQ(items[0].timestamp->toMSecsSinceEpoch(), 1700000000500);
  EXPECT_FALSE(items[1].timestamp.has_value());
  EXPECT_TRUE(PersistenceController::defaultDatabasePath().endsWith("/tavelkombrix/tavelkombrix.sqlite"));
}

TEST(PersistenceControllerTest, AStoreThatFailsToLoadPrintsTheErrorAndTheApplicationRunsOn) {
  QTemporaryDir dir;
  const QString path = dir.filePath("tavelkombrix.sqlite");
  QFile garbage(path);
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write(QByteArray(4096, 'x'));
  garbage.close();

  test::CapturedLines lines;
  PersistenceController controller(path);
  EXPECT_FALSE(controller.isLoaded());
  EXPECT_TRUE(controller.fetchItems().empty());
  ASSERT_EQ(lines.lines().size(), 1u);
  EXPECT_EQ(lines.lines()[0].rfind("Unresolved error file is not a database, {", 0), 0u) << lines.lines()[0];
  EXPECT_NE(lines.lines()[0].find(path.toStdString()), std::string::npos);

  // A folder that cannot be made fails the same way.
  PersistenceController nowhere("/proc/tavelkombrix/store.sqlite");
  EXPECT_FALSE(nowhere.isLoaded());
  EXPECT_TRUE(lines.contains("Unresolved error unable to open database file"));
}
