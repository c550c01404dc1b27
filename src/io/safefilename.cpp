#include "safefilename.h"

#include <QRegularExpression>

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
    }
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString stem = name;
    while (stem.endsWith(QLatin1Char(' ')) || stem.endsWith(QLatin1Char('.')))
        stem.chop(1);
    return !device.match(stem).hasMatch() && !stem.isEmpty();
}

QString safeFileName(const QString &name, const QString &fallback)
{
    static const QRegularExpression forbidden(QStringLiteral("[<>:\"/\\\\|?*\\x00-\\x1f\\x7f]"));
    QString result = name;
    result.remove(forbidden);
    // No hidden files, and no trailing dots or blanks, which Windows drops.
    while (result.startsWith(QLatin1Char('.')) || result.startsWith(QLatin1Char(' ')))
        result.remove(0, 1);
    while (result.endsWith(QLatin1Char('.')) || result.endsWith(QLatin1Char(' ')))
        result.chop(1);
    return isSafeFileName(result) ? result : fallback;
}
