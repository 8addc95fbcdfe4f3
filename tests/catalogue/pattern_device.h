// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>

#include <algorithm>
#include <cstring>

// A read-only, sequential device that hands out `size` bytes made of a
// repeating pattern, without holding them anywhere: a stand-in for a huge
// file. `served()` tells how many bytes readers took from it.
class PatternDevice : public QIODevice {
public:
    PatternDevice(QByteArray pattern, qint64 size) : pattern_(std::move(pattern)), size_(size)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return size_ - served_ + QIODevice::bytesAvailable(); }
    qint64 served() const { return served_; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, size_ - served_);
        for (qint64 i = 0; i < n;) {
            const qint64 offset = (served_ + i) % pattern_.size();
            const qint64 run = std::min<qint64>(n - i, pattern_.size() - offset);
            std::memcpy(data + i, pattern_.constData() + offset, static_cast<size_t>(run));
            i += run;
        }
        served_ += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray pattern_;
    qint64 size_;
    qint64 served_ = 0;
};
