#include "app/framework/DocTemplate.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MDILayout.h"
#include "app/framework/MessageRecorder.h"
#include "base/FileIO.h"
#include "tests/app/FrameworkTestDocs.h"
#include "tests/app/TempConfig.h"
#include "tests/app/WhenModal.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> MenuTitles(QMenuBar* bar) {
    std::vector<std::string> titles;
    for (QAction* a : bar->actions()) {
        titles.push_back(a->text().toStdString());
    }
    return titles;
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestResources();
        ASSERT_TRUE(m_app.StartUserInterface());
        m_app.SetRegistryKey("Local AppWizard-Generated Applications");
        m_app.LoadStdProfileSettings(4);
        m_pTemplate = m_app.AddDocTemplate(
            CMultiDocTemplate::Make<CTestDoc, CMDIChildWnd, CTestView>(IDR_TEST_DOC));
        m_pMain = new CMDIFrameWnd;
        ASSERT_TRUE(m_pMain->LoadFrame(IDR_TEST_MAIN));
        m_app.m_pMainWnd = m_pMain;
        m_pMain->ShowWindow(SW_SHOW);
    }

    void TearDown() override {
        delete m_pMain;
        m_app.m_pMainWnd = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CTestDoc* NewDoc() { return static_cast<CTestDoc*>(m_pTemplate->OpenDocumentFile(nullptr)); }

    static CTestView* ViewOf(CDocument* pDoc, std::size_t index = 0) {
        return static_cast<CTestView*>(pDoc->GetViews().at(index));
    }

    std::string SaveFile(const std::string& name, std::vector<std::string> lines) {
        CTestDoc doc;
        doc.m_lines = std::move(lines);
        std::string path = m_config.WorkDir() + "/" + name;
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    }

    CTempConfig m_config;
    CMessageRecorder m_messages;
    CTestApp m_app;
    CDocTemplate* m_pTemplate = nullptr;
    CMDIFrameWnd* m_pMain = nullptr;
};

TEST_F(FrameworkTest, HintsReachEveryViewButTheSender) {
    CTestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    CMDIChildWnd* second = m_pTemplate->CreateNewFrame(doc);
    ASSERT_NE(second, nullptr);
    m_pTemplate->InitialUpdateFrame(second, doc);
    ASSERT_EQ(doc->GetViews().size(), 2u);
    CTestView* first = ViewOf(doc, 0);
    CTestView* other = ViewOf(doc, 1);
    EXPECT_EQ(first->m_nInitialUpdates, 1);
    EXPECT_EQ(other->m_nInitialUpdates, 1);
    first->m_updates.clear();
    other->m_updates.clear();

    CTestDoc payload;
    doc->UpdateAllViews(first, 3, &payload);
    EXPECT_TRUE(first->m_updates.empty());
    ASSERT_EQ(other->m_updates.size(), 1u);
    EXPECT_EQ(other->m_updates[0].pSender, first);
    EXPECT_EQ(other->m_updates[0].lHint, 3);
    EXPECT_EQ(other->m_updates[0].pHint, &payload);

    doc->UpdateAllViews(nullptr, 1);
    EXPECT_EQ(first->m_updates.size(), 1u);
    EXPECT_EQ(other->m_updates.size(), 2u);

    // Two frames of one document are numbered.
    EXPECT_EQ(first->GetParentFrame()->windowTitle().toStdString(), "Test Doc1:1");
    EXPECT_EQ(other->GetParentFrame()->windowTitle().toStdString(), "Test Doc1:2");
}

TEST_F(FrameworkTest, ADocumentThatRefusesToCloseKeepsItsFrame) {
    CTestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    int alive = CTestDoc::s_nAlive;
    doc->m_bRefuseClose = true;
    CMDIChildWnd* frame = ViewOf(doc)->GetParentFrame();
    frame->close();
    EXPECT_FALSE(frame->IsDestroyed());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(m_pMain->SendCommand(ID_FILE_CLOSE));
    EXPECT_FALSE(frame->IsDestroyed());
    EXPECT_EQ(CTestDoc::s_nAlive, alive);

    // Leaving the program closes it all the same.
    EXPECT_TRUE(m_pMain->OnClose());
    EXPECT_EQ(CTestDoc::s_nAlive, alive - 1);
    EXPECT_TRUE(m_pMain->IsDestroyed());
}

