#pragma once

#include <QIntValidator>

/// An integer validator for fields that must never hold a number outside their range: a keystroke
/// that would leave the range is refused, so the field holds an acceptable number or nothing. (A plain
/// QIntValidator lets "0" or "65536" stand as "intermediate" input, which would then reach the device.)
/// Every prefix of a number in [1, top] is itself in range, so nothing valid becomes untypable.
class CRangeValidator : public QIntValidator
{
public:
    CRangeValidator(int nBottom, int nTop, QObject* parent);
    State validate(QString& strInput, int& nPos) const override;
};
