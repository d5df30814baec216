#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <sys/resource.h>

#include <csignal>

// While it lives, files of this process cannot grow beyond the given size. The kernel refuses
// the write (EFBIG), which SQLite reports as a disk I/O error.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        _signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &_old);
        rlimit limited = _old;
        limited.rlim_cur = bytes;
        _set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &_old);
        std::signal(SIGXFSZ, _signal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool isSet() const { return _set; }

private:
    rlimit _old {};
    void (*_signal)(int) = nullptr;
    bool _set = false;
};

// While it lives, the database file of the connection cannot get another page: SQLite fails
// the write that needs one with its full-disk error ("database or disk is full"), exactly as
// when the disk has no room left.
class DatabaseFull {
public:
    explicit DatabaseFull(const QSqlDatabase& db)
        : _db(db)
    {
        QSqlQuery query(_db);
        if (query.exec(QStringLiteral("PRAGMA page_count")) && query.next()) {
            const int pages = query.value(0).toInt();
            _set = query.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
        }
    }
    ~DatabaseFull()
    {
        QSqlQuery query(_db);
        query.exec(QStringLiteral("PRAGMA max_page_count = 1073741823"));
    }
    DatabaseFull(const DatabaseFull&) = delete;
    DatabaseFull& operator=(const DatabaseFull&) = delete;
    bool isSet() const { return _set; }

private:
    QSqlDatabase _db;
    bool _set = false;
};
