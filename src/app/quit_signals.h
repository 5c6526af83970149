#pragma once

class QCoreApplication;

namespace velmora {

// Ends the event loop when the session asks the program to end (SIGTERM at logout, SIGHUP,
// SIGINT from a terminal), so the settings, the remembered record and everything else that
// waits to be written go out as on a normal quit. Call once, with the application made.
void quitOnTerminationSignals(QCoreApplication& app);

}  // namespace velmora
