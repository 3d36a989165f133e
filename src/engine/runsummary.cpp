#include "engine/runsummary.h"

#include "settings/textvalue.h"

QString RunSummary::endText() const
{
    switch (end) {
    case End::Finished:
        return QStringLiteral("処理完了");
    case End::Stopped:
        return QStringLiteral("中止しました");
    case End::Limit:
        return QStringLiteral("制限に達したため終了しました");
    case End::Error:
        break;
    }
    return QStringLiteral("ｴﾗｰで終了しました");
}

QString RunSummary::durationText(qint64 msecs)
{
    const qint64 s = msecs > 0 ? msecs / 1000 : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString RunSummary::text() const
{
    QString t = endText();
    if (end == End::Error && !reason.isEmpty())
        t += QStringLiteral(" (") + reason.simplified() + QLatin1Char(')');
    return t + QStringLiteral("  ﾌｧｲﾙ数=") + TextValue::groupedNumber(files) +
           QStringLiteral("  ﾌｧｲﾙｻｲｽﾞ=") + TextValue::groupedNumber(bytes) +
           QStringLiteral("ﾊﾞｲﾄ  所要時間=") + durationText(msecs);
}
