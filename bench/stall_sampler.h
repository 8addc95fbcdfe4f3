// SPDX-License-Identifier: GPL-3.0-or-later
// What the benches that watch the UI thread share: a 1 ms precise timer whose
// lateness is the thread's stall, and percentiles over the samples.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace kelvaro::bench {

// The value at fraction `p` (0..1) of the sorted samples; 0 for none.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// Lateness of a 1 ms timer while it runs, in ms.
class StallSampler : public QObject {
public:
    StallSampler()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            samples.push_back(std::max(0.0, double(now - last_) / 1e6 - 1.0));
            last_ = now;
        });
    }
    void start()
    {
        samples.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    std::vector<double> samples;

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
};

}  // namespace kelvaro::bench
