// The main window: what a user sees at start, the resize rule, the remote
// configuration, the clipboard, Feel Lucky and the donation menu.
#include "support/window_fixture.h"

#include "build_config.h"
#include "discovery/related_videos.h"
#include "results/result_list_view.h"
#include "results/result_model.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <utility>

namespace {

const QString kCaption = QStringLiteral(CLIPVANE_CAPTION);

QStringList actionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

TEST_F(WindowTest, StartsAsTheUserExpectsIt) {
    TForm1& w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Clipvane %1 - Expand Your YouTube Experience")
                                   .arg(QStringLiteral(CLIPVANE_VERSION)));
    EXPECT_EQ(w.size(), QSize(850, 589));
    EXPECT_EQ(w.cbb2->count(), 3);
    EXPECT_EQ(w.cbb2->itemText(0), "1");
    EXPECT_EQ(w.cbb2->itemText(2), "3");
    EXPECT_EQ(w.cbb2->currentText(), "2");
    EXPECT_FALSE(w.cbb2->isEditable());
    EXPECT_TRUE(w.edt1->isEditable());
    EXPECT_FALSE(w.Label2->isVisible());
    EXPECT_EQ(w.btn5->text(), "Dig");
    EXPECT_EQ(w.bsSkinButton3->text(), "Feel Lucky");
    EXPECT_EQ(w.bsSkinButton1->text(), "Stop");
    EXPECT_EQ(w.btn1->text(), "Make A Donation");
    EXPECT_EQ(w.lucky, 0);
    EXPECT_FALSE(w.bsort);
    EXPECT_EQ(w.nSortCol, 0);

    const QStringList captions = {"#", "Title", "Video Length", "View Counts"};
    const int widths[] = {140, 350, 100, 300};  // no "/v.0" here: the sponsor panel is hidden
    ASSERT_EQ(w.lv1Items->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(w.lv1Items->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                  captions[c]);
        EXPECT_EQ(w.lv1->columnWidth(c), widths[c]) << c;
    }
    EXPECT_EQ(w.lv1->iconSize(), QSize(120, 120));
    EXPECT_EQ(actionTexts(w.bsm1), QStringList({"Watch This Online", "Dig This!", "-",
                                                "Sort by Title", "Sort by Video Length",
                                                "Sort by View Counts", "-", "Save List As\u2026"}));
    EXPECT_EQ(actionTexts(w.bsknpmn1),
              QStringList({"Simple Donation - $2", "Basic Donation - $5", "Sliver Donation - $10",
                           "Gold Donation - $20", "Platinum Donation - $30"}));

