// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_table.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QGroupBox;
class QMenu;

namespace kelvaro {

class FindWindow;
class HistoryStore;
class HistoryWindow;
class Label;
class Listening;
class RecordingControls;
class ScheduleWindow;
class SleepControls;
class Timers;
struct StationSurface;
class Line;
class MediaPlayer;
class StationEditor;
class StationListPreload;
class SysTray;
class TreeView;
class WebView;

// The program's one window: the station tree, the player area (the media
// player, or a fixed region of a web page), the About label and the hint
// column. Minimising hides it into the notification area.
class Form1 : public QWidget {
    Q_OBJECT
public:
    // With a preload, the first jiazai() takes the list it has read.
    explicit Form1(QWidget *parent = nullptr, StationListPreload *preload = nullptr);
    ~Form1() override;

    // Reads the station list (the user's own, else the one beside the
    // executable) and fills the tree.
    void jiazai();

    const StationTable &stations() const { return stationTable_; }
    // Counts the times the tree was filled, so that what is made from the
    // stations (the find window's index) knows when to make it again.
    quint64 stationsGeneration() const { return stationsGeneration_; }

    // Fills the tree again from an edited list, in place: open categories
    // stay open, the current node stays current, and what plays goes on
    // (the caption follows a renamed station).
    void showStations(const StationTable &table);

    // What plays: the station chosen, the player's session, volume and
    // state. Every choice of a station goes through it; the caption, the
    // player and the page area, and the tree's current node follow it.
    Listening &listening() const { return *listening_; }
    // The station last chosen (its address), while it plays or shows.
    QString playingKey() const;

    // Editing the stations from the tree (context menu, keys, dragging).
    // Not needed for the first frame, so made after it.
    void enableEditing();
    StationEditor *editor() const { return editor_; }
    // An option of the program's (a check item), offered in the
    // notification-area icon's menu and the tree's menu. After
    // enableEditing().
    void addOption(QAction *option);
    // Several items together, one separator before them.
    void addOptions(const QList<QAction *> &options);

    // Brings the window back to the front, normal, as the tray icon does.
    // `activationToken`: the token a later start was launched with, which
    // lets a Wayland compositor give this window the keyboard (see
    // window_system.h).
    void restore(const QByteArray &activationToken = {});

    // Starts with the window hidden in the notification area (at login);
    // where there is none, minimised.
    void startHiddenInTray();

    // Where the program is never told that its window was minimised (native
    // Wayland), the notification-area icon is there for the whole run, when
    // the desktop has a notification area; elsewhere it comes with
    // minimising. Not needed for the first frame.
    void showTrayIconWhereMinimisingIsUnseen();

    // Ends the program as closing the window does, whatever state the window
    // is in (shown, minimised or hidden in the notification area): what plays
    // stops, and the program ends once its events are done, after anything
    // being written is on the disk.
    void quit();
    // The find window (找电台), made at first use.
    void openFinder();
    FindWindow *finder() const { return finder_; }
    // 播放记录: keeps each title heard in the history file at `path`, opened
    // on the store's own thread, and offers the window with Ctrl+H and in
    // the notification-area icon's menu. After enableEditing(); made after
    // the first paint, as the file need not be open before.
    void enableHistory(const QString &path);
    // The history window, made at first use.
    void openHistory();
    HistoryStore *history() const { return history_; }
    HistoryWindow *historyWindow() const { return historyWindow_; }

    // 睡眠定时 and 定时任务: the sleep timer's menu in the notification-area
    // icon's menu and the tree's, the time left in the tooltip and (when
    // asked) the status line; the schedule window (Ctrl+T and the menus);
    // what was missed told once; an alarm brings the window up. After
    // enableEditing().
    void enableTimers(Timers &timers, std::function<bool(std::optional<bool>)> autostart);
    void openSchedule();
    // The first timer set in the schedule window offers starting at login
    // (when the program does not already); autostartOffered() once it has.
    void setOfferAutostart(bool offer) { offerAutostart_ = offer; }
    SleepControls *sleepControls() const { return sleepControls_; }
    ScheduleWindow *scheduleWindow() const { return scheduleWindow_; }

    // True while the window is hidden in the notification area.
    bool hiddenInTray() const;

    // The controls, in the order they are created (later ones lie above
    // earlier ones where they overlap).
    QGroupBox *Frame1 = nullptr;
    WebView *WebBrowser1 = nullptr;
    TreeView *TreeView1 = nullptr;
    SysTray *cSysTray1 = nullptr;
    Line *Line3 = nullptr;
    Line *Line2 = nullptr;
    Label *Label2 = nullptr;
    Label *Label1 = nullptr;
    MediaPlayer *Wmp1 = nullptr;

signals:
    void autostartOffered();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // An address or a playlist file dropped on the window becomes a station.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void Form_Load();
    void Form_Resize();
    void cSysTray1_IconEvent();
    void TreeView1_NodeClick(const QString &key, const QString &text);
    void Label1_Click();

    StationTable stationTable_;
    StationListPreload *preload_ = nullptr;
    QString stationListPath_;  // the list shown
    Listening *listening_ = nullptr;
    std::unique_ptr<StationSurface> surface_;
    StationEditor *editor_ = nullptr;
    QMenu *trayMenu_ = nullptr;
    quint64 stationsGeneration_ = 0;
    FindWindow *finder_ = nullptr;
    HistoryStore *history_ = nullptr;
    HistoryWindow *historyWindow_ = nullptr;
    Timers *timers_ = nullptr;
    std::function<bool(std::optional<bool>)> autostart_;
    SleepControls *sleepControls_ = nullptr;
    ScheduleWindow *scheduleWindow_ = nullptr;
    bool offerAutostart_ = false;
};

}  // namespace kelvaro
