#include "calc/CalcStatement.h"

#include "db/TarnException.h"

#include <QSqlError>

void CalcStatement::prepare(const QSqlDatabase& db, const QString& sql)
{
    _query = std::make_unique<QSqlQuery>(db);
    // Doubles come back as doubles, at full precision, without a detour through text.
    _query->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    _prepared = _query->prepare(sql);
    _prepareError = _prepared ? QString() : _query->lastError().text();
}

void CalcStatement::exec(const QString& failureText)
{
    if (!_prepared)
        throw TarnException(failureText.arg(_prepareError));
    if (!_query->exec())
        throw TarnException(failureText.arg(_query->lastError().text()));
}

QVariant CalcStatement::scalar(const QString& failureText)
{
    exec(failureText);
    QVariant value;
    if (_query->next())
        value = _query->value(0);
    _query->finish();
    return value;
}
