// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kelvaro {

// Pauses between attempts to get a dropped stream back: 1, 2, 4, 8 s, then
// every 15 s for as long as the address stays the player's.
class ReconnectPolicy {
public:
    // Counts one more attempt and returns the pause before it.
    std::chrono::milliseconds nextDelay()
    {
        ++m_attempt;
        if (m_attempt > 4)
            return std::chrono::seconds(15);
        return std::chrono::seconds(1 << (m_attempt - 1));
    }
    int attempt() const { return m_attempt; }
    void reset() { m_attempt = 0; }

private:
    int m_attempt = 0;
};

}  // namespace kelvaro
