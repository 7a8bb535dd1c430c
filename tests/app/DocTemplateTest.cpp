#include "app/framework/DocManager.h"
#include "app/framework/Document.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"
#include "app/shell/Resource.h"
#include "app/shell/ResourceScript.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<CMultiDocTemplate> Template(UINT id) {
    return CMultiDocTemplate::Make<CDocument, CMDIChildWnd, CView>(id);
}

TEST(DocTemplateTest, DocumentStringsSplitIntoSevenFields) {
    RegisterProgramResources();
    auto curve = Template(IDR_CURVETYPE);
    EXPECT_EQ(curve->GetDocString(CDocTemplate::windowTitle), "");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::docName), "Zarn Force Curve");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::fileNewName), "Zarn Force Curvet");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::filterName), "Zarn Force Curves (*.cur)");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::filterExt), ".cur");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::regFileTypeId), " Zarn Force Curve");
    EXPECT_EQ(curve->GetDocString(CDocTemplate::regFileTypeName), "Zarn Force Curve");
    auto batch = Template(IDR_BATCHTYPE);
    EXPECT_EQ(batch->GetDocString(CDocTemplate::regFileTypeId), " MyBatchBuffer");
    EXPECT_EQ(batch->GetDocString(CDocTemplate::regFileTypeName), "MyBatchBuffer Worksheet");
    // No string at all: every field is empty.
    auto network = Template(IDR_NETWORKTYPE);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(network->GetDocString(static_cast<CDocTemplate::DocStringIndex>(i)), "");
    }
    auto fields = CDocTemplate::ParseDocString("Title\nName");
    EXPECT_EQ(fields[0], "Title");
    EXPECT_EQ(fields[1], "Name");
    EXPECT_EQ(fields[6], "");
}

TEST(DocTemplateTest, OpenFilterAndNewDialogComeFromTheTypes) {
    RegisterProgramResources();
    CDocManager manager;
    manager.AddDocTemplate(Template(IDR_CURVETYPE));
    manager.AddDocTemplate(Template(IDR_NETWORKTYPE));
    manager.AddDocTemplate(Template(IDR_BATCHTYPE));
    manager.AddDocTemplate(Template(IDR_STATSTYPE));
    auto filters = CDocManager::BuildFilters(manager.GetTemplates());
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0].strName, "Zarn Force Curves (*.cur)");
    EXPECT_EQ(filters[0].patterns, std::vector<std::string>{"*.cur"});
    EXPECT_EQ(filters[1].strName, "Zarn Batch Buffer (*.buf)");
    EXPECT_EQ(CDocManager::FormatFilters(filters),
              "Zarn Force Curves (*.cur);;Zarn Batch Buffer (*.buf);;All Files (*)");
    // A name without its patterns gets them.
    EXPECT_EQ(CDocManager::FormatFilters({{"Logs", {"*.log", "*.txt"}}}), "Logs (*.log *.txt)");

    auto newTypes = CDocManager::GetNewTemplates(manager.GetTemplates());
    ASSERT_EQ(newTypes.size(), 2u);
    EXPECT_EQ(newTypes[0]->GetResourceID(), IDR_CURVETYPE);
    EXPECT_EQ(newTypes[1]->GetResourceID(), IDR_BATCHTYPE);
}

TEST(DocTemplateTest, FilesFindTheirTypeByExtension) {
    RegisterProgramResources();
    CDocManager manager;
    manager.AddDocTemplate(Template(IDR_NETWORKTYPE));
    manager.AddDocTemplate(Template(IDR_CURVETYPE));
    manager.AddDocTemplate(Template(IDR_BATCHTYPE));
    CDocument* open = nullptr;
    EXPECT_EQ(manager.FindTemplateForFile("/x/press 7.BUF", open)->GetResourceID(), IDR_BATCHTYPE);
    EXPECT_EQ(manager.FindTemplateForFile("/x/a.cur", open)->GetResourceID(), IDR_CURVETYPE);
    // Anything else goes to the first type that reads files, never to the network type.
    EXPECT_EQ(manager.FindTemplateForFile("/x/pressinfo.vlm", open)->GetResourceID(),
              IDR_CURVETYPE);
    EXPECT_EQ(open, nullptr);
}

} // namespace
