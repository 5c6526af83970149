#pragma once

#include "app/command_line.h"
#include "history/history_range.h"

#include <QString>
#include <QStringList>

namespace velmora {

// `velmora --history RANGE [--json] [--top METRIC]`: the remembered record of the last RANGE,
// read without starting anything else and without changing the database.
QStringList historyTable(const std::vector<history::Record>& records, const std::vector<history::Gap>& gaps);
QStringList culpritTable(const std::vector<history::Culprit>& culprits, history::Metric metric);

// Prints to standard output (messages to standard error); returns the exit status: 0, or 1
// when no record can be read.
int runHistoryMode(const CommandLine::History& options, const QString& databasePath,
                   history::Clock::time_point now = history::Clock::now());

}  // namespace velmora
