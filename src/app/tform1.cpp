#include "app/tform1.h"

#include "app/application.h"
#include "app/input_gate.h"
#include "app/remote_config.h"
#include "app/resize_panel.h"
#include "base/errors.h"
#include "discovery/dig_engine.h"
#include "discovery/feel_lucky.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "discovery/video_ref.h"
#include "net/fetch_limits.h"
#include "net/scratch_file.h"
#include "panes/donation.h"
#include "panes/right_button_filter.h"
#include "panes/sponsor_links.h"
#include "panes/web_pane.h"
#include "results/dig_export.h"
#include "results/ordering.h"
#include "results/result_list_view.h"
#include "results/result_model.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

namespace {

// While a dig runs: the shortest time between two paints of the window while a fetch waits for
// the network, and elsewhere.
constexpr qint64 kWaitFramePeriodMs = 33;
constexpr qint64 kFramePeriodMs = 100;

const QString kCaption = QString::fromUtf8(kReleaseCaption);
const QString kDownloadError =
    QStringLiteral("Download error, please check your internet connection and retry");
const QString kWrongAddress = QStringLiteral("Please make sure you type correct Youtube URL.");

QFrame* raisedPanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

// Docked children sit inside the parent's frame (a QFrame's contents rectangle
// excludes it).
QBoxLayout* dock(QBoxLayout::Direction direction, QWidget* parent) {
    auto* layout = new QBoxLayout(direction, parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// The list draws its own scroll bars through these two skinned bars, which
// follow its inner ones.
void attachScrollBar(QScrollBar* outer, QScrollBar* inner, bool hideWhenIdle) {
    outer->setFocusPolicy(Qt::NoFocus);
    QObject::connect(inner, &QAbstractSlider::rangeChanged, outer,
                     [outer, inner, hideWhenIdle](int min, int max) {
                         outer->setRange(min, max);
                         outer->setPageStep(inner->pageStep());
                         outer->setSingleStep(inner->singleStep());
                         if (hideWhenIdle)
                             outer->setVisible(max > min);
                     });
    QObject::connect(inner, &QAbstractSlider::valueChanged, outer, &QAbstractSlider::setValue);
    QObject::connect(outer, &QAbstractSlider::valueChanged, inner, &QAbstractSlider::setValue);
}

// The most a download into each scratch file may bring.
qint64 bodyLimitFor(const QString& scratchName) {
    if (scratchName == QLatin1String("default.0"))
        return kThumbnailBodyLimit;
    if (scratchName == QLatin1String("v.0"))
        return kConfigBodyLimit;
    return kPageBodyLimit;
}

// Keeps "Dig" and "Feel Lucky" disabled for the life of a command and enables
// both again on every way out, errors included.
class BusyState {
  public:
    BusyState(QPushButton* dig, QPushButton* lucky) : dig_(dig), lucky_(lucky) {
        lucky_->setEnabled(false);
        dig_->setEnabled(false);
    }
    ~BusyState() {
        dig_->setEnabled(true);
        lucky_->setEnabled(true);
    }

  private:
    QPushButton* dig_;
    QPushButton* lucky_;
};

}  // namespace

TForm1::TForm1(SiteConfig site, Platform& platform, QWidget* parent)
    : QWidget(parent), site_(std::move(site)), platform_(platform) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    buildLayout();
    buildMenus();
    wireHandlers();
    // While a fetch waits, the window paints and "Stop" and a close request act; any other input
    // waits for the dig's next row.
    inputGate_ = std::make_unique<InputGate>(this, bsSkinButton1);
    idhtp1.setIdleHook([this] {
        const QScopedValueRollback<bool> waiting(inFetchWait_, true);
        // A paint put off earlier is best done now, while the network keeps us waiting anyway.
        if (repaintPending_ && msSinceLastPaint() >= kWaitFramePeriodMs)
            repaintNow();
        inputGate_->processEvents();
    });
    FormCreate(this);
}

TForm1::~TForm1() {
    if (ApplicationEvents1)
        qApp->removeEventFilter(ApplicationEvents1);
    FormDestroy(this);
    // The line edit's own teardown still reaches the filter, when edt1 is no longer a combo box.
    edt1->lineEdit()->removeEventFilter(this);
    // The controls go first: the list still paints from ImageList1 while it is being torn down.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void TForm1::buildLayout() {
    // The layout was measured in 8-point Tahoma (the controls) and MS Sans Serif (the labels).
    // Liberation Sans (Arial's metrics; Debian's desktops have it, the package requires it) fits
    // every caption at that geometry: at 11 pixels for the controls, and at 10 pixels for the
    // labels, whose widths were taken from the narrower MS Sans Serif.
    QFont controlFont(QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                  QStringLiteral("DejaVu Sans")});
    controlFont.setPixelSize(11);
    setFont(controlFont);
    QFont labelFont = controlFont;
    labelFont.setPixelSize(10);
    resize(850, 589);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto* outer = dock(QBoxLayout::TopToBottom, this);
    Panel3 = new ResizePanel(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel3->setLineWidth(1);
    outer->addWidget(Panel3);
    auto* panel3Layout = dock(QBoxLayout::TopToBottom, Panel3);

    pnl1 = new QWidget(Panel3);
    pnl1->setObjectName(QStringLiteral("pnl1"));
    pnl1->setFixedHeight(105);
    panel3Layout->addWidget(pnl1);

    GroupBox2 = new QGroupBox(QStringLiteral("Copy/paste YouTube video URL, select "
                                             "explorer depth level, then click Dig "
                                             "button. Or just click Feel Lucky button."),
                              pnl1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setFlat(true);
    GroupBox2->setGeometry(0, 10, 848, 89);

    edt1 = new QComboBox(GroupBox2);
    edt1->setObjectName(QStringLiteral("edt1"));
    edt1->setEditable(true);
    edt1->setInsertPolicy(QComboBox::NoInsert);
    edt1->setMaxVisibleItems(8);
    edt1->setGeometry(8, 40, 273, 19);
    edt1->lineEdit()->installEventFilter(this);  // for presses: edt1Click

    auto button = [this](const char* name, const QString& caption, int left, int width) {
        auto* b = new QPushButton(caption, GroupBox2);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 34, width, 25);
        return b;
    };
    bsSkinButton3 = button("bsSkinButton3", QStringLiteral("Feel Lucky"), 300, 81);
    btn5 = button("btn5", QStringLiteral("Dig"), 400, 81);
    bsSkinButton1 = button("bsSkinButton1", QStringLiteral("Stop"), 503, 81);
    btn1 = button("btn1", QStringLiteral("Make A Donation"), 606, 91);
    btn5->setDefault(false);

    WebBrowser1 = platform_.createWebPane(GroupBox2);
    WebBrowser1->widget()->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->widget()->setGeometry(710, 25, 110, 50);

    Label1 = new QLabel(QStringLiteral("Explorer Depth Level"), GroupBox2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(labelFont);
    Label1->setGeometry(8, 64, 99, 13);

    cbb2 = new QComboBox(GroupBox2);
    cbb2->setObjectName(QStringLiteral("cbb2"));
    cbb2->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    cbb2->setCurrentIndex(1);
    cbb2->setGeometry(128, 64, 81, 17);

    Label2 = new QLabel(QStringLiteral("Videos Found"), GroupBox2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(labelFont);
    Label2->setGeometry(232, 64, 65, 13);
    // The count changes many times a second during a dig: the label paints its own background
    // so that the group box behind it need not be painted again each time.
    Label2->setAutoFillBackground(true);
    Label2->hide();

    Panel1 = raisedPanel(Panel3, "Panel1");
    panel3Layout->addWidget(Panel1, 1);
    bsSkinScrollBar1 = new QScrollBar(Qt::Horizontal, Panel3);
    bsSkinScrollBar1->setObjectName(QStringLiteral("bsSkinScrollBar1"));
    bsSkinScrollBar1->setFixedHeight(19);
    panel3Layout->addWidget(bsSkinScrollBar1);

    auto* panel1Layout = dock(QBoxLayout::LeftToRight, Panel1);
    Panel2 = raisedPanel(Panel1, "Panel2");
    panel1Layout->addWidget(Panel2, 1);
    Panel4 = raisedPanel(Panel1, "Panel4");
    Panel4->setFixedWidth(169);
    panel1Layout->addWidget(Panel4);

    auto* panel2Layout = dock(QBoxLayout::LeftToRight, Panel2);
    lv1 = new ResultListView(Panel2);
    lv1->setObjectName(QStringLiteral("lv1"));
    lv1Items = new ResultModel(&ImageList1, lv1);
    lv1->setModel(lv1Items);
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setSelectionMode(QAbstractItemView::SingleSelection);
    lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv1->setIconSize(QSize(ImageList1.width(), ImageList1.height()));
    lv1->setToolTip(QStringLiteral("Double click to watch video."));
    lv1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lv1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lv1->setContextMenuPolicy(Qt::NoContextMenu);
    QFont listFont(QStringList{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    listFont.setPixelSize(13);
    lv1->setFont(listFont);
    lv1->header()->setSectionsClickable(true);
    lv1->header()->setSectionsMovable(false);
    lv1->header()->setStretchLastSection(false);
    const int widths[] = {140, 350, 100, 100};
    for (int column = 0; column < 4; ++column)
        lv1->setColumnWidth(column, widths[column]);
    panel2Layout->addWidget(lv1, 1);
    bsSkinScrollBar2 = new QScrollBar(Qt::Vertical, Panel2);
    bsSkinScrollBar2->setObjectName(QStringLiteral("bsSkinScrollBar2"));
    bsSkinScrollBar2->setFixedWidth(19);
    bsSkinScrollBar2->hide();
    panel2Layout->addWidget(bsSkinScrollBar2);
    attachScrollBar(bsSkinScrollBar1, lv1->horizontalScrollBar(), false);
    attachScrollBar(bsSkinScrollBar2, lv1->verticalScrollBar(), true);

    auto* panel4Layout = dock(QBoxLayout::TopToBottom, Panel4);
    Panel5 = new QLabel(QStringLiteral("Sponsor"), Panel4);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel5->setAlignment(Qt::AlignCenter);
    Panel5->setFixedHeight(24);
    panel4Layout->addWidget(Panel5);
    WebBrowser2 = platform_.createWebPane(Panel4);
    WebBrowser2->widget()->setObjectName(QStringLiteral("WebBrowser2"));
    panel4Layout->addWidget(WebBrowser2->widget(), 1);

    QWidget* order[] = {edt1,
                        btn5,
                        cbb2,
                        bsSkinButton1,
                        btn1,
                        bsSkinButton3,
                        WebBrowser1->widget(),
                        lv1,
                        WebBrowser2->widget()};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TForm1::buildMenus() {
    // Popup menus are windows of their own and do not take the window's font.
    bsm1 = new QMenu(this);
    bsm1->setObjectName(QStringLiteral("bsm1"));
    bsm1->setFont(font());
    auto item = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    WatchThisOnline1 = item(bsm1, "WatchThisOnline1", QStringLiteral("Watch This Online"));
    DigThis1 = item(bsm1, "DigThis1", QStringLiteral("Dig This!"));
    bsm1->addSeparator()->setObjectName(QStringLiteral("N1"));
    SortbyTitle1 = item(bsm1, "SortbyTitle1", QStringLiteral("Sort by Title"));
    SortbyVideoLength1 = item(bsm1, "SortbyVideoLength1", QStringLiteral("Sort by Video Length"));
    SortbyViewCounts1 = item(bsm1, "SortbyViewCounts1", QStringLiteral("Sort by View Counts"));
    bsm1->addSeparator()->setObjectName(QStringLiteral("N2"));
    SaveListAs1 = item(bsm1, "SaveListAs1", QStringLiteral("Save List As\u2026"));
    // The item shows the key and answers it while the menu is open; the window's own shortcut
    // serves the rest of the time.
    SaveListAs1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveListAs1->setShortcutContext(Qt::WidgetShortcut);
    SaveListAsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    SaveListAsKey->setObjectName(QStringLiteral("SaveListAsKey"));

    bsknpmn1 = new QMenu(this);
    bsknpmn1->setObjectName(QStringLiteral("bsknpmn1"));
    bsknpmn1->setFont(font());
    for (const DonationItem& donation : kDonationItems) {
        QAction* action = item(bsknpmn1, donation.objectName, QString::fromUtf8(donation.caption));
        const int amount = donation.amount;
        connect(action, &QAction::triggered, this,
                [this, amount] { guarded([&] { donate(amount); }); });
    }
}

void TForm1::wireHandlers() {
    auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this,
                [this, handler, sender] { guarded([&] { (this->*handler)(sender); }); });
    };
    on(btn5, &QPushButton::clicked, &TForm1::btn5Click);
    on(bsSkinButton1, &QPushButton::clicked, &TForm1::bsSkinButton1Click);
    on(bsSkinButton3, &QPushButton::clicked, &TForm1::bsSkinButton3Click);
    on(btn1, &QPushButton::clicked, &TForm1::btn1Click);
    on(WatchThisOnline1, &QAction::triggered, &TForm1::WatchThisOnline1Click);
    on(DigThis1, &QAction::triggered, &TForm1::DigThis1Click);
    on(SortbyTitle1, &QAction::triggered, &TForm1::SortbyTitle1Click);
    on(SortbyVideoLength1, &QAction::triggered, &TForm1::SortbyVideoLength1Click);
    on(SortbyViewCounts1, &QAction::triggered, &TForm1::SortbyViewCounts1Click);
    on(SaveListAs1, &QAction::triggered, &TForm1::SaveListAs1Click);
    on(SaveListAsKey, &QShortcut::activated, &TForm1::SaveListAs1Click);
    connect(bsm1, &QMenu::aboutToShow, this,
            [this] { SaveListAs1->setEnabled(!digging_ && lv1Items->count() > 0); });
    on(lv1, &ResultListView::doubleClickedAnywhere, &TForm1::lv1DblClick);
    // Key events reach the combo box and its line edit along several paths; the line edit's
    // notice of Return and Enter comes once per key.
    connect(edt1->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { guarded([&] { edt1KeyDown(edt1, Qt::Key_Return); }); });
    connect(Panel3, &ResizePanel::resized, this,
            [this] { guarded([&] { Panel3Resize(Panel3); }); });
    connect(lv1->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([&] { lv1ColumnClick(lv1, column); }); });
    connect(lv1, &ResultListView::mousePressed, this,
            [this](Qt::MouseButton button, const QPoint& pos) {
                guarded([&] { lv1MouseDown(button, pos); });
            });
    WebBrowser2->setNavigationHandler([this](const QString& url) {
        bool accept = true;
        guarded([&] { accept = WebBrowser2BeforeNavigate2(url); });
        return accept;
    });
    WebBrowser1->setNewWindowHandler(
        [this](const QString& url) { guarded([&] { WebBrowser1NewWindow2(url); }); });
    WebBrowser2->setNewWindowHandler(
        [this](const QString& url) { guarded([&] { WebBrowser2NewWindow2(url); }); });
    ApplicationEvents1 = new RightButtonFilter(this);
    ApplicationEvents1->addPane(WebBrowser1->widget());
    ApplicationEvents1->addPane(WebBrowser2->widget());
    qApp->installEventFilter(ApplicationEvents1);
}

void TForm1::guarded(const std::function<void()>& body) {
    runGuarded(
        [&] {
            try {
                body();
            } catch (const FetchAborted&) {
                // "Stop" or a close request broke a fetch off: the command just ends.
            }
        },
        [this](const QString& text) { platform_.reportError(text); });
}

// ---- window life ----

void TForm1::FormCreate(QObject*) {
    // An error here skips the remaining steps; the window still opens and works.
    guarded([&] {
        // Linux has no clipboard viewer chain: Qt's change notice stands in for it,
        // and the first notice is given by hand so an address already on the
        // clipboard fills the input box.
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
                [this] { guarded([&] { WMDrawClipBoard(); }); });
        NextClipHwnd = 0;
        WMDrawClipBoard();
        RegExpr = std::make_unique<TPerlRegEx>();
        applyRemoteConfiguration();
    });
}

void TForm1::applyRemoteConfiguration() {
    {
        ScratchFile file(platform_.scratchFolder(), QStringLiteral("v.0"));
        try {
            idhtp1.Get(site_.vendorAddress(QStringLiteral("/v.0")), file, kConfigBodyLimit);
        } catch (const FetchError&) {
            // No remote configuration: the built-in settings stand.
        }
        file.close();
    }
    regx = builtInRelatedPattern();
    const RemoteConfigOutcome outcome = evaluateRemoteConfig(
        readConfigLines(readScratch(QStringLiteral("v.0"))), windowTitle(), regx);
    regx = outcome.regx;
    if (outcome.versionCheck && outcome.outdated &&
        platform_.confirm(QString::fromUtf8(kOutdatedVersionQuestion)))
        platform_.openUrl(site_.vendorAddress(QStringLiteral("/")));
    if (!outcome.keepSponsor) {
        Panel4->setFixedWidth(0);
        Panel4->setVisible(false);
        lv1->setColumnWidth(3, 300);
    }
}

void TForm1::FormShow(QObject*) {
    lucky = 0;
    WebBrowser1->navigate(site_.vendorAddress(QStringLiteral("/facebook.php")));
}

void TForm1::FormClose(QObject*) {
    // Leaving the clipboard watch is the counterpart of leaving the viewer chain.
    disconnect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, nullptr);
    // A running dig would otherwise keep filling a window the user has closed.
    if (digging_)
        stopflag = true;
    // Nor may a fetch that waits for the network keep it.
    idhtp1.requestAbort();
}

void TForm1::FormDestroy(QObject*) {
    RegExpr.reset();
}

void TForm1::Panel3Resize(QObject*) {
    GroupBox2->resize(pnl1->width() - 2, GroupBox2->height());
}

bool TForm1::event(QEvent* event) {
    // A dig lists rows faster than anybody reads them and lets events through after each one;
    // painting the window for every row would cost more than the rest of the dig. While a dig
    // runs, the window is painted preferably while a fetch waits for the network, where the
    // time is free, at most every kWaitFramePeriodMs; elsewhere at most every kFramePeriodMs. A
    // deferred repaint request is sent again when its period is over, and the paint then
    // covers everything that changed meanwhile.
    if (event->type() == QEvent::UpdateRequest) {
        const qint64 since = msSinceLastPaint();
        const qint64 period = inFetchWait_ ? kWaitFramePeriodMs : kFramePeriodMs;
        if (digging_ && since < period) {
            if (!repaintPending_) {
                repaintPending_ = true;
                QTimer::singleShot(int(std::max<qint64>(1, period - since)), this,
                                   [this] { repaintNow(); });
            }
            return true;
        }
        lastPaintMs_ = frameClock_.elapsed();
    }
    return QWidget::event(event);
}

qint64 TForm1::msSinceLastPaint() {
    if (!frameClock_.isValid())
        frameClock_.start();
    return frameClock_.elapsed() - lastPaintMs_;
}

void TForm1::repaintNow() {
    repaintPending_ = false;
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { FormShow(this); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    guarded([&] { FormClose(this); });
    QWidget::closeEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edt1->lineEdit()) {
        if (event->type() == QEvent::MouseButtonPress)
            guarded([&] { edt1Click(edt1); });
    }
    return QWidget::eventFilter(watched, event);
}

// ---- downloads ----

DigFetcher::Outcome TForm1::download(const QString& url, const QString& scratchName,
                                     QByteArray* body) {
    {
        ScratchFile file(platform_.scratchFolder(), scratchName);
        if (body)
            file.keepCopy();
        try {
            idhtp1.Get(url, file, bodyLimitFor(scratchName));
        } catch (const FetchAborted&) {
            return DigFetcher::Outcome::Aborted;
        } catch (const FetchError&) {
            return DigFetcher::Outcome::Failed;
        }
        file.close();
        // The file holds the same bytes; reading them back would only cost time.
        if (body)
            *body = file.copy();
    }
    return DigFetcher::Outcome::Ok;
}

QByteArray TForm1::readScratch(const QString& scratchName) const {
    return ScratchFile::readAll(platform_.scratchFolder() + scratchName, bodyLimitFor(scratchName));
}

// ---- the Dig command ----

// Connects the dig engine to the window: downloads go through the scratch files, rows into the
// list with their thumbnails, failures into message boxes.
class TForm1::DigDriver : public DigFetcher, public DigListener {
  public:
    explicit DigDriver(TForm1& form) : f(form) {}

