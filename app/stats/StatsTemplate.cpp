// The statistics document type: the one statistics window.
#include "app/framework/TemplateRegistry.h"
#include "app/shell/Resource.h"
#include "app/stats/StatsDoc.h"
#include "app/stats/StatsFrame.h"
#include "app/stats/StatsView.h"

namespace {

const CTemplateRegistry::Registration s_statsType(IDR_STATSTYPE, [] {
    return CMultiDocTemplate::Make<CStatsDoc, CStatsFrame, CStatsView>(IDR_STATSTYPE);
});

} // namespace
