// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_controls.h"

#include "listening.h"
#include "mini_controls.h"
#include "sys_tray.h"

#include <QAction>
#include <QMessageBox>
#include <QShortcut>
#include <QWidget>

namespace kelvaro {

RecordingControls::RecordingControls(QWidget &window, Listening &listening, MiniControls &player, SysTray &tray)
    : QObject(&window), window_(window), listening_(listening), player_(player), tray_(tray)
{
    record_ = new QAction(QStringLiteral("开始录音"), this);
    record_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    record_->setShortcutContext(Qt::WidgetShortcut);  // the window's own shortcut below
    connect(record_, &QAction::triggered, this, &RecordingControls::toggle);
    auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), &window);
    connect(key, &QShortcut::activated, this, &RecordingControls::toggle);
    connect(&player, &MiniControls::recordToggled, this, &RecordingControls::toggle);

    Recorder &recorder = listening.recorder();
    split_ = new QAction(QStringLiteral("按歌曲分段"), this);
    split_->setCheckable(true);
    split_->setChecked(recorder.splitBySong());
    connect(split_, &QAction::toggled, &recorder, &Recorder::setSplitBySong);
    connect(&recorder, &Recorder::splitBySongChanged, split_, &QAction::setChecked);

    connect(&recorder, &Recorder::recordingChanged, this, &RecordingControls::follow);
    connect(&recorder, &Recorder::progressChanged, this, &RecordingControls::follow);
    connect(&recorder, &Recorder::failed, this, &RecordingControls::showFailure);
    connect(&listening, &Listening::stateChanged, this, &RecordingControls::follow);
    connect(&listening, &Listening::stationChosen, this, [this] {
        failure_.clear();
        follow();
    });
    follow();
}

void RecordingControls::toggle()
{
    const bool on = !listening_.recorder().isRecording();
    if (on)
        failure_.clear();
    listening_.setRecording(on);
    follow();
}

void RecordingControls::follow()
{
    const Recorder &recorder = listening_.recorder();
    const bool recording = recorder.isRecording();
    const bool can = recording || listening_.canRecord();
    record_->setText(recording ? QStringLiteral("停止录音") : QStringLiteral("开始录音"));
    record_->setEnabled(can);
    player_.setCanRecord(can);
    if (recording) {
        player_.setRecording(true, recorder.progressText(), QStringLiteral("录音中"));
        tray_.setTipLine(QStringLiteral("recording"), recorder.progressText());
    } else {
        player_.setRecording(false, failure_, failure_);
        tray_.setTipLine(QStringLiteral("recording"), failure_);
    }
}

void RecordingControls::showFailure(const QString &message)
{
    failure_ = message;
    follow();
    // Not modal: what plays goes on, and so does the window.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("录音"), message, QMessageBox::Ok, &window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

}  // namespace kelvaro