    Outcome fetchPage(const QString& url, QByteArray& body) override {
        return f.download(url, QStringLiteral("youtube.0"), &body);
    }
    Outcome fetchThumbnail(const QString& url, QByteArray& body) override {
        return f.download(url, QStringLiteral("default.0"), &body);
    }

    void startPageLoaded() override {
        f.WebBrowser2->navigate(f.site_.vendorAddress(QStringLiteral("/ads.php")));
        f.ImageList1.clear();
    }
    void levelStarted(int) override { --f.depth; }
    void rowAdded(const DigRow& row, qsizetype, const QByteArray& thumbnail) override {
        f.thumbnail_ = thumbnail;
        f.makethumb();
        // Rows and images are appended in pairs: the new row shows the image just made.
        f.addRow(row.video, f.ImageList1.count() - 1);
    }
    void failed(Failure, const QString&) override { f.platform_.showMessage(kDownloadError); }
    // The one place where the user acts during a dig.
    void afterRow() override { QCoreApplication::processEvents(); }
    // A page that adds nothing must not freeze the window; input other than "Stop" and a close
    // request still waits for the next row.
    void afterPage() override { f.inputGate_->processEvents(); }

  private:
    TForm1& f;
};

void TForm1::btn5Click(QObject*) {
    // One dig at a time: Enter in the input box or "Dig This!" during a dig are
    // ignored.
    if (digging_)
        return;
    lv1Items->clear();
    stopflag = false;
    Label2->hide();
    const QString id = find_video_id(edt1->currentText(), site_.shortLinkToken());
    if (id.isEmpty()) {
        platform_.showMessage(kWrongAddress);
        return;
    }
    depth = cbb2->currentText().toInt();

    BusyState busy(btn5, bsSkinButton3);
    const QScopedValueRollback<bool> digFlag(digging_, true);
    if (!dig_)
        dig_ = std::make_unique<DigDriver>(*this);
    lastDig_ = std::make_unique<DigEngine>(*RegExpr, *dig_, *dig_, stopflag);
    const auto flushLabel = qScopeGuard([this] { updateFoundLabel(); });
    lastDig_->run(id, depth, regx, site_.watchUrlPrefix());
}

void TForm1::explorer(const QString& aurl) {
    if (lastDig_)
        lastDig_->explorePage(aurl.mid(site_.watchUrlPrefix().size()));
}

void TForm1::makethumb() {
    ImageList1.addPicture(thumbnail_, lv1->palette().color(QPalette::Base));
}

void TForm1::addRow(const RelatedVideo& video, int imageIndex) {
    lv1Items->append(ResultRow{video.title, video.length, video.views, video.id, imageIndex});
    if (!labelPending_) {
        labelPending_ = true;
        QTimer::singleShot(16, this, [this] { updateFoundLabel(); });
    }
    scrollOneLine();
}

void TForm1::updateFoundLabel() {
    if (!labelPending_)
        return;
    labelPending_ = false;
    Label2->setText(QString::number(lv1Items->count()) + QStringLiteral(" Videos Found"));
    Label2->adjustSize();
    Label2->show();
}

void TForm1::scrollOneLine() {
    lv1->scrollLineDown();
}

void TForm1::edt1KeyDown(QObject* Sender, int Key) {
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        btn5Click(Sender);
}

void TForm1::edt1Click(QObject*) {
    if (edt1->currentText() == QStringLiteral("Type Any Keywords Here."))
        edt1->setEditText(QString());
}

void TForm1::bsSkinButton1Click(QObject*) {
    stopflag = true;
    // Also breaks off a fetch that waits for the network; between fetches this lapses.
    idhtp1.requestAbort();
}

void TForm1::bsSkinButton3Click(QObject* Sender) {
    BusyState busy(btn5, bsSkinButton3);
    QByteArray page;
    switch (download(site_.homePageAddress(), QStringLiteral("youtube.0"), &page)) {
        case DigFetcher::Outcome::Ok:
            break;
        case DigFetcher::Outcome::Failed:
            platform_.showMessage(kDownloadError);
            return;
        case DigFetcher::Outcome::Aborted:
            return;
    }
    const QString surl = pickLuckyReference(decodePageText(page), lucky);
    if (surl.isEmpty())
        return;
    edt1->setEditText(site_.bareWatchUrlPrefix() + surl);
    lucky += 2;
    btn5Click(Sender);
}

void TForm1::WMDrawClipBoard() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    const QString id = find_video_id(data->text(), site_.shortLinkToken());
    if (!id.isEmpty())
        edt1->setEditText(site_.watchUrlPrefix() + id);
}