    QWidget* expected[] = {
        w.edt1, w.btn5, w.cbb2, w.bsSkinButton1, w.btn1, w.bsSkinButton3, w.WebBrowser1->widget(),
        w.lv1};
    for (size_t i = 0; i + 1 < std::size(expected); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next != expected[i + 1] &&
               (next->focusPolicy() == Qt::NoFocus || expected[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
    // The social pane is loaded once, when the window is shown.
    EXPECT_EQ(platform.panes.at(0)->navigations,
              QStringList({QStringLiteral("http://%1/facebook.php").arg(site.host())}));
}

TEST_F(WindowTest, TheInputRowFollowsTheWidthOfTheWindow) {
    TForm1& w = open();
    for (QSize size : {QSize(850, 589), QSize(1200, 700), QSize(600, 400)}) {
        w.resize(size);
        QApplication::processEvents();
        EXPECT_EQ(w.GroupBox2->width(), w.pnl1->width() - 2) << size.width();
        EXPECT_EQ(w.pnl1->width(), w.width() - 2);
        EXPECT_EQ(w.btn5->geometry(), QRect(400, 34, 81, 25));
    }
    w.showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(w.GroupBox2->width(), w.pnl1->width() - 2);
}

TEST_F(WindowTest, TheInputRowHasTheLayoutsGeometry) {
    TForm1& w = open();
    const std::pair<QWidget*, QRect> rows[] = {
        {w.edt1, {8, 40, 273, 19}},    {w.bsSkinButton3, {300, 34, 81, 25}},
        {w.btn5, {400, 34, 81, 25}},   {w.bsSkinButton1, {503, 34, 81, 25}},
        {w.btn1, {606, 34, 91, 25}},   {w.WebBrowser1->widget(), {710, 25, 110, 50}},
        {w.Label1, {8, 64, 99, 13}},   {w.cbb2, {128, 64, 81, 17}},
        {w.Label2, {232, 64, 65, 13}},
    };
    for (const auto& [widget, rect] : rows)
        EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
}

// Measured with the fonts the window really got: a caption wider than its control is clipped.
TEST_F(WindowTest, EveryCaptionFitsItsControl) {
    TForm1& w = open();
    auto fits = [](const QFont& font, const QString& text, const QRect& room, const QString& who) {
        const QFontMetrics metrics(font);
        EXPECT_LE(metrics.horizontalAdvance(text), room.width())
            << who.toStdString() << ": \"" << text.toStdString() << "\" in "
            << font.family().toStdString() << " " << font.pixelSize() << "px";
        EXPECT_LE(metrics.height(), room.height()) << who.toStdString();
    };
    for (QPushButton* button : {w.bsSkinButton3, w.btn5, w.bsSkinButton1, w.btn1}) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        fits(button->font(), button->text(),
             button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button),
             button->objectName());
    }
    for (QLabel* label : {w.Label1, w.Label2, w.Panel5})
        fits(label->font(), label->text(), label->contentsRect(), label->objectName());
    fits(w.GroupBox2->font(), w.GroupBox2->title(), w.GroupBox2->rect(), w.GroupBox2->objectName());

    QStyleOptionComboBox comboOption;
    comboOption.initFrom(w.cbb2);
    const QRect field = w.cbb2->style()->subControlRect(QStyle::CC_ComboBox, &comboOption,
                                                        QStyle::SC_ComboBoxEditField, w.cbb2);
    for (int i = 0; i < w.cbb2->count(); ++i)
        fits(w.cbb2->font(), w.cbb2->itemText(i), field, w.cbb2->objectName());

    for (QMenu* menu : {w.bsm1, w.bsknpmn1}) {
        menu->ensurePolished();
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                fits(menu->font(), action->text(), menu->actionGeometry(action),
                     action->objectName());
        }
    }
}

TEST_F(WindowTest, LuckyIsZeroWheneverTheWindowIsShown) {
    TForm1& w = open();
    w.lucky = 6;
    w.hide();
    w.show();
    EXPECT_EQ(w.lucky, 0);
}

// ---- remote configuration ----

struct ConfigCase {
    const char* name;
    QByteArray file;  // served as "/v.0"; empty: no such page (404)
    bool patternReplaced;
    bool asked;
    bool sponsorShown;
};

class RemoteConfigTest : public WindowTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(RemoteConfigTest, AppliesTheOutcomeTable) {
    const ConfigCase& c = GetParam();
    if (!c.file.isEmpty())
        site.setPage("/v.0", c.file);
    TForm1& w = open();
    EXPECT_EQ(w.regx, c.patternReplaced ? QStringLiteral("line-two") : builtInRelatedPattern());
    EXPECT_EQ(platform.confirmations.size(), c.asked ? 1 : 0);
    EXPECT_EQ(w.Panel4->isVisible(), c.sponsorShown);
    EXPECT_EQ(w.lv1->columnWidth(3), c.sponsorShown ? 100 : 300);
    EXPECT_TRUE(platform.opened.isEmpty());  // the dialog was cancelled
    EXPECT_TRUE(platform.errors.isEmpty());
}

const QByteArray kCaptionBytes = kCaption.toUtf8();

