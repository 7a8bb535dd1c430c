// The history window type.
#include "app/framework/TemplateRegistry.h"
#include "app/historyview/HistoryDoc.h"
#include "app/historyview/HistoryView.h"
#include "app/shell/ChildFrame.h"
#include "app/shell/Resource.h"

namespace {

const CTemplateRegistry::Registration s_historyType(IDR_HISTORYTYPE, [] {
    return CMultiDocTemplate::Make<CHistoryDoc, CChildFrame, CHistoryView>(IDR_HISTORYTYPE);
});

} // namespace