TEST_F(FrameworkTest, OnlyTheLastFrameClosesTheDocumentAfterTheSaveQuestion) {
    CTestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    int alive = CTestDoc::s_nAlive;
    CMDIChildWnd* second = m_pTemplate->CreateNewFrame(doc);
    m_pTemplate->InitialUpdateFrame(second, doc);
    doc->SetModifiedFlag();

    // One of two frames goes without a question.
    second->close();
    EXPECT_TRUE(second->IsDestroyed());
    EXPECT_EQ(m_messages.Count(), 0u);
    ASSERT_EQ(doc->GetViews().size(), 1u);

    // The last one asks; Cancel keeps everything.
    CMDIChildWnd* last = ViewOf(doc)->GetParentFrame();
    m_messages.Answer(IDCANCEL);
    last->close();
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, "Save changes to Test Doc1?");
    EXPECT_EQ(m_messages.Messages()[0].strCaption, "Zarn Network Controller");
    EXPECT_EQ(m_messages.Messages()[0].nType, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    EXPECT_FALSE(last->IsDestroyed());
    EXPECT_EQ(CTestDoc::s_nAlive, alive);

    // No: the document goes without being written.
    m_messages.Answer(IDNO);
    last->close();
    EXPECT_TRUE(last->IsDestroyed());
    EXPECT_EQ(CTestDoc::s_nAlive, alive - 1);
}

TEST_F(FrameworkTest, OpeningFilesReadsThemOnceAndRefusesDamagedOnes) {
    std::string path = SaveFile("lines.tst", {"alpha", "beta"});
    auto* doc = static_cast<CTestDoc*>(m_app.OpenDocumentFile(path));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->m_lines, (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(doc->GetTitle(), "lines.tst");
    EXPECT_TRUE(ViewOf(doc)->GetParentFrame()->isVisible());
    // The same file again is the same document.
    EXPECT_EQ(m_app.OpenDocumentFile(path), doc);
    EXPECT_EQ(m_pTemplate->GetDocuments().size(), 1u);

    // Cut short: the framework's message, no window.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    bytes.resize(bytes.size() - 2);
    std::string damaged = m_config.WorkDir() + "/damaged.tst";
    ASSERT_TRUE(WriteFileAtomically(damaged, bytes));
    std::size_t frames = m_pMain->GetChildFrames().size();
    EXPECT_EQ(m_app.OpenDocumentFile(damaged), nullptr);
    ASSERT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].strText, "Unexpected file format.");
    EXPECT_EQ(m_pMain->GetChildFrames().size(), frames);
    EXPECT_EQ(m_pTemplate->GetDocuments().size(), 1u);

    EXPECT_EQ(m_app.OpenDocumentFile(m_config.WorkDir() + "/missing.tst"), nullptr);
    ASSERT_EQ(m_messages.Count(), 2u);
    EXPECT_NE(m_messages.Messages()[1].strText.find("File not found."), std::string::npos);
}

TEST_F(FrameworkTest, SavingReplacesTheFileWhole) {
    CTestDoc* doc = NewDoc();
    doc->m_lines = {"one"};
    doc->SetModifiedFlag();
    std::string path = m_config.WorkDir() + "/saved.tst";
    ASSERT_TRUE(doc->DoSave(path));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), path);
    EXPECT_EQ(doc->GetTitle(), "saved.tst");
    // Saving into a folder that does not exist fails with a message and leaves the path.
    EXPECT_FALSE(doc->DoSave(m_config.WorkDir() + "/no/such/folder/x.tst"));
    EXPECT_EQ(m_messages.Count(), 1u);
    EXPECT_EQ(doc->GetPathName(), path);
    CTestDoc check;
    ASSERT_TRUE(check.OnOpenDocument(path));
    EXPECT_EQ(check.m_lines, std::vector<std::string>{"one"});
}

TEST_F(FrameworkTest, TheRecentFileListKeepsTheFourNewest) {
    std::vector<std::string> paths;
    for (int i = 1; i <= 5; ++i) {
        paths.push_back(SaveFile("file" + std::to_string(i) + ".tst", {"x"}));
        ASSERT_NE(m_app.OpenDocumentFile(paths.back()), nullptr);
    }
    CRecentFileList* list = m_app.GetRecentFileList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetCount(), 4);
    EXPECT_EQ((*list)[0], paths[4]);
    EXPECT_EQ((*list)[3], paths[1]);

    // Kept in the settings at once, under the profile key.
    CRecentFileList stored(4);
    stored.ReadList(m_app.GetSettingsStore(), HKEY_CURRENT_USER,
                    "Software\\Local AppWizard-Generated Applications\\Zarn Network "
                    "Controller\\Recent File List");
    ASSERT_EQ(stored.GetCount(), 4);
    EXPECT_EQ(stored[0], paths[4]);

    // The File menu lists them, newest first.
    QMenu* file = m_pMain->menuBar()->actions().at(0)->menu();
    m_pMain->UpdateMenu(file);
    std::vector<std::string> texts;
    for (QAction* a : file->actions()) {
        if (a->isVisible() && !a->isSeparator()) {
            texts.push_back(a->text().toStdString());
        }
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "&1 file5.tst"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "&4 file2.tst"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Recent File"), texts.end());

    // A recent file that has gone leaves the list when it is chosen.
    m_app.CloseAllDocuments(true);
    ASSERT_EQ(std::remove(paths[3].c_str()), 0);
    EXPECT_TRUE(m_pMain->SendCommand(ID_FILE_MRU_FILE1 + 1));
    EXPECT_EQ(list->GetCount(), 3);
    EXPECT_EQ((*list)[1], paths[2]);
    EXPECT_EQ(m_messages.Count(), 1u);
}

