// The network document type: the layout window of the press stations.
#include "app/framework/TemplateRegistry.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/shell/ChildFrame.h"
#include "app/shell/Resource.h"

namespace {

const CTemplateRegistry::Registration s_networkType(IDR_NETWORKTYPE, [] {
    return CMultiDocTemplate::Make<CQuorvelDoc, CChildFrame, CQuorvelView>(IDR_NETWORKTYPE);
});

} // namespace
