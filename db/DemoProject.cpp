#include "db/DemoProject.h"

namespace DemoProject {

TARN::okstat createDemo(const QString& path)
{
    return QStringLiteral("Not available yet: %1").arg(path);
}

TARN::okstat createLarge(const QString& path)
{
    return QStringLiteral("Not available yet: %1").arg(path);
}

} // namespace DemoProject
