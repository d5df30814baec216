#include "db/DbFailure.h"

#include <QStringList>

namespace DbFailure {

namespace {

bool mentions(const QString& text, const char* words)
{
    return text.contains(QLatin1String(words), Qt::CaseInsensitive);
}

// What to do, by kind; retry is appended where trying again can help.
QString advice(Kind kind, const QString& retry)
{
    switch (kind) {
    case DiskFull:
        return QStringLiteral("Free some space on the disk and %1.").arg(retry);
    case IoError:
        return QStringLiteral("Check the disk (or the network drive the project is on) and %1.")
            .arg(retry);
    case Locked:
        return QStringLiteral("Let the other program finish, or close it, and %1.").arg(retry);
    case ReadOnly:
        return QStringLiteral(
            "Copy the project somewhere you may write, or ask for permission to write it.");
    case Damaged:
        return QStringLiteral("Restore the project from a backup; `tarnhelm-cli check` tells what "
                              "is damaged.");
    case Other:
        break;
    }
    return QString();
}

} // namespace

Kind classify(const QString& errorText)
{
    if (mentions(errorText, "disk is full") || mentions(errorText, "database or disk is full"))
        return DiskFull;
    if (mentions(errorText, "disk I/O error"))
        return IoError;
    if (mentions(errorText, "database is locked") || mentions(errorText, "database is busy")
        || mentions(errorText, "database table is locked"))
        return Locked;
    // A folder that may not be written refuses the journal: SQLite cannot open it.
    if (mentions(errorText, "readonly database") || mentions(errorText, "read-only")
        || mentions(errorText, "unable to open database file"))
        return ReadOnly;
    if (mentions(errorText, "disk image is malformed")
        || mentions(errorText, "file is not a database"))
        return Damaged;
    return Other;
}

QString databaseText(const QString& errorText)
{
    // The QSQLITE driver's own words, which it puts after SQLite's message.
    static const QStringList driverTexts { QStringLiteral("Unable to fetch row"),
        QStringLiteral("Unable to execute statement"),
        QStringLiteral("Unable to execute multiple statements at a time"),
        QStringLiteral("Unable to bind parameters"), QStringLiteral("Unable to begin transaction"),
        QStringLiteral("Unable to commit transaction"),
        QStringLiteral("Unable to rollback transaction"),
        QStringLiteral("Parameter count mismatch"), QStringLiteral("No query") };
    QString text = errorText.trimmed();
    for (const QString& driver : driverTexts) {
        if (text.endsWith(driver) && text.size() > driver.size()) {
            text.chop(driver.size());
            return text.trimmed();
        }
    }
    return text;
}

QString cause(const QString& errorText)
{
    switch (classify(errorText)) {
    case DiskFull:
        return QStringLiteral("The disk is full");
    case IoError:
        return QStringLiteral("The disk could not be written (a disk I/O error)");
    case Locked:
        return QStringLiteral("Another program is writing to the project file");
    case ReadOnly:
        return QStringLiteral("The project file or its folder may not be written");
    case Damaged:
        return QStringLiteral("The project file is damaged");
    case Other:
        break;
    }
    return databaseText(errorText);
}

QString notSaved(const QString& errorText, const QString& what, const QString& retry)
{
    const Kind kind = classify(errorText);
    if (kind == Other)
        return QString();
    return QStringLiteral("%1: %2 was not saved. %3")
        .arg(cause(errorText), what, advice(kind, retry));
}

QString editsLost(const QString& errorText, const QString& what)
{
    const Kind kind = classify(errorText);
    QString reason = cause(errorText);
    if (errorText.trimmed().isEmpty())
        reason = QStringLiteral("An earlier change could not be written to the project file");
    else if (kind == Other)
        reason = QStringLiteral("The project file refused a change (%1)").arg(reason);
    QString text = QStringLiteral("%1: %2 was not saved, and the edits made since the last save "
                                  "are lost; the project file holds what it held before them. "
                                  "The editor now shows the project as it is stored.")
                       .arg(reason, what);
    const QString todo = advice(kind, QStringLiteral("make the edits again"));
    if (!todo.isEmpty())
        text += QLatin1Char(' ') + todo;
    return text;
}

} // namespace DbFailure
