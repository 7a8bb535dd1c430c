#include "app/graphs/CompareCurve.h"

#include "app/graphs/GraphFormat.h"

std::string CCompareCurve::Legend() const {
    std::string text = CGraphFormat::Format("%s (Node %d)", strStation.c_str(), nNodeID);
    if (!strTime.empty()) {
        text += " " + strTime;
    }
    return text;
}

bool CCompareCurve::SameAs(const CCompareCurve& other) const {
    if (nNodeID != other.nNodeID || points.size() != other.points.size()) {
        return false;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].x != other.points[i].x || points[i].y != other.points[i].y) {
            return false;
        }
    }
    return true;
}
