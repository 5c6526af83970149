#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::platform::linux_diag {

// PRETTY_NAME of an os-release file's text, unquoted; empty when it has none.
QString prettyName(const QByteArray& osRelease);

// The distribution and kernel as one text: "<pretty name>, kernel <release>", with "Linux"
// standing in for a missing name.
QString osText(const QString& prettyName, const QString& kernelRelease);

// The log folder under a state home ("" takes ~/.local/state under `home`).
QString logFolder(const QString& xdgStateHome, const QString& home);
QString stateFolder(const QString& xdgStateHome, const QString& home);

}  // namespace velmora::platform::linux_diag
