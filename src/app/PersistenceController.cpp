#include "app/PersistenceController.h"

#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

void reportLoadFailure(const std::string& description, int code, const QString& path) {
  Diagnostics::line("Unresolved error " + description + ", {code: " + std::to_string(code) + ", path: \"" +
                    path.toStdString() + "\"}");
}

}  // namespace

void PersistenceController::Close::operator()(sqlite3* database) const {
  sqlite3_close(database);
}

PersistenceController& PersistenceController::shared() {
  static PersistenceController controller(defaultDatabasePath());
  return controller;
}

QString PersistenceController::defaultDatabasePath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (folder.isEmpty()) folder = QDir::homePath() + "/.local/share";
  return folder + "/tavelkombrix/tavelkombrix.sqlite";
}

PersistenceController::PersistenceController(const QString& databasePath) : path_(databasePath) {
  QDir().mkpath(QFileInfo(path_).absolutePath());
  sqlite3* raw = nullptr;
  const int openResult =
      sqlite3_open_v2(path_.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, Close> database(raw);
  if (openResult != SQLITE_OK) {
    reportLoadFailure(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(openResult), openResult, path_);
    return;
  }
  // Also proves the file is a database we can use: a foreign or damaged file fails here.
  char* message = nullptr;
  const int schemaResult =
      sqlite3_exec(database.get(), "CREATE TABLE IF NOT EXISTS Item (id INTEGER PRIMARY KEY, timestamp REAL)",
                   nullptr, nullptr, &message);
  if (schemaResult != SQLITE_OK) {
    const std::string text = message ? message : sqlite3_errstr(schemaResult);
    sqlite3_free(message);
    reportLoadFailure(text, schemaResult, path_);
    return;
  }
  database_ = std::move(database);
}

PersistenceController::~PersistenceController() = default;

std::vector<Item> PersistenceController::fetchItems() const {
  std::vector<Item> items;
  if (!database_) return items;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(database_.get(), "SELECT id, timestamp FROM Item ORDER BY id", -1, &raw, nullptr) !=
      SQLITE_OK) {
    Diagnostics::line(std::string("❌ Failed to fetch items: ") + sqlite3_errmsg(database_.get()));
    return items;
  }
  Statement statement(raw);
  while (sqlite3_step(statement.get()) == SQLITE_ROW) {
    Item item;
    item.id = sqlite3_column_int64(statement.get(), 0);
    if (sqlite3_column_type(statement.get(), 1) != SQLITE_NULL) {
      const double seconds = sqlite3_column_double(statement.get(), 1);
      item.timestamp = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0), Qt::UTC);
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace tk
