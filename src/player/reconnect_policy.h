// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kelvaro {

// Pauses between attempts to get a dropped stream back: 1, 2, 4, 8 s, then
// every 15 s for as long as the address stays the player's.
//
// Two counts: the attempts since the stream last played (what the listener
// is told), and the pause's level, which only goes back to the start once
// the stream has stayed up for a while. A stream that plays and drops again
// at once (a server that accepts and cuts off, a sound output that fails as
// soon as audio starts) keeps its pause growing instead of being fetched
// every second.
class ReconnectPolicy {
public:
    // How long a stream has to play before its pauses start again from 1 s.
    static constexpr std::chrono::seconds kSettleTime{10};

    // Counts one more attempt and returns the pause before it.
    std::chrono::milliseconds nextDelay()
    {
        ++m_attempt;
        ++m_level;
        if (m_level > 4)
            return std::chrono::seconds(15);
        return std::chrono::seconds(1 << (m_level - 1));
    }
    int attempt() const { return m_attempt; }
    // An attempt made at once, without a pause, for a stream that did not
    // drop (it was left behind while the program did not run): counted for
    // the listener; the pause before a next attempt does not grow.
    void countImmediateAttempt() { ++m_attempt; }
    // The stream plays again: the attempts count anew, the pause does not.
    void recovered() { m_attempt = 0; }
    // The stream has played for kSettleTime: the next drop waits 1 s again.
    void settled() { m_level = 0; }
    void reset() { m_attempt = m_level = 0; }

private:
    int m_attempt = 0;
    int m_level = 0;
};

}  // namespace kelvaro
