#include "updateconfig.h"

namespace VelmUpdate {

UpdateConfig UpdateConfig::fromEnvironment(const QString &product, const QString &channel,
                                           const QString &currentVersion)
{
    QString base = qEnvironmentVariable("UPDATE_BASE_URL");
    if (base.isEmpty())
        base = QStringLiteral("http://127.0.0.1:8787/releases");
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return {product, channel, QUrl(base + QStringLiteral("/%1/%2/").arg(product, channel)), currentVersion};
}

} // namespace VelmUpdate
