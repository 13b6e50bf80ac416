#pragma once

#include "app/platform.h"
#include "app/site_config.h"
#include "discovery/dig_engine.h"
#include "discovery/image_list.h"
#include "net/http_client.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <memory>

class InputGate;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QScrollBar;
class QShortcut;
class ResizePanel;
class ResultListView;
class ResultModel;
class RightButtonFilter;
class TPerlRegEx;
struct RelatedVideo;
struct ResultRow;
class WebPane;

// The main window. Its handlers keep the names of the events they answer; the
// work itself lives in the discovery, results, panes and net modules.
class TForm1 : public QWidget {
    Q_OBJECT
  public:
    // Creates the controls and runs the creation steps (clipboard, matcher,
    // remote configuration).
    TForm1(SiteConfig site, Platform& platform, QWidget* parent = nullptr);
    ~TForm1() override;

    // State that lives across events.
    QString regx;
    bool stopflag = false;
    int depth = 0;
    int lucky = 0;
    int nSortCol = 0;
    bool bsort = false;
    quintptr NextClipHwnd = 0;  // no viewer chain on this platform: stays 0
    std::unique_ptr<TPerlRegEx> RegExpr;

    // Controls, by their designer names.
    ResizePanel* Panel3 = nullptr;
    QWidget* pnl1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QComboBox* edt1 = nullptr;
    QPushButton* bsSkinButton3 = nullptr;  // "Feel Lucky"
    QPushButton* btn5 = nullptr;           // "Dig"
    QPushButton* bsSkinButton1 = nullptr;  // "Stop"
    QPushButton* btn1 = nullptr;           // "Make A Donation"
    std::unique_ptr<WebPane> WebBrowser1;  // social pane
    QLabel* Label1 = nullptr;
    QComboBox* cbb2 = nullptr;
    QLabel* Label2 = nullptr;
    QScrollBar* bsSkinScrollBar1 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    ResultListView* lv1 = nullptr;
    QScrollBar* bsSkinScrollBar2 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Panel5 = nullptr;
    std::unique_ptr<WebPane> WebBrowser2;  // sponsor pane
    ImageList ImageList1;
    ResultModel* lv1Items = nullptr;
    QMenu* bsm1 = nullptr;
    QAction* WatchThisOnline1 = nullptr;
    QAction* DigThis1 = nullptr;
    QAction* SortbyTitle1 = nullptr;
    QAction* SortbyVideoLength1 = nullptr;
    QAction* SortbyViewCounts1 = nullptr;
    QAction* SaveListAs1 = nullptr;
    QShortcut* SaveListAsKey = nullptr;  // Ctrl+S on the window
    QMenu* bsknpmn1 = nullptr;
    HttpClient idhtp1;
    RightButtonFilter* ApplicationEvents1 = nullptr;

    // Window life.
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void Panel3Resize(QObject* Sender);

    // Discovery.
    void btn5Click(QObject* Sender);
    void edt1KeyDown(QObject* Sender, int Key);
    void edt1Click(QObject* Sender);
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton3Click(QObject* Sender);
    void explorer(const QString& aurl);
    void makethumb();
    void WMDrawClipBoard();
    void WMChangeCBChain(quintptr removed, quintptr next);

    // Result list.
    void lv1ColumnClick(QObject* Sender, int Column);
    void SortbyTitle1Click(QObject* Sender);
    void SortbyVideoLength1Click(QObject* Sender);
    void SortbyViewCounts1Click(QObject* Sender);
    int lv1Compare(const ResultRow& Item1, const ResultRow& Item2) const;
    void lv1MouseDown(Qt::MouseButton Button, const QPoint& pos);
    void lv1DblClick(QObject* Sender);
    void WatchThisOnline1Click(QObject* Sender);
    void DigThis1Click(QObject* Sender);
    void SaveListAs1Click(QObject* Sender);

    // Panes and donations.
    bool WebBrowser2BeforeNavigate2(const QString& URL);
    void WebBrowser1NewWindow2(const QString& URL);
    void WebBrowser2NewWindow2(const QString& URL);
    void btn1Click(QObject* Sender);
    void donate(int amount);

    const SiteConfig& site() const { return site_; }
    bool digRunning() const { return digging_; }
    // The engine of the last dig (its rows, levels and edges), or nullptr before the first.
    const DigEngine* lastDig() const { return lastDig_.get(); }
    // The selected row's index in lv1Items, or -1.
    int selectedRow() const;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildLayout();
    void buildMenus();
    void wireHandlers();
    void applyRemoteConfiguration();
    // Runs a handler body; an error leaving it goes to the error report.
    void guarded(const std::function<void()>& body);
    // Downloads url into the named scratch file and hands back its content. The file cannot be
    // created or read back: AppError.
    DigFetcher::Outcome download(const QString& url, const QString& scratchName,
                                 QByteArray* body = nullptr);
    QByteArray readScratch(const QString& scratchName) const;
    void addRow(const RelatedVideo& video, int imageIndex);
    // The found-count label follows the rows at most once per frame while a dig runs.
    void updateFoundLabel();
    void sortBy(int column);
    void scrollOneLine();
    qint64 msSinceLastPaint();
    // Sends the window the repaint request that was put off.
    void repaintNow();

    class DigDriver;
    friend class DigDriver;

    SiteConfig site_;
    Platform& platform_;
    std::unique_ptr<InputGate> inputGate_;
    bool digging_ = false;
    std::unique_ptr<DigDriver> dig_;
    std::unique_ptr<DigEngine> lastDig_;
    QByteArray thumbnail_;  // the picture makethumb turns into an image
    bool labelPending_ = false;
    QElapsedTimer frameClock_;
    qint64 lastPaintMs_ = 0;
    bool repaintPending_ = false;
    bool inFetchWait_ = false;  // the idle hook runs: a fetch waits for the network
};
