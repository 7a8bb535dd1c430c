#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/shell/HelpWnd.h"
#include "app/shell/Resource.h"
#include "tests/app/ShellTestSupport.h"

#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

class HelpTest : public ShellTestBase {
protected:
    HelpTest() : ShellTestBase(true) {}

    // The manual as the help window shows it, its white space made single blanks.
    static QString ManualText() {
        QFile file(QStringLiteral(":/help/manual.html"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QTextDocument document;
        document.setHtml(QString::fromUtf8(file.readAll()));
        return Simplified(document.toPlainText());
    }
    static QString Simplified(QString text) {
        return text.replace(QChar::LineSeparator, QLatin1Char(' ')).simplified();
    }
    // The parts of a text around its %1, which the manual shows in words.
    static QStringList Fragments(const std::string& strText) {
        QStringList parts;
        for (const QString& part : QString::fromStdString(strText).split(QStringLiteral("%1"))) {
            if (!Simplified(part).isEmpty()) {
                parts << Simplified(part);
            }
        }
        return parts;
    }
    // Every command of a menu, as its text reads without the mnemonic and the key.
    static void MenuTexts(const std::vector<CResources::MenuItem>& items, QStringList& texts) {
        for (const CResources::MenuItem& item : items) {
            if (!item.popup.empty()) {
                MenuTexts(item.popup, texts);
            } else if (!item.bSeparator) {
                QString text =
                    QString::fromStdString(item.strText).section(QLatin1Char('\t'), 0, 0);
                texts << text.remove(QLatin1Char('&'));
            }
        }
    }
};

TEST_F(HelpTest, F1OpensTheManualAtThePageOfTheActiveWindow) {
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    CMDIFrameWnd* main = app->m_pMainWnd;
    ASSERT_NE(main->GetActiveView(), nullptr);
    EXPECT_EQ(CHelpWnd::Find(), nullptr);

    // The layout is active after start-up.
    QTest::keyClick(main->GetActiveView(), Qt::Key_F1);
    CHelpWnd* help = CHelpWnd::Find();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->GetBrowser()->documentTitle().toStdString(),
              "Zarn Network Controller - Operator's Manual");
    const int layout = help->GetBrowser()->verticalScrollBar()->value();
    EXPECT_GT(layout, 0);

    // A curve window: the same help window, at the curve window's page.
    ASSERT_TRUE(app->OpenCurveWindow(nullptr));
    QTest::keyClick(main->GetActiveView(), Qt::Key_F1);
    EXPECT_EQ(CHelpWnd::Find(), help);
    // The curve window's page comes after the layout's and the statistics window's.
    EXPECT_GT(help->GetBrowser()->verticalScrollBar()->value(), layout);
    QTest::keyClick(help->GetBrowser(), Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    EXPECT_EQ(m_messages.Count(), 0u);
}

TEST_F(HelpTest, TheManualExplainsEveryMessageAndEveryCommandOfTheMenus) {
    auto app = MakeApp();
    const QString manual = ManualText();
    ASSERT_TRUE(manual.contains(QStringLiteral("Operator's Manual")));

    std::vector<UINT> messages = {IDP_OLE_INIT_FAILED};
    for (UINT id = 1000; id < 2000; ++id) {
        messages.push_back(id);
    }
    for (UINT id = AFX_IDP_ASK_TO_SAVE; id <= AFX_IDP_PRINT_FAILED; ++id) {
        messages.push_back(id);
    }
    int nFound = 0;
    for (UINT id : messages) {
        if (!CStringTable::Has(id)) {
            continue;
        }
        ++nFound;
        for (const QString& part : Fragments(CStringTable::Load(id))) {
            EXPECT_TRUE(manual.contains(part)) << "message " << id << ": " << part.toStdString();
        }
    }
    EXPECT_GE(nFound, 30);

    QStringList commands;
    for (UINT id = 100; id < 1000; ++id) {
        if (const CResources::Menu* menu = CResources::FindMenu(id)) {
            MenuTexts(*menu, commands);
        }
    }
    ASSERT_GE(commands.size(), 60);
    for (const QString& command : commands) {
        EXPECT_TRUE(manual.contains(command)) << command.toStdString();
    }
}

} // namespace
