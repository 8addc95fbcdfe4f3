// SPDX-License-Identifier: GPL-3.0-or-later
// The test's local time zone, set as a change of the computer's would be:
// through TZ, read again by the C library (whose local time Qt uses).
#include <cstdlib>
#include <ctime>

void useLocalZone(const char *zone)
{
#ifdef _WIN32
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}
