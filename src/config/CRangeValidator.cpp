#include "CRangeValidator.h"

CRangeValidator::CRangeValidator(int nBottom, int nTop, QObject* parent) : QIntValidator(nBottom, nTop, parent) {}

QValidator::State CRangeValidator::validate(QString& strInput, int& nPos) const
{
    if (strInput.isEmpty())
        return Intermediate;
    const State state = QIntValidator::validate(strInput, nPos);
    return state == Acceptable ? Acceptable : Invalid;
}
