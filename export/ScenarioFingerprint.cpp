#include "export/ScenarioFingerprint.h"

#include "db/TarnNames.h"
#include "workbook/CellFormat.h"
#include "workbook/Sha256.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <cmath>

namespace ScenarioFingerprint {

namespace {

QString field(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    out.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return out;
}

// A stored number as the canonical text writes it: shortest round-trip form, NULL as "NaN".
QString number(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NaN");
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return QStringLiteral("NaN");
    char buf[32];
    return QString::fromLatin1(buf, static_cast<int>(Workbook::XlCell::formatNumber(v, buf)));
}

class Reader {
public:
    explicit Reader(QSqlDatabase& db)
        : _db(db)
    {
    }

    // Runs the statement with :id bound; every row as a list of its columns.
    bool rows(const QString& sql, const QVariant& id, QList<QVariantList>* out)
    {
        out->clear();
        QSqlQuery q(_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            _error = q.lastError().text();
            return false;
        }
        q.bindValue(QStringLiteral(":id"), id);
        if (!q.exec()) {
            _error = q.lastError().text();
            return false;
        }
        while (q.next()) {
            QVariantList row;
            const int n = q.record().count();
            for (int i = 0; i < n; ++i)
                row.append(q.value(i));
            out->append(row);
        }
        return true;
    }
    const QString& error() const { return _error; }

private:
    QSqlDatabase& _db;
    QString _error;
};

} // namespace

TARN::okstat definitionHash(QSqlDatabase& db, int scenarioId, QByteArray* hash)
{
    Reader read(db);
    QStringList lines;
    QList<QVariantList> changes;
    // DemandChg: methods at 5 and 6, the filter flag at 7 (read by position).
    if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY %3, %4")
                       .arg(TN::DemandChgTable, TN::ScenarioID, TN::CreatedDate, TN::DemandChgID),
            scenarioId, &changes))
        return read.error();
    for (const QVariantList& change : qAsConst(changes)) {
        if (change.size() < 8)
            return QStringLiteral("The demand change table has too few columns.");
        const QVariant id = change.at(0);
        lines << QStringLiteral("change\t%1\t%2\t%3")
                     .arg(change.at(5).toString(), change.at(6).toString(),
                         QString::number(change.at(7).toInt() != 0));
        for (const auto& [kind, table] :
            { std::pair { QStringLiteral("depletion"), TN::DepletionChgTable },
                std::pair { QStringLiteral("efficiency"), TN::EfficiencyChgTable } }) {
            QList<QVariantList> years;
            // Year at 2, change type at 3, value at 4; ordered by year, then key.
            if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 3, 1")
                               .arg(table, TN::DemandChgID),
                    id, &years))
                return read.error();
            for (const QVariantList& y : qAsConst(years))
                if (y.size() >= 5)
                    lines << QStringLiteral("%1\t%2\t%3\t%4")
                                 .arg(
                                     kind, y.at(2).toString(), y.at(3).toString(), number(y.at(4)));
        }
        QList<QVariantList> rows;
        if (!read.rows(QStringLiteral("SELECT a.%1, w.%1 FROM %2 m JOIN %3 w ON w.%4 = m.%4 "
                                      "JOIN %5 a ON a.%6 = w.%6 WHERE m.%7 = :id")
                           .arg(TN::RiffleName, TN::DemandChgWaterUserTable, TN::WaterUserTable,
                               TN::WaterUserID, TN::AggDivTable, TN::AggDivID, TN::DemandChgID),
                id, &rows))
            return read.error();
        QStringList members;
        for (const QVariantList& r : qAsConst(rows))
            members << QStringLiteral("user\t%1:%2")
                           .arg(field(r.at(0).toString()), field(r.at(1).toString()));
        members.sort();
        lines += members;
        if (!read.rows(
                QStringLiteral("SELECT t.%1, v.%2 FROM %3 s JOIN %4 t ON t.%5 = s.%5 "
                               "JOIN %6 v ON v.%7 = s.%7 WHERE s.%8 = :id")
                    .arg(TN::AttrName, TN::AttrVal, TN::DemandSelectionTable, TN::AttributeTable,
                        TN::AttrID, TN::AttrValidValTable, TN::AttrValidValID, TN::DemandChgID),
                id, &rows))
            return read.error();
        QStringList filters;
        for (const QVariantList& r : qAsConst(rows))
            filters << QStringLiteral("filter\t%1\t%2")
                           .arg(field(r.at(0).toString()), field(r.at(1).toString()));
        filters.sort();
        lines += filters;
    }

    QList<QVariantList> users;
    if (!read.rows(QStringLiteral("SELECT w.%1, a.%2, w.%2, w.%3 FROM %4 w JOIN %5 a ON a.%6 = "
                                  "w.%6 WHERE w.%7 = :id")
                       .arg(TN::WaterUserID, TN::RiffleName, TN::WaterUserName, TN::WaterUserTable,
                           TN::AggDivTable, TN::AggDivID, TN::ScenarioID),
            scenarioId, &users))
        return read.error();
    QList<QPair<QString, QStringList>> ownUsers;
    for (const QVariantList& user : qAsConst(users)) {
        QStringList block;
        block << QStringLiteral("new user\t%1:%2\t%3")
                     .arg(field(user.at(1).toString()), field(user.at(2).toString()),
                         field(user.at(3).toString()));
        QList<QVariantList> rows;
        // WaterUserData: year at 2, the four values at 3 to 6.
        if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 3, 1")
                           .arg(TN::WaterUserDataTable, TN::WaterUserID),
                user.at(0), &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows))
            if (r.size() >= 7)
                block << QStringLiteral("data\t%1\t%2\t%3\t%4\t%5")
                             .arg(r.at(2).toString(), number(r.at(3)), number(r.at(4)),
                                 number(r.at(5)), number(r.at(6)));
        // WaterUserDist: January to December at 2 to 13.
        if (!read.rows(QStringLiteral("SELECT * FROM %1 WHERE %2 = :id ORDER BY 1")
                           .arg(TN::WaterUserDistTable, TN::WaterUserID),
                user.at(0), &rows))
            return read.error();
        for (const QVariantList& r : qAsConst(rows)) {
            QStringList coefficients;
            for (int i = 2; i < 14 && i < r.size(); ++i)
                coefficients << number(r.at(i));
            block << QStringLiteral("dist\t") + coefficients.join(QLatin1Char('\t'));
        }
        ownUsers.append({ block.first(), block });
    }
    std::sort(ownUsers.begin(), ownUsers.end(),
        [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& user : qAsConst(ownUsers))
        lines += user.second;

    QByteArray text;
    for (const QString& line : qAsConst(lines))
        text += line.toUtf8() + '\n';
    *hash = Workbook::Sha256::hexDigest(text);
    if (hash->isEmpty())
        return QStringLiteral("The scenario's definition could not be hashed");
    return TARN::okstat();
}

} // namespace ScenarioFingerprint