TEST_F(FrameworkTest, MenusFollowTheActiveWindowAndUnmappedCommandsAreDisabled) {
    EXPECT_EQ(MenuTitles(m_pMain->menuBar()), (std::vector<std::string>{"&File", "&Edit"}));
    EXPECT_FALSE(m_pMain->QueryCommand(ID_FILE_SAVE).m_bEnabled);
    EXPECT_FALSE(m_pMain->QueryCommand(ID_EDIT_COPY).m_bEnabled);
    EXPECT_TRUE(m_pMain->QueryCommand(ID_FILE_OPEN).m_bEnabled);

    CTestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(m_pMain->GetMenuID(), IDR_TEST_DOC);
    EXPECT_EQ(MenuTitles(m_pMain->menuBar()), (std::vector<std::string>{"&File", "&Window"}));
    EXPECT_TRUE(m_pMain->QueryCommand(ID_FILE_SAVE).m_bEnabled);
    EXPECT_FALSE(m_pMain->QueryCommand(ID_EDIT_COPY).m_bEnabled);
    EXPECT_EQ(m_pMain->windowTitle().toStdString(), "Test Program - Test Doc1");

    // The Window menu lists the open windows after its own items.
    QMenu* window = m_pMain->menuBar()->actions().at(1)->menu();
    m_pMain->UpdateMenu(window);
    QAction* last = window->actions().back();
    EXPECT_EQ(last->text().toStdString(), "&1 Test Doc1");
    EXPECT_TRUE(last->isChecked());

    // Closing the only window returns the main menu.
    ViewOf(doc)->GetParentFrame()->close();
    EXPECT_EQ(m_pMain->GetMenuID(), IDR_TEST_MAIN);
    EXPECT_EQ(m_pMain->windowTitle().toStdString(), "Test Program");
}

TEST_F(FrameworkTest, AcceleratorsOfTheActiveTypeComeFirst) {
    CTestDoc* doc = NewDoc();
    ASSERT_NE(doc, nullptr);
    CTestView* view = ViewOf(doc);
    QTest::keyClick(view, Qt::Key_F5);
    EXPECT_EQ(doc->m_nReloads, 1);
    // Ctrl+S is the type's own command here, not the main table's Save.
    doc->SetModifiedFlag();
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(doc->m_nOwnSaves, 1);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(FrameworkTest, PrintingGoesToPdfAndIntoThePreview) {
    CTestDoc* doc = NewDoc();
    doc->m_lines = {"printed line"};
    CTestView* view = ViewOf(doc);

    std::string pdf = m_config.WorkDir() + "/out.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    ASSERT_TRUE(view->PrintTo(&printer));
    EXPECT_EQ(view->m_nPrints, 1);
    EXPECT_FALSE(view->m_bLastPrintWasPreview);
    EXPECT_GT(view->m_lastPrintRect.width(), 1000); // device pixels of a page
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(pdf, bytes));
    ASSERT_GT(bytes.size(), 500u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");

    int pages = -1;
    WhenModal<QPrintPreviewDialog>([&pages](QPrintPreviewDialog* dialog) {
        auto* preview = dialog->findChild<QPrintPreviewWidget*>();
        if (preview != nullptr) {
            preview->updatePreview();
            pages = preview->pageCount();
        }
        dialog->reject();
    });
    EXPECT_TRUE(m_pMain->SendCommand(ID_FILE_PRINT_PREVIEW));
    EXPECT_EQ(pages, 1);
    EXPECT_GE(view->m_nPrints, 2);
    EXPECT_TRUE(view->m_bLastPrintWasPreview);
}

TEST_F(FrameworkTest, FileNewOffersTheTypesThatHaveANewName) {
    CDocTemplate* other = m_app.AddDocTemplate(
        CMultiDocTemplate::Make<CTestDoc, CMDIChildWnd, CTestView>(IDR_OTHER_DOC));
    WhenModal<QDialog>([](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text().toStdString(), "Test Doc");
        EXPECT_EQ(list->item(1)->text().toStdString(), "Other Thing");
        list->setCurrentRow(1);
        dialog->accept();
    });
    EXPECT_TRUE(m_pMain->SendCommand(ID_FILE_NEW));
    ASSERT_EQ(other->GetDocuments().size(), 1u);
    EXPECT_EQ(other->GetDocuments()[0]->GetTitle(), "Other1");
    EXPECT_TRUE(m_pTemplate->GetDocuments().empty());
}

