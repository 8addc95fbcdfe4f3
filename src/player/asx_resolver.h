// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status_texts.h"

#include <QObject>
#include <QNetworkReply>
#include <QPointer>
#include <QStringList>

class QNetworkAccessManager;

namespace kelvaro {

// Fetches an .asx playlist over http(s) and hands over its entries. One
// download at a time: a new resolve() or cancel() drops the one under way,
// whose result is then never reported.
class AsxResolver : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~AsxResolver() override;

    void resolve(const QString &address);
    void cancel();
    bool isBusy() const { return m_reply != nullptr; }

signals:
    // The entries in order, relative ones made absolute; may be empty.
    void resolved(const QStringList &entries);
    void failed(kelvaro::PlayerFailure failure);

private:
    void onFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
};

}  // namespace kelvaro
