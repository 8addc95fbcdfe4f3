// SPDX-License-Identifier: GPL-3.0-or-later
#include "form1.h"

#include "accessible_controls.h"
#include "category_tree.h"
#include "find_window.h"
#include "history_keeper.h"
#include "history_window.h"
#include "home_page.h"
#include "media_player.h"
#include "plain_controls.h"
#include "program_icons.h"
#include "recording_controls.h"
#include "schedule_window.h"
#include "sleep_controls.h"
#include "timers.h"
#include "listening.h"
#include "station_editor.h"
#include "startup_trace.h"
#include "station_file.h"
#include "station_list_location.h"
#include "station_list_preload.h"
#include "sys_tray.h"
#include "tree_view.h"
#include "web_frame.h"
#include "window_system.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QCoreApplication>
#include <QGroupBox>
#include <QScrollBar>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>

#include <functional>
#include <utility>

namespace kelvaro {

namespace {

const QString kCaption = QStringLiteral("Kelvaro");
const QString kHint = QStringLiteral("展开列表后单击频道收听");
const QString kTrayTip = QStringLiteral("网络电台.");
// What assistive technology calls the controls whose visible text (if any)
// does not say what they are.
const QString kTreeName = QStringLiteral("频道列表");
const QString kPageName = QStringLiteral("网页");
const QString kHomePageAction = QStringLiteral("在浏览器中打开主页");

}  // namespace

// What a choice of a station shows on the window: the player or the page
// frame, the page and the caption. The frame and the page are named after
// the station whose page they show: the frame's own caption is never seen,
// so a screen reader reads the station's name instead (and just "page"
// while no page is shown).
class Form1Surface : public StationSurface {
public:
    explicit Form1Surface(Form1 &form) : form_(form), page_({form.Frame1, form.WebBrowser1}) {}
    void showPlayer(bool visible) override { form_.Wmp1->setVisible(visible); }
    void showFrame(bool visible) override
    {
        const QString name = visible ? form_.listening().station().name : kPageName;
        form_.Frame1->setAccessibleName(name);
        form_.WebBrowser1->setPageName(name);
        page_.showFrame(visible);
    }
    void Navigate(const QString &address) override { page_.Navigate(address); }
    void setCaption(const QString &text) override { form_.setWindowTitle(text); }

private:
    Form1 &form_;
    WebFramePageArea page_;
};

Form1::Form1(QWidget *parent, StationListPreload *preload)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , preload_(preload)
    , listening_(new Listening(Listening::onLibmpv(), this))
{
    installAccessibleControls();
    setWindowTitle(kCaption);
    setWindowIcon(programIcon());
    setFixedSize(254, 287);
    startupMark("window");
    createControls();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    // Frame1 at (0, 208), 272 x 77, with the web view inside at (-944, -13),
    // 1610 x 1700: the frame shows one fixed region of the page.
    const WebFrame web = createWebFrame(this);
    Frame1 = web.frame;
    WebBrowser1 = web.view;
    Frame1->setAccessibleName(kPageName);
    WebBrowser1->setPageName(kPageName);
    startupMark("Frame1, WebBrowser1");

    TreeView1 = new TreeView(this);
    TreeView1->setGeometry(0, 32, 217, 169);
    TreeView1->setAccessibleName(kTreeName);
    connect(TreeView1, &TreeView::nodeClick, this, &Form1::TreeView1_NodeClick);
    startupMark("TreeView1");

    cSysTray1 = new SysTray(this);
    cSysTray1->setTrayicon(programTrayIcon());
    cSysTray1->setTraytip(kTrayTip);
    connect(cSysTray1, &SysTray::iconEvent, this, &Form1::cSysTray1_IconEvent);
    startupMark("cSysTray1");

    Line3 = new Line(this, {248, 32}, {248, 200});
    Line2 = new Line(this, {224, 32}, {224, 200});

    Label2 = new Label(kHint, this);
    Label2->setGeometry(232, 48, 17, 145);
    Label2->setOneCharacterPerLine(true);

    Label1 = new Label(kCaption + QLatin1Char(' ') + kHomePage, this);
    Label1->setGeometry(8, 8, 249, 17);
    Label1->setLink(true);
    Label1->setAccessibleDescription(kHomePageAction);
    connect(Label1, &Label::clicked, this, &Form1::Label1_Click);
    startupMark("lines, labels");

    Wmp1 = new MediaPlayer(listening_->audible(), this);
    Wmp1->setGeometry(0, 208, 256, 77);
    startupMark("Wmp1");

    surface_ = std::make_unique<Form1Surface>(*this);
    listening_->setSurface(surface_.get());
    // A station chosen anywhere (the media controls, the find window) is
    // the tree's current node; one renamed in the list while it plays is
    // named anew in the caption.
    connect(listening_, &Listening::stationChosen, this, [this](const Station &station) {
        if (QTreeWidgetItem *item = TreeView1->nodeByKey(station.address); item && item != TreeView1->currentItem())
            TreeView1->setCurrentItem(item);
    });
    connect(listening_, &Listening::stationChanged, this, [this](const Station &station) {
        setWindowTitle(QString::fromUtf16(kListeningPrefix) + station.name);
    });

    // Every station sits inside a category, so opening one is the first sign
    // that a station is about to be chosen: the player's engine is made
    // then, on a worker thread, and the first station pays nothing for it.
    // Not earlier, so that a window sent to the tray unused stays small.
    connect(TreeView1, &QTreeWidget::itemExpanded, Wmp1, &MediaPlayer::warmUp);

    // Keyboard focus: the player, the home-page line, then the tree, then the
    // page while shown.
    setTabOrder(Wmp1, Label1);
    setTabOrder(Label1, TreeView1);
    setTabOrder(TreeView1, WebBrowser1);
}

void Form1::Form_Load()
{
    Wmp1->setEnableContextMenu(false);
    Wmp1->controls().stop();
    Wmp1->settings().setVolume(100);
    startupMark("player settings");
    jiazai();
    startupMark("jiazai");
    Frame1->hide();
}

void Form1::jiazai()
{
    StationListRead read;
    if (preload_) {
        read = preload_->take();
        stationListPath_ = std::exchange(preload_, nullptr)->location().path;
    } else {
        stationListPath_ = lookUpStationList(QCoreApplication::applicationDirPath()).path;
        read = readStationList(stationListPath_);
    }
    stationTable_ = std::move(read.table);
    ++stationsGeneration_;
    listening_->setStations(stationTable_);
    startupMark("station list read");
    fillCategoryTree(stationTable_, *TreeView1);
}

void Form1::showStations(const StationTable &table)
{
    QStringList open;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        if (TreeView1->topLevelItem(i)->isExpanded())
            open << TreeView::keyOf(TreeView1->topLevelItem(i));
    }
    const QString current = TreeView1->currentItem() ? TreeView::keyOf(TreeView1->currentItem()) : QString();
    const int scrolled = TreeView1->verticalScrollBar()->value();