QByteArray utf16le(const QString& text) {
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RemoteConfigTest,
    ::testing::Values(
        ConfigCase{"NoFile", "", false, false, false},
        ConfigCase{"OneLongLine", QByteArray(5000, 'x'), false, false, false},
        ConfigCase{"TwoLines", kCaptionBytes + "\r\nline-two", true, false, false},
        ConfigCase{"TwoLinesEnded", kCaptionBytes + "\r\nline-two\r\n", true, false, false},
        ConfigCase{"TwoLinesAndAnEmptyThird", kCaptionBytes + "\r\nline-two\r\n\r\n", true, false,
                   true},
        ConfigCase{"ThreeLinesCurrent", kCaptionBytes + "\nline-two\nsponsor\n", true, false, true},
        ConfigCase{"ThreeLinesLoneCR", kCaptionBytes + "\rline-two\rsponsor", true, false, true},
        ConfigCase{"CaptionInOtherCase", kCaption.toLower().toUtf8() + "\nline-two\nx", true, true,
                   true},
        ConfigCase{"CaptionWithTrailingBlank", kCaptionBytes + " \nline-two\nx", true, true, true},
        ConfigCase{"Utf8Bom", "\xEF\xBB\xBF" + kCaptionBytes + "\nline-two\nx", true, false, true},
        ConfigCase{"Utf16LeBom", QByteArray("\xFF\xFE", 2) + utf16le(kCaption + "\nline-two\nx"),
                   true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, OkOnTheOutdatedDialogOpensTheVendorSite) {
    site.setPage("/v.0", "Clipvane 3.0\nline-two\nx\n");
    platform.confirmAnswer = true;
    open();
    EXPECT_EQ(platform.confirmations,
              QStringList({"The current version is outdated\r\nDo you want to "
                           "Download the newest "
                           "version on our website right now?"}));
    EXPECT_EQ(platform.opened, QStringList({QStringLiteral("http://%1/").arg(site.host())}));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowTest, AScratchFolderThatCannotBeWrittenIsReportedAndTheWindowStillWorks) {
    platform.folder = QStringLiteral("/nonexistent-clipvane-folder/");
    TForm1& w = open();
    ASSERT_EQ(platform.errors.size(), 1);
    EXPECT_TRUE(
        platform.errors[0].startsWith("Cannot create file \"/nonexistent-clipvane-folder/v.0\". "));
    EXPECT_TRUE(w.regx.isEmpty());
    EXPECT_TRUE(w.Panel4->isVisible());
    EXPECT_TRUE(w.btn5->isEnabled());
}

// ---- clipboard ----

TEST_F(WindowTest, ClipboardVideoAddressesFillTheInputBox) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("look: http://www.example.com/watch?v=early&feature=related");
    TForm1& w = open();
    EXPECT_EQ(w.edt1->currentText(),
              watchAddress("early"));  // already there at start-up

    struct Case {
        const char* text;
        const char* expectedId;  // nullptr: box unchanged
    } cases[] = {
        {"http://www.example.com/watch?v=abc123&feature=related", "abc123"},
        {"http://youtu.be/short1", "short1"},
        {"plain words", nullptr},
    };
    for (const Case& c : cases) {
        w.edt1->setEditText("typing");
        clipboard->setText(QString::fromUtf8(c.text));
        QApplication::processEvents();
        EXPECT_EQ(w.edt1->currentText(),
                  c.expectedId ? watchAddress(c.expectedId) : QStringLiteral("typing"))
            << c.text;
    }
    w.edt1->setEditText("typing");
    QImage picture(4, 4, QImage::Format_RGB32);
    clipboard->setImage(picture);
    QApplication::processEvents();
    EXPECT_EQ(w.edt1->currentText(), "typing");
    clipboard->clear();
}

// ---- Feel Lucky ----

TEST_F(WindowTest, FeelLuckyPicksEveryOtherReferenceAndDigsIt) {
    site.setPage("/",
                 "<a href=\"/watch?v=r1\"><a href=\"/watch?v=r2\">"
                 "<a href=\"/watch?v=r3&list=x\"><a href=\"/watch?v=r4\">");
    site.setRelated("r1", {"k1"});
    site.setRelated("r3", {"k3"});
    TForm1& w = open();
    w.cbb2->setCurrentText("1");
    const QString prefix = QStringLiteral("http://%1/watch?v=").arg(site.host());

    w.bsSkinButton3Click(w.bsSkinButton3);
    EXPECT_EQ(w.edt1->currentText(), prefix + "r1");
    EXPECT_EQ(listedIds(), QStringList({"k1"}));
    EXPECT_EQ(w.lucky, 2);

    w.bsSkinButton3Click(w.bsSkinButton3);
    EXPECT_EQ(w.edt1->currentText(), prefix + "r3&list=x");
    EXPECT_EQ(listedIds(), QStringList({"k3"}));

    w.bsSkinButton3Click(w.bsSkinButton3);  // only four references: the last one
    EXPECT_EQ(w.edt1->currentText(), prefix + "r4");
    EXPECT_EQ(w.lucky, 6);
    EXPECT_TRUE(w.btn5->isEnabled() && w.bsSkinButton3->isEnabled());

    site.fail("/");
    w.bsSkinButton3Click(w.bsSkinButton3);
    EXPECT_EQ(platform.messages, QStringList({"Download error, please check your internet "
                                              "connection and retry"}));
    EXPECT_EQ(w.lucky, 6);
    EXPECT_TRUE(w.btn5->isEnabled() && w.bsSkinButton3->isEnabled());
}

TEST_F(WindowTest, FeelLuckyWithoutReferencesDoesNothing) {
    site.setPage("/", "<html>no videos today</html>");
    TForm1& w = open();
    w.edt1->setEditText("kept");
    w.bsSkinButton3Click(w.bsSkinButton3);
    EXPECT_EQ(w.edt1->currentText(), "kept");
    EXPECT_EQ(w.lucky, 0);
    EXPECT_TRUE(platform.messages.isEmpty());
    EXPECT_TRUE(w.btn5->isEnabled() && w.bsSkinButton3->isEnabled());
}

TEST_F(WindowTest, FeelLuckyTakesAHomePageWithOneInvalidByteAsEmpty) {
    site.setPage("/", "<a href=\"/watch?v=r1\">caf\xe9</a><a href=\"/watch?v=r2\">");
    site.setRelated("r1", {"k1"});
    TForm1& w = open();
    w.edt1->setEditText("kept");
    site.clearRequests();
    w.bsSkinButton3Click(w.bsSkinButton3);
    EXPECT_EQ(w.edt1->currentText(), "kept");
    EXPECT_EQ(w.lucky, 0);
    EXPECT_TRUE(watchRequests().isEmpty());
    EXPECT_TRUE(platform.messages.isEmpty());
    EXPECT_TRUE(w.btn5->isEnabled() && w.bsSkinButton3->isEnabled());
}

// ---- donation menu ----

TEST_F(WindowTest, DonationItemsOpenTheirPaymentPages) {
    TForm1& w = open();
    w.btn1Click(w.btn1);
    EXPECT_TRUE(w.bsknpmn1->isVisible());
    w.bsknpmn1->hide();
    w.bsknpmn1->actions().at(3)->trigger();  // "Gold Donation - $20"
    ASSERT_EQ(platform.opened.size(), 1);
    EXPECT_TRUE(platform.opened[0].startsWith("https://pay.example/cgi-bin/webscr?cmd=_xclick&"));
    EXPECT_TRUE(platform.opened[0].contains("&amount=20&"));
}

// ---- sponsor pane hand-off ----

TEST_F(WindowTest, SponsorLinksWithTidGoToTheBrowserOnlyWhenTheyAreWebAddresses) {
    TForm1& w = open();
    RecordingPane* sponsor = platform.panes.at(1);
    ASSERT_TRUE(sponsor->handler);
    EXPECT_FALSE(sponsor->handler("http://ads.example/go?tid=7"));
    EXPECT_TRUE(sponsor->handler("http://ads.example/go?TID=7"));
    EXPECT_FALSE(sponsor->handler("file:///etc/passwd?tid=1"));
    EXPECT_EQ(platform.opened, QStringList({"http://ads.example/go?tid=7"}));
    QApplication::processEvents();
    EXPECT_EQ(sponsor->stops, 2);
    (void)w;
}

TEST_F(WindowTest, NewWindowsOfBothPanesOpenInTheBrowserAfterTheHandOffRule) {
    TForm1& w = open();
    RecordingPane* social = platform.panes.at(0);
    RecordingPane* sponsor = platform.panes.at(1);
    ASSERT_TRUE(social->newWindowHandler && sponsor->newWindowHandler);
    const struct {
        RecordingPane* pane;
        const char* url;
        bool opened;
        int sponsorStops;  // the hand-off rule stops the sponsor pane
    } cases[] = {
        {sponsor, "http://ads.example/go?tid=7", true, 1},
        {sponsor, "http://ads.example/plain", true, 0},
        {sponsor, "javascript:alert(1)", false, 0},
        {sponsor, "file:///etc/passwd?tid=1", false, 1},
        {social, "https://social.example/share?tid=3", true, 0},
        {social, "file:///etc/passwd", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        platform.opened.clear();
        const int stops = sponsor->stops;
        c.pane->newWindowHandler(QString::fromLatin1(c.url));
        QApplication::processEvents();
        EXPECT_EQ(platform.opened,
                  c.opened ? QStringList{QString::fromLatin1(c.url)} : QStringList());
        EXPECT_EQ(sponsor->stops - stops, c.sponsorStops);
        // A new window never loads anything inside the panes.
        EXPECT_TRUE(social->navigations.size() <= 1 && sponsor->navigations.isEmpty());
    }
    (void)w;
}

}  // namespace
