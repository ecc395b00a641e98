#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace tk {

// The one entity of the application's small store: a row with an optional timestamp.
struct Item {
  long long id = 0;
  std::optional<QDateTime> timestamp;
};

// The application's store: an SQLite database in the user's data folder holding the table "Item".
// A store that cannot be opened prints the error line and the application runs on without it.
// Main thread only.
class PersistenceController {
 public:
  // The application's store, opened on first use.
  static PersistenceController& shared();

  // A store on `databasePath` (tests use a private one); its folder is created when missing.
  explicit PersistenceController(const QString& databasePath);
  ~PersistenceController();
  PersistenceController(const PersistenceController&) = delete;
  PersistenceController& operator=(const PersistenceController&) = delete;

  // The database file of the user's store: <data folder>/tavelkombrix/tavelkombrix.sqlite.
  static QString defaultDatabasePath();

  bool isLoaded() const { return database_ != nullptr; }
  const QString& databasePath() const { return path_; }

  // Every "Item", oldest row first; empty when the store did not load.
  std::vector<Item> fetchItems() const;

 private:
  struct Close {
    void operator()(sqlite3* database) const;
  };
  QString path_;
  std::unique_ptr<sqlite3, Close> database_;
};

}  // namespace tk
