// The curve, batch and compare document types.
#include "app/framework/TemplateRegistry.h"
#include "app/graphs/BatchDoc.h"
#include "app/graphs/BatchView.h"
#include "app/graphs/CompareDoc.h"
#include "app/graphs/CompareView.h"
#include "app/graphs/CurveDoc.h"
#include "app/graphs/CurveView.h"
#include "app/shell/ChildFrame.h"
#include "app/shell/Resource.h"

namespace {

const CTemplateRegistry::Registration s_curveType(IDR_CURVETYPE, [] {
    return CMultiDocTemplate::Make<CCurveDoc, CChildFrame, CCurveView>(IDR_CURVETYPE);
});

const CTemplateRegistry::Registration s_batchType(IDR_BATCHTYPE, [] {
    return CMultiDocTemplate::Make<CBatchDoc, CChildFrame, CBatchView>(IDR_BATCHTYPE);
});

const CTemplateRegistry::Registration s_compareType(IDR_COMPARETYPE, [] {
    return CMultiDocTemplate::Make<CCompareDoc, CChildFrame, CCompareView>(IDR_COMPARETYPE);
});

} // namespace