    stationTable_ = table;
    ++stationsGeneration_;
    TreeView1->setUpdatesEnabled(false);
    {
        // Opening a category here is no sign of a station about to be chosen.
        const QSignalBlocker quiet(TreeView1);
        TreeView1->clearNodes();
        fillCategoryTree(stationTable_, *TreeView1);
        for (const QString &key : std::as_const(open)) {
            if (QTreeWidgetItem *item = TreeView1->nodeByKey(key))
                item->setExpanded(true);
        }
        if (QTreeWidgetItem *item = TreeView1->nodeByKey(current))
            TreeView1->setCurrentItem(item);
    }
    TreeView1->verticalScrollBar()->setValue(scrolled);
    TreeView1->setUpdatesEnabled(true);

    // A renamed station that plays keeps its place in the caption and on the
    // desktop.
    listening_->setStations(stationTable_);
}

QString Form1::playingKey() const
{
    return listening_->station().address;
}

void Form1::enableEditing()
{
    if (editor_)
        return;
    editor_ = new StationEditor(*this, stationListPath_);
    setAcceptDrops(true);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &Form1::openFinder);

    // The notification-area icon's menu; options go above 退出.
    trayMenu_ = new QMenu(this);
    trayMenu_->addAction(QStringLiteral("显示窗口"), this, [this] { restore(); });
    trayMenu_->addAction(QStringLiteral("找电台…"), this, &Form1::openFinder);
    trayMenu_->addSeparator();
    trayMenu_->addAction(QStringLiteral("退出"), this, &Form1::quit);
    cSysTray1->setMenu(trayMenu_);

    // Recording: the player's button, Ctrl+R and the menus' items.
    auto *recording = new RecordingControls(*this, *listening_, *Wmp1->miniControls(), *cSysTray1);
    addOptions({recording->recordAction(), recording->splitAction()});

    // A live station kept while paused: the player's own jump keys, with Alt
    // anywhere in the window (the tree takes the plain arrows and End).
    const std::pair<int, std::function<void()>> jumps[] = {
        {Qt::Key_Left, [this] { listening_->audible().jump(-PlayerSession::kJumpBack); }},
        {Qt::Key_Right, [this] { listening_->audible().jump(PlayerSession::kJumpOn); }},
        {Qt::Key_End, [this] { listening_->audible().goLive(); }},
    };
    for (const auto &[key, jump] : jumps)
        connect(new QShortcut(QKeySequence(Qt::ALT | key), this), &QShortcut::activated, this, jump);
}

