#include "app/graphs/CurveHistory.h"

namespace {

CCurveHistory::Picker& ThePicker() {
    static CCurveHistory::Picker picker;
    return picker;
}

} // namespace

void CCurveHistory::SetPicker(Picker picker) {
    ThePicker() = std::move(picker);
}

bool CCurveHistory::IsAvailable() {
    return static_cast<bool>(ThePicker());
}

std::vector<CCompareCurve> CCurveHistory::Pick(QWidget* pParent) {
    // A copy: the picker may run a dialog during which another one is registered.
    Picker picker = ThePicker();
    return picker ? picker(pParent) : std::vector<CCompareCurve>();
}
