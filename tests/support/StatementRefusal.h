#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

// While it lives, SQLite refuses to prepare the statements on a connection that deny picks
// (through its authorizer), so a chosen statement fails with SQLite's own error at the moment a
// test needs it: a load that fails while the save after it would work, a transaction that cannot
// begin right after a commit.
class StatementRefusal {
public:
    // action: SQLite's authorizer action code; first and second: its two texts (for a read the
    // table and column, for a transaction the operation "BEGIN", "COMMIT" or "ROLLBACK").
    using Rule = std::function<bool(int action, const QString& first, const QString& second)>;

    StatementRefusal(const QSqlDatabase& db, Rule deny);
    ~StatementRefusal();
    StatementRefusal(const StatementRefusal&) = delete;
    StatementRefusal& operator=(const StatementRefusal&) = delete;

    // False when the connection has no SQLite handle to install the rule on.
    bool isActive() const { return _handle != nullptr; }

    static Rule beginning();
    static Rule reading(const QString& table);
    // Inserts, updates and deletes of the table.
    static Rule writing(const QString& table);

private:
    static int authorize(void* self, int action, const char* first, const char* second,
        const char* database, const char* trigger);

    Rule _deny;
    void* _handle = nullptr;
};