void Form1::addOption(QAction *option)
{
    addOptions({option});
}

void Form1::addOptions(const QList<QAction *> &options)
{
    if (!editor_)
        return;
    for (QAction *option : options)
        trayMenu_->insertAction(trayMenu_->actions().constLast(), option);
    trayMenu_->insertSeparator(trayMenu_->actions().constLast());
    editor_->addOptions(options);
}

void Form1::openFinder()
{
    if (!finder_)
        finder_ = new FindWindow(*this, nullptr, this);
    finder_->open();
}

void Form1::enableHistory(const QString &path)
{
    if (history_ || !editor_)
        return;
    history_ = new HistoryStore(path, this);
    new HistoryKeeper(*listening_, *history_, this);
    auto *open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(open, &QShortcut::activated, this, &Form1::openHistory);
    // Beside 找电台… in the notification-area icon's menu, above the options.
    auto *item = new QAction(QStringLiteral("播放记录"), trayMenu_);
    connect(item, &QAction::triggered, this, &Form1::openHistory);
    for (QAction *action : trayMenu_->actions()) {
        if (action->isSeparator()) {
            trayMenu_->insertAction(action, item);
            break;
        }
    }
}

void Form1::enableTimers(Timers &timers, std::function<bool(std::optional<bool>)> autostart)
{
    if (timers_ || !editor_)
        return;
    timers_ = &timers;
    autostart_ = std::move(autostart);
    sleepControls_ = new SleepControls(*this, timers.sleep(), *Wmp1->miniControls(), *cSysTray1);
    auto *schedule = new QAction(QStringLiteral("定时任务…"), this);
    schedule->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    schedule->setShortcutContext(Qt::WidgetShortcut);  // shown in the menus; the window's own below
    connect(schedule, &QAction::triggered, this, &Form1::openSchedule);
    auto *open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(open, &QShortcut::activated, this, &Form1::openSchedule);
    addOptions({sleepControls_->menuAction(), schedule});
    // What passed while the program did not run or the computer slept, once.
    connect(&timers, &Timers::missed, this, [this](const QList<MissedEvent> &missed) {
        QStringList lines;
        for (const MissedEvent &m : missed)
            lines << QStringLiteral("%1  %2  %3").arg(m.occurrence.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                                     kindText(m.event.kind), m.event.stationName);
        auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("错过的定时任务"),
                                    QStringLiteral("这些定时任务在 Kelvaro 未运行或电脑休眠时错过了：\n") +
                                        lines.join(QLatin1Char('\n')),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
    // An alarm brings the window up, over others where the desktop allows.
    connect(&timers, &Timers::alarmRinging, this, [this] { restore(); });
}

void Form1::openSchedule()
{
    if (!timers_)
        return;
    if (!scheduleWindow_) {
        scheduleWindow_ = new ScheduleWindow(*timers_, *listening_, autostart_, this);
        scheduleWindow_->setOfferAutostart(offerAutostart_);
        connect(scheduleWindow_, &ScheduleWindow::autostartOffered, this, &Form1::autostartOffered);
    }
    scheduleWindow_->open();
}

void Form1::openHistory()
{
    if (!history_)
        return;
    if (!historyWindow_)
        historyWindow_ = new HistoryWindow(*history_, *listening_, this);
    historyWindow_->open();
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (editor_ && editor_->canTake(event->mimeData()))
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    if (!editor_)
        return;
    event->acceptProposedAction();
    // After the drop has ended: the dialog that may open must not hold the
    // program that dragged.
    std::shared_ptr<QMimeData> data(new QMimeData);
    for (const QString &format : event->mimeData()->formats())
        data->setData(format, event->mimeData()->data(format));
    QTimer::singleShot(0, editor_, [this, data] { editor_->take(data.get()); });
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::Form_Resize()
{
    if (!isMinimized())
        return;
    // Without a notification area a hidden window could not be brought back:
    // there it stays minimised in the task bar.
    if (!SysTray::available())
        return;
    // Hiding from inside the state change confuses some window managers;
    // do it once the event has been handled. The icon is asked for once the
    // window is hidden: it then appears when the window has let go of the
    // focus (see SysTray), and its menu opens for the first right click.
    QTimer::singleShot(0, this, [this] {
        if (!isMinimized())
            return;
        hide();
        cSysTray1->setIntray(true);
    });
}

void Form1::cSysTray1_IconEvent()
{
    restore();
}

void Form1::restore(const QByteArray &activationToken)
{
    prepareActivation(activationToken);
    // Normal state first: showing a window hidden while minimised would map it
    // minimised again and send it straight back to the tray.
    showNormal();
    raise();
    activateWindow();
    cSysTray1->setIntray(false);
}

void Form1::startHiddenInTray()
{
    if (SysTray::available())
        cSysTray1->setIntray(true);
    else
        showMinimized();
}

void Form1::showTrayIconWhereMinimisingIsUnseen()
{
    if (nativeWayland() && SysTray::available())
        cSysTray1->setAlwaysShown(true);
}

bool Form1::hiddenInTray() const
{
    return cSysTray1->intray() && isHidden();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Wmp1->controls().stop();
    if (finder_)
        finder_->close();
    event->accept();
}

void Form1::quit()
{
    // Closing stops what plays, as the window's close button does. Qt ends
    // the program by itself only when the last visible window closes, which
    // a window hidden in the notification area is not: the end is asked for
    // here too. Anything still being written (the station list) reaches the
    // disk as the window goes, after the event loop has ended.
    close();
    QCoreApplication::quit();
}

void Form1::TreeView1_NodeClick(const QString &key, const QString &text)
{
    if (!isStationNode(key, text))
        return;
    const QTreeWidgetItem *item = TreeView1->nodeByKey(key);
    const QTreeWidgetItem *category = item ? item->parent() : nullptr;
    listening_->choose({key, text, category ? category->text(0) : QString()});
}

void Form1::Label1_Click()
{
    openInBrowser(kHomePage);
}

}  // namespace kelvaro
