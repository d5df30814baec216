#include "DocProperties.h"

namespace Workbook {

DocProperty DocProperty::textProperty(const QString& name, const QString& value)
{
    DocProperty p;
    p.name = name;
    p.kind = Text;
    p.text = value;
    return p;
}

DocProperty DocProperty::integerProperty(const QString& name, qint64 value)
{
    DocProperty p;
    p.name = name;
    p.kind = Integer;
    p.integer = value;
    return p;
}

DocProperty DocProperty::timeProperty(const QString& name, const QDateTime& value)
{
    DocProperty p;
    p.name = name;
    p.kind = Time;
    p.time = value.toUTC();
    return p;
}

QString DocProperty::valueText() const
{
    switch (kind) {
    case Integer:
        return QString::number(integer);
    case Time:
        return time.toUTC().toString(Qt::ISODate);
    case Text:
    case Other:
        break;
    }
    return text;
}

bool PropertyChanges::dropsAny(const QString& name) const
{
    if (drops && drops(name))
        return true;
    for (const auto& p : added)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace Workbook
