// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace kelvaro {

class Listening;
class MiniControls;
class SysTray;

// What the window offers for recording: the player's record button, Ctrl+R,
// the 开始录音/停止录音 and 按歌曲分段 items of the tray and tree menus,
// the recording's time and size after the player's status and in the tray
// icon's tooltip, and a message when recording had to stop. The recording
// itself is the listening layer's; this only asks for it and shows it.
class RecordingControls : public QObject {
    Q_OBJECT
public:
    RecordingControls(QWidget &window, Listening &listening, MiniControls &player, SysTray &tray);

    QAction *recordAction() const { return record_; }
    QAction *splitAction() const { return split_; }

private:
    void toggle();
    void follow();
    void showFailure(const QString &message);

    QWidget &window_;
    Listening &listening_;
    MiniControls &player_;
    SysTray &tray_;
    QAction *record_;
    QAction *split_;
    QString failure_;  // why the last recording stopped, shown until the next
};

}  // namespace kelvaro
