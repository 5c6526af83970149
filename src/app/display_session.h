#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>

namespace velmora {

// Where the tray application would draw. Qt aborts when its platform plugin cannot reach a
// display, which reads like a crash and leaves a crash log; so before any GUI object exists
// Velmora looks for a session it can reach, and without one says what works instead.
enum class DisplaySession {
    chosen,   // QT_QPA_PLATFORM or -platform names the platform: Qt's choice, not checked
    wayland,  // the compositor's socket accepts a connection
    x11,      // the X display accepts a connection
    none,
};

// Checks, in this order: an explicit platform (`platformArgument` when the command line names
// one), WAYLAND_DISPLAY (a socket name under XDG_RUNTIME_DIR or an absolute path), DISPLAY
// (":N" and "unix:N" the local socket /tmp/.X11-unix/XN, also in the abstract namespace;
// "HOST:N" TCP port 6000+N, as SSH's X forwarding offers it). A TCP connection gets `timeout`.
DisplaySession findDisplaySession(const QProcessEnvironment& env, bool platformArgument,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(3));

// The X display named by DISPLAY, as the places to connect to: a Unix socket path (an
// abstract one begins with '@') or "host:port". Empty for a malformed name.
QStringList xDisplayEndpoints(const QString& display);

// True when Qt reports that the display connection it had is gone (the X server or the
// compositor ended): the message its platform plugin logs just before it exits.
bool isDisplayConnectionLost(const QString& message);
// True for Qt's last words when no platform plugin could connect at start.
bool isNoPlatformPlugin(const QString& message);

// From here on, a display connection that breaks ends Velmora quietly with status 0 (it is not
// a crash), and a platform plugin that cannot connect ends it with `noDisplayMessage` and
// status 2 instead of an abort. Other messages go to the handler that was installed before.
void installDisplayLossHandler(const QString& noDisplayMessage);

}  // namespace velmora