TEST(MDILayout, CascadeSharesOneSizeFromTheClientAreaAndTileMakesAGrid) {
    // 600 pixels hold eight steps of 25 in their third: every window is 700 x 400.
    const std::vector<QRect> cascade =
        CMDILayout::Cascade(QSize(900, 600), std::vector<QSize>(10, QSize(100, 50)), 25);
    ASSERT_EQ(cascade.size(), 10u);
    EXPECT_EQ(cascade[0], QRect(0, 0, 700, 400));
    EXPECT_EQ(cascade[3], QRect(75, 75, 700, 400));
    EXPECT_EQ(cascade[8], QRect(200, 200, 700, 400));
    EXPECT_EQ(cascade[9], QRect(0, 0, 700, 400)); // the steps begin again
    // A window is never made smaller than its minimum.
    EXPECT_EQ(CMDILayout::Cascade(QSize(900, 600), {QSize(800, 500)}, 25)[0],
              QRect(0, 0, 800, 500));

    // Five windows: two columns, the second taking the odd one.
    const std::vector<QRect> tile =
        CMDILayout::Tile(QSize(800, 600), std::vector<QSize>(5, QSize(0, 0)), true);
    EXPECT_EQ(tile, (std::vector<QRect>{QRect(0, 0, 400, 300), QRect(0, 300, 400, 300),
                                        QRect(400, 0, 400, 200), QRect(400, 200, 400, 200),
                                        QRect(400, 400, 400, 200)}));
    // Three windows side by side, each the full height.
    EXPECT_EQ(CMDILayout::Tile(QSize(800, 600), std::vector<QSize>(3, QSize(0, 0)), false),
              (std::vector<QRect>{QRect(0, 0, 266, 600), QRect(266, 0, 267, 600),
                                  QRect(533, 0, 267, 600)}));
}

TEST_F(FrameworkTest, CascadeAndTileGiveEveryWindowAUsableSize) {
    m_pMain->resize(1000, 760);
    std::vector<CMDIChildWnd*> frames;
    for (int i = 0; i < 4; ++i) {
        CTestDoc* doc = NewDoc();
        ASSERT_NE(doc, nullptr);
        frames.push_back(ViewOf(doc)->GetParentFrame());
    }
    QApplication::processEvents();
    const QSize client = m_pMain->GetMDIClient()->viewport()->size();
    ASSERT_GT(client.height(), 300);
    // One window asks for more height than the common size, one is maximised.
    frames[1]->setMinimumSize(100, client.height() * 9 / 10);
    frames[2]->showMaximized();
    CMDIChildWnd* active = frames[3];
    active->ActivateFrame();

    ASSERT_TRUE(m_pMain->SendCommand(ID_WINDOW_CASCADE));
    const QSize common = frames[0]->size();
    EXPECT_GE(common.height(), client.height() * 2 / 3 - 40);
    EXPECT_GE(common.width(), client.width() - client.height() / 3);
    EXPECT_EQ(frames[2]->size(), common);
    EXPECT_FALSE(frames[2]->isMaximized());
    EXPECT_EQ(frames[3]->size(), common);
    EXPECT_EQ(frames[1]->width(), common.width());
    EXPECT_EQ(frames[1]->height(), client.height() * 9 / 10);
    // Stepped down and right, the active window in front at the last step.
    int step = frames[1]->x() - frames[0]->x();
    EXPECT_GT(step, 10);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i]->pos() - frames[i - 1]->pos(), QPoint(step, step)) << i;
    }
    EXPECT_EQ(m_pMain->MDIGetActive(), active);

    // Tiled, four windows share the area two by two without overlapping.
    frames[1]->setMinimumSize(0, 0);
    ASSERT_TRUE(m_pMain->SendCommand(ID_WINDOW_TILE_HORZ));
    int area = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(QRect(QPoint(0, 0), client).contains(frames[i]->geometry())) << i;
        EXPECT_GE(frames[i]->height(), client.height() / 2 - 1) << i;
        area += frames[i]->width() * frames[i]->height();
        for (std::size_t k = 0; k < i; ++k) {
            EXPECT_FALSE(frames[i]->geometry().intersects(frames[k]->geometry())) << i << k;
        }
    }
    EXPECT_EQ(area, client.width() * client.height());
    EXPECT_EQ(m_pMain->MDIGetActive(), active);
}

} // namespace
