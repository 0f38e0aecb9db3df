#include "WindowFixture.h"

#include <AboutDlg.h>
#include <Resources.h>
#include <SystemMenu.h>
#include <TestDlgTemplate.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

using ChromeTest = WindowFixture;

// Runs `inspect` on whatever modal window `open` brings up, then lets Esc end it.
// Returns whether one came up at all.
bool WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inspect) {
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen = true;
        inspect(modal);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    open();
    QApplication::processEvents();
    return seen;
}

QStringList Texts(const QWidget* window) {
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

// Whether `open` brings up the about box, the window of template IDD_ABOUT (and nothing else).
bool OpensAboutBox(const std::function<void()>& open) {
    bool isAbout = false;
    return WithModal(open,
                     [&](QWidget* w) {
                         isAbout = dynamic_cast<CAboutDlg*>(w) != nullptr &&
                                   w->objectName() == QString::number(IDD_ABOUT);
                     }) &&
           isAbout;
}

TEST_F(ChromeTest, TheSystemMenuCommandWhateverItsLowestFourBitsAndARightClickOpenTheAboutBox) {
    OpenWindow();
    for (unsigned id : {0x0010u, 0x0013u, 0x001Fu})
        EXPECT_TRUE(OpensAboutBox([&] { dlg->OnSysCommand(id); })) << id;
    EXPECT_FALSE(WithModal([&] { dlg->OnSysCommand(0x0020); }, [](QWidget*) {}));

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dlg.get(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* about = menu->actions().back();
    EXPECT_EQ(about->data().toUInt(), IDM_ABOUT);
    EXPECT_TRUE(OpensAboutBox([&] {
        menu->close();
        about->trigger();
    }));
    EXPECT_TRUE(dlg->isVisible());

    dlg->OnSysCommand(SC_CLOSE); // the window manager's own commands work as usual
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(ChromeTest, TheAboutEntryStandsBelowASeparatorOnlyWhenItsStringExists) {
    QMenu menu;
    BuildSystemMenu(menu, LoadString(IDS_ABOUTMENU));
    const QList<QAction*> actions = menu.actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "Inf&o über Kelmora...");
    EXPECT_EQ(actions.back()->data().toUInt(), IDM_ABOUT);

    QMenu without;
    BuildSystemMenu(without, QString());
    for (const QAction* action : without.actions()) {
        EXPECT_FALSE(action->isSeparator());
        EXPECT_NE(action->data().toUInt() & 0xFFF0, IDM_ABOUT);
    }
}

TEST_F(ChromeTest, AboutBoxIsModalOverTheMainWindowAndEndsWithOk) {
    OpenWindow();
    CAboutDlg about(dlg.get());
    EXPECT_EQ(about.windowTitle(), "Info über Kelmora");
    const QStringList texts = Texts(&about);
    EXPECT_TRUE(texts.contains("Kelmora Testprogramm Version 0.1"));
    EXPECT_EQ(texts.size(), 3) << "name, contact and year lines";
    auto* ok = about.findChild<QPushButton*>(QString::number(IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());

    QPoint offset;
    bool modal = false;
    QTimer::singleShot(0, &about, [&] {
        modal = about.isModal() && QApplication::activeModalWidget() == &about;
        offset = about.geometry().center() - dlg->geometry().center();
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    EXPECT_TRUE(modal);
    EXPECT_LE(offset.manhattanLength(), 4) << "centred over the main window";
}

TEST_F(ChromeTest, F1AsksForTheHelpContentsPage) {
    OpenWindow();
    std::vector<unsigned> requests;
    dlg->SetHelpRequest([&](unsigned command) { requests.push_back(command); });
    QTest::keyClick(Control(IDC_COM1), Qt::Key_F1);
    Control(IDC_SEND)->setFocus();
    QTest::keyClick(Control(IDC_SEND), Qt::Key_F1);
    EXPECT_EQ(requests, (std::vector<unsigned>{3, 3}));
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(ChromeTest, TheWindowsIconIsTheApplicationIconWithBothImages) {
    OpenWindow();
    const QList<QSize> sizes = dlg->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

// Both windows have the size their templates give in dialog units of the window font; the
// pictures left in the build folder show a reviewer what they look like. The font is Liberation
// Sans at 8 points, 11 pixels on the offscreen platform's 96 dpi: "A".."Z" and "a".."z" advance
// 333 pixels, so the average character width is (333 / 26 + 1) / 2 = 6 pixels, and a line is 12
// pixels high. A horizontal unit is a quarter of 6 pixels and a vertical one an eighth of 12,
// each product rounded: 417 × 236 units are 626 × 354 pixels, 235 × 55 units 353 × 83.
TEST_F(ChromeTest, BothWindowsTakeTheirSizeInDialogUnitsAndLeaveScreenshots) {
    OpenWindow();
    ASSERT_EQ(QFontInfo(dlg->font()).family(), "Liberation Sans");
    EXPECT_EQ(dlg->size(), QSize(626, 354));
    CAboutDlg about(dlg.get());
    about.show();
    EXPECT_EQ(about.size(), QSize(353, 83));

    const QString dir = QStringLiteral(KELMORA_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    EXPECT_TRUE(dlg->grab().save(dir + "/kelmora-test.png"));
    EXPECT_TRUE(about.grab().save(dir + "/info-ueber-kelmora.png"));
}

} // namespace
