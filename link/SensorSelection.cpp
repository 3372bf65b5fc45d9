#include "SensorSelection.h"

#include "SensorTable.h"

namespace {

/// What one input writes: its captions and its two range values.
struct InputTargets
{
    const std::function<void(const QString &)> &setGraphCaption;
    const std::function<void(const QString &)> &setMeterCaption;
    qint16 &rangeLimit;
    qint16 &rangeBase;
};

void write(const std::function<void(const QString &)> &target, const QString &text)
{
    if (target)
        target(text);
}

void applyRow(const sensors::SensorType &type, qint16 code, const InputTargets &input)
{
    if (!type.codes.contains(code))
        return;
    write(input.setGraphCaption, type.graphCaption);
    write(input.setMeterCaption, type.meterCaption);
    input.rangeLimit = type.fullScale;
    input.rangeBase = 0;
}

void selectInput(const QString &text, qint16 code, const InputTargets &input)
{
    const QList<sensors::SensorType> &types = sensors::sensorTypes();
    applyRow(types.first(), code, input);
    // An input that sent no sensor-range line still gets row 1's range and
    // graph scale, but its meter shows no scale.
    if (text.isEmpty())
        write(input.setMeterCaption, QString());
    for (qsizetype i = 1; i < types.size(); ++i)
        applyRow(types.at(i), code, input);
}

} // namespace

void sensorSelection(const QString &text0, const QString &text1, SensorRanges &state,
                     const SensorTargets &targets)
{
    // Copies: a target may change the texts this run reads.
    const QString sr1 = text0;
    const QString sr2 = text1;
    const qint16 code1 = sensors::sensorCode(sr1);
    const qint16 code2 = sensors::sensorCode(sr2);

    selectInput(sr1, code1, {targets.setGraphCaption1, targets.setMeterCaption1,
                             state.rangeLimit1, state.rangeBase1});
    selectInput(sr2, code2, {targets.setGraphCaption2, targets.setMeterCaption2,
                             state.rangeLimit2, state.rangeBase2});

    if (targets.setFullScale1)
        targets.setFullScale1(state.rangeLimit1);
    if (targets.setFullScale2)
        targets.setFullScale2(state.rangeLimit2);
}
