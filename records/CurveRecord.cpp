#include "records/CurveRecord.h"

CCurveRecord::CCurveRecord()
    : m_pForce(kCurvePoints, tagPOINT{0, 0}), m_pReference(kCurvePoints, tagPOINT{0, 0}) {}