void TForm1::WMChangeCBChain(quintptr removed, quintptr next) {
    // Kept for the viewer-chain protocol; Qt's clipboard notice has no chain to
    // follow.
    if (removed == NextClipHwnd)
        NextClipHwnd = next;
}

// ---- the result list ----

int TForm1::lv1Compare(const ResultRow& Item1, const ResultRow& Item2) const {
    return compareRows(Item1, Item2, nSortCol, bsort);
}

void TForm1::sortBy(int column) {
    // Rows never change under a sort: requests are refused while a command runs.
    if (!btn5->isEnabled())
        return;
    bsort = !bsort;
    nSortCol = column;
    if (nSortCol > 0)
        lv1Items->sortRows(
            [this](const ResultRow& a, const ResultRow& b) { return lv1Compare(a, b); });
}

void TForm1::lv1ColumnClick(QObject*, int Column) {
    sortBy(Column);
}
void TForm1::SortbyTitle1Click(QObject*) {
    sortBy(1);
}
void TForm1::SortbyVideoLength1Click(QObject*) {
    sortBy(2);
}
void TForm1::SortbyViewCounts1Click(QObject*) {
    sortBy(3);
}

int TForm1::selectedRow() const {
    const QModelIndexList rows = lv1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::lv1MouseDown(Qt::MouseButton Button, const QPoint& pos) {
    if (Button == Qt::RightButton) {
        bsm1->popup(lv1->viewport()->mapToGlobal(pos));
    } else if (Button == Qt::LeftButton) {
        const int row = selectedRow();
        if (row >= 0)
            edt1->setEditText(site_.watchUrlPrefix() + lv1Items->row(row).id);
    }
}

void TForm1::lv1DblClick(QObject*) {
    const int row = selectedRow();
    if (row >= 0)
        platform_.openUrl(site_.vendorWatchAddress(lv1Items->row(row).id));
}

void TForm1::WatchThisOnline1Click(QObject* Sender) {
    lv1DblClick(Sender);
}

void TForm1::DigThis1Click(QObject* Sender) {
    const int row = selectedRow();
    if (row < 0 || digging_)
        return;
    edt1->setEditText(site_.watchUrlPrefix() + lv1Items->row(row).id);
    btn5Click(Sender);
}

void TForm1::SaveListAs1Click(QObject*) {
    // Checked again here: the key bypasses the menu, and a menu left open may be out of date.
    if (digging_ || lv1Items->count() == 0)
        return;
    const QStringList filters = {QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON (*.json)"),
                                 QStringLiteral("GEXF graph (*.gexf)")};
    constexpr ExportFormat kFilterFormats[] = {ExportFormat::Csv, ExportFormat::Json,
                                               ExportFormat::Gexf};
    int filter = 0;
    const QString path = platform_.chooseSaveFile(QStringLiteral("Save List As"), filters, &filter);
    if (path.isEmpty())
        return;
    const ExportFormat format =
        exportFormatNamed(QFileInfo(path).suffix()).value_or(kFilterFormats[qBound(0, filter, 2)]);

    // The rows as the list shows them, each described by the dig that found it.
    DigTable table;
    const DigEngine* dig = lastDig();
    if (dig) {
        table.start = dig->startId();
        // A dig that ran to its end stands on its last level; one cut short, on the level reached.
        table.depth = dig->level();
        table.interrupted = !dig->finished();
        table.edges = dig->edges();
    }
    for (int i = 0; i < lv1Items->count(); ++i) {
        const ResultRow& shown = lv1Items->row(i);
        const DigRow* found = dig ? dig->find(shown.id) : nullptr;
        DigRow row;
        if (found)
            row = *found;
        else
            row.level = 0;  // not known
        row.video.id = shown.id;
        row.video.title = shown.title;
        row.video.length = shown.length;
        row.video.views = shown.views;
        table.rows.push_back(std::move(row));
    }
    QString error;
    if (!writeFileAtomically(path, exportDig(table, format), &error))
        platform_.showMessage(QStringLiteral("Could not save the list to %1: %2")
                                  .arg(QDir::toNativeSeparators(path), error));
}

// ---- panes and donations ----

bool TForm1::WebBrowser2BeforeNavigate2(const QString& URL) {
    if (!shouldHandOff(URL))
        return true;
    QMetaObject::invokeMethod(
        this, [this] { WebBrowser2->stop(); }, Qt::QueuedConnection);
    if (isSafeExternalUrl(URL))
        platform_.openUrl(URL);
    return false;
}

void TForm1::WebBrowser1NewWindow2(const QString& URL) {
    // What the browser view did with a new window by itself: the default browser shows it.
    if (isSafeExternalUrl(URL))
        platform_.openUrl(URL);
}

void TForm1::WebBrowser2NewWindow2(const QString& URL) {
    // A new window is a navigation of the sponsor pane as well: "tid=" is handed off by the
    // rule; any other address goes to the default browser, as from the social pane.
    if (WebBrowser2BeforeNavigate2(URL) && isSafeExternalUrl(URL))
        platform_.openUrl(URL);
}

void TForm1::btn1Click(QObject*) {
    const QPoint at = QCursor::pos();
    raise();
    activateWindow();
    bsknpmn1->popup(at);
}

void TForm1::donate(int amount) {
    platform_.openUrl(paymentUrl(site_.paymentHost, site_.donationAccount, amount));
}
