// The seed of a random test: fixed unless ORVEL_SEED gives one ("random" draws a new one), so that
// a run repeats exactly; a failure names it for the rerun.
#pragma once

#include <QRandomGenerator>
#include <QString>

inline quint32 testSeed(quint32 fixed) {
    const QString asked = qEnvironmentVariable("ORVEL_SEED");
    if (asked == QLatin1String("random"))
        return QRandomGenerator::global()->generate();
    return asked.isEmpty() ? fixed : asked.toUInt();
}
