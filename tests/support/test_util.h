#pragma once

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

namespace velmora::test {

// Absolute path of a file or folder under tests/fixtures.
std::string fixture(const std::string& relative);

// Writes `content` to `dir/relative`, creating folders on the way.
void writeFile(const QTemporaryDir& dir, const QString& relative, const QByteArray& content);

// Runs the event loop until `done` holds or `timeout` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace velmora::test
