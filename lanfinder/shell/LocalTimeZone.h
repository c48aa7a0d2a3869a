#pragma once

// Local-time conversions without a file check each.
//
// With TZ unset, glibc checks /etc/localtime (a stat) on every local-time
// conversion, and Qt converts for every local QDateTime it makes or compares:
// several per device answer. With TZ naming the zone file, glibc reads it once
// and never looks again, so the program pins TZ to the file at start and a
// watch makes glibc read it again when it changes (the user picked another
// zone), within checkIntervalMs instead of per conversion.

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace shell {

// The system's zone file.
inline constexpr char systemZoneFile[] = "/etc/localtime";

// Points TZ at zoneFile when TZ is not set; conversions give what they gave
// before. Returns false, changing nothing, when TZ is already set (glibc
// then checks nothing either). Call before any other thread starts: adding
// a variable may move the environment while another thread reads it.
bool pinLocalTimeZone(const QByteArray& zoneFile = systemZoneFile);

// Makes glibc read the pinned zone file again once it has changed; checks
// once per checkIntervalMs from the thread it lives on.
class LocalTimeZoneWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int checkIntervalMs = 1000;

    // Starts checking at once; the zone file is the one pinned.
    explicit LocalTimeZoneWatch(const QByteArray& zoneFile = systemZoneFile,
                                QObject* parent = nullptr);

    // True when the file changed since the last look and was read again.
    bool check();

private:
    QByteArray m_file;
    QByteArray m_identity;
    bool m_alternate = false;
    QTimer m_timer;
};

}  // namespace shell
